// The static type and length of expressions, which fix the key length of an index tag.
#include <gtest/gtest.h>
#include <vector>

#include "dbe/expr/expr_test_util.h"

namespace dbe::expr {
namespace {

struct TypeCase {
  const char* text;
  Type type;
  int length;
};

std::ostream& operator<<(std::ostream& os, const TypeCase& c) { return os << c.text; }

class TypingTest : public ::testing::TestWithParam<TypeCase> {
 protected:
  DateSettingsGuard dates_;
};

constexpr Type C = Type::kText;
constexpr Type N = Type::kNumber;
constexpr Type L = Type::kLogical;
constexpr Type D = Type::kDate;
constexpr Type U = Type::kAny;
constexpr int V = kVariableLength;

// The compiler's answer, and (where it claims a length) the length every evaluation gives.
TEST_P(TypingTest, InfersTypeAndLength) {
  const TypeCase& c = GetParam();
  VendorRecord rec;
  Result<Expression> e = compile(c.text, rec);
  ASSERT_TRUE(e.isOk()) << e.status().toString();
  EXPECT_EQ(c.type, e->type().type);
  EXPECT_EQ(c.length, e->type().length);
  for (const char* name : {"", "Smith", "A much longer name"}) {
    rec.set(rec.name, name);
    rec.set(rec.notes, name);
    ValueView v;
    ASSERT_TRUE(e->evaluate(rec, &v).isOk());
    if (c.type != U) {
      EXPECT_EQ(c.type, v.type);
    }
    if (c.type == C && c.length != V) {
      EXPECT_EQ(static_cast<std::size_t>(c.length), v.text.size());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, TypingTest,
                         ::testing::ValuesIn(std::vector<TypeCase>{
                             {"NAME", C, 10},
                             {"UPPER(NAME)", C, 10},
                             {"LOWER(VEND->VENDNO)", C, 6},
                             {"SUBSTR(NAME,1,5)", C, 5},
                             {"SUBSTR(NAME,8,5)", C, 3},  // cut by the field's end
                             {"SUBSTR(NAME,4)", C, 7},
                             {"SUBSTR(NAME,-3)", C, 3},
                             {"SUBSTR(NAME,20,2)", C, 0},
                             {"SUBSTR(NAME,QTY,2)", C, V},  // a position that is not a literal
                             {"SUBSTR(NOTES,1,5)", C, V},   // a memo may be shorter
                             {"LEFT(NAME,3)", C, 3},
                             {"LEFT(NAME,30)", C, 10},
                             {"RIGHT(NAME,-1)", C, 0},
                             {"PADR(NAME,20)", C, 20},
                             {"PADL(NOTES,4)", C, 4},
                             {"PADR(NAME,QTY)", C, V},
                             {"PADR(NAME,-5)", C, 0},
                             {"STR(AMOUNT)", C, 10},
                             {"STR(AMOUNT,6)", C, 6},
                             {"STR(AMOUNT,6,2)", C, 6},
                             {"STR(AMOUNT,QTY)", C, V},
                             {"DTOS(DUE)", C, 8},
                             {"DTOC(DUE)", C, 8},  // mm/dd/yy
                             {"NAME+CITY", C, 18},
                             {"NAME-CITY", C, 18},
                             {"VEND->VENDNO+DTOS(DUE)", C, 14},
                             {"UPPER(NAME)+STR(AMOUNT,8,2)+DTOS(DUE)", C, 26},
                             {"NAME+NOTES", C, V},
                             {"TRIM(NAME)", C, V},
                             {"ALLTRIM(NAME)+'x'", C, V},
                             {"'abc'", C, 3},
                             {"''", C, 0},
                             {"IIF(ACTIVE,NAME,NAME)", C, 10},
                             {"IIF(ACTIVE,NAME,CITY)", C, V},
                             {"IIF(ACTIVE,1,'x')", U, V},
                             {"IIF(ACTIVE,1,'x')+1", U, V},
                             {"UPPER(IIF(ACTIVE,'a',1))", C, V},
                             {"AMOUNT", N, 8},
                             {"AMOUNT*2", N, 8},
                             {"VAL(NAME)", N, 8},
                             {"LEN(NAME)", N, 8},
                             {"YEAR(DUE)", N, 8},
                             {"RECNO()", N, 8},
                             {"DUE-DUE", N, 8},
                             {"DUE", D, 8},
                             {"DUE+1", D, 8},
                             {"CTOD('')", D, 8},
                             {"ACTIVE", L, 1},
                             {"NAME='x'", L, 1},
                             {"DELETED()", L, 1},
                             {"EMPTY(NAME)", L, 1},
                             {"IIF(ACTIVE,1,'x')=1", L, 1},
                         }));

TEST(TypingTest, DtocLengthFollowsTheCompilingThreadsFormat) {
  DateSettingsGuard guard;
  VendorRecord rec;
  rt::setDateFormat("yyyy-mm-dd");
  Result<Expression> e = compile("DTOC(DUE)", rec);
  ASSERT_TRUE(e.isOk());
  EXPECT_EQ(10, e->type().length);
}

}  // namespace
}  // namespace dbe::expr
