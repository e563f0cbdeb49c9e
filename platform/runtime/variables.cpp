#include "variables.h"

#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "error.h"

namespace rt {

namespace {

std::string fold(std::string_view name) {
  std::string s(name);
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

struct SessionStore {
  std::mutex mu;
  std::map<std::string, Value, std::less<>> vars;
};

SessionStore& store() {
  static SessionStore s;
  return s;
}

using Frame = std::map<std::string, Value, std::less<>>;

struct ThreadFrames {
  Frame base;                  // for assignments made with no procedure frame open
  std::vector<Frame> frames;   // innermost last
};

ThreadFrames& frames() {
  thread_local ThreadFrames t;
  return t;
}

Frame& innermost() {
  auto& t = frames();
  return t.frames.empty() ? t.base : t.frames.back();
}

Value* findPrivate(const std::string& key) {
  auto& t = frames();
  for (auto it = t.frames.rbegin(); it != t.frames.rend(); ++it) {
    auto f = it->find(key);
    if (f != it->end()) return &f->second;
  }
  auto f = t.base.find(key);
  return f != t.base.end() ? &f->second : nullptr;
}

}  // namespace

void sessionDeclare(std::string_view name) { sessionDeclare(name, Value(false)); }

void sessionDeclare(std::string_view name, const Value& value) {
  auto& s = store();
  std::lock_guard lock(s.mu);
  s.vars[fold(name)] = value;
}

bool sessionExists(std::string_view name) {
  auto& s = store();
  std::lock_guard lock(s.mu);
  return s.vars.find(fold(name)) != s.vars.end();
}

std::optional<Value> sessionGet(std::string_view name) {
  auto& s = store();
  std::lock_guard lock(s.mu);
  auto it = s.vars.find(fold(name));
  if (it == s.vars.end()) return std::nullopt;
  return it->second;
}

bool sessionSet(std::string_view name, const Value& value) {
  auto& s = store();
  std::lock_guard lock(s.mu);
  auto it = s.vars.find(fold(name));
  if (it == s.vars.end()) return false;
  it->second = value;
  return true;
}

void sessionClearForTest() {
  auto& s = store();
  std::lock_guard lock(s.mu);
  s.vars.clear();
}

PrivateFrame::PrivateFrame() { frames().frames.emplace_back(); }
PrivateFrame::~PrivateFrame() { frames().frames.pop_back(); }

void PrivateFrame::declare(std::string_view name, const Value& value) {
  privateDeclare(name, value);
}

void privateDeclare(std::string_view name, const Value& value) {
  innermost()[fold(name)] = value;
}

bool privateExists(std::string_view name) { return findPrivate(fold(name)) != nullptr; }

std::optional<Value> varGet(std::string_view name) {
  const std::string key = fold(name);
  if (Value* p = findPrivate(key)) return *p;
  return sessionGet(key);
}

Value var(std::string_view name) {
  if (auto v = varGet(name)) return *v;
  Error e;
  e.genCode = kErrNoVar;
  e.subsystem = "BASE";
  e.operation = std::string(name);
  e.description = "Variable does not exist: " + std::string(name);
  raiseError(e);
}

void varSet(std::string_view name, const Value& value) {
  const std::string key = fold(name);
  if (Value* p = findPrivate(key)) {
    *p = value;
    return;
  }
  if (sessionSet(key, value)) return;
  innermost()[key] = value;
}

bool varExists(std::string_view name) { return varGet(name).has_value(); }

void varSetIndirect(std::string_view holder, const Value& value) {
  const Value target = var(holder);
  if (!target.isText()) {
    Error e;
    e.genCode = kErrArgument;
    e.subsystem = "BASE";
    e.operation = std::string(holder);
    e.description = "Indirect assignment: " + std::string(holder) + " does not hold a name";
    raiseError(e);
  }
  varSet(target.text(), value);
}

char varType(std::string_view name) {
  auto v = varGet(name);
  return v ? v->typeLetter() : 'U';
}

}  // namespace rt
