// Parser: turns an expression text into the nodes of an Expression, resolving names and typing
// every node on the way (internal to the expression code; compile() is its public face).
//
// Grammar, loosest first (all binary operators associate to the left):
//   or         := and { .OR. and }
//   and        := not { .AND. not }
//   not        := { .NOT. | ! } relation
//   relation   := sum { (= | == | <> | != | # | < | <= | > | >=) sum }
//   sum        := product { (+ | -) product }
//   product    := unary { (* | / | %) unary }
//   unary      := { + | - } primary        (and a .NOT. here takes a relation as its operand)
//   primary    := literal | name | name -> name | name ( [or {, or}] ) | ( or )
// It is written as precedence climbing, so each level of parentheses costs three stack frames.
//
// Thread safety: a Parser is used once, by one thread.
#pragma once

#include <string>
#include <string_view>

#include "dbe/expr/expression.h"
#include "dbe/expr/lexer.h"
#include "dbe/expr/node.h"

namespace dbe::expr {

class Parser {
 public:
  Parser(std::string_view text, const RecordContext& ctx, const CompileOptions& options);
  Result<Expression> run(CompileError* error);

 private:
  bool parseExpression(int minPrecedence, int* out);
  bool parseUnary(int* out);
  bool parsePrimary(int* out);
  bool parseName(int* out);
  bool parseCall(const Token& name, int* out);

  bool makeUnary(Op op, const Token& at, int operand, int* out);
  bool makeBinary(Op op, const Token& at, int left, int right, int* out);
  bool add(Node node, int* out);

  void advance() { tok_ = lexer_.next(); }
  bool fail(ErrorKind kind, std::size_t offset, std::string detail);
  bool failUnexpected();
  bool typeMismatch(std::size_t offset, std::string detail) {
    return fail(ErrorKind::kTypeMismatch, offset, std::move(detail));
  }

  const Node& node(int i) const { return expr_.nodes_[static_cast<std::size_t>(i)]; }

  std::string_view text_;
  const RecordContext& ctx_;
  CompileOptions options_;
  Lexer lexer_;
  Token tok_;
  int depth_ = 0;
  bool rootIsPlainField_ = false;
  Expression expr_;
  CompileError error_;
};

}  // namespace dbe::expr
