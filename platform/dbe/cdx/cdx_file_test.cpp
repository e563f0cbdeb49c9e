#include "cdx_file.h"

#include <cctype>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>

#include "dbe/cdx/cdx_format.h"
#include "dbe/cdx/cdx_test_util.h"

namespace dbe::cdx {
namespace {

using testing::Entries;
using testing::Entry;
using testing::IndexTest;

// A key of the type for a value; few distinct values, so that keys repeat.
std::string keyFor(KeyType type, std::size_t keyLength, std::uint32_t v) {
  switch (type) {
    case KeyType::kCharacter: {
      static const char* const kStems[] = {"SMITH",      "SMITHSON", "SMYTHE",   "",
                                           "JONES & CO", "A",        "\xC4RGER", "ZZ TOP"};
      std::string s = kStems[v % 8];
      if (v % 5 != 0) s += std::to_string(v % 97);
      return characterKey(s, keyLength);
    }
    case KeyType::kNumeric:
      return numericKey(static_cast<double>(static_cast<int>(v % 301) - 150) + (v % 4) * 0.25);
    case KeyType::kDate:
      return dateKey(v % 11 == 0 ? 0 : 2450000 + static_cast<int>(v % 400));
    case KeyType::kInteger:
      return integerKey(static_cast<int>(v % 800) - 400);
    case KeyType::kLogical:
      return logicalKey(v % 3 == 0);
  }
  return {};
}

struct TagCase {
  const char* name;
  KeyType type;
  std::size_t keyLength;
  bool unique;
  bool descending;
  const char* forExpression;
};

const TagCase kTagCases[] = {
    {"NAME", KeyType::kCharacter, 10, false, false, ""},
    {"NAMEUNIQ", KeyType::kCharacter, 30, true, false, ""},
    {"LONGDESC", KeyType::kCharacter, 240, false, true, ""},
    {"AMOUNT", KeyType::kNumeric, 8, false, false, ""},
    {"AMOUNTDESC", KeyType::kNumeric, 8, false, true, ""},
    {"DUE", KeyType::kDate, 8, false, false, "!DELETED()"},
    {"VENDNO", KeyType::kInteger, 4, true, false, ""},
    {"INACTIVE", KeyType::kLogical, 1, false, false, ""},
    {"NAMEDU", KeyType::kCharacter, 12, true, true, "vendinact<>.t."},
};

void PrintTo(const TagCase& c, std::ostream* os) { *os << c.name; }

class TagKinds : public IndexTest, public ::testing::WithParamInterface<TagCase> {
 protected:
  // The model: what the tag must hold, in (key, record) order.
  void modelInsert(const std::string& key, std::uint32_t recno) {
    if (GetParam().unique) {
      if (byKey_.count(key) != 0) return;
      byKey_[key] = recno;
    }
    model_.insert({key, recno});
  }
  bool modelErase(const std::string& key, std::uint32_t recno) {
    if (model_.erase({key, recno}) == 0) return false;
    byKey_.erase(key);
    return true;
  }
  Entries expected() const {
    return testing::tagOrder(Entries(model_.begin(), model_.end()), GetParam().descending);
  }
  void expectTagHolds(Tag& tag) {
    EXPECT_EQ(testing::readForward(tag), expected());
    EXPECT_EQ(testing::readBackward(tag), expected());
  }

