// Damaged index files: every fault is reported as kCorruption naming the file, the tag and the
// node, never a crash or an endless loop; the verifier names the same fault.
#include <gtest/gtest.h>
#include <random>

#include "dbe/cdx/cdx_format.h"
#include "dbe/cdx/cdx_test_util.h"

namespace dbe::cdx {
namespace {

using testing::Entries;

std::string hexOf(std::uint32_t v) { return hexOffset(v); }

class CorruptionTest : public testing::IndexTest {
 public:
  // A tag of 3000 names: a root over some 25 leaves.
  void SetUp() override {
    IndexTest::SetUp();
    std::unique_ptr<CdxFile> cdx = createIndex();
    Entries e;
    for (std::uint32_t r = 1; r <= 3000; ++r) {
      e.emplace_back(characterKey("N" + std::to_string(r * 37 % 3001), 10), r);
    }
    ASSERT_TRUE(cdx->addTag({"NAME", KeyType::kCharacter, 10, "NAME", "", false, false},
                            testing::keyListOf(KeyType::kCharacter, 10, e))
                    .isOk());
    header_ = cdx->tags()[0].headerOffset;
    root_ = le32At(header_);
    child0_ = childOf(root_, 0);
    std::uint32_t node = root_;
    while ((bytesAt(node, 1)[0] & kAttrLeaf) == 0) node = childOf(node, 0);
    firstLeaf_ = node;
    ASSERT_EQ(firstLeaf_, child0_);
  }

  std::uint32_t childOf(std::uint32_t node, std::size_t i) {
    const std::vector<std::uint8_t> b = bytesAt(node + 12 + i * 18 + 14, 4);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           b[3];
  }
  void setChild(std::uint32_t node, std::size_t i, std::uint32_t child) {
    poke(node + 12 + i * 18 + 14,
         {static_cast<std::uint8_t>(child >> 24), static_cast<std::uint8_t>(child >> 16),
          static_cast<std::uint8_t>(child >> 8), static_cast<std::uint8_t>(child)});
  }

  // The first failure of a full walk through the tag.
  Status walk(Tag& tag) {
    Cursor c(tag);
    Status s = c.first();
    for (int guard = 0; s.isOk() && c.onEntry() && guard < 10000; ++guard) s = c.next();
    return s;
  }

