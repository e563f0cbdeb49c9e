#include "error.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace rt {

namespace {

thread_local ErrorHandler tHandler;

std::mutex& hookMutex() {
  static std::mutex m;
  return m;
}
DefaultErrorHook& hookSlot() {
  static DefaultErrorHook hook;
  return hook;
}

const char* genCodeText(int code) {
  switch (code) {
    case kErrArgument: return "Argument error";
    case kErrBound: return "Bound error";
    case kErrNoVar: return "Variable does not exist";
    case kErrNoFunc: return "Function does not exist";
    case kErrCreate: return "Create error";
    case kErrOpen: return "Open error";
    case kErrClose: return "Close error";
    case kErrRead: return "Read error";
    case kErrWrite: return "Write error";
    case kErrCorruption: return "Corruption detected";
    case kErrDataType: return "Data type error";
    case kErrDataWidth: return "Data width error";
    case kErrNoTable: return "Work area not in use";
    case kErrNoOrder: return "Order not found";
    case kErrShared: return "Shared access required exclusive use";
    case kErrUnlocked: return "Record not locked";
    case kErrReadOnly: return "Write to a read-only table";
    case kErrLock: return "Lock failed";
    case kErrSyntax: return "Syntax error";
    default: return "Error";
  }
}

}  // namespace

std::string Error::toString() const {
  std::string s = genCodeText(genCode);
  if (!description.empty()) s += ": " + description;
  if (!filename.empty()) s += " (file " + filename + ")";
  if (!operation.empty()) s += " (operation " + operation + ")";
  if (osCode != 0) s += " (OS error " + std::to_string(osCode) + ")";
  return s;
}

ErrorHandler errorHandler() { return tHandler; }

ErrorHandler setErrorHandler(ErrorHandler h) {
  ErrorHandler old = std::move(tHandler);
  tHandler = std::move(h);
  return old;
}

void raiseError(const Error& e) {
  if (tHandler) {
    // A copy, so that a handler that replaces itself does not destroy the running callable.
    ErrorHandler h = tHandler;
    h(e);
    throw ErrorException(e);
  }
  defaultErrorProcessing(e);
}

void setDefaultErrorHook(DefaultErrorHook hook) {
  std::lock_guard lock(hookMutex());
  hookSlot() = std::move(hook);
}

void defaultErrorProcessing(const Error& e) {
  DefaultErrorHook hook;
  {
    std::lock_guard lock(hookMutex());
    hook = hookSlot();
  }
  if (hook) hook(e);
  // The hook shows the error and closes the tables; the program ends either way.
  std::fprintf(stderr, "vendorlist: %s\n", e.toString().c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace rt
