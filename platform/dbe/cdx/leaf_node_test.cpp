#include "leaf_node.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "dbe/cdx/key_codec.h"

namespace dbe::cdx {
namespace {

struct Pair {
  std::string key;
  std::uint32_t recno;
};

EntryBuffer entriesOf(const std::vector<Pair>& pairs, std::size_t keyLength) {
  EntryBuffer e(keyLength);
  for (const Pair& p : pairs) e.push(p.key, p.recno);
  return e;
}

void put(Page* p, std::size_t at, std::initializer_list<int> bytes) {
  for (int b : bytes) (*p)[at++] = static_cast<std::uint8_t>(b);
}

// One leaf of a tag on a C(10) field holding "SMITH" (record 5), "SMITHSON" (2) and "SMYTHE"
// (9), as other FoxPro-compatible engines write it.
Page workedExample() {
  Page p{};
  put(&p, 0x000, {0x03, 0x00, 0x03, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                  0xD3, 0x01, 0xFF, 0xFF, 0x00, 0x00, 0x0F, 0x0F, 0x10, 0x04, 0x04, 0x03});
  put(&p, 0x018, {0x05, 0x00, 0x50, 0x02, 0x00, 0x25, 0x09, 0x00, 0x42});
  put(&p, 0x1F4, {0x59, 0x54, 0x48, 0x45, 0x53, 0x4F, 0x4E, 0x53, 0x4D, 0x49, 0x54, 0x48});
  return p;
}

const std::vector<Pair> kWorkedKeys = {{"SMITH     ", 5}, {"SMITHSON  ", 2}, {"SMYTHE    ", 9}};

TEST(LeafNode, DecodesTheWorkedExample) {
  const Page p = workedExample();
  const NodeHeader h = readNodeHeader(p);
  EXPECT_TRUE(h.isRoot());
  EXPECT_TRUE(h.isLeaf());
  EXPECT_EQ(h.left, kNoPage);
  EXPECT_EQ(h.right, kNoPage);
  const LeafFields f = readLeafFields(p);
  EXPECT_EQ(f.freeBytes, 467);
  EXPECT_EQ(f.recnoMask, 0xFFFFu);
  EXPECT_EQ(f.layout.recordBits, 16);
  EXPECT_EQ(f.layout.entryBytes, 3);

  EntryBuffer e;
  std::string fault;
  ASSERT_TRUE(decodeLeaf(p, 10, ' ', &e, &fault)) << fault;
  ASSERT_EQ(e.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(e.key(i), kWorkedKeys[i].key);
    EXPECT_EQ(e.recno(i), kWorkedKeys[i].recno);
  }
  EXPECT_EQ(leafUsedBytes(p, 10), 488u - 467u);
}

TEST(LeafNode, EncodesTheWorkedExampleByteForByte) {
  const EntryBuffer e = entriesOf(kWorkedKeys, 10);
  EXPECT_EQ(leafBytesNeeded(e.view(), ' '), 21u);
  Page p;
  encodeLeaf(e.view(), {nodeAttributes(true, true), 0, kNoPage, kNoPage}, ' ', &p);
  const Page want = workedExample();
  for (std::size_t i = 0; i < kPageSize; ++i) {
    ASSERT_EQ(p[i], want[i]) << "byte " << i;
  }
}

// Widths the writer picks: B = 3 with room for the counts, one more byte whenever a record
// number needs it, and always R + Dc + Tc = 8 * B.
struct LayoutCase {
  std::size_t keyLength;
  std::uint32_t maxRecno;
  int entryBytes;
  int recordBits;
};
constexpr LayoutCase kLayouts[] = {
    {10, 200, 3, 16},         {10, 65535, 3, 16},      {10, 65536, 4, 24}, {10, 16777215, 4, 24},
    {10, 16777216, 5, 32},    {10, 0xFFFFFFFF, 5, 32}, {8, 1, 3, 16},      {4, 262143, 3, 18},
    {4, 262144, 4, 26},       {1, 0xFFFFFFFF, 5, 32},  {240, 255, 3, 8},   {240, 256, 4, 16},
    {240, 0xFFFFFFFF, 6, 32}, {100, 1023, 3, 10},      {100, 1024, 4, 18},
};

TEST(LeafNode, WidthsFollowTheKeyLengthAndRecordNumbers) {
  for (const LayoutCase& c : kLayouts) {
    const LeafLayout l = leafLayoutFor(c.keyLength, c.maxRecno);
    SCOPED_TRACE(testing::Message() << "key length " << c.keyLength << ", record " << c.maxRecno);
    EXPECT_EQ(l.entryBytes, c.entryBytes);
    EXPECT_EQ(l.recordBits, c.recordBits);
    EXPECT_EQ(l.recordBits + l.dupBits + l.trailBits, 8 * l.entryBytes);
    EXPECT_GE((1u << l.dupBits) - 1, c.keyLength);
    EXPECT_GE((1u << l.trailBits) - 1, c.keyLength);
  }
}

// Every compression case a leaf meets, encoded and decoded back; `used` is counted by hand.
struct CompressionCase {
  const char* name;
  std::size_t keyLength;
  KeyType type;
  std::vector<Pair> pairs;
  std::size_t used;
};

std::vector<CompressionCase> compressionCases() {
  const std::string a240(240, 'A');
  std::string b240 = a240;
  b240.back() = 'B';
  return {
      {"no duplicate bytes", 3, KeyType::kCharacter, {{"ABC", 1}, {"BCD", 2}, {"CDE", 3}}, 9 + 9},
      {"full duplicates",
       10,
       KeyType::kCharacter,
       {{"SAME      ", 1}, {"SAME      ", 2}, {"SAME      ", 3}},
       9 + 4},
      {"trailing blanks only",
       10,
       KeyType::kCharacter,
       {{"A         ", 1}, {"B         ", 2}},
       6 + 2},
      {"all blanks", 10, KeyType::kCharacter, {{"          ", 1}, {"          ", 2}}, 6},
      {"blanks after a key",
       10,
       KeyType::kCharacter,
       {{"          ", 1}, {"X         ", 2}},
       6 + 1},
      {"maximum key length", 240, KeyType::kCharacter, {{a240, 1}, {b240, 2}}, 6 + 240 + 1},
      {"maximum key length, wide records",
       240,
       KeyType::kCharacter,
       {{a240, 70000}, {b240, 16777216}},
       12 + 240 + 1},
      {"record numbers of 1 to 4 bytes",
       10,
       KeyType::kCharacter,
       {{"K1        ", 200},
        {"K2        ", 60000},
        {"K3        ", 70000},
        {"K4        ", 20000000},
        {"K5        ", 0xFFFFFFFF}},
       5 * 5 + 2 + 4 * 1},
      {"numeric keys drop trailing zero bytes",
       8,
       KeyType::kNumeric,
       {{numericKey(1.0), 1}, {numericKey(1.5), 2}, {numericKey(100.5), 3}},
       9 + 2 + 1 + 3},
  };
}

TEST(LeafNode, EveryCompressionCaseRoundTrips) {
  for (const CompressionCase& c : compressionCases()) {
    SCOPED_TRACE(c.name);
    const char fill = fillByte(c.type);
    const EntryBuffer e = entriesOf(c.pairs, c.keyLength);
    EXPECT_EQ(leafBytesNeeded(e.view(), fill), c.used);
    EXPECT_EQ(leafFitCount(e.view(), fill), c.pairs.size());
    Page p;
    encodeLeaf(e.view(), {nodeAttributes(false, true), 0, 0x600, 0xA00}, fill, &p);
    const LeafFields f = readLeafFields(p);
    EXPECT_EQ(f.freeBytes, kLeafSpace - c.used);
    EXPECT_EQ(f.layout.recordBits + f.layout.dupBits + f.layout.trailBits, 8 * f.layout.entryBytes);
    EXPECT_EQ(readNodeHeader(p).left, 0x600u);
    EXPECT_EQ(readNodeHeader(p).right, 0xA00u);
    EntryBuffer back;
    std::string fault;
    ASSERT_TRUE(decodeLeaf(p, c.keyLength, fill, &back, &fault)) << fault;
    ASSERT_EQ(back.size(), c.pairs.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
      EXPECT_EQ(back.key(i), c.pairs[i].key) << i;
      EXPECT_EQ(back.recno(i), c.pairs[i].recno) << i;
    }
    // The gap between the entry array and the key bytes stays zero.
    const std::size_t arrayEnd = kLeafHeaderSize + c.pairs.size() * f.layout.entryBytes;
    for (std::size_t i = arrayEnd; i < arrayEnd + f.freeBytes; ++i) ASSERT_EQ(p[i], 0) << i;
  }
}

// A reader must also accept a duplicate count that runs into the previous key's trailing
// blanks, as one other engine writes it: "AB" then "AB" + "C" sharing 3 bytes ("AB ").
TEST(LeafNode, ReadsDuplicatesThatRunIntoTrailingBlanks) {
  Page p{};
  // Two entries, key length 4, B = 3, R = 18, Dc = Tc = 3.
  put(&p, 0, {0x03, 0x00, 0x02, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  put(&p, 12, {0, 0, 0xFF, 0xFF, 0x03, 0x00, 0x07, 0x07, 18, 3, 3, 3});
  // Entry 0: record 1, dup 0, trail 2 -> "AB". Entry 1: record 2, dup 3, trail 0 -> "AB " + "C".
  const std::uint32_t e0 = 1u | (0u << 18) | (2u << 21);
  const std::uint32_t e1 = 2u | (3u << 18) | (0u << 21);
  put(&p, 24,
      {static_cast<int>(e0 & 0xFF), static_cast<int>((e0 >> 8) & 0xFF),
       static_cast<int>(e0 >> 16)});
  put(&p, 27,
      {static_cast<int>(e1 & 0xFF), static_cast<int>((e1 >> 8) & 0xFF),
       static_cast<int>(e1 >> 16)});
  put(&p, 509, {'C', 'A', 'B'});
  EntryBuffer e;
  std::string fault;
  ASSERT_TRUE(decodeLeaf(p, 4, ' ', &e, &fault)) << fault;
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e.key(0), "AB  ");
  EXPECT_EQ(e.key(1), "AB C");
}

struct CorruptLeafCase {
  const char* name;
  std::size_t keyLength;
  void (*damage)(Page*);
  const char* fault;
};

const CorruptLeafCase kCorruptLeaves[] = {
    {"too many keys", 10, [](Page* p) { (*p)[2] = 200; },
     "holds 200 keys, more than fit in 488 bytes"},
    {"entry size 0", 10, [](Page* p) { (*p)[23] = 0; }, "entry size of 0 bytes is not 1 to 8"},
    {"widths wider than the entry", 10, [](Page* p) { (*p)[20] = 30; },
     "entry widths 30+4+4 bits do not fit a 3-byte entry"},
    {"mask not matching its width", 10, [](Page* p) { (*p)[18] = 0x07; },
     "masks do not match the entry widths"},
    {"counts longer than the key", 10, [](Page* p) { (*p)[29] = 0x2F; },
     "key 1: duplicate count 15 and trailing count 2 exceed the key length 10"},
    {"key bytes over the entry array", 200, [](Page*) {},
     "key 2: key bytes run into the entry array"},
};

TEST(LeafNode, DamagedLeavesAreRefusedWithTheirReason) {
  for (const CorruptLeafCase& c : kCorruptLeaves) {
    SCOPED_TRACE(c.name);
    Page p = workedExample();
    c.damage(&p);
    EntryBuffer e;
    std::string fault;
    EXPECT_FALSE(decodeLeaf(p, c.keyLength, ' ', &e, &fault));
    EXPECT_EQ(fault, c.fault);
  }
}

EntryBuffer randomEntries(std::size_t n, std::size_t keyLength, std::uint32_t seed,
                          std::uint32_t maxRecno) {
  std::mt19937 rng(seed);
  std::vector<Pair> pairs;
  for (std::size_t i = 0; i < n; ++i) {
    std::string k(keyLength, ' ');
    const std::size_t used = 1 + rng() % keyLength;
    for (std::size_t j = 0; j < used; ++j) k[j] = static_cast<char>('A' + rng() % 4);
    pairs.push_back({k, 1 + static_cast<std::uint32_t>(rng() % maxRecno)});
  }
  std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) {
    return a.key != b.key ? a.key < b.key : a.recno < b.recno;
  });
  return entriesOf(pairs, keyLength);
}

TEST(LeafNode, SplitPointsGiveLeavesThatFit) {
  struct SplitCase {
    std::size_t n;
    std::size_t keyLength;
    std::uint32_t maxRecno;
    bool fillLeft;
    std::size_t leaves;  // 0: two or more
  };
  const SplitCase cases[] = {
      {120, 10, 1000, false, 2},
      {120, 10, 1000, true, 2},
      {30, 30, 100000, false, 2},
      {3, 240, 0xFFFFFFFF, false, 3},  // 240-byte keys with 4-byte record numbers: one per leaf
  };
  for (const SplitCase& c : cases) {
    EntryBuffer e =
        c.keyLength == 240 ? EntryBuffer(240) : randomEntries(c.n, c.keyLength, 3, c.maxRecno);
    if (c.keyLength == 240) {
      for (char ch : {'A', 'B', 'C'}) e.push(std::string(240, ch), 0xFFFFFFF0u);
    }
    ASSERT_GT(leafBytesNeeded(e.view(), ' '), kLeafSpace);
    if (c.leaves == 2) {
      ASSERT_LT(leafBytesNeeded(e.view(), ' '), 2 * kLeafSpace - 100);
    }
    std::vector<std::size_t> cuts = leafSplitPoints(e.view(), ' ', c.fillLeft);
    ASSERT_EQ(cuts.size() + 1, c.leaves);
    cuts.insert(cuts.begin(), 0);
    cuts.push_back(e.size());
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
      ASSERT_LT(cuts[k], cuts[k + 1]);
      EXPECT_LE(leafBytesNeeded(e.view(cuts[k], cuts[k + 1]), ' '), kLeafSpace);
    }
    if (c.fillLeft) {
      // The left leaf takes as much as fits.
      EXPECT_GT(leafBytesNeeded(e.view(0, cuts[1] + 1), ' '), kLeafSpace);
    } else if (c.leaves == 2) {
      const std::size_t left = leafBytesNeeded(e.view(0, cuts[1]), ' ');
      const std::size_t right = leafBytesNeeded(e.view(cuts[1], e.size()), ' ');
      EXPECT_LT(left > right ? left - right : right - left, 60u);
    }
  }
}

}  // namespace
}  // namespace dbe::cdx
