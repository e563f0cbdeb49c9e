// Expression: a key, FOR or filter expression of the table engine, compiled once and evaluated
// against one record at a time ("UPPER(NAME)", "CUSTNO+DTOS(DATE)", "vendinact<>.t.").
//
// compile() reads the text, resolves every field name through a RecordContext to the handle the
// context chose for it, checks the types it can see and works out the result's type and, for
// texts, its length (what an index tag needs to fix its key length). The Expression it returns
// is then evaluated record after record without any parsing or name lookup; intermediate texts
// live in buffers the Expression keeps and reuses, so a key such as UPPER(NAME) over a table
// allocates nothing per record once the buffers have grown. The language is described in
// README.md beside this file.
//
// Failure: compile() gives InvalidArgument naming the kind of error, the expression text and the
// 1-based position ("Syntax error in expression 'UPPER(NAME' at position 11: ')' expected").
// Evaluation never throws and never crashes: a type error the compiler could not see, a division
// by zero, a numeric overflow or an out-of-range width is an InvalidArgument Status of the same
// form; a failure of the context (a memo that cannot be read) comes back unchanged.
//
// Thread safety: compile() may run on any number of threads at once; it reads the calling
// thread's date settings (for the length of DTOC()). An Expression holds scratch buffers, so one
// Expression is evaluated by one thread at a time; a copy is independent of the original. The
// text of a ValueView is valid until the next evaluation of the same Expression.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbe/expr/case_table.h"
#include "dbe/io/status.h"
#include "runtime/value.h"

namespace dbe::expr {

// The types an expression can have; the letters are the classic type letters.
enum class Type : char {
  kText = 'C',
  kNumber = 'N',
  kLogical = 'L',
  kDate = 'D',
  kAny = 'U',  // known only at run time (IIF() with branches of different types)
};
const char* typeName(Type t);  // "text", "number", "logical", "date", "unknown"

// A text whose length is not fixed (TRIM(), a memo, IIF() with branches of different lengths).
inline constexpr int kVariableLength = -1;

// The static type of an expression. `length` is the width in bytes for texts (or
// kVariableLength), 8 for numbers and dates, 1 for logicals (their key lengths), and
// kVariableLength for kAny.
struct TypeInfo {
  Type type = Type::kAny;
  int length = kVariableLength;
  friend bool operator==(const TypeInfo&, const TypeInfo&) = default;
};

// A value whose text may be borrowed: from the record buffer, from the expression, or from a
// scratch buffer. Only the member of `type` is meaningful.
struct ValueView {
  Type type = Type::kLogical;
  std::string_view text;
  double number = 0.0;
  bool logical = false;
  rt::Date date;

  static ValueView ofText(std::string_view s) { return {Type::kText, s, 0.0, false, {}}; }
  static ValueView ofNumber(double n) { return {Type::kNumber, {}, n, false, {}}; }
  static ValueView ofLogical(bool b) { return {Type::kLogical, {}, 0.0, b, {}}; }
  static ValueView ofDate(rt::Date d) { return {Type::kDate, {}, 0.0, false, d}; }

  // A runtime value that owns its text.
  rt::Value toValue() const;
};

// Chosen by the context for one field; the expression only hands it back.
using FieldHandle = std::uint32_t;

struct FieldInfo {
  FieldHandle handle = 0;
  Type type = Type::kText;       // never kAny: memo fields are texts of kVariableLength
  int length = kVariableLength;  // texts only: the field width in bytes
};

// What an expression reads: the fields of the current record (or, through alias->field, of
// another work area's current record), the record number and the deleted flag. The table layer
// implements it over its record buffer.
//
// An expression is evaluated with the context it was compiled against, or with one that gives
// each handle the same meaning (a second cursor over the same table).
class RecordContext {
 public:
  enum class Lookup { kFound, kNoSuchAlias, kNoSuchField };

  virtual ~RecordContext() = default;

