#include "keys.h"

#include <deque>
#include <map>

#include "routines.h"
#include "variables.h"

namespace rt {

namespace {

struct ThreadKeys {
  std::map<int, Value> bindings;
  std::deque<int> buffer;
};

ThreadKeys& keys() {
  thread_local ThreadKeys k;
  return k;
}

}  // namespace

Value setKey(int code, const Value& action) {
  auto& b = keys().bindings;
  Value old;
  if (auto it = b.find(code); it != b.end()) old = it->second;
  if (action.isNil()) {
    b.erase(code);
  } else {
    b[code] = action;
  }
  return old;
}

Value keyBinding(int code) {
  auto& b = keys().bindings;
  auto it = b.find(code);
  return it == b.end() ? Value() : it->second;
}

bool dispatchKey(int code) {
  const Value action = keyBinding(code);
  if (!action.isCallable()) return false;
  Args args{Value(code)};
  action.call(args);
  return true;
}

void keyboardPush(int code) { keys().buffer.push_back(code); }

void keyboardPut(std::string_view chars) {
  for (char c : chars) keys().buffer.push_back(static_cast<unsigned char>(c));
}

std::optional<int> keyboardNext() {
  auto& b = keys().buffer;
  if (b.empty()) return std::nullopt;
  const int k = b.front();
  b.pop_front();
  return k;
}

std::optional<int> keyboardPeek() {
  auto& b = keys().buffer;
  if (b.empty()) return std::nullopt;
  return b.front();
}

void keyboardClear() { keys().buffer.clear(); }

void bindReadExitKeys() {
  const Value action = Value::callable([](Args& args) {
    const Value code = arg(args, 0);
    // varSet assigns the visible nLastKey (a private of a running procedure first, then the
    // session-wide one) and otherwise creates a private in the running procedure's frame.
    varSet("nLastKey", code);
    keyboardPush(kKeyCtrlW);
    return Value();
  });
  setKey(kKeyF10, action);
  setKey(kKeyF1, action);
}

}  // namespace rt
