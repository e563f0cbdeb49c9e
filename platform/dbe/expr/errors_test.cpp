// Every compile error with its message and position, and the errors of evaluation.
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

#include "dbe/expr/expr_test_util.h"

namespace dbe::expr {
namespace {

struct ErrorCase {
  std::string text;
  ErrorKind kind;
  int position;
  std::string message;  // the whole Status detail
};

std::ostream& operator<<(std::ostream& os, const ErrorCase& c) {
  return os << c.text.substr(0, 40);
}

class CompileErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CompileErrorTest, NamesKindTextAndPosition) {
  const ErrorCase& c = GetParam();
  VendorRecord rec;
  CompileError error;
  Result<Expression> e = compile(c.text, rec, {}, &error);
  ASSERT_FALSE(e.isOk());
  EXPECT_EQ(Status::Code::kInvalidArgument, e.status().code());
  EXPECT_EQ(c.kind, error.kind);
  EXPECT_EQ(c.position, error.position);
  if (!c.message.empty()) {
    EXPECT_EQ(c.message, e.status().detail());
  }
}

std::string msg(const char* title, const std::string& text, int pos, const char* detail) {
  return std::string(title) + " in expression '" + text + "' at position " + std::to_string(pos) +
         ": " + detail;
}

ErrorCase syntax(std::string text, int pos, const char* detail) {
  return {text, ErrorKind::kSyntax, pos, msg("Syntax error", text, pos, detail)};
}
ErrorCase mismatch(std::string text, int pos, const char* detail) {
  return {text, ErrorKind::kTypeMismatch, pos, msg("Type mismatch", text, pos, detail)};
}

INSTANTIATE_TEST_SUITE_P(Syntax, CompileErrorTest,
                         ::testing::ValuesIn(std::vector<ErrorCase>{
                             syntax("UPPER(NAME", 11, "')' expected"),
                             syntax("", 1, "operand expected"),
                             syntax("   ", 4, "operand expected"),
                             syntax("1+", 3, "operand expected"),
                             syntax("(1+2", 5, "')' expected"),
                             syntax("1+2)", 4, "unexpected )"),
                             syntax("NAME CITY", 6, "unexpected CITY"),
                             syntax("1 2", 3, "unexpected 2"),
                             syntax("1.2.3", 4, "unexpected .3"),
                             syntax("'it''s'", 5, "unexpected 's'"),  // no doubled-quote escape
                             syntax("'abc", 1, "text without its closing delimiter"),
                             syntax("NAME = 'x", 8, "text without its closing delimiter"),
                             syntax("[abc", 1, "text without its closing delimiter"),
                             syntax("NAME @ 1", 6, "unexpected character '@'"),
                             syntax("NAME\x01", 5, "unexpected character byte 0x01"),
                             syntax("NAME=\xC9", 6, "unexpected character byte 0xC9"),
                             syntax(".X.", 1, "'.' starts no known word"),
                             syntax("NAME .AN. CITY", 6, "'.' starts no known word"),
                             syntax("NAME.CITY", 5,
                                    "'.' starts no known word"),  // alias.field is not part of it
                             syntax("VEND->", 7, "field name expected after '->'"),
                             syntax("VEND->1", 7, "field name expected after '->'"),
                             syntax("SUBSTR(NAME,1,)", 15, "unexpected )"),
                             syntax("UPPER(NAME NAME)", 12, "')' expected"),
                             syntax("(", 2, "operand expected"),
                             syntax("()", 2, "unexpected )"),
                             syntax(std::string(400, '9'), 1, "number too large"),
                         }));

INSTANTIATE_TEST_SUITE_P(
    Names, CompileErrorTest,
    ::testing::ValuesIn(std::vector<ErrorCase>{
        {"FOO(1)", ErrorKind::kUnknownFunction, 1,
         "Unknown function in expression 'FOO(1)' at position 1: FOO"},
        {"1+upp(NAME)", ErrorKind::kUnknownFunction, 3, ""},   // three letters are too few
        {"UPPERX(NAME)", ErrorKind::kUnknownFunction, 1, ""},  // longer than the name
        {"NAMEX", ErrorKind::kUnknownField, 1,
         "Unknown field in expression 'NAMEX' at position 1: NAMEX"},
        {"UPPER(namex)", ErrorKind::kUnknownField, 7,
         "Unknown field in expression 'UPPER(namex)' at position 7: NAMEX"},
        {"DELETED", ErrorKind::kUnknownField, 1, ""},  // a function needs its parentheses
        {"XX->NAME", ErrorKind::kUnknownAlias, 1,
         "Unknown alias in expression 'XX->NAME' at position 1: XX"},
        {"VEND->NAME", ErrorKind::kUnknownField, 1,
         "Unknown field in expression 'VEND->NAME' at position 1: VEND->NAME"},
        {"NAME->CITY", ErrorKind::kUnknownAlias, 1, ""},
        {"UPPER()", ErrorKind::kArgumentCount, 1,
         "Wrong number of arguments in expression 'UPPER()' at position 1: UPPER takes 1 argument"},
        {"SUBSTR(NAME)", ErrorKind::kArgumentCount, 1,
         "Wrong number of arguments in expression 'SUBSTR(NAME)' at position 1: SUBSTR takes 2 or "
         "3 "
         "arguments"},
        {"STR(1,2,3,4)", ErrorKind::kArgumentCount, 11,
         "Wrong number of arguments in expression 'STR(1,2,3,4)' at position 11: STR takes 1 to 3 "
         "arguments"},
        {"DELETED(1)", ErrorKind::kArgumentCount, 9,
         "Wrong number of arguments in expression 'DELETED(1)' at position 9: DELETED takes no "
         "arguments"},
        {"UPPER(NAME,)", ErrorKind::kArgumentCount, 12, ""},
        {"IIF(.T.,1)", ErrorKind::kArgumentCount, 1, ""},
    }));

INSTANTIATE_TEST_SUITE_P(
    Types, CompileErrorTest,
    ::testing::ValuesIn(std::vector<ErrorCase>{
        mismatch("NAME+1", 5, "text + number"),
        mismatch("AMOUNT+.T.", 7, "number + logical"),
        mismatch("NAME=1", 5, "text = number"),
        mismatch("DUE<>'x'", 4, "date <> text"),
        mismatch("NAME # 1", 6, "text # number"),  // the operator as written
        mismatch("ACTIVE .and. 1", 8, "logical .and. number"),
        mismatch("DUE+DUE", 4, "date + date"),
        mismatch("1-DUE", 2, "number - date"),
        mismatch("NAME*2", 5, "text * number"),
        mismatch("ACTIVE-1", 7, "logical - number"),
        mismatch("-NAME", 1, "- needs a number, got text"),
        mismatch("+NAME", 1, "unary + needs a number, got text"),
        mismatch("!NAME", 1, "! needs a logical, got text"),
        mismatch(".NOT. NAME", 1, ".NOT. needs a logical, got text"),
        mismatch("UPPER(AMOUNT)", 7, "UPPER argument 1 must be text, got number"),
        mismatch("SUBSTR(NAME,'1')", 13, "SUBSTR argument 2 must be number, got text"),
        mismatch("STR(NAME)", 5, "STR argument 1 must be number, got text"),
        mismatch("DTOS(NAME)", 6, "DTOS argument 1 must be date, got text"),
        mismatch("IIF(1,2,3)", 5, "IIF argument 1 must be logical, got number"),
        mismatch("PADR(NAME,2,3)", 13, "PADR argument 3 must be text, got number"),
        mismatch("IIF(ACTIVE,1,'x')+.T.", 18, "unknown + logical"),  // no type adds a logical
    }));

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Limits, CompileErrorTest,
    ::testing::ValuesIn(std::vector<ErrorCase>{
        // Parentheses: the 256th level is refused at the token after its '('.
        {std::string(300, '(') + "1" + std::string(300, ')'), ErrorKind::kTooComplex, 257,
         "Expression too complex in expression '" + std::string(300, '(') + "1" +
             std::string(300, ')') + "' at position 257: nested deeper than 256 levels"},
        {std::string(300, '-') + "1", ErrorKind::kTooComplex, 256, ""},
        {repeat(".NOT.", 300) + ".T.", ErrorKind::kTooComplex, 1281, ""},
        // A chain of 257 terms needs 257 levels; the 256th '+' is one too many.
        {"1" + repeat("+1", 256), ErrorKind::kTooComplex, 512, ""},
        {repeat("UPPER(", 300) + "NAME" + repeat(")", 300), ErrorKind::kTooComplex, 1537, ""},
        {"'" + std::string(1 << 20, 'x') + "'", ErrorKind::kTooComplex, 1, ""},
    }));

