// Each function of the expression language with its edge cases.
#include <gtest/gtest.h>
#include <vector>

#include "dbe/expr/expr_test_util.h"

namespace dbe::expr {
namespace {

class FunctionTest : public ::testing::TestWithParam<EvalCase> {
 protected:
  DateSettingsGuard dates_;  // the default settings: mm/dd/yy, epoch 1900, no century
};
TEST_P(FunctionTest, Evaluates) { checkCase(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Case, FunctionTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {"UPPER('aBc1 z')", "ABC1 Z"},
                             {"UPPER(NAME)", "SMITH     "},
                             {"LOWER('AbC')", "abc"},
                             {"UPPER('')", ""},
                             {"upper('x')", "X"},   // names in any case
                             {"Upper ('x')", "X"},  // blanks before the parenthesis
                             {"UPPE('x')", "X"},    // four letters are enough
                             {"LOWE('X')", "x"},
                         }));

INSTANTIATE_TEST_SUITE_P(Trim, FunctionTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {"TRIM('ab  ')", "ab"},
                             {"TRIM('  ab')", "  ab"},
                             {"RTRIM(NAME)", "Smith"},
                             {"LTRIM('  ab ')", "ab "},
                             {"ALLTRIM('  a b  ')", "a b"},
                             {"ALLT('  a  ')", "a"},
                             {"TRIM('    ')", ""},
                             {"ALLTRIM('')", ""},
                             {"TRIM('a\t')", "a\t"},  // only blanks are trimmed
                             {"LTRIM(RTRIM(NAME))+'|'", "Smith|"},
                         }));

INSTANTIATE_TEST_SUITE_P(Substr, FunctionTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {"SUBSTR('ABCDE',2,3)", "BCD"},
                             {"SUBSTR('ABCDE',4)", "DE"},
                             {"SUBSTR('ABCDE',5,10)", "E"},  // a count past the end stops there
                             {"SUBSTR('ABCDE',6)", ""},      // a start past the end gives nothing
                             {"SUBSTR('ABCDE',99,2)", ""},
                             {"SUBSTR('ABCDE',0,2)", "AB"},  // start 0 is 1
                             {"SUBSTR('ABCDE',-2)", "DE"},   // a negative start counts from the end
                             {"SUBSTR('ABCDE',-2,1)", "D"},
                             {"SUBSTR('ABCDE',-9,2)", "AB"},  // and stops at the first byte
                             {"SUBSTR('ABCDE',2,0)", ""},
                             {"SUBSTR('ABCDE',2,-1)", ""},
                             {"SUBSTR('ABCDE',2.9,1.9)", "B"},  // positions are truncated
                             {"SUBSTR('',1,1)", ""},
                             {"SUBSTR(NAME,QTY,2)", "it"},
                             {"SUBS(NAME,1,3)", "Smi"},
                             {"LEFT('ABC',2)", "AB"},
                             {"LEFT('ABC',5)", "ABC"},
                             {"LEFT('ABC',0)", ""},
                             {"LEFT('ABC',-1)", ""},
                             {"RIGHT('ABC',2)", "BC"},
                             {"RIGHT('ABC',9)", "ABC"},
                             {"RIGHT('ABC',-3)", ""},
                             {"RIGHT(NAME,5)", "     "},
                         }));

INSTANTIATE_TEST_SUITE_P(Pad, FunctionTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {"PADR('AB',4)", "AB  "},
                             {"PADL('AB',4)", "  AB"},
                             {"PADR('AB',4,'*')", "AB**"},
                             {"PADL('7',3,'0')", "007"},
                             {"PADL('7',3,'0x')", "007"},  // the first byte of the fill text
                             {"PADR('AB',4,'')", "AB  "},  // an empty fill is a blank
                             {"PADR('ABCDE',3)", "ABC"},   // a longer text is cut...
                             {"PADL('ABCDE',3)", "ABC"},   // ...to its first bytes, on both sides
                             {"PADR('AB',0)", ""},
                             {"PADR('AB',-2)", ""},
                             {"PADL('AB',-2)", ""},
                             {"PADR(TRIM(NAME),7)", "Smith  "},
                             {"PADR('',3)", "   "},
                         }));

INSTANTIATE_TEST_SUITE_P(Str, FunctionTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {"STR(12)", "        12"},      // 10 wide, no decimals
                             {"STR(AMOUNT)", "        13"},  // 12.5 rounds up
                             {"STR(-12.5)", "       -13"},   // half away from zero
                             {"STR(2.5,3)", "  3"},
                             {"STR(0.5)", "         1"},
                             {"STR(-0.4,3)", "  0"},  // no negative zero
                             {"STR(-0.5,2)", "-1"},
                             {"STR(AMOUNT,6,2)", " 12.50"},
                             {"STR(1.005,5,2)", " 1.01"},  // as written, not as the binary double
                             {"STR(2.675,5,2)", " 2.68"},
                             {"STR(0.125,5,2)", " 0.13"},
                             {"STR(99.96,5,1)", "100.0"},  // the carry adds a digit
                             {"STR(0,5,2)", " 0.00"},
                             {"STR(.05,4,1)", " 0.1"},
                             {"STR(3.14159,6,3)", " 3.142"},
                             {"STR(3.14159,3,2)", "3.1"},  // decimals that do not fit are dropped
                             {"STR(123.456,5,2)", "123.5"},
                             {"STR(123.456,3,2)", "123"},
                             {"STR(123456,5)", "*****"},  // a whole number that does not fit
                             {"STR(-123,3)", "***"},
                             {"STR(12,2)", "12"},
                             {"STR(12,0)", ""},  // no width, no text
                             {"STR(12,-3)", ""},
                             {"STR(12,4,-1)", "  12"},  // negative decimals are none
                             {"STR(7,3,5)", "7.0"},  // more decimals than the width: as many as fit
                             {"STR(QTY*1000000,10)", "   3000000"},
                             {"STR(123456789012345,15)", "123456789012345"},
                             {"STR(0.1+0.2,20,17)",
                              " 0.30000000000000000"},  // 15 significant digits
                         }));

