#include "dbe/expr/expression.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "dbe/expr/expr_test_util.h"

namespace dbe::expr {
namespace {

// ---- operators, each with the type pairs that matter ----

class OperatorTest : public ::testing::TestWithParam<EvalCase> {};
TEST_P(OperatorTest, Evaluates) { checkCase(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Precedence, OperatorTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {"1+2*3", 7},
                             {"(1+2)*3", 9},
                             {"-2*3", -6},
                             {"2*-3", -6},
                             {"--3", 3},
                             {"+3", 3},
                             {"-(1+2)", -3},
                             {"10-4-3", 3},  // left to right
                             {"12/4/3", 1},
                             {"7%3*2", 2},
                             {"2+3=5", true},      // arithmetic before comparison
                             {"1<2=.T.", true},    // comparisons left to right
                             {".NOT. 1=2", true},  // .NOT. takes the whole comparison
                             {"!1=2 .AND. 2=3", false},
                             {".T. .OR. .F. .AND. .F.", true},  // .AND. before .OR.
                             {"(.T. .OR. .F.) .AND. .F.", false},
                             {".NOT. .F. .AND. .F.", false},  // .NOT. before .AND.
                             {"1=1 .AND. !(2=3)", true},
                             {"1=1.AND.2=2", true},  // a point before a word ends the number
                             {"3 = 1 + 2", true},
                             {"ACTIVE = !VENDINACT", true},
                         }));

INSTANTIATE_TEST_SUITE_P(Literals, OperatorTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {"\"don't\"", "don't"},
                             {"[say \"hi\"]", "say \"hi\""},
                             {"''", ""},
                             {"1.5", 1.5},
                             {".5", 0.5},
                             {"1.", 1},
                             {"007", 7},
                             {".t.", true},
                             {".Y.", true},
                             {".n.", false},
                             {".F.", false},
                             {"  12  ", 12},
                         }));

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, OperatorTest,
    ::testing::ValuesIn(std::vector<EvalCase>{
        {"AMOUNT+QTY", 15.5},
        {"AMOUNT-QTY", 9.5},
        {"AMOUNT*QTY", 37.5},
        {"AMOUNT/QTY", 12.5 / 3},
        {"7%3", 1},
        {"-7%3", -1},  // the sign of the dividend
        {"7.5%2", 1.5},
        {"-AMOUNT", -12.5},
        {"-ZERO", 0},
        {"'AB  '+'CD'", "AB  CD"},
        {"'AB  '-'CD'", "ABCD  "},  // trailing blanks of the left text move to the end
        {"'  '-'CD'", "CD  "},
        {"'AB'-'  CD'", "AB  CD"},
        {"''-'X'", "X"},
        {"NAME+CITY", "Smith     Dallas  "},
        {"NAME-CITY", "SmithDallas       "},
        {"DUE+1", date(2016, 3, 8)},
        {"1+DUE", date(2016, 3, 8)},
        {"DUE+25", date(2016, 4, 1)},
        {"DUE-7", date(2016, 2, 29)},   // a leap year
        {"DUE+1.9", date(2016, 3, 8)},  // whole days only
        {"DUE-(DUE-10)", 10},
        {"DUE-CTOD('03/07/2015')", 366},
        {"NODATE+5", emptyDate()},  // an empty date stays empty
        {"NODATE-5", emptyDate()},
        {"DTOS(DUE+30)", "20160406"},
        {"CTOD('12/31/9998')+365", date(9999, 12, 31)},  // the last and first days a date holds
        {"CTOD('01/02/0001')-1", date(1, 1, 1)},
    }));

