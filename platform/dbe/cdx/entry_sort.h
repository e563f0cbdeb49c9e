// Sorting a tag's (key, record number) pairs for a bulk build.
//
// A million keys must sort in well under a tenth of a second, so the sort runs over 16-byte
// items (the key's first eight bytes as one big-endian integer, the record number, the position
// in the input) with a byte-wise radix sort, which is stable and linear; only runs of keys equal
// in those eight bytes are then ordered by the rest of the key.
//
// Internal to the cdx layer. Thread safety: pure function.
#pragma once

#include <string_view>

#include "dbe/cdx/entry_buffer.h"
#include "dbe/io/status.h"

namespace dbe::cdx {

// Writes `in` sorted by (key, record number) into `out` (reset to the key length first). With
// `unique` only the first record (the lowest number) of each key is kept. A pair given twice
// is kInvalidArgument naming `label` and the record.
[[nodiscard]] Status sortEntries(EntryView in, bool unique, std::string_view label,
                                 EntryBuffer* out);

}  // namespace dbe::cdx
