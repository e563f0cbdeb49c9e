// Error, Status and Result: how the path layer reports failure.
//
// Nothing in this layer throws. A function that can fail returns a [[nodiscard]] Status (for an
// action) or a Result<T> (a value or the Error that explains why there is none). An Error names
// its kind, the Windows path concerned (as complete as it was known when the failure happened),
// a message meant for the user and, where the OS gave one, its error number. The layers above
// turn an Error into the runtime's error object or into a box the user reads:
//
//   "C:\vadnorel\mstrctrl.dbf: file not found"
//   "D:\out\report.pdf: drive D: is not mapped to a host directory"
//   "C:\vadnorel\vendor.dbf: two files differ only by case: VENDOR.DBF and Vendor.dbf"
//
// Thread safety: Error, Status and Result are plain values.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace files {

struct Error {
  enum class Kind {
    kNotFound,       // the file, or a directory on the way to it, does not exist
    kNotMapped,      // the drive letter or network share has no host directory
    kAmbiguous,      // two or more host entries differ only by case and none matches exactly
    kInvalidPath,    // the text is not a usable Windows path (bad character, bad UNC name, ...)
    kNotADirectory,  // a component used as a directory is a file
    kIsADirectory,   // a file operation named a directory
    kIOError,        // the OS refused (permission, I/O error, name too long, ...)
    kTooLarge,       // a whole-file read of a file larger than the limit
    kConfig,         // a malformed drive or share mapping
  };

  Kind kind = Kind::kIOError;
  std::string path;     // Windows path (or the configuration text) concerned; may be empty
  std::string message;  // what went wrong, for the user
  int osError = 0;      // errno where the OS reported the failure, else 0

  // "path: message", or the message alone when there is no path.
  std::string toString() const;
};

class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(Error e) : error_(std::move(e)) {}  // NOLINT(google-explicit-constructor)

  bool isOk() const { return !error_.has_value(); }
  explicit operator bool() const { return isOk(); }
  // REQUIRES: !isOk().
  const Error& error() const { return *error_; }
  std::string toString() const { return isOk() ? "OK" : error_->toString(); }

 private:
  std::optional<Error> error_;
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}  // NOLINT(google-explicit-constructor)
  Result(Error e) : v_(std::move(e)) {}      // NOLINT(google-explicit-constructor)

  bool isOk() const { return v_.index() == 0; }
  explicit operator bool() const { return isOk(); }
  // REQUIRES: isOk() for value(), ->, *; !isOk() for error().
  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  T& operator*() & { return std::get<0>(v_); }
  const T& operator*() const& { return std::get<0>(v_); }
  const Error& error() const { return std::get<1>(v_); }
  Status status() const { return isOk() ? Status() : Status(error()); }

 private:
  std::variant<T, Error> v_;
};

}  // namespace files