INSTANTIATE_TEST_SUITE_P(Val, FunctionTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {"VAL('12')", 12},
                             {"VAL('  -3.5xyz')", -3.5},
                             {"VAL('+7')", 7},
                             {"VAL('.5')", 0.5},
                             {"VAL('12.')", 12},
                             {"VAL('1,5')", 1},  // reading stops at the comma
                             {"VAL('1e3')", 1},  // no exponents
                             {"VAL('abc')", 0},
                             {"VAL('')", 0},
                             {"VAL('.')", 0},
                             {"VAL('-')", 0},
                             {"VAL('- 5')", 0},
                             {"VAL('  ')", 0},
                             {"VAL(STR(AMOUNT,8,3))", 12.5},
                         }));

INSTANTIATE_TEST_SUITE_P(Dates, FunctionTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {"DTOS(DUE)", "20160307"},
                             {"DTOS(NODATE)", "        "},
                             {"DTOC(DUE)", "03/07/16"},
                             {"DTOC(NODATE)", "  /  /  "},
                             {"CTOD('03/07/2016')", date(2016, 3, 7)},
                             {"CTOD('3/7/2016')", date(2016, 3, 7)},
                             {"CTOD('12/31/99')", date(1999, 12, 31)},
                             {"CTOD('  /  /  ')", emptyDate()},
                             {"CTOD('')", emptyDate()},
                             {"CTOD('junk')", emptyDate()},
                             {"CTOD('02/30/2016')", emptyDate()},  // no such day
                             {"CTOD(DTOC(DUE))",
                              date(1916, 3, 7)},  // two-digit years go through the epoch window
                             {"YEAR(DUE)", 2016},
                             {"MONTH(DUE)", 3},
                             {"DAY(DUE)", 7},
                             {"YEAR(NODATE)", 0},
                             {"MONTH(NODATE)", 0},
                             {"DAY(DUE+25)", 1},
                         }));

INSTANTIATE_TEST_SUITE_P(Misc, FunctionTest,
                         ::testing::ValuesIn(std::vector<EvalCase>{
                             {"IIF(.T.,'a','b')", "a"},
                             {"IIF(ACTIVE,1,2)", 1},
                             {"IIF(VENDINACT,1,2)", 2},
                             {"IIF(.T.,1,1/ZERO)", 1},  // only the chosen branch is evaluated
                             {"IIF(.F.,1/ZERO,2)", 2},
                             {"IIF(ACTIVE,1,'x')", 1},  // branches of different types
                             {"IIF(VENDINACT,1,'x')", "x"},
                             {"EMPTY('   ')", true},
                             {"EMPTY('')", true},
                             {"EMPTY(' x ')", false},
                             {"EMPTY(' \t\r\n')", true},
                             {"EMPTY(0)", true},
                             {"EMPTY(QTY)", false},
                             {"EMPTY(.F.)", true},
                             {"EMPTY(ACTIVE)", false},
                             {"EMPTY(NODATE)", true},
                             {"EMPTY(DUE)", false},
                             {"EMPT(NAME)", false},
                             {"LEN('abc')", 3},
                             {"LEN('')", 0},
                             {"LEN(NAME)", 10},
                             {"LEN(TRIM(NAME))", 5},
                             {"LEN(NOTES)", 10},
                             {"RECNO()", 42},
                             {"RECN()", 42},
                             {"DELETED()", false},
                             {"DELE()", false},
                             {"!DELETED() .AND. RECNO()>0", true},
                         }));

// DTOC() and CTOD() follow the calling thread's date settings at evaluation time.
TEST(DateFunctionTest, FollowTheThreadsDateSettings) {
  DateSettingsGuard guard;
  VendorRecord rec;
  Result<Expression> dtoc = compile("DTOC(DUE)", rec);
  Result<Expression> ctod = compile("CTOD('07.03.16')", rec);
  ASSERT_TRUE(dtoc.isOk() && ctod.isOk());

  rt::setDateFormat("dd.mm.yyyy");
  rt::setEpoch(1950);
  Result<rt::Value> text = dtoc->value(rec);
  ASSERT_TRUE(text.isOk());
  EXPECT_EQ("07.03.2016", text->text());
  Result<rt::Value> d = ctod->value(rec);
  ASSERT_TRUE(d.isOk());
  EXPECT_TRUE(sameValue(date(2016, 3, 7), *d));

  // The static length is the compiling thread's: compiled now, DTOC is 10 wide.
  Result<Expression> wide = compile("DTOC(DUE)", rec);
  ASSERT_TRUE(wide.isOk());
  EXPECT_EQ(10, wide->type().length);
}

}  // namespace
}  // namespace dbe::expr