  std::set<Entry> model_;
  std::map<std::string, std::uint32_t> byKey_;
};

TEST_P(TagKinds, BuildsInBulkThenStaysRightThroughRandomChanges) {
  const TagCase& c = GetParam();
  std::unique_ptr<CdxFile> cdx = createIndex();
  ASSERT_TRUE(cdx);

  // A table of 3000 records; a FOR tag holds only those the layer above says qualify.
  KeyList table(c.type, c.keyLength);
  for (std::uint32_t r = 1; r <= 3000; ++r) {
    if (*c.forExpression != '\0' && r % 4 == 0) continue;
    const std::string key = keyFor(c.type, c.keyLength, r * 7919u % 3001u);
    ASSERT_TRUE(table.add(key, r).isOk());
    modelInsert(key, r);
  }
  TagSpec spec{c.name, c.type, c.keyLength, "KEYEXPR", c.forExpression, c.unique, c.descending};
  Result<Tag*> tag = cdx->addTag(spec, table);
  ASSERT_TRUE(tag.isOk()) << tag.status().toString();
  expectTagHolds(**tag);
  EXPECT_EQ(testing::faultsOf(*cdx, c.name, &table), std::vector<std::string>{});

  std::mt19937 rng(static_cast<std::uint32_t>(c.keyLength * 31 + c.unique));
  std::uint32_t nextRecno = 3001;
  for (int op = 0; op < 3000; ++op) {
    if (rng() % 10 < 6 || model_.empty()) {
      const std::uint32_t recno =
          rng() % 8 == 0 && !model_.empty() ? model_.begin()->second + 5000 : nextRecno++;
      const std::string key = keyFor(c.type, c.keyLength, rng() % 4000);
      if (model_.count({key, recno}) != 0) continue;
      bool added = false;
      ASSERT_TRUE((*tag)->insert(key, recno, &added).isOk());
      const bool wanted = !c.unique || byKey_.count(key) == 0;
      EXPECT_EQ(added, wanted);
      modelInsert(key, recno);
    } else {
      auto it = model_.begin();
      std::advance(it, rng() % model_.size());
      const Entry e = *it;
      ASSERT_TRUE((*tag)->erase(e.first, e.second).isOk());
      modelErase(e.first, e.second);
      // Erasing it again finds nothing.
      EXPECT_EQ((*tag)->erase(e.first, e.second).code(), Status::Code::kNotFound);
    }
  }
  expectTagHolds(**tag);
  const KeyList now = testing::keyListOf(c.type, c.keyLength, expected());
  EXPECT_EQ(testing::faultsOf(*cdx, c.name, &now), std::vector<std::string>{});

  // Everything is on disk: another opener reads the same.
  cdx.reset();
  cdx = openIndex();
  ASSERT_TRUE(cdx);
  Result<Tag*> again = cdx->tag(c.name, c.type);
  ASSERT_TRUE(again.isOk()) << again.status().toString();
  const TagInfo& info = (*again)->info();
  EXPECT_EQ(info.keyLength, c.keyLength);
  EXPECT_EQ(info.unique, c.unique);
  EXPECT_EQ(info.descending, c.descending);
  EXPECT_EQ(info.hasFor, *c.forExpression != '\0');
  EXPECT_EQ(info.keyExpression, "KEYEXPR");
  EXPECT_EQ(info.forExpression, c.forExpression);
  expectTagHolds(**again);
  EXPECT_EQ(testing::faultsOf(*cdx, c.name, &now), std::vector<std::string>{});

  // Emptying the tag leaves one empty root leaf and every other page on the free list.
  for (const Entry& e : Entries(model_.begin(), model_.end())) {
    ASSERT_TRUE((*again)->erase(e.first, e.second).isOk());
  }
  model_.clear();
  expectTagHolds(**again);
  EXPECT_EQ(testing::faultsOf(*cdx), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(EveryKeyType, TagKinds, ::testing::ValuesIn(kTagCases),
                         [](const auto& p) { return std::string(p.param.name); });

// The extreme layout: 240-byte keys that share nothing, with record numbers of four bytes, fit
// one to a leaf, and interior nodes hold two entries, so the tree is deep and every insert
// splits and every erase empties a node.
TEST_F(IndexTest, LongKeysWithWideRecordNumbersHoldOneKeyPerLeaf) {
  std::unique_ptr<CdxFile> cdx = createIndex();
  std::mt19937 rng(3);
  const auto randomKey = [&] {
    std::string k(240, ' ');
    for (char& ch : k) ch = static_cast<char>('A' + rng() % 26);
    return k;
  };
  std::set<Entry> model;
  for (std::uint32_t i = 0; i < 64; ++i) model.insert({randomKey(), 0x01000000u + i});
  Result<Tag*> tag = cdx->addTag(
      {"WIDE", KeyType::kCharacter, 240, "DESCR", "", false, false},
      testing::keyListOf(KeyType::kCharacter, 240, Entries(model.begin(), model.end())));
  ASSERT_TRUE(tag.isOk()) << tag.status().toString();
  for (int op = 0; op < 400; ++op) {
    if (rng() % 2 == 0 || model.size() < 4) {
      const Entry e{randomKey(), 0xFFFFF000u + static_cast<std::uint32_t>(op)};
      const Status st = (*tag)->insert(e.first, e.second);
      ASSERT_TRUE(st.isOk()) << op << " " << st.toString();
      model.insert(e);
    } else {
      auto it = model.begin();
      std::advance(it, rng() % model.size());
      ASSERT_TRUE((*tag)->erase(it->first, it->second).isOk());
      model.erase(it);
    }
  }
  EXPECT_EQ(testing::readForward(**tag), Entries(model.begin(), model.end()));
  EXPECT_EQ(testing::readBackward(**tag), Entries(model.begin(), model.end()));
  const KeyList now =
      testing::keyListOf(KeyType::kCharacter, 240, Entries(model.begin(), model.end()));
  EXPECT_EQ(testing::faultsOf(*cdx, "WIDE", &now), std::vector<std::string>{});
}

TEST_F(IndexTest, AUniqueBuildKeepsTheFirstRecordOfEachKey) {
  std::unique_ptr<CdxFile> cdx = createIndex();
  const Entries given = {{"B", 9}, {"A", 7}, {"B", 3}, {"A", 8}, {"C", 1}, {"B", 4}};
  const KeyList list = testing::keyListOf(KeyType::kCharacter, 1, given);
  Result<Tag*> tag = cdx->addTag({"U", KeyType::kCharacter, 1, "F", "", true, false}, list);
  ASSERT_TRUE(tag.isOk());
  EXPECT_EQ(testing::readForward(**tag), (Entries{{"A", 7}, {"B", 3}, {"C", 1}}));
  EXPECT_EQ(testing::faultsOf(*cdx, "u", &list), std::vector<std::string>{});
}

TEST_F(IndexTest, RebuildReplacesEveryEntryAndFreesTheOldNodes) {
  std::unique_ptr<CdxFile> cdx = createIndex();
  KeyList first(KeyType::kInteger, 4);
  for (std::uint32_t r = 1; r <= 5000; ++r)
    ASSERT_TRUE(first.add(integerKey(static_cast<int>(r)), r).isOk());
  Result<Tag*> tag = cdx->addTag({"ID", KeyType::kInteger, 4, "ID", "", false, false}, first);
  ASSERT_TRUE(tag.isOk());
  const std::uint64_t sizeBefore = fileSize();

  KeyList second(KeyType::kInteger, 4);
  for (std::uint32_t r = 1; r <= 4000; ++r)
    ASSERT_TRUE(second.add(integerKey(-static_cast<int>(r)), r).isOk());
  ASSERT_TRUE((*tag)->rebuild(second).isOk());
  Entries want;
  for (std::uint32_t r = 4000; r >= 1; --r) want.emplace_back(integerKey(-static_cast<int>(r)), r);
  EXPECT_EQ(testing::readForward(**tag), want);
  EXPECT_EQ(fileSize(), sizeBefore);  // the new tree fits in the pages the old one gave back
  EXPECT_EQ(testing::faultsOf(*cdx, "ID", &second), std::vector<std::string>{});
}

TEST_F(IndexTest, SixtyTagsAreFoundByNameAndDeletedOnesFreeTheirPages) {
  std::unique_ptr<CdxFile> cdx = createIndex();
  std::mt19937 rng(11);
  std::vector<std::string> names;
  while (names.size() < 60) {
    std::string n(1, static_cast<char>('A' + rng() % 26));
    const std::size_t len = 4 + rng() % 7;
    while (n.size() < len) n += "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_"[rng() % 37];
    if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    const KeyList list = testing::keyListOf(KeyType::kCharacter, 10,
                                            {{names[i], static_cast<std::uint32_t>(i + 1)}});
    ASSERT_TRUE(cdx->addTag({names[i], KeyType::kCharacter, 10, "UPPER(" + names[i] + ")", "",
                             false, false},
                            list)
                    .isOk())
        << names[i];
  }
  // The directory no longer fits one leaf: its root is an interior node.
  const std::uint32_t dirRoot = le32At(0);
  EXPECT_EQ(bytesAt(dirRoot, 1)[0] & kAttrLeaf, 0);

  const auto expectAllFound = [&](CdxFile& f, const std::vector<std::string>& present) {
    std::vector<std::string> listed;
    for (const TagInfo& t : f.tags()) listed.push_back(t.name);
    std::vector<std::string> sorted = present;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(listed, sorted);
    for (const std::string& n : present) {
      std::string lower = n;
      for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      Result<Tag*> t = f.tag(lower, KeyType::kCharacter);
      ASSERT_TRUE(t.isOk()) << n;
      EXPECT_EQ((*t)->info().keyExpression, "UPPER(" + n + ")");
      const Entries e = testing::readForward(**t);
      ASSERT_EQ(e.size(), 1u);
      EXPECT_EQ(e[0].first, characterKey(n, 10));
    }
  };
  expectAllFound(*cdx, names);
  EXPECT_EQ(cdx->tag("NOSUCHTAG", KeyType::kCharacter).status().code(), Status::Code::kNotFound);
  cdx.reset();
  cdx = openIndex();
  expectAllFound(*cdx, names);
  EXPECT_EQ(testing::faultsOf(*cdx), std::vector<std::string>{});

  std::vector<std::string> kept;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i % 2 == 0) {
      ASSERT_TRUE(cdx->deleteTag(names[i]).isOk());
    } else {
      kept.push_back(names[i]);
    }
  }
  EXPECT_EQ(cdx->tag(names[0], KeyType::kCharacter).status().code(), Status::Code::kNotFound);
  EXPECT_EQ(cdx->deleteTag(names[0]).code(), Status::Code::kNotFound);
  expectAllFound(*cdx, kept);
  EXPECT_EQ(testing::faultsOf(*cdx), std::vector<std::string>{});

  // New tags take their nodes from the free list; only their headers grow the file.
  const std::uint64_t before = fileSize();
  for (int i = 0; i < 30; ++i) {
    const std::string n = "NEW" + std::to_string(i);
    ASSERT_TRUE(cdx->addTag({n, KeyType::kCharacter, 10, "UPPER(" + n + ")", "", false, false},
                            testing::keyListOf(KeyType::kCharacter, 10, {{n, 1}}))
                    .isOk());
    kept.push_back(n);
  }
  EXPECT_EQ(fileSize(), before + 30 * 1024);
  expectAllFound(*cdx, kept);
  EXPECT_EQ(testing::faultsOf(*cdx), std::vector<std::string>{});
}

TEST_F(IndexTest, ANewIndexHasTheHeaderOtherProgramsExpect) {
  std::unique_ptr<CdxFile> cdx = createIndex();
  EXPECT_TRUE(cdx->tags().empty());
  EXPECT_EQ(fileSize(), 1536u);
  const std::vector<std::uint8_t> h = bytesAt(0, 16);
  EXPECT_EQ(le32At(0), 0x400u);  // directory root
  EXPECT_EQ(h[12], 10);          // key length of the tag names
  EXPECT_EQ(h[14], 0xE0);        // compact, compound, directory
  EXPECT_EQ(h[15], 0x01);
  const std::vector<std::uint8_t> leaf = bytesAt(0x400, 24);
  EXPECT_EQ(leaf[0], 3);  // root and leaf
  EXPECT_EQ(leaf[2], 0);  // no keys
  EXPECT_EQ(leaf[12] | (leaf[13] << 8), 488);
  EXPECT_EQ(testing::faultsOf(*cdx), std::vector<std::string>{});

  ASSERT_TRUE(cdx->addTag({"name", KeyType::kCharacter, 10, "UPPER(NAME)", "", true, true},
                          testing::keyListOf(KeyType::kCharacter, 10, {}))
                  .isOk());
  const std::uint32_t header = cdx->tags()[0].headerOffset;
  const std::vector<std::uint8_t> t = bytesAt(header, 1024);
  EXPECT_EQ(t[14], 0x61);  // compact, compound, unique
  EXPECT_EQ(t[502], 1);    // descending
  EXPECT_EQ(std::string(t.begin() + 512, t.begin() + 523), "UPPER(NAME)");
  EXPECT_EQ(t[523], 0);
  EXPECT_EQ(t[510], 12);  // key expression length with its NUL
  EXPECT_EQ(t[504], 12);  // FOR expression right after it
  EXPECT_EQ(t[506], 1);   // ... and only its NUL
  EXPECT_EQ(cdx->tags()[0].name, "NAME");
}

TEST_F(IndexTest, BadRequestsAreRefusedAndChangeNothing) {
  std::unique_ptr<CdxFile> cdx = createIndex();
  const KeyList none = testing::keyListOf(KeyType::kCharacter, 10, {});
  const KeyList dup = testing::keyListOf(KeyType::kCharacter, 10, {{"A", 1}, {"A", 1}});
  struct BadTag {
    TagSpec spec;
    const KeyList* list;
  };
  const BadTag bad[] = {
      {{"", KeyType::kCharacter, 10, "X", "", false, false}, &none},
      {{"1ABC", KeyType::kCharacter, 10, "X", "", false, false}, &none},
      {{"ELEVENCHARS", KeyType::kCharacter, 10, "X", "", false, false}, &none},
      {{"BAD-NAME", KeyType::kCharacter, 10, "X", "", false, false}, &none},
      {{"NUM", KeyType::kNumeric, 10, "X", "", false, false}, &none},
      {{"LONG", KeyType::kCharacter, 241, "X", "", false, false}, &none},
      {{"NOEXPR", KeyType::kCharacter, 10, "", "", false, false}, &none},
      {{"BIGEXPR", KeyType::kCharacter, 10, std::string(300, 'X'), std::string(220, 'Y'), false,
        false},
       &none},
      {{"WRONGLEN", KeyType::kCharacter, 12, "X", "", false, false}, &none},
      {{"TWICE", KeyType::kCharacter, 10, "X", "", false, false}, &dup},
  };
  for (const BadTag& b : bad) {
    EXPECT_EQ(cdx->addTag(b.spec, *b.list).status().code(), Status::Code::kInvalidArgument)
        << b.spec.name;
  }
  Result<Tag*> tag = cdx->addTag({"OK", KeyType::kCharacter, 10, "X", "", false, false}, none);
  ASSERT_TRUE(tag.isOk());
  EXPECT_EQ(
      cdx->addTag({"ok", KeyType::kCharacter, 10, "X", "", false, false}, none).status().code(),
      Status::Code::kInvalidArgument);
  EXPECT_EQ((*tag)->insert("ELEVEN CHAR", 1).code(), Status::Code::kInvalidArgument);
  EXPECT_EQ((*tag)->insert("A", 0).code(), Status::Code::kInvalidArgument);
  ASSERT_TRUE((*tag)->insert("A", 1).isOk());
  EXPECT_EQ((*tag)->insert("A", 1).code(), Status::Code::kInvalidArgument);
  EXPECT_EQ((*tag)->erase("B", 1).code(), Status::Code::kNotFound);
  EXPECT_EQ(cdx->tag("OK", KeyType::kNumeric).status().code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(testing::readForward(**tag), (Entries{{"A         ", 1}}));
  EXPECT_EQ(cdx->tags().size(), 1u);
  EXPECT_EQ(testing::faultsOf(*cdx), std::vector<std::string>{});

  // A new index needs an empty file.
  EXPECT_EQ(CdxFile::create(openFile(), testing::exclusiveOptions()).status().code(),
            Status::Code::kInvalidArgument);
}

TEST_F(IndexTest, ReadOnlyAndSharedOpenersMayNotChangeTheStructure) {
  {
    std::unique_ptr<CdxFile> cdx = createIndex();
    ASSERT_TRUE(cdx->addTag({"T", KeyType::kCharacter, 4, "T", "", false, false},
                            testing::keyListOf(KeyType::kCharacter, 4, {{"AB", 1}}))
                    .isOk());
  }
  IndexOptions ro = testing::exclusiveOptions();
  ro.readOnly = true;
  std::unique_ptr<CdxFile> reader = openIndex(ro);
  Result<Tag*> t = reader->tag("T", KeyType::kCharacter);
  ASSERT_TRUE(t.isOk());
  EXPECT_EQ((*t)->insert("CD", 2).code(), Status::Code::kReadOnly);
  EXPECT_EQ(testing::readForward(**t), (Entries{{"AB  ", 1}}));
  reader.reset();

  std::unique_ptr<CdxFile> shared = openIndex(testing::sharedOptions());
  const KeyList none = testing::keyListOf(KeyType::kCharacter, 4, {});
  EXPECT_EQ(
      shared->addTag({"U", KeyType::kCharacter, 4, "U", "", false, false}, none).status().code(),
      Status::Code::kInvalidArgument);
  EXPECT_EQ(shared->deleteTag("T").code(), Status::Code::kInvalidArgument);
  Result<Tag*> st = shared->tag("T", KeyType::kCharacter);
  ASSERT_TRUE(st.isOk());
  EXPECT_EQ((*st)->rebuild(none).code(), Status::Code::kInvalidArgument);
  EXPECT_TRUE((*st)->insert("CD", 2).isOk());  // entries may change in shared mode
}

}  // namespace
}  // namespace dbe::cdx