TEST(ConditionTest, MustBeLogicalWhenAskedFor) {
  VendorRecord rec;
  CompileOptions condition;
  condition.requireLogical = true;
  for (const char* text : {"NAME", "AMOUNT+1", "DUE"}) {
    CompileError error;
    Result<Expression> e = compile(text, rec, condition, &error);
    ASSERT_FALSE(e.isOk()) << text;
    EXPECT_EQ(ErrorKind::kTypeMismatch, error.kind);
    EXPECT_EQ(1, error.position);
  }
  Result<Expression> e = compile("NAME", rec, condition);
  EXPECT_EQ(
      "Type mismatch in expression 'NAME' at position 1: the condition must be logical, "
      "got text",
      e.status().detail());
  // Logical, or not known before run time: accepted.
  EXPECT_TRUE(compile("vendinact<>.t.", rec, condition).isOk());
  EXPECT_TRUE(compile("IIF(ACTIVE,.T.,1)", rec, condition).isOk());
}

// ---- evaluation errors: a Status, never an exception or a crash ----

struct RuntimeCase {
  std::string text;
  std::string message;
};

std::ostream& operator<<(std::ostream& os, const RuntimeCase& c) { return os << c.text; }

class RuntimeErrorTest : public ::testing::TestWithParam<RuntimeCase> {};

