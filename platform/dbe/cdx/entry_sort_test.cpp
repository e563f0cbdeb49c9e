#include "entry_sort.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace dbe::cdx {
namespace {

using Pair = std::pair<std::string, std::uint32_t>;

// The radix sort against a plain comparison sort, over key lengths on both sides of the
// eight bytes it sorts by, bytes above 0x7F, long runs of one prefix and record numbers of
// every width, given in and out of record order.
TEST(EntrySort, AgreesWithAComparisonSort) {
  std::mt19937 rng(5);
  for (const std::size_t keyLength : {1u, 4u, 8u, 9u, 30u}) {
    for (const bool inRecordOrder : {true, false}) {
      for (const bool unique : {false, true}) {
        SCOPED_TRACE(testing::Message() << keyLength << (inRecordOrder ? " ordered" : " shuffled")
                                        << (unique ? " unique" : ""));
        std::vector<Pair> pairs;
        for (std::uint32_t i = 0; i < 3000; ++i) {
          std::string key(keyLength, '\0');
          for (std::size_t b = 0; b < keyLength; ++b) {
            // Few values early in the key (long shared prefixes), any byte at the end.
            key[b] = static_cast<char>(b + 1 < keyLength ? 0x7E + rng() % 3 : rng() % 256);
          }
          const std::uint32_t recno = inRecordOrder ? i * 4099 + 1 : rng() | 1u;
          pairs.emplace_back(key, recno);
        }
        EntryBuffer in(keyLength);
        for (const Pair& p : pairs) in.push(p.first, p.second);
        EntryBuffer out;
        ASSERT_TRUE(sortEntries(in.view(), unique, "tag T", &out).isOk());

        std::sort(pairs.begin(), pairs.end());
        if (unique) {
          pairs.erase(std::unique(pairs.begin(), pairs.end(),
                                  [](const Pair& a, const Pair& b) { return a.first == b.first; }),
                      pairs.end());
        }
        ASSERT_EQ(out.size(), pairs.size());
        for (std::size_t i = 0; i < pairs.size(); ++i) {
          ASSERT_EQ(out.key(i), pairs[i].first) << i;
          ASSERT_EQ(out.recno(i), pairs[i].second) << i;
        }
      }
    }
  }
}

TEST(EntrySort, APairGivenTwiceIsRefused) {
  EntryBuffer in(3);
  in.push("ABC", 7);
  in.push("XYZ", 1);
  in.push("ABC", 7);
  EntryBuffer out;
  const Status s = sortEntries(in.view(), false, "tag T", &out);
  EXPECT_EQ(s.code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(s.detail(), "tag T: record 7 is listed twice with the same key");
  // In a unique tag the second one is simply not kept.
  EXPECT_TRUE(sortEntries(in.view(), true, "tag T", &out).isOk());
  EXPECT_EQ(out.size(), 2u);
}

}  // namespace
}  // namespace dbe::cdx