  // Compile time. `alias` is empty for a plain field name; both names come in ASCII upper case
  // as written (NAME, VENDOR->NAME). On kFound, *info is filled in.
  virtual Lookup resolveField(std::string_view alias, std::string_view name,
                              FieldInfo* info) const = 0;

  // Run time: the value of a field of the current record, of the type resolveField reported.
  // The context may point out->text into its own record buffer (valid until the record
  // changes) or fill *scratch, a buffer the expression keeps for this one field reference, and
  // point out->text at it. A failure (a memo block that cannot be read) stops the evaluation and
  // comes back to its caller unchanged.
  [[nodiscard]] virtual Status fieldValue(FieldHandle field, std::string* scratch,
                                          ValueView* out) = 0;

  // The current record of the work area the expression belongs to (for RECNO(), DELETED()).
  virtual std::uint32_t recordNumber() const = 0;
  virtual bool isDeleted() const = 0;
};

// What kind of error compile() found, for callers that map it to their own error codes.
enum class ErrorKind {
  kNone,
  kSyntax,
  kUnknownFunction,
  kUnknownField,
  kUnknownAlias,
  kArgumentCount,
  kTypeMismatch,
  kTooComplex,  // nested deeper than kMaxNesting
};

struct CompileError {
  ErrorKind kind = ErrorKind::kNone;
  int position = 0;    // 1-based byte position in the text; text size + 1 for "at the end"
  std::string detail;  // "')' expected"
};

struct CompileOptions {
  // Upper/lower case mapping of UPPER() and LOWER(); it must outlive the Expression.
  const CaseTable* caseTable = &asciiCaseTable();
  // Reject an expression whose result can be seen not to be logical (FOR and filter texts).
  bool requireLogical = false;
};

// The deepest nesting of operators, parentheses and calls compile() accepts. Evaluation recurses
// once per level, so this bounds the stack an evaluation needs.
inline constexpr int kMaxNesting = 256;

struct Node;

class Expression {
 public:
  Expression(const Expression&);
  Expression& operator=(const Expression&);
  Expression(Expression&&) noexcept;
  Expression& operator=(Expression&&) noexcept;
  ~Expression();

  const std::string& text() const { return text_; }
  TypeInfo type() const { return type_; }

  // True when the value can depend on DELETED() (an index must re-evaluate such a FOR clause
  // when a record is deleted or recalled) or on RECNO().
  bool usesDeleted() const { return usesDeleted_; }
  bool usesRecordNumber() const { return usesRecordNumber_; }

  // When the whole expression is one field name without an alias ("NAME", "(VENDNO)"), that
  // field; the index layer keys some field types in their own widths. Null otherwise.
  const FieldInfo* singleField() const { return singleField_ ? &singleFieldInfo_ : nullptr; }

  // Evaluates against the context's current record. On failure *out is unchanged.
  [[nodiscard]] Status evaluate(RecordContext& ctx, ValueView* out);

  // The same, as a runtime value that owns its text.
  Result<rt::Value> value(RecordContext& ctx);

  // For FOR clauses and filters: the logical result; a result that is not logical is an error.
  Result<bool> test(RecordContext& ctx);

 private:
  friend class Parser;
  friend class Evaluator;
  Expression();

  std::string text_;
  std::vector<Node> nodes_;
  int root_ = -1;
  TypeInfo type_;
  const CaseTable* caseTable_ = nullptr;
  bool usesDeleted_ = false;
  bool usesRecordNumber_ = false;
  bool singleField_ = false;
  FieldInfo singleFieldInfo_;
};

// Compiles `text` against the fields `ctx` resolves. On failure the Status is InvalidArgument
// with the full message, and *error (when given) receives its parts.
Result<Expression> compile(std::string_view text, const RecordContext& ctx,
                           const CompileOptions& options = {}, CompileError* error = nullptr);

}  // namespace dbe::expr
