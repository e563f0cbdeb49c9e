// Errors, break and the error handler.
//
// A runtime error is described by an Error object: the generic code (kErr*), the OS error
// number, the subsystem ("DBFCDX", "BASE"), the operation, the file and a description. It is
// raised through raiseError, which hands it to the calling thread's error handler. A handler may
// throw a Break (the table-opening routine turns engine errors into a break it catches itself),
// or do the default processing: report the error and end the program. When a handler returns,
// raiseError throws ErrorException, so a failed operation never looks like a success.
//
// Break carries a Value and unwinds to the innermost recovery point (a catch of rt::Break).
//
// Thread safety: each thread has its own handler; the default processing hook is process-wide
// and set once at start-up.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "value.h"

namespace rt {

// Generic error codes (the classic runtime's numbering, where the system tests them).
inline constexpr int kErrNone = 0;
inline constexpr int kErrArgument = 1;
inline constexpr int kErrBound = 2;
inline constexpr int kErrNoVar = 14;
inline constexpr int kErrNoFunc = 15;
inline constexpr int kErrCreate = 20;
inline constexpr int kErrOpen = 21;
inline constexpr int kErrClose = 22;
inline constexpr int kErrRead = 23;
inline constexpr int kErrWrite = 24;
inline constexpr int kErrCorruption = 32;
inline constexpr int kErrDataType = 33;
inline constexpr int kErrDataWidth = 34;
inline constexpr int kErrNoTable = 35;
inline constexpr int kErrNoOrder = 36;
inline constexpr int kErrShared = 37;
inline constexpr int kErrUnlocked = 38;
inline constexpr int kErrReadOnly = 39;
inline constexpr int kErrLock = 41;
inline constexpr int kErrSyntax = 50;

struct Error {
  int genCode = kErrNone;
  int osCode = 0;
  std::string subsystem;
  std::string operation;
  std::string filename;
  std::string description;

  // "Open error: APMSTRFL.DBF: No such file (operation: open, OS error 2)"
  std::string toString() const;
};

class ErrorException : public std::exception {
 public:
  explicit ErrorException(Error e) : error_(std::move(e)), what_(error_.toString()) {}
  const Error& error() const { return error_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  Error error_;
  std::string what_;
};

class Break : public std::exception {
 public:
  explicit Break(Value v = {}) : value_(std::move(v)) {}
  const Value& value() const { return value_; }
  const char* what() const noexcept override { return "break"; }

 private:
  Value value_;
};

using ErrorHandler = std::function<void(const Error&)>;

// The calling thread's handler; an empty handler means the default processing.
ErrorHandler errorHandler();
// Installs a handler for the calling thread and returns the one it replaces.
ErrorHandler setErrorHandler(ErrorHandler h);

// Hands the error to the thread's handler (or to the default processing) and, should the
// handler return, throws ErrorException(e).
[[noreturn]] void raiseError(const Error& e);

// Default error processing: what happens to an error nobody handles. The hook is set once at
// start-up (the GUI shows an alert, closes every thread's tables and ends the program); until
// then the error is written to standard error and the program ends with status 1.
using DefaultErrorHook = std::function<void(const Error&)>;
void setDefaultErrorHook(DefaultErrorHook hook);
[[noreturn]] void defaultErrorProcessing(const Error& e);

// Restores the previous handler when it goes out of scope (for routines that put their own in
// force and must put the caller's back on every return).
class ScopedErrorHandler {
 public:
  explicit ScopedErrorHandler(ErrorHandler h) : saved_(setErrorHandler(std::move(h))) {}
  ~ScopedErrorHandler() { setErrorHandler(std::move(saved_)); }
  ScopedErrorHandler(const ScopedErrorHandler&) = delete;
  ScopedErrorHandler& operator=(const ScopedErrorHandler&) = delete;

 private:
  ErrorHandler saved_;
};

}  // namespace rt