  std::uint32_t header_ = 0;
  std::uint32_t root_ = 0;
  std::uint32_t child0_ = 0;
  std::uint32_t firstLeaf_ = 0;
};

struct DamageCase {
  const char* name;
  void (*damage)(CorruptionTest*, std::uint32_t root, std::uint32_t leaf);
  // What reading the tag reports after "Corruption: vendors.cdx: tag NAME: " and what the
  // verifier says.
  const char* error;
  const char* verifier;
};

// "$R", "$C" and "$L" stand for the offsets of the root, its first child and the first leaf.
std::string withOffsets(std::string s, std::uint32_t root, std::uint32_t child,
                        std::uint32_t leaf) {
  const std::pair<const char*, std::uint32_t> marks[] = {{"$R", root}, {"$C", child}, {"$L", leaf}};
  for (const auto& [mark, value] : marks) {
    for (std::size_t at; (at = s.find(mark)) != std::string::npos;) s.replace(at, 2, hexOf(value));
  }
  return s;
}

const DamageCase kDamages[] = {
    {"a leaf count too large for the node",
     [](CorruptionTest* t, std::uint32_t, std::uint32_t leaf) {
       t->poke(leaf + 2, {0x90, 0x01});
     },
     "leaf at $L: holds 400 keys, more than fit in 488 bytes",
     "tag NAME: leaf at $L: holds 400 keys, more than fit in 488 bytes"},
    {"an interior count too large for the node",
     [](CorruptionTest* t, std::uint32_t root, std::uint32_t) {
       t->poke(root + 2, {28, 0});
     },
     "interior node at $R: holds 28 keys, more than the 27 that fit",
     "tag NAME: interior node at $R: holds 28 keys, more than the 27 that fit"},
    {"a child pointer outside the file",
     [](CorruptionTest* t, std::uint32_t root, std::uint32_t) { t->setChild(root, 0, 0x7FFFFE00); },
     "interior node at $R: key 0: child pointer 0x7ffffe00 lies beyond the end of the file",
     "tag NAME: interior node at $R: key 0: child pointer 0x7ffffe00 lies beyond the end of the "
     "file"},
    {"a child pointer off a page boundary",
     [](CorruptionTest* t, std::uint32_t root, std::uint32_t) { t->setChild(root, 0, 0x1001); },
     "interior node at $R: key 0: child pointer 0x1001 is not a node offset",
     "tag NAME: interior node at $R: key 0: child pointer 0x1001 is not a node offset"},
    {"a cycle back to the root",
     [](CorruptionTest* t, std::uint32_t root, std::uint32_t) { t->setChild(root, 0, root); },
     "interior node at $R: key 0: child pointer leads back to the node at $R (a loop)",
     "tag NAME: interior node at $R: key 0: child pointer $R reaches a page of tag NAME"},
    {"a parent key that is not its child's largest",
     [](CorruptionTest* t, std::uint32_t root, std::uint32_t) { t->poke(root + 12 + 1, {'0'}); },
     "leaf at $C: largest key differs from its parent's entry (key 0 of the node at $R)",
     "tag NAME: leaf at $C: largest key differs from its parent's entry (key 0 of the node at "
     "$R)"},
    {"a sibling pointer off a page boundary",
     [](CorruptionTest* t, std::uint32_t, std::uint32_t leaf) {
       t->poke(leaf + 8, {0x01, 0x10, 0x00, 0x00});
     },
     "leaf at $L: right sibling 0x1001 is not a node offset",
     "tag NAME: leaf at $L: right sibling is 0x1001, should be "},
    {"a root without the root mark",
     [](CorruptionTest* t, std::uint32_t root, std::uint32_t) { t->poke(root, {0x00}); },
     "interior node at $R: the root lacks the root mark",
     "tag NAME: interior node at $R: the root lacks the root mark"},
    {"a leaf with the root mark",
     [](CorruptionTest* t, std::uint32_t, std::uint32_t leaf) { t->poke(leaf, {0x03}); },
     "leaf at $L: carries the root mark but is below the root",
     "tag NAME: leaf at $L: carries the root mark but is below the root"},
};

TEST_F(CorruptionTest, EachDamagedNodeIsNamedByReadersAndTheVerifier) {
  for (const DamageCase& c : kDamages) {
    SCOPED_TRACE(c.name);
    SetUp();  // a fresh file for every case
    c.damage(this, root_, firstLeaf_);
    std::unique_ptr<CdxFile> cdx = openIndex();
    ASSERT_TRUE(cdx);
    Result<Tag*> tag = cdx->tag("NAME", KeyType::kCharacter);
    ASSERT_TRUE(tag.isOk());
    const Status s = walk(**tag);
    EXPECT_EQ(s.code(), Status::Code::kCorruption);
    EXPECT_EQ(s.toString(), "Corruption: vendors.cdx: tag NAME: " +
                                withOffsets(c.error, root_, child0_, firstLeaf_));
    // Writes through the damaged part fail the same way and change nothing.
    EXPECT_EQ((*tag)->insert("N0", 9999).code(), Status::Code::kCorruption);

    const std::string report = testing::joined(testing::faultsOf(*cdx));
    EXPECT_NE(report.find(withOffsets(c.verifier, root_, child0_, firstLeaf_)), std::string::npos)
        << report;
  }
}

TEST_F(CorruptionTest, DamagedHeadersStopTheOpenWithTheirReason) {
  struct HeaderCase {
    const char* name;
    std::uint64_t offset;  // relative to the tag header; ~0 for a truncated file
    std::vector<std::uint8_t> bytes;
    std::string error;
  };
  const HeaderCase cases[] = {
      {"key length 0", 12, {0, 0}, "tag NAME: header at $H: key length 0 is not 1 to 240"},
      {"not compact", 14, {0x40}, "tag NAME: header at $H: is not in the compact format"},
      {"expressions outside the pool",
       510,
       {0x00, 0x04},
       "tag NAME: header at $H: expression texts lie outside the expression pool"},
      {"truncated file", ~std::uint64_t{0}, {}, "the file is shorter than its 1024-byte header"},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.offset == ~std::uint64_t{0}) {
      ASSERT_TRUE(openFile()->truncate(1000).isOk());
    } else {
      poke(header_ + c.offset, c.bytes);
    }
    Result<std::unique_ptr<CdxFile>> cdx = tryOpen();
    ASSERT_FALSE(cdx.isOk());
    EXPECT_EQ(cdx.status().code(), Status::Code::kCorruption);
    std::string want = c.error;
    if (const std::size_t at = want.find("$H"); at != std::string::npos) {
      want.replace(at, 2, hexOf(header_));
    }
    EXPECT_NE(cdx.status().detail().find(want), std::string::npos) << cdx.status().toString();
  }
}

TEST_F(CorruptionTest, TheVerifierFindsBrokenLinksListsAndLostPages) {
  // Damage several things at once; each gets its line.
  const std::uint32_t second = le32At(firstLeaf_ + 8);  // the first leaf's right sibling
  poke(second + 4, {0x00, 0x04, 0x00, 0x00});           // its left sibling now says 0x400
  const std::uint64_t end = fileSize();
  poke(end, std::vector<std::uint8_t>(1024, 0));  // two pages nothing uses
  poke(4, {0x00, 0xFE, 0xFF, 0x7F});              // free list head outside the file
  std::unique_ptr<CdxFile> cdx = openIndex();
  const std::vector<std::string> faults = testing::faultsOf(*cdx);
  const std::string report = testing::joined(faults);
  EXPECT_NE(report.find("tag NAME: leaf at " + hexOf(second) +
                        ": left sibling is 0x400, should be " + hexOf(firstLeaf_)),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("free list: pointer 0x7ffffe00 is not a page of the file"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("file: the pages from " + hexOf(static_cast<std::uint32_t>(end)) + " to " +
                        hexOf(static_cast<std::uint32_t>(end + 512)) +
                        " are neither in use nor on the free list"),
            std::string::npos)
      << report;
  EXPECT_EQ(faults.size(), 3u) << report;

  // A change that needs a page from the broken free list fails and leaves the tag as it was.
  Result<Tag*> tag = cdx->tag("NAME", KeyType::kCharacter);
  ASSERT_TRUE(tag.isOk());
  const Entries before = testing::readForward(**tag);
  Status s;
  for (std::uint32_t r = 0; r < 200 && s.isOk(); ++r) s = (*tag)->insert("N0", 5000 + r);
  EXPECT_EQ(s.toString(),
            "Corruption: vendors.cdx: free list: head 0x7ffffe00 lies beyond the end of the file");
}

TEST_F(CorruptionTest, TheVerifierComparesTheTagWithTheTable) {
  std::unique_ptr<CdxFile> cdx = openIndex();
  Result<Tag*> tag = cdx->tag("NAME", KeyType::kCharacter);
  ASSERT_TRUE(tag.isOk());
  Entries table = testing::readForward(**tag);
  ASSERT_TRUE((*tag)->erase(table[10].first, table[10].second).isOk());  // lost from the tag
  table.emplace_back(characterKey("EXTRA", 10), 1);                      // not in the tag
  const Entries extraInTag = {{characterKey("GHOST", 10), 4242}};
  ASSERT_TRUE((*tag)->insert(extraInTag[0].first, extraInTag[0].second).isOk());
  const KeyList expected = testing::keyListOf(KeyType::kCharacter, 10, table);
  const std::vector<std::string> faults = testing::faultsOf(*cdx, "name", &expected);
  const std::string name10 = table[10].first.substr(0, table[10].first.find(' '));
  EXPECT_EQ(faults, (std::vector<std::string>{
                        "tag NAME: key 'EXTRA' of record 1 is missing",
                        "tag NAME: key 'GHOST' of record 4242 is in the tag but not in the table",
                        "tag NAME: key '" + name10 + "' of record " +
                            std::to_string(table[10].second) + " is missing",
                    }));
}

// Random damage anywhere in the file: whatever the bytes, every call returns (a Status, not a
// crash or an endless loop), and the verifier still produces its report.
TEST_F(CorruptionTest, RandomDamageNeverCrashesOrHangs) {
  std::mt19937 rng(17);
  const std::uint64_t size = fileSize();
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    SetUp();
    for (int hits = 1 + static_cast<int>(rng() % 6); hits > 0; --hits) {
      const std::uint64_t at = rng() % size;
      poke(at, {static_cast<std::uint8_t>(rng())});
    }
    Result<std::unique_ptr<CdxFile>> cdx = tryOpen();
    if (!cdx.isOk()) continue;
    for (const TagInfo& info : std::vector<TagInfo>((*cdx)->tags())) {
      Result<Tag*> tag = (*cdx)->tag(info.name, KeyType::kCharacter);
      if (!tag.isOk()) continue;
      Cursor c(**tag);
      Status s = c.first();
      for (int guard = 0; s.isOk() && c.onEntry() && guard < 5000; ++guard) s = c.next();
      s = c.last();
      for (int guard = 0; s.isOk() && c.onEntry() && guard < 5000; ++guard) s = c.prev();
      (void)c.seek("N15");
      (void)(*tag)->insert("N15", 77777);
      (void)(*tag)->erase("N15", 77777);
    }
    EXPECT_TRUE(verifyIndex(**cdx).isOk());
  }
}

}  // namespace
}  // namespace dbe::cdx
