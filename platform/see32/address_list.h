// Address lists as the suite's mail code hands them to the engine.
//
// A list is a text of entries separated by ';':  "<a@x.com>;<b@y.com>", "<a@x.com>", "".
// Each entry, with blanks around it removed, is one of
//
//   <mailbox>          the bracketed form the mail code builds ("<ap@carrier.com>")
//   mailbox            a bare address ("ap@carrier.com")
//   Name <mailbox>     a display name and a bracketed address ("Accounts <ap@carrier.com>")
//
// Blanks just inside the brackets are dropped ("< ap@carrier.com>": the mail code keeps a blank
// typed after a ';' inside the next pair of brackets). Empty entries ("", "<>", "< >") name
// nobody and are skipped: a trailing ';' yields one. A mailbox may not contain blanks, control
// characters or any of  < > , ; "  and must not be longer than 254 bytes; an entry with a
// second '<', a missing '>' or text after the '>' is refused. The error names the entry, so
// the user sees which address to correct.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "see_status.h"

namespace see32 {

struct Address {
  std::string display;  // display name as given, may be empty
  std::string mailbox;  // "ap@carrier.com", never empty

  // "<ap@carrier.com>": the form SMTP commands take.
  std::string bracketed() const { return "<" + mailbox + ">"; }
  bool operator==(const Address&) const = default;
};

// Parses a list; `what` names the list in errors ("recipient", "CC", "BCC"). Fails with
// kSeeBadAddress.
SeeResult<std::vector<Address>> parseAddressList(std::string_view list, std::string_view what);

// Parses a text that must hold at most one address ("<me@carrier.com>"); an empty text gives
// an empty mailbox. Fails with kSeeBadAddress, also when the text holds two addresses.
SeeResult<Address> parseSingleAddress(std::string_view text, std::string_view what);

}  // namespace see32