INSTANTIATE_TEST_SUITE_P(Comparisons, OperatorTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             // = is non-exact on texts: the left text begins with the right one.
                             {"'ABC'='AB'", true},
                             {"'AB'='ABC'", false},
                             {"'ABC'=''", true},  // an empty right text equals anything
                             {"''='ABC'", false},
                             {"''=''", true},
                             {"'ABC  '='ABC'",
                              true},  // trailing blanks on the left do not matter...
                             {"'ABC'='ABC  '", false},  // ...on the right they do
                             {"'abc'='ABC'", false},    // case matters
                             {"NAME='Smi'", true},
                             {"NAME='Smith'", true},
                             {"NAME=''", true},
                             // == compares whole texts.
                             {"'ABC'=='AB'", false},
                             {"'ABC'=='ABC'", true},
                             {"'ABC'==''", false},
                             {"'ABC  '=='ABC'", false},
                             {"NAME=='Smith'", false},
                             {"NAME=='Smith     '", true},
                             {"TRIM(NAME)=='Smith'", true},
                             // <>, != and # negate =.
                             {"'ABC'<>'AB'", false},
                             {"'ABC'!='AB'", false},
                             {"'ABC'#'AB'", false},
                             {"'AB'<>'ABC'", true},
                             {"'ABC'<>''", false},
                             // Ordering: over the right text's length when it is the shorter one.
                             {"'ABC'>'AB'", false},
                             {"'ABC'>='AB'", true},
                             {"'ABC'<='AB'", true},
                             {"'ABC'<'AB'", false},
                             {"'AB'<'ABC'", true},  // a text before its extensions
                             {"'AB'>'ABC'", false},
                             {"'B'>'ABC'", true},
                             {"'ABD'>'ABC'", true},
                             {"'abc'>'ABC'", true},
                             {"'\xE9'>'z'", true},    // unsigned bytes: 0xE9 after 0x7A
                             {"'\x80' > ''", false},  // equal to the empty text, so not greater
                             {"'' < 'A'", true},
                             // Numbers, dates, logicals.
                             {"AMOUNT=12.5", true},
                             {"AMOUNT==12.5", true},
                             {"AMOUNT<>12.5", false},
                             {"AMOUNT>12", true},
                             {"AMOUNT<=12.5", true},
                             {"-1<0", true},
                             {"DUE=CTOD('03/07/2016')", true},
                             {"DUE>CTOD('03/06/2016')", true},
                             {"DUE>CTOD('03/08/2016')", false},
                             {"DUE<NODATE", false},  // the empty date comes first
                             {"NODATE=CTOD('')", true},
                             {".F.<.T.", true},
                             {".T.=.T.", true},
                             {".T.<>.F.", true},
                             {"vendinact<>.t.", true},
                             {"ACTIVE==.T.", true},
                         }));

INSTANTIATE_TEST_SUITE_P(Logic, OperatorTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {".T. .AND. .T.", true},
                             {".T. .and. .F.", false},
                             {".F. .OR. .T.", true},
                             {".F. .or. .F.", false},
                             {".NOT. .T.", false},
                             {"!.F.", true},
                             {"!!.T.", true},
                             {".not..not..t.", true},
                             // The right operand is not evaluated when the left one decides.
                             {".F. .AND. 1/ZERO=1", false},
                             {".T. .OR. 1/ZERO=1", true},
                             {"ACTIVE .AND. !VENDINACT .AND. NAME='S'", true},
                         }));

INSTANTIATE_TEST_SUITE_P(Fields, OperatorTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {"NAME", "Smith     "},
                             {"name", "Smith     "},
                             {"Name", "Smith     "},
                             {"NOTES", "call first"},
                             {"AP->NAME", "Smith     "},  // the area's own alias
                             {"ap->city", "Dallas  "},
                             {"VEND->VENDNO", "A100  "},  // another work area
                             {"vend -> vendno", "A100  "},
                             {"VEND->VENDNO+NAME", "A100  Smith     "},
                         }));

