// Status and Result: how the table engine reports failure.
//
// Every engine function that can fail returns a [[nodiscard]] Status (or a Result<T>, which is a
// value or a Status). A Status names what went wrong (its code), the file concerned, the
// operation that failed, the OS error number where the OS gave one, and a human-readable detail.
// The work-area layer turns a failed Status into the runtime's error object; nothing inside the
// engine throws.
//
// Thread safety: Status and Result are plain values.
#pragma once

#include <optional>
#if __has_include(<source_location>)
#include <source_location>
#endif
#include <string>
#include <utility>
#include <variant>

namespace dbe {

// Where a Corruption status was made, so that one breakpoint catches every case. libstdc++ 12
// offers std::source_location to GCC but not to clang 14, so clang builds get an empty stand-in.
#if defined(__cpp_lib_source_location)
using SourceLocation = std::source_location;
#else
struct SourceLocation {
  static constexpr SourceLocation current() { return {}; }
};
#endif

class Status {
 public:
  enum class Code {
    kOk = 0,
    kNotFound,         // a file, field, tag or record that does not exist
    kCorruption,       // bytes on disk that break the format's rules
    kIOError,          // the OS refused a read, write, open, sync
    kBusy,             // a lock held by someone else (never waited for inside the engine)
    kInvalidArgument,  // a caller's mistake: bad name, bad field list, bad expression
    kNotSupported,     // valid format we cannot handle (e.g. a collation we do not maintain)
    kReadOnly,         // a write to a table or index opened read-only
    kFull,             // the disk or a format limit is full
  };

  Status() = default;
  static Status ok() { return {}; }
  static Status notFound(std::string file, std::string detail, std::string op = {});
  static Status corruption(std::string file, std::string detail,
                           SourceLocation where = SourceLocation::current());
  static Status ioError(std::string file, std::string op, int osError, std::string detail = {});
  static Status busy(std::string file, std::string detail);
  static Status invalidArgument(std::string detail, std::string file = {});
  static Status notSupported(std::string file, std::string detail);
  static Status readOnly(std::string file, std::string detail);
  static Status full(std::string file, std::string detail, int osError = 0);

  bool isOk() const { return code_ == Code::kOk; }
  explicit operator bool() const { return isOk(); }
  Code code() const { return code_; }
  const std::string& file() const { return file_; }
  const std::string& operation() const { return op_; }
  const std::string& detail() const { return detail_; }
  int osError() const { return osError_; }

  // "Corruption: APMSTRFL.CDX: leaf node at 0x1200 holds 300 keys, more than fit in 488 bytes"
  std::string toString() const;
  static const char* codeName(Code c);

 private:
  Status(Code c, std::string file, std::string op, int osError, std::string detail)
      : code_(c), file_(std::move(file)), op_(std::move(op)), detail_(std::move(detail)),
        osError_(osError) {}

  Code code_ = Code::kOk;
  std::string file_;
  std::string op_;
  std::string detail_;
  int osError_ = 0;
};

// A value or the Status that explains why there is none.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}            // NOLINT(google-explicit-constructor)
  Result(Status status) : v_(std::move(status)) {}     // NOLINT(google-explicit-constructor)

  bool isOk() const { return v_.index() == 0; }
  explicit operator bool() const { return isOk(); }
  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  T& operator*() & { return std::get<0>(v_); }
  const T& operator*() const& { return std::get<0>(v_); }
  T&& operator*() && { return std::get<0>(std::move(v_)); }
  const Status& status() const {
    static const Status kOk;
    return isOk() ? kOk : std::get<1>(v_);
  }

 private:
  std::variant<T, Status> v_;
};

}  // namespace dbe

// Propagate a failed Status to the caller.
#define DBE_RETURN_IF_ERROR(expr)                  \
  do {                                             \
    ::dbe::Status dbe_status_ = (expr);            \
    if (!dbe_status_.isOk()) return dbe_status_;   \
  } while (0)
