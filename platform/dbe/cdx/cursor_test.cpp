#include "cursor.h"

#include <gtest/gtest.h>

#include "dbe/cdx/cdx_test_util.h"

namespace dbe::cdx {
namespace {

using testing::Entries;

// Vendors by name: a few thousand, so that seeks cross leaves and the tree has interior levels.
class CursorTest : public testing::IndexTest {
 protected:
  Tag* build(bool descending, const Entries& extra = {}) {
    cdx_ = createIndex();
    Entries e = extra;
    for (std::uint32_t r = 1; r <= 2000; ++r) {
      e.emplace_back(characterKey("V" + std::to_string(1000 + r % 500), 10), r);
    }
    all_ = testing::tagOrder(e, descending);
    Result<Tag*> t = cdx_->addTag({"NAME", KeyType::kCharacter, 10, "NAME", "", false, descending},
                                  testing::keyListOf(KeyType::kCharacter, 10, e));
    EXPECT_TRUE(t.isOk()) << t.status().toString();
    return *t;
  }

  std::unique_ptr<CdxFile> cdx_;
  Entries all_;
};

struct SeekCase {
  const char* name;
  bool descending;
  const char* key;
  SeekMode mode;
  bool found;
  const char* atKey;  // nullptr: eof()
  std::uint32_t atRecno;
};

// Keys are "V1000" .. "V1499", each held by four records r with r % 500 == key - 1000, plus
// "SMITH" (7001), "SMITHSON" (7002) and "SMYTHE" (7003).
const SeekCase kSeeks[] = {
    {"exact key", false, "V1250     ", SeekMode::kExact, true, "V1250", 250},
    {"exact key, shorter than the tag's", false, "V1250", SeekMode::kExact, true, "V1250", 250},
    {"prefix", false, "SM", SeekMode::kExact, true, "SMITH", 7001},
    {"prefix in the middle", false, "SMITHS", SeekMode::kExact, true, "SMITHSON", 7002},
    {"missing, exact", false, "SMO", SeekMode::kExact, false, nullptr, 0},
    {"missing, soft", false, "SMO", SeekMode::kSoft, false, "SMYTHE", 7003},
    {"missing between entries, soft", false, "V12505", SeekMode::kSoft, false, "V1251", 251},
    {"beyond the last, soft", false, "ZZ", SeekMode::kSoft, false, nullptr, 0},
    {"before the first, soft", false, "A", SeekMode::kSoft, false, "SMITH", 7001},
    {"empty key finds the first", false, "", SeekMode::kExact, true, "SMITH", 7001},
    {"descending: exact key, highest record first", true, "V1250", SeekMode::kExact, true, "V1250",
     1750},
    {"descending: prefix finds the largest key with it", true, "SM", SeekMode::kExact, true,
     "SMYTHE", 7003},
    {"descending: missing, soft goes to the next smaller key", true, "SMO", SeekMode::kSoft, false,
     "SMITHSON", 7002},
    {"descending: missing, exact", true, "SMO", SeekMode::kExact, false, nullptr, 0},
    {"descending: below the smallest, soft", true, "A", SeekMode::kSoft, false, nullptr, 0},
    {"descending: above the largest, soft", true, "ZZ", SeekMode::kSoft, false, "V1499", 1999},
};

TEST_F(CursorTest, SeeksFindKeysAndPrefixesInTagOrder) {
  const Entries extra = {{characterKey("SMITH", 10), 7001},
                         {characterKey("SMITHSON", 10), 7002},
                         {characterKey("SMYTHE", 10), 7003}};
  for (const SeekCase& c : kSeeks) {
    SCOPED_TRACE(c.name);
    Tag* tag = build(c.descending, extra);
    Cursor cur(*tag);
    Result<bool> found = cur.seek(c.key, c.mode);
    ASSERT_TRUE(found.isOk()) << found.status().toString();
    EXPECT_EQ(*found, c.found);
    if (c.atKey == nullptr) {
      EXPECT_TRUE(cur.eof());
      continue;
    }
    ASSERT_TRUE(cur.onEntry());
    EXPECT_EQ(cur.key(), characterKey(c.atKey, 10));
    EXPECT_EQ(cur.recno(), c.atRecno);
  }
}

TEST_F(CursorTest, StepsCrossLeavesBothWaysAndStopAtTheEnds) {
  for (const bool descending : {false, true}) {
    SCOPED_TRACE(descending ? "descending" : "ascending");
    Tag* tag = build(descending);
    EXPECT_EQ(testing::readForward(*tag), all_);
    EXPECT_EQ(testing::readBackward(*tag), all_);

    // Zig-zag: two forward, one back, from every position.
    Cursor c(*tag);
    ASSERT_TRUE(c.first().isOk());
    for (std::size_t i = 0; i + 2 < all_.size(); ++i) {
      ASSERT_TRUE(c.next().isOk());
      ASSERT_TRUE(c.next().isOk());
      ASSERT_TRUE(c.prev().isOk());
      ASSERT_TRUE(c.onEntry());
      ASSERT_EQ(c.recno(), all_[i + 1].second) << i;
    }

    ASSERT_TRUE(c.last().isOk());
    EXPECT_EQ(c.recno(), all_.back().second);
    ASSERT_TRUE(c.next().isOk());
    EXPECT_TRUE(c.eof());
    ASSERT_TRUE(c.next().isOk());
    EXPECT_TRUE(c.eof());
    ASSERT_TRUE(c.prev().isOk());  // back from eof(): the last entry
    EXPECT_EQ(c.recno(), all_.back().second);
    ASSERT_TRUE(c.first().isOk());
    ASSERT_TRUE(c.prev().isOk());
    EXPECT_TRUE(c.bof());
    ASSERT_TRUE(c.next().isOk());  // forward from bof(): the first entry
    EXPECT_EQ(c.recno(), all_.front().second);
  }
}

TEST_F(CursorTest, SeekEntryFindsThePairOrTheOneAfterIt) {
  for (const bool descending : {false, true}) {
    Tag* tag = build(descending);
    Cursor c(*tag);
    Result<bool> r = c.seekEntry("V1250", 750);
    ASSERT_TRUE(r.isOk());
    EXPECT_TRUE(*r);
    EXPECT_EQ(c.recno(), 750u);
    r = c.seekEntry("V1250", 751);  // no such pair: the next in tag order
    ASSERT_TRUE(r.isOk());
    EXPECT_FALSE(*r);
    EXPECT_EQ(c.recno(), descending ? 750u : 1250u);
  }
}

// A report that changes the key of every record it visits (REPLACE ALL through an index) must
// still visit each record once: the cursor notices that its leaf copy is stale.
TEST_F(CursorTest, ChangesThroughTheSameFileDoNotDerailAWalk) {
  Tag* tag = build(false);
  Cursor c(*tag);
  ASSERT_TRUE(c.first().isOk());
  std::size_t visited = 0;
  while (c.onEntry() && c.key()[0] == 'V') {
    const std::string key(c.key());
    const std::uint32_t recno = c.recno();
    ASSERT_TRUE(tag->erase(key, recno).isOk());
    ASSERT_TRUE(tag->insert("W" + key.substr(1), recno).isOk());
    ASSERT_TRUE(c.next().isOk());
    ++visited;
  }
  EXPECT_EQ(visited, all_.size());
  EXPECT_TRUE(c.onEntry());
  EXPECT_EQ(c.key()[0], 'W');
  Entries renamed;
  for (const auto& [k, r] : all_) renamed.emplace_back("W" + k.substr(1), r);
  EXPECT_EQ(testing::readForward(*tag), renamed);
  EXPECT_EQ(testing::faultsOf(*cdx_), std::vector<std::string>{});
}

TEST_F(CursorTest, AnEmptyTagIsAtEofEverywhere) {
  cdx_ = createIndex();
  Result<Tag*> t = cdx_->addTag({"E", KeyType::kNumeric, 8, "AMOUNT", "", false, false},
                                KeyList(KeyType::kNumeric, 8));
  ASSERT_TRUE(t.isOk());
  Cursor c(**t);
  ASSERT_TRUE(c.first().isOk());
  EXPECT_TRUE(c.eof());
  ASSERT_TRUE(c.last().isOk());
  EXPECT_TRUE(c.eof());
  ASSERT_TRUE(c.prev().isOk());
  EXPECT_TRUE(c.bof());
  Result<bool> r = c.seek(numericKey(1), SeekMode::kSoft);
  ASSERT_TRUE(r.isOk());
  EXPECT_FALSE(*r);
  EXPECT_TRUE(c.eof());
  EXPECT_EQ(c.seek("123456789").status().code(), Status::Code::kInvalidArgument);
  EXPECT_FALSE(c.onEntry());
}

}  // namespace
}  // namespace dbe::cdx
