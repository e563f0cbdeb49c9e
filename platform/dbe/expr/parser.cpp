#include "parser.h"

#include <algorithm>
#include <utility>

#include "dbe/expr/functions.h"

namespace dbe::expr {

namespace {

constexpr TypeInfo kNumberType{Type::kNumber, 8};
constexpr TypeInfo kDateType{Type::kDate, 8};
constexpr TypeInfo kLogicalType{Type::kLogical, 1};
constexpr TypeInfo kAnyType{Type::kAny, kVariableLength};

// Longer texts are refused before parsing: every position must fit the node's 32 bits, and
// no key, FOR or filter text comes anywhere near this.
constexpr std::size_t kMaxTextLength = 1 << 20;

constexpr int kPrecedenceOr = 1;
constexpr int kPrecedenceAnd = 2;
constexpr int kPrecedenceRelation = 4;  // also the operand of .NOT.
constexpr int kPrecedenceSum = 5;
constexpr int kPrecedenceProduct = 6;

// The binary operator a token stands for, and how tightly it binds (0: none).
int binaryPrecedence(Tok t, Op* op) {
  switch (t) {
    case Tok::kOr:
      *op = Op::kOr;
      return kPrecedenceOr;
    case Tok::kAnd:
      *op = Op::kAnd;
      return kPrecedenceAnd;
    case Tok::kEqual:
      *op = Op::kEqual;
      return kPrecedenceRelation;
    case Tok::kExactEqual:
      *op = Op::kExactEqual;
      return kPrecedenceRelation;
    case Tok::kNotEqual:
      *op = Op::kNotEqual;
      return kPrecedenceRelation;
    case Tok::kLess:
      *op = Op::kLess;
      return kPrecedenceRelation;
    case Tok::kLessEqual:
      *op = Op::kLessEqual;
      return kPrecedenceRelation;
    case Tok::kGreater:
      *op = Op::kGreater;
      return kPrecedenceRelation;
    case Tok::kGreaterEqual:
      *op = Op::kGreaterEqual;
      return kPrecedenceRelation;
    case Tok::kPlus:
      *op = Op::kAdd;
      return kPrecedenceSum;
    case Tok::kMinus:
      *op = Op::kSubtract;
      return kPrecedenceSum;
    case Tok::kStar:
      *op = Op::kMultiply;
      return kPrecedenceProduct;
    case Tok::kSlash:
      *op = Op::kDivide;
      return kPrecedenceProduct;
    case Tok::kPercent:
      *op = Op::kModulo;
      return kPrecedenceProduct;
    default:
      return 0;
  }
}

const char* errorTitle(ErrorKind k) {
  switch (k) {
    case ErrorKind::kNone:
      return "No error";
    case ErrorKind::kSyntax:
      return "Syntax error";
    case ErrorKind::kUnknownFunction:
      return "Unknown function";
    case ErrorKind::kUnknownField:
      return "Unknown field";
    case ErrorKind::kUnknownAlias:
      return "Unknown alias";
    case ErrorKind::kArgumentCount:
      return "Wrong number of arguments";
    case ErrorKind::kTypeMismatch:
      return "Type mismatch";
    case ErrorKind::kTooComplex:
      return "Expression too complex";
  }
  return "Error";
}

std::string upperAscii(std::string_view s) {
  std::string u(s);
  for (char& c : u) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return u;
}

std::string argumentCountText(const FunctionSpec& f) {
  std::string s(f.name);
  if (f.maxArgs == 0) return s + " takes no arguments";
  s += " takes " + std::to_string(f.minArgs);
  if (f.maxArgs != f.minArgs) {
    s += (f.maxArgs == f.minArgs + 1 ? " or " : " to ") + std::to_string(f.maxArgs);
  }
  return s + (f.maxArgs == 1 ? " argument" : " arguments");
}

bool isOrAny(Type a, Type t) { return a == t || a == Type::kAny; }

}  // namespace

Parser::Parser(std::string_view text, const RecordContext& ctx, const CompileOptions& options)
    : text_(text), ctx_(ctx), options_(options), lexer_(text) {
  expr_.text_ = std::string(text);
  expr_.caseTable_ = options.caseTable ? options.caseTable : &asciiCaseTable();
}

bool Parser::fail(ErrorKind kind, std::size_t offset, std::string detail) {
  if (error_.kind == ErrorKind::kNone) {
    error_.kind = kind;
    error_.position = static_cast<int>(offset + 1);
    error_.detail = std::move(detail);
  }
  return false;
}

bool Parser::failUnexpected() {
  if (tok_.kind == Tok::kError) {
    std::string why = tok_.error;
    if (!tok_.text.empty()) {
      char buf[16];
      why += ' ';
      why += describeByte(static_cast<unsigned char>(tok_.text.front()), buf, sizeof buf);
    }
    return fail(ErrorKind::kSyntax, tok_.offset, std::move(why));
  }
  if (tok_.kind == Tok::kEnd) return fail(ErrorKind::kSyntax, tok_.offset, "unexpected end");
  const std::string_view shown =
      tok_.kind == Tok::kText ? text_.substr(tok_.offset, tok_.text.size() + 2) : tok_.text;
  return fail(ErrorKind::kSyntax, tok_.offset, "unexpected " + std::string(shown));
}

bool Parser::add(Node n, int* out) {
  int height = 0;
  for (int i = 0; i < n.argc; ++i) height = std::max(height, node(n.args[i]).height);
  n.height = height + 1;
  if (n.height > kMaxNesting) {
    return fail(ErrorKind::kTooComplex, n.position - 1,
                "nested deeper than " + std::to_string(kMaxNesting) + " levels");
  }
  expr_.nodes_.push_back(std::move(n));
  *out = static_cast<int>(expr_.nodes_.size() - 1);
  return true;
}

Result<Expression> Parser::run(CompileError* error) {
  int root = -1;
  bool ok;
  if (text_.size() > kMaxTextLength) {
    ok =
        fail(ErrorKind::kTooComplex, 0, "longer than " + std::to_string(kMaxTextLength) + " bytes");
  } else {
    advance();
    ok = parseExpression(kPrecedenceOr, &root);
    if (ok && tok_.kind != Tok::kEnd) ok = failUnexpected();
  }
  if (ok && options_.requireLogical) {
    const Type t = node(root).type.type;
    if (t != Type::kLogical && t != Type::kAny) {
      ok = typeMismatch(0, std::string("the condition must be logical, got ") + typeName(t));
    }
  }
  if (!ok) {
    if (error_.kind == ErrorKind::kNone) fail(ErrorKind::kSyntax, tok_.offset, "not understood");
    if (error) *error = error_;
    return Status::invalidArgument(formatExpressionError(
        errorTitle(error_.kind), text_, static_cast<std::size_t>(error_.position), error_.detail));
  }
  if (error) *error = CompileError{};
  expr_.root_ = root;
  expr_.type_ = node(root).type;
  if (expr_.nodes_.size() == 1 && node(root).op == Op::kField && rootIsPlainField_) {
    expr_.singleField_ = true;
    expr_.singleFieldInfo_ =
        FieldInfo{node(root).field, node(root).type.type, node(root).type.length};
  }
  return std::move(expr_);
}

bool Parser::parseExpression(int minPrecedence, int* out) {
  if (depth_ >= kMaxNesting) {
    return fail(ErrorKind::kTooComplex, tok_.offset,
                "nested deeper than " + std::to_string(kMaxNesting) + " levels");
  }
  ++depth_;
  int left = -1;
  bool ok = parseUnary(&left);
  while (ok) {
    Op op;
    const int precedence = binaryPrecedence(tok_.kind, &op);
    if (precedence == 0 || precedence < minPrecedence) break;
    const Token at = tok_;
    advance();
    int right = -1;
    ok = parseExpression(precedence + 1, &right) && makeBinary(op, at, left, right, &left);
  }
  --depth_;
  *out = left;
  return ok;
}

bool Parser::parseUnary(int* out) {
  const Token at = tok_;
  if (at.kind == Tok::kNot || at.kind == Tok::kMinus || at.kind == Tok::kPlus) {
    advance();
    int operand = -1;
    if (at.kind == Tok::kNot) {
      if (!parseExpression(kPrecedenceRelation, &operand)) return false;
      return makeUnary(Op::kNot, at, operand, out);
    }
    if (depth_ >= kMaxNesting) {
      return fail(ErrorKind::kTooComplex, at.offset,
                  "nested deeper than " + std::to_string(kMaxNesting) + " levels");
    }
    ++depth_;
    const bool ok = parseUnary(&operand);
    --depth_;
    if (!ok) return false;
    if (at.kind == Tok::kPlus) {
      if (!isOrAny(node(operand).type.type, Type::kNumber)) {
        return typeMismatch(at.offset, std::string("unary + needs a number, got ") +
                                           typeName(node(operand).type.type));
      }
      *out = operand;
      return true;
    }
    // A negative literal stays a literal, so that SUBSTR(x, -3) has a static length.
    Node& n = expr_.nodes_[static_cast<std::size_t>(operand)];
    if (n.op == Op::kLiteral && n.literal.type == Type::kNumber) {
      n.literal.number = -n.literal.number;
      n.position = at.offset + 1;
      *out = operand;
      return true;
    }
    return makeUnary(Op::kNegate, at, operand, out);
  }
  return parsePrimary(out);
}

bool Parser::parsePrimary(int* out) {
  const Token t = tok_;
  Node n;
  n.position = t.offset + 1;
  switch (t.kind) {
    case Tok::kNumber:
      n.literal = ValueView::ofNumber(t.number);
      n.type = kNumberType;
      advance();
      return add(std::move(n), out);
    case Tok::kText:
      n.literal.type = Type::kText;
      n.literalText = std::string(t.text);
      n.type = {Type::kText, static_cast<int>(t.text.size())};
      advance();
      return add(std::move(n), out);
    case Tok::kTrue:
    case Tok::kFalse:
      n.literal = ValueView::ofLogical(t.kind == Tok::kTrue);
      n.type = kLogicalType;
      advance();
      return add(std::move(n), out);
    case Tok::kLeftParen: {
      advance();
      if (!parseExpression(kPrecedenceOr, out)) return false;
      if (tok_.kind != Tok::kRightParen)
        return fail(ErrorKind::kSyntax, tok_.offset, "')' expected");
      advance();
      return true;
    }
    case Tok::kName:
      return parseName(out);
    case Tok::kEnd:
      return fail(ErrorKind::kSyntax, t.offset, "operand expected");
    default:
      return failUnexpected();
  }
}

bool Parser::parseName(int* out) {
  const Token name = tok_;
  advance();
  if (tok_.kind == Tok::kLeftParen) return parseCall(name, out);
  std::string alias;
  std::string field = upperAscii(name.text);
  if (tok_.kind == Tok::kArrow) {
    advance();
    if (tok_.kind != Tok::kName) {
      return fail(ErrorKind::kSyntax, tok_.offset, "field name expected after '->'");
    }
    alias = std::move(field);
    field = upperAscii(tok_.text);
    advance();
  }
  FieldInfo info;
  switch (ctx_.resolveField(alias, field, &info)) {
    case RecordContext::Lookup::kFound:
      break;
    case RecordContext::Lookup::kNoSuchAlias:
      return fail(ErrorKind::kUnknownAlias, name.offset, alias);
    case RecordContext::Lookup::kNoSuchField:
      return fail(ErrorKind::kUnknownField, name.offset,
                  alias.empty() ? field : alias + "->" + field);
  }
  Node n;
  n.op = Op::kField;
  n.position = name.offset + 1;
  n.field = info.handle;
  if (info.type == Type::kText) {
    n.type = {Type::kText, info.length < 0 ? kVariableLength : info.length};
  } else if (info.type == Type::kNumber) {
    n.type = kNumberType;
  } else if (info.type == Type::kDate) {
    n.type = kDateType;
  } else if (info.type == Type::kLogical) {
    n.type = kLogicalType;
  } else {
    n.type = kAnyType;
  }
  rootIsPlainField_ = alias.empty();
  return add(std::move(n), out);
}

bool Parser::parseCall(const Token& name, int* out) {
  const std::string upper = upperAscii(name.text);
  const FunctionSpec* spec = findFunction(upper);
  if (!spec) return fail(ErrorKind::kUnknownFunction, name.offset, upper);
  advance();  // (
  Node n;
  n.op = Op::kCall;
  n.func = spec->func;
  n.position = name.offset + 1;
  std::size_t argOffsets[kMaxArgs] = {0, 0, 0};
  if (tok_.kind != Tok::kRightParen) {
    for (;;) {
      if (n.argc == spec->maxArgs) {
        return fail(ErrorKind::kArgumentCount, tok_.offset, argumentCountText(*spec));
      }
      argOffsets[n.argc] = tok_.offset;
      int arg = -1;
      if (!parseExpression(kPrecedenceOr, &arg)) return false;
      n.args[n.argc++] = arg;
      if (tok_.kind == Tok::kComma) {
        advance();
        continue;
      }
      if (tok_.kind != Tok::kRightParen)
        return fail(ErrorKind::kSyntax, tok_.offset, "')' expected");
      break;
    }
  }
  advance();  // )
  if (n.argc < spec->minArgs) {
    return fail(ErrorKind::kArgumentCount, name.offset, argumentCountText(*spec));
  }
  const Node* args[kMaxArgs] = {nullptr, nullptr, nullptr};
  for (int i = 0; i < n.argc; ++i) {
    args[i] = &node(n.args[i]);
    const Type want = spec->args[i];
    const Type got = args[i]->type.type;
    if (want != Type::kAny && got != Type::kAny && got != want) {
      return typeMismatch(argOffsets[i], std::string(spec->name) + " argument " +
                                             std::to_string(i + 1) + " must be " + typeName(want) +
                                             ", got " + typeName(got));
    }
  }
  n.type = inferCall(spec->func, args, n.argc);
  if (spec->func == Func::kDeleted) expr_.usesDeleted_ = true;
  if (spec->func == Func::kRecno) expr_.usesRecordNumber_ = true;
  return add(std::move(n), out);
}

bool Parser::makeUnary(Op op, const Token& at, int operand, int* out) {
  const Type t = node(operand).type.type;
  const Type want = op == Op::kNot ? Type::kLogical : Type::kNumber;
  if (!isOrAny(t, want)) {
    return typeMismatch(
        at.offset, std::string(at.text) + " needs a " + typeName(want) + ", got " + typeName(t));
  }
  Node n;
  n.op = op;
  n.position = at.offset + 1;
  n.argc = 1;
  n.args[0] = operand;
  n.type = op == Op::kNot ? kLogicalType : kNumberType;
  return add(std::move(n), out);
}

bool Parser::makeBinary(Op op, const Token& at, int left, int right, int* out) {
  const TypeInfo l = node(left).type;
  const TypeInfo r = node(right).type;
  const bool anyL = l.type == Type::kAny;
  const bool anyR = r.type == Type::kAny;
  const bool dynamic = anyL || anyR;
  const Type known = anyL ? r.type : l.type;  // the one side that is known, if any
  bool ok = false;
  TypeInfo result = kAnyType;
  switch (op) {
    case Op::kAnd:
    case Op::kOr:
      ok = isOrAny(l.type, Type::kLogical) && isOrAny(r.type, Type::kLogical);
      result = kLogicalType;
      break;
    case Op::kEqual:
    case Op::kExactEqual:
    case Op::kNotEqual:
    case Op::kLess:
    case Op::kLessEqual:
    case Op::kGreater:
    case Op::kGreaterEqual:
      ok = dynamic || l.type == r.type;
      result = kLogicalType;
      break;
    case Op::kAdd:
    case Op::kSubtract:
      if (dynamic) {
        ok = known != Type::kLogical;
      } else if (l.type == Type::kText && r.type == Type::kText) {
        ok = true;
        result = {Type::kText, l.length == kVariableLength || r.length == kVariableLength
                                   ? kVariableLength
                                   : l.length + r.length};
      } else if (l.type == Type::kNumber && r.type == Type::kNumber) {
        ok = true;
        result = kNumberType;
      } else if (l.type == Type::kDate && r.type == Type::kNumber) {
        ok = true;
        result = kDateType;
      } else if (op == Op::kAdd && l.type == Type::kNumber && r.type == Type::kDate) {
        ok = true;
        result = kDateType;
      } else if (op == Op::kSubtract && l.type == Type::kDate && r.type == Type::kDate) {
        ok = true;
        result = kNumberType;
      }
      break;
    case Op::kMultiply:
    case Op::kDivide:
    case Op::kModulo:
      ok = isOrAny(l.type, Type::kNumber) && isOrAny(r.type, Type::kNumber);
      result = kNumberType;
      break;
    case Op::kLiteral:
    case Op::kField:
    case Op::kNegate:
    case Op::kNot:
    case Op::kCall:
      break;
  }
  if (!ok) {
    return typeMismatch(at.offset, std::string(typeName(l.type)) + " " + std::string(at.text) +
                                       " " + typeName(r.type));
  }
  Node n;
  n.op = op;
  n.position = at.offset + 1;
  n.argc = 2;
  n.args[0] = left;
  n.args[1] = right;
  n.type = result;
  return add(std::move(n), out);
}

Result<Expression> compile(std::string_view text, const RecordContext& ctx,
                           const CompileOptions& options, CompileError* error) {
  Parser parser(text, ctx, options);
  return parser.run(error);
}

}  // namespace dbe::expr