TEST_P(RuntimeErrorTest, IsAStatusNamingTheOperator) {
  const RuntimeCase& c = GetParam();
  VendorRecord rec;
  rec.set(rec.active, false);  // so that the IIF() cases take their other branch
  Result<Expression> e = compile(c.text, rec);
  ASSERT_TRUE(e.isOk()) << e.status().toString();
  ValueView v = ValueView::ofText("untouched");
  Status s = e->evaluate(rec, &v);
  ASSERT_FALSE(s.isOk());
  EXPECT_EQ(Status::Code::kInvalidArgument, s.code());
  EXPECT_EQ(c.message, s.detail());
  EXPECT_EQ("untouched", v.text);  // *out is left alone on failure
  EXPECT_FALSE(e->value(rec).isOk());
}

std::string big() { return "1" + std::string(308, '0'); }

INSTANTIATE_TEST_SUITE_P(
    All, RuntimeErrorTest,
    ::testing::ValuesIn(std::vector<RuntimeCase>{
        {"AMOUNT/ZERO", "Division by zero in expression 'AMOUNT/ZERO' at position 7"},
        {"AMOUNT%ZERO", "Division by zero in expression 'AMOUNT%ZERO' at position 7"},
        {big() + "*10", "Numeric overflow in expression '" + big() + "*10' at position 310"},
        {"-" + big() + "-" + big(),
         "Numeric overflow in expression '-" + big() + "-" + big() + "' at position 311"},
        {"VAL('" + big() + "0')", "Numeric overflow in expression 'VAL('" + big() +
                                      "0')' at position 1: VAL of a number too "
                                      "large"},
        {"PADR(NAME,QTY*100000)",
         "Argument out of range in expression 'PADR(NAME,QTY*100000)' at "
         "position 1: PADR width 300000 is larger than 65535"},
        {"PADL(NAME,65536)",
         "Argument out of range in expression 'PADL(NAME,65536)' at position 1: "
         "PADL width 65536 is larger than 65535"},
        {"STR(1,70000)",
         "Argument out of range in expression 'STR(1,70000)' at position 1: STR "
         "width 70000 is larger than 65535"},
        {"DUE+10000000", "Date out of range in expression 'DUE+10000000' at position 4"},
        {"DUE-3000000", "Date out of range in expression 'DUE-3000000' at position 4"},
        {"CTOD('12/31/9999')+1",
         "Date out of range in expression 'CTOD('12/31/9999')+1' at position 19"},
        {"CTOD('01/01/0001')-1",
         "Date out of range in expression 'CTOD('01/01/0001')-1' at position 19"},
        {"IIF(ACTIVE,1,'x')+1",
         "Type mismatch in expression 'IIF(ACTIVE,1,'x')+1' at position 18: text + number"},
        {"-IIF(ACTIVE,1,'x')",
         "Type mismatch in expression '-IIF(ACTIVE,1,'x')' at position 1: - of "
         "text"},
        {"IIF(ACTIVE,1,'x')=1",
         "Type mismatch in expression 'IIF(ACTIVE,1,'x')=1' at position 18: text = number"},
        {"IIF(ACTIVE,.T.,1) .OR. .T.",
         "Type mismatch in expression 'IIF(ACTIVE,.T.,1) .OR. .T.' at position 19: .OR. of number"},
        {"UPPER(IIF(ACTIVE,'a',1))",
         "Type mismatch in expression 'UPPER(IIF(ACTIVE,'a',1))' at "
         "position 1: UPPER argument 1 must be text, got number"},
        {"IIF(IIF(ACTIVE,.T.,1),1,2)",
         "Type mismatch in expression 'IIF(IIF(ACTIVE,.T.,1),1,2)' at "
         "position 1: IIF argument 1 must be logical, got number"},
    }));

