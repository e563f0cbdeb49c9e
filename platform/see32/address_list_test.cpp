#include "address_list.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

namespace see32 {
namespace {

struct ListCase {
  const char* name;
  const char* list;
  std::vector<Address> expected;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ListCase& c, std::ostream* os) { *os << c.name; }

// The forms the mail code produces (and what users type into the address fields).
const ListCase kLists[] = {
    {"Empty", "", {}},
    {"OnlyBlanks", "   ", {}},
    {"OneBracketed", "<ap@carrier.com>", {{"", "ap@carrier.com"}}},
    {"ThreeJoined",
     "<a@x.com>;<b@y.com>;<c@z.com>",
     {{"", "a@x.com"}, {"", "b@y.com"}, {"", "c@z.com"}}},
    {"BlankKeptInsideBrackets", "<a@x.com>;< b@y.com>", {{"", "a@x.com"}, {"", "b@y.com"}}},
    {"TrailingSemicolonGivesEmptyPair", "<a@x.com>;<>", {{"", "a@x.com"}}},
    {"EmptyEntries", ";;<a@x.com>; ;", {{"", "a@x.com"}}},
    {"BareAddresses", "a@x.com; b@y.com", {{"", "a@x.com"}, {"", "b@y.com"}}},
    {"MixedFirstBracketed", "<a@x.com>;b@y.com", {{"", "a@x.com"}, {"", "b@y.com"}}},
    {"DisplayName", "Accounts Payable <ap@carrier.com>", {{"Accounts Payable", "ap@carrier.com"}}},
    {"BlankPair", "< >", {}},
    {"LocalPartOnly", "<postmaster>", {{"", "postmaster"}}},
};

class AddressListTest : public testing::TestWithParam<ListCase> {};

TEST_P(AddressListTest, Parses) {
  SeeResult<std::vector<Address>> r = parseAddressList(GetParam().list, "recipient");
  ASSERT_TRUE(r) << r.status().text();
  EXPECT_EQ(*r, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Lists, AddressListTest, testing::ValuesIn(kLists),
                         [](const auto& p) { return std::string(p.param.name); });

struct BadCase {
  const char* list;
  const char* textPart;  // the error text must contain it
};

const BadCase kBad[] = {
    {"<a@x.com", "'>' is missing"},
    {"a@x.com>", "'>' without '<'"},
    {"<a@x.com> extra", "text after '>'"},
    {"<a<b@x.com>", "'<' inside"},
    {"<a b@x.com>", "not allowed"},
    {"<a@x.com>;<b,c@y.com>", "\"<b,c@y.com>\""},
    {"<a@x.com\r\nBcc: evil@x.com>", "not allowed"},
    {"Name <>", "no address"},
};

TEST(AddressListErrors, NameTheEntryAndTheList) {
  for (const BadCase& c : kBad) {
    SCOPED_TRACE(c.list);
    SeeResult<std::vector<Address>> r = parseAddressList(c.list, "CC");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.status().code(), kSeeBadAddress);
    EXPECT_NE(r.status().text().find("bad CC address"), std::string::npos) << r.status().text();
    EXPECT_NE(r.status().text().find(c.textPart), std::string::npos) << r.status().text();
  }
}

TEST(AddressListErrors, RefusesOverlongMailbox) {
  const std::string list = "<" + std::string(250, 'a') + "@x.com>";
  SeeResult<std::vector<Address>> r = parseAddressList(list, "recipient");
  ASSERT_FALSE(r);
  EXPECT_NE(r.status().text().find("too long"), std::string::npos);
}

TEST(SingleAddress, OneNoneOrRefused) {
  SeeResult<Address> one = parseSingleAddress(" <me@carrier.com> ", "sender");
  ASSERT_TRUE(one);
  EXPECT_EQ(one->mailbox, "me@carrier.com");
  EXPECT_EQ(one->bracketed(), "<me@carrier.com>");

  SeeResult<Address> none = parseSingleAddress("<>", "sender");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->mailbox.empty());

  SeeResult<Address> two = parseSingleAddress("<a@x>;<b@y>", "reply-to");
  ASSERT_FALSE(two);
  EXPECT_NE(two.status().text().find("more than one"), std::string::npos);
}

}  // namespace
}  // namespace see32