// Exactly one of <, = and > holds for any two texts, and <=, >=, <> agree with them.
TEST(TextOrderingTest, IsConsistentOverPairs) {
  const std::vector<std::string> texts = {"",    "A", "AB", "ABC",  "ABD",  "B",   "A ",
                                          "AB ", " ", "a",  "\xE9", "\x01", "ABCD"};
  for (const std::string& l : texts) {
    for (const std::string& r : texts) {
      ValueRecordContext ctx;
      const FieldHandle hl = ctx.addField("L", Type::kText);
      const FieldHandle hr = ctx.addField("R", Type::kText);
      ctx.set(hl, l);
      ctx.set(hr, r);
      auto truth = [&](const char* text) {
        Result<Expression> e = compile(text, ctx);
        EXPECT_TRUE(e.isOk()) << e.status().toString();
        Result<bool> b = e->test(ctx);
        EXPECT_TRUE(b.isOk()) << b.status().toString();
        return *b;
      };
      const bool lt = truth("L<R"), eq = truth("L=R"), gt = truth("L>R");
      SCOPED_TRACE("'" + l + "' vs '" + r + "'");
      EXPECT_EQ(1, int(lt) + int(eq) + int(gt));
      EXPECT_EQ(lt || eq, truth("L<=R"));
      EXPECT_EQ(gt || eq, truth("L>=R"));
      EXPECT_EQ(!eq, truth("L<>R"));
      EXPECT_EQ(eq, rt::valuesEqual(rt::Value(l), rt::Value(r), false));
      EXPECT_EQ(l == r, truth("L==R"));
    }
  }
}

// ---- the compiled form ----

TEST(ExpressionTest, ReadsTheCurrentRecordEachTime) {
  VendorRecord rec;
  Result<Expression> e = compile("UPPER(NAME)+STR(QTY,3)", rec);
  ASSERT_TRUE(e.isOk()) << e.status().toString();
  const char* names[] = {"Smith", "jones", "O'Hara"};
  const char* want[] = {"SMITH       3", "JONES       4", "O'HARA      5"};
  for (int i = 0; i < 3; ++i) {
    rec.set(rec.name, names[i]);
    rec.set(rec.qty, 3 + i);
    ValueView v;
    ASSERT_TRUE(e->evaluate(rec, &v).isOk());
    EXPECT_EQ(want[i], v.text);
  }
}

TEST(ExpressionTest, CopiesEvaluateIndependently) {
  VendorRecord rec;
  Result<Expression> e = compile("UPPER(NAME)", rec);
  ASSERT_TRUE(e.isOk());
  Expression copy = *e;
  ValueView a, b;
  ASSERT_TRUE(e->evaluate(rec, &a).isOk());
  rec.set(rec.name, "other");
  ASSERT_TRUE(copy.evaluate(rec, &b).isOk());
  EXPECT_EQ("SMITH     ", a.text);  // the copy's evaluation did not overwrite the original's
  EXPECT_EQ("OTHER     ", b.text);
  EXPECT_EQ("UPPER(NAME)", copy.text());
}

TEST(ExpressionTest, DeletedAndRecordNumberComeFromTheContext) {
  VendorRecord rec;
  Result<Expression> e = compile("IIF(DELETED(), -RECNO(), RECNO())", rec);
  ASSERT_TRUE(e.isOk());
  EXPECT_TRUE(e->usesDeleted());
  EXPECT_TRUE(e->usesRecordNumber());
  Result<rt::Value> v = e->value(rec);
  ASSERT_TRUE(v.isOk());
  EXPECT_EQ(42, v->number());
  rec.setDeleted(true);
  rec.setRecordNumber(7);
  v = e->value(rec);
  ASSERT_TRUE(v.isOk());
  EXPECT_EQ(-7, v->number());

  Result<Expression> plain = compile("NAME", rec);
  ASSERT_TRUE(plain.isOk());
  EXPECT_FALSE(plain->usesDeleted());
  EXPECT_FALSE(plain->usesRecordNumber());
}

