// verifyIndex: a full check of a .cdx, for dbftool check and the reliability tests.
//
// It reads every page the file uses (under the index read lock in shared mode, straight from the
// file, not from any cache) and reports each fault as one line of text, e.g.
//
//   tag CUSTNO: leaf at 0x3c00: key 17 out of order
//   tag directory: leaf at 0x400: left sibling is 0xffffffff, should be 0x1200
//   free list: page at 0x5000 is also used by tag NAME
//
// Checked: the file header and every tag header; for the directory and every tag each node's
// layout (attributes, counts, widths with R + Dc + Tc = 8*B, masks, free-byte count, fragments),
// key order (record number breaking ties; unique tags with no key twice), parent entries equal to
// each child's largest key, leaves all at one depth, sibling links on every level, no page used
// twice; the free list (pages in the file, no loop, none in use); pages used by nothing; and,
// for each tag given a list of expected (key, record) pairs, that each is in the tag exactly once
// and that the tag holds nothing else. For a unique tag every expected key must appear once, with
// one of the records that have it.
//
// A damaged part is reported and skipped; the rest is still checked. An empty list means the
// file is sound. Only I/O failures and a refused lock make it fail as a whole.
//
// Thread safety: as CdxFile (one thread at a time).
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "dbe/cdx/cdx_file.h"
#include "dbe/cdx/key_list.h"

namespace dbe::cdx {

struct VerifyOptions {
  // The key type of each tag (by name, any case). A tag not listed takes the type it was
  // opened with through CdxFile::tag(), else its expected list's, else Character.
  std::map<std::string, KeyType, std::less<>> keyTypes;
  // The pairs each tag should hold (by name, any case), as the table gives them.
  std::map<std::string, const KeyList*, std::less<>> expected;
  // At most this many lines, then one saying how many more faults there were.
  std::size_t maxFaults = 1000;
};

[[nodiscard]] Result<std::vector<std::string>> verifyIndex(CdxFile& file,
                                                           const VerifyOptions& options = {});

}  // namespace dbe::cdx
