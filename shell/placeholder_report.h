// A stand-in for the Vendor list report, so that "Test Program" shows something until the
// report module exists: VENDORPO shows a child window in the main window's drawing area that
// says the report is not built yet, and ends when it is closed.
//
// PLACEHOLDER: the report module (reports/vendorpo) registers the real VENDORPO and this file
// goes away with it. Tests register their own VENDORPO.
//
// Thread safety: the routine runs on the report thread that calls it.
#pragma once

namespace shell {

// Registers the stand-in under VENDORPO unless a routine of that name is registered already.
void registerPlaceholderReport();

}  // namespace shell
