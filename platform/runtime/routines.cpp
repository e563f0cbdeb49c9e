#include "routines.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>

#include "error.h"

namespace rt {

namespace {

struct Registry {
  std::mutex mu;
  std::map<std::string, Callable, std::less<>> routines;
};

Registry& registry() {
  static Registry r;
  return r;
}

std::string fold(std::string_view name) {
  std::string s(name);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

[[noreturn]] void syntaxError(std::string_view text, std::string_view why) {
  Error e;
  e.genCode = kErrSyntax;
  e.subsystem = "BASE";
  e.operation = "call";
  e.description = "Cannot run the call '" + std::string(text) + "': " + std::string(why);
  raiseError(e);
}

bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

struct CallParser {
  std::string_view s;
  size_t i = 0;

  void skipBlanks() {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  }
  std::string name() {
    skipBlanks();
    const size_t start = i;
    while (i < s.size() && isNameChar(s[i])) ++i;
    return std::string(s.substr(start, i - start));
  }
  bool literal(Value* out) {
    skipBlanks();
    if (i >= s.size()) return false;
    const char c = s[i];
    if (c == '"' || c == '\'') {
      const size_t end = s.find(c, i + 1);
      if (end == std::string_view::npos) return false;
      *out = Value(s.substr(i + 1, end - i - 1));
      i = end + 1;
      return true;
    }
    if (c == '.') {
      if (i + 2 < s.size() && s[i + 2] == '.') {
        const char l = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i + 1])));
        if (l == 'T' || l == 'Y' || l == 'F' || l == 'N') {
          *out = Value(l == 'T' || l == 'Y');
          i += 3;
          return true;
        }
      }
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.') {
      const size_t start = i;
      ++i;
      while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.')) ++i;
      const std::string num(s.substr(start, i - start));
      char* end = nullptr;
      const double d = std::strtod(num.c_str(), &end);
      if (end == num.c_str()) return false;
      *out = Value(d);
      return true;
    }
    const size_t save = i;
    const std::string word = name();
    if (fold(word) == "NIL") {
      *out = Value();
      return true;
    }
    i = save;
    return false;
  }
};

}  // namespace

void registerRoutine(std::string_view name, Callable fn) {
  auto& r = registry();
  std::lock_guard lock(r.mu);
  r.routines[fold(name)] = std::move(fn);
}

bool routineExists(std::string_view name) {
  auto& r = registry();
  std::lock_guard lock(r.mu);
  return r.routines.find(fold(name)) != r.routines.end();
}

Value call(std::string_view name, Args& args) {
  Callable fn;
  {
    auto& r = registry();
    std::lock_guard lock(r.mu);
    auto it = r.routines.find(fold(name));
    if (it != r.routines.end()) fn = it->second;
  }
  if (!fn) {
    Error e;
    e.genCode = kErrNoFunc;
    e.subsystem = "BASE";
    e.operation = std::string(name);
    e.description = "Function does not exist: " + std::string(name);
    raiseError(e);
  }
  return fn(args);
}

Value call(std::string_view name) {
  Args none;
  return call(name, none);
}

std::string callTextName(std::string_view text) {
  CallParser p{text};
  std::string n = p.name();
  p.skipBlanks();
  if (n.empty() || std::isdigit(static_cast<unsigned char>(n[0]))) return {};
  if (p.i < text.size() && text[p.i] != '(') return {};
  return n;
}

Value callText(std::string_view text) {
  CallParser p{text};
  const std::string n = p.name();
  if (n.empty() || std::isdigit(static_cast<unsigned char>(n[0]))) {
    syntaxError(text, "no routine name");
  }
  p.skipBlanks();
  Args args;
  if (p.i < text.size()) {
    if (text[p.i] != '(') syntaxError(text, "'(' expected after the name");
    ++p.i;
    p.skipBlanks();
    if (p.i < text.size() && text[p.i] == ')') {
      ++p.i;
    } else {
      for (;;) {
        Value v;
        if (!p.literal(&v)) syntaxError(text, "only literal arguments are allowed");
        args.push_back(v);
        p.skipBlanks();
        if (p.i < text.size() && text[p.i] == ',') {
          ++p.i;
          continue;
        }
        if (p.i < text.size() && text[p.i] == ')') {
          ++p.i;
          break;
        }
        syntaxError(text, "')' expected");
      }
    }
    p.skipBlanks();
    if (p.i != text.size()) syntaxError(text, "text after the call");
  }
  return call(n, args);
}

}  // namespace rt
