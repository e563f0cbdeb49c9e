// Host file names looked up without regard to case, as the Windows programs that share the data
// directory expect: "apmstrfl" finds APMSTRFL.DBF, and a table's structural index is found as
// APMSTRFL.cdx as well as APMSTRFL.CDX.
//
// Thread safety: thread-safe (the listing cache inside is guarded).
#pragma once

#include <filesystem>
#include <string>

#include "dbe/io/status.h"

namespace dbe {

// The existing host path that matches `p` component by component without regard to case, or
// `p` itself when nothing matches (the caller's open then reports it missing). Two entries that
// differ only by case, neither matching exactly, give kInvalidArgument naming both.
[[nodiscard]] Result<std::filesystem::path> resolveHostCase(const std::filesystem::path& p);

}  // namespace dbe