TEST(RuntimeErrorTest, TestNeedsALogicalResult) {
  VendorRecord rec;
  rec.set(rec.active, false);
  Result<Expression> e = compile("IIF(ACTIVE,.T.,'x')", rec);
  ASSERT_TRUE(e.isOk());
  Result<bool> b = e->test(rec);
  ASSERT_FALSE(b.isOk());
  EXPECT_EQ(
      "Type mismatch in expression 'IIF(ACTIVE,.T.,'x')' at position 1: the condition must "
      "be logical, got text",
      b.status().detail());
}

TEST(RuntimeErrorTest, AFieldOfTheWrongTypeIsATypeMismatch) {
  VendorRecord rec;
  rec.set(rec.name, 5);  // the context breaks its promise
  Result<Expression> e = compile("UPPER(NAME)", rec);
  ASSERT_TRUE(e.isOk());
  ValueView v;
  Status s = e->evaluate(rec, &v);
  EXPECT_EQ(
      "Type mismatch in expression 'UPPER(NAME)' at position 7: the field gave a number "
      "where its type is text",
      s.detail());
}

// A context whose memo cannot be read: its Status comes back as it is.
class FailingMemo : public VendorRecord {
 public:
  Status fieldValue(FieldHandle field, std::string* scratch, ValueView* out) override {
    if (field == notes) return Status::ioError("APMSTRFL.FPT", "read", 5, "memo block 12");
    return VendorRecord::fieldValue(field, scratch, out);
  }
};

TEST(RuntimeErrorTest, AContextFailureComesBackUnchanged) {
  FailingMemo rec;
  Result<Expression> e = compile("NAME+NOTES", rec);
  ASSERT_TRUE(e.isOk());
  ValueView v;
  Status s = e->evaluate(rec, &v);
  EXPECT_EQ(Status::Code::kIOError, s.code());
  EXPECT_EQ("APMSTRFL.FPT", s.file());
  EXPECT_EQ(5, s.osError());
  // Short-circuit: a branch that does not read the memo still works.
  Result<Expression> ok = compile("IIF(ACTIVE, NAME, NOTES)", rec);
  ASSERT_TRUE(ok.isOk());
  EXPECT_TRUE(ok->evaluate(rec, &v).isOk());
}

// A context that throws (it must not) still gives a Status.
class ThrowingContext : public VendorRecord {
 public:
  Status fieldValue(FieldHandle, std::string*, ValueView*) override {
    throw std::runtime_error("record buffer gone");
  }
};

TEST(RuntimeErrorTest, AnExceptionBecomesAStatus) {
  ThrowingContext rec;
  Result<Expression> e = compile("NAME", rec);
  ASSERT_TRUE(e.isOk());
  ValueView v;
  Status s = e->evaluate(rec, &v);
  EXPECT_EQ("Evaluation failed in expression 'NAME' at position 1: record buffer gone", s.detail());
}

}  // namespace
}  // namespace dbe::expr