TEST(ExpressionTest, SingleFieldIsReportedOnlyForAFieldNameWithoutAlias) {
  VendorRecord rec;
  struct Case {
    const char* text;
    bool single;
  };
  for (const Case& c : {Case{"NAME", true}, Case{"(qty)", true}, Case{"AP->NAME", false},
                        Case{"UPPER(NAME)", false}, Case{"VEND->VENDNO", false},
                        Case{"QTY+0", false}, Case{"'NAME'", false}}) {
    Result<Expression> e = compile(c.text, rec);
    ASSERT_TRUE(e.isOk()) << c.text;
    EXPECT_EQ(c.single, e->singleField() != nullptr) << c.text;
  }
  Result<Expression> e = compile("qty", rec);
  ASSERT_TRUE(e.isOk());
  EXPECT_EQ(rec.qty, e->singleField()->handle);
  EXPECT_EQ(Type::kNumber, e->singleField()->type);
}

TEST(ExpressionTest, TestGivesTheConditionOfAFilter) {
  VendorRecord rec;
  CompileOptions condition;
  condition.requireLogical = true;
  Result<Expression> e = compile("vendinact<>.t.", rec, condition);
  ASSERT_TRUE(e.isOk());
  Result<bool> visible = e->test(rec);
  ASSERT_TRUE(visible.isOk());
  EXPECT_TRUE(*visible);
  rec.set(rec.vendinact, true);
  visible = e->test(rec);
  ASSERT_TRUE(visible.isOk());
  EXPECT_FALSE(*visible);
}

TEST(ExpressionTest, UpperUsesTheCaseTableOfTheCompileOptions) {
  VendorRecord rec;
  rec.set(rec.name, "caf\xE9 \x9A");
  Result<Expression> ascii = compile("UPPER(NAME)", rec);
  CompileOptions ansi;
  ansi.caseTable = &windows1252CaseTable();
  Result<Expression> cp1252 = compile("UPPER(NAME)", rec, ansi);
  Result<Expression> lower = compile("LOWER('CAF\xC9 \xD7')", rec, ansi);
  ASSERT_TRUE(ascii.isOk() && cp1252.isOk() && lower.isOk());
  ValueView v;
  ASSERT_TRUE(ascii->evaluate(rec, &v).isOk());
  EXPECT_EQ("CAF\xE9 \x9A    ", v.text);  // bytes from 0x80 up stay as they are
  ASSERT_TRUE(cp1252->evaluate(rec, &v).isOk());
  EXPECT_EQ("CAF\xC9 \x8A    ", v.text);
  ASSERT_TRUE(lower->evaluate(rec, &v).isOk());
  EXPECT_EQ("caf\xE9 \xD7", v.text);  // the multiplication sign is no letter
}

// The deepest expressions compile() accepts evaluate without trouble, also on a worker thread
// (where reports run).
TEST(ExpressionTest, DeepestAcceptedNestingEvaluates) {
  VendorRecord rec;
  std::string parens =
      std::string(kMaxNesting - 1, '(') + "QTY" + std::string(kMaxNesting - 1, ')');
  std::string chain = "1";
  for (int i = 1; i < kMaxNesting; ++i) chain += "+1";  // kMaxNesting - 1 additions
  std::string nots;
  for (int i = 2; i < kMaxNesting; ++i) nots += "!";  // inside IIF(), itself one level
  nots += ".T.";
  struct Case {
    std::string text;
    double want;
  };
  std::vector<Case> cases = {{parens, 3}, {chain, kMaxNesting}, {"IIF(" + nots + ",1,0)", 1}};
  std::thread worker([&] {
    for (const Case& c : cases) {
      Result<Expression> e = compile(c.text, rec);
      ASSERT_TRUE(e.isOk()) << e.status().toString();
      Result<rt::Value> v = e->value(rec);
      ASSERT_TRUE(v.isOk()) << v.status().toString();
      EXPECT_EQ(c.want, v->number());
    }
  });
  worker.join();
}

}  // namespace
}  // namespace dbe::expr
