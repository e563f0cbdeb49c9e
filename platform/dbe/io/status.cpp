#include "status.h"

namespace dbe {

Status Status::notFound(std::string file, std::string detail, std::string op) {
  return Status(Code::kNotFound, std::move(file), std::move(op), 0, std::move(detail));
}
Status Status::corruption(std::string file, std::string detail, SourceLocation where) {
  // The source location is kept out of the user's text; it only helps a debugger break here.
  (void)where;
  return Status(Code::kCorruption, std::move(file), "read", 0, std::move(detail));
}
Status Status::ioError(std::string file, std::string op, int osError, std::string detail) {
  return Status(Code::kIOError, std::move(file), std::move(op), osError, std::move(detail));
}
Status Status::busy(std::string file, std::string detail) {
  return Status(Code::kBusy, std::move(file), "lock", 0, std::move(detail));
}
Status Status::invalidArgument(std::string detail, std::string file) {
  return Status(Code::kInvalidArgument, std::move(file), {}, 0, std::move(detail));
}
Status Status::notSupported(std::string file, std::string detail) {
  return Status(Code::kNotSupported, std::move(file), {}, 0, std::move(detail));
}
Status Status::readOnly(std::string file, std::string detail) {
  return Status(Code::kReadOnly, std::move(file), "write", 0, std::move(detail));
}
Status Status::full(std::string file, std::string detail, int osError) {
  return Status(Code::kFull, std::move(file), "write", osError, std::move(detail));
}

const char* Status::codeName(Code c) {
  switch (c) {
    case Code::kOk: return "OK";
    case Code::kNotFound: return "Not found";
    case Code::kCorruption: return "Corruption";
    case Code::kIOError: return "I/O error";
    case Code::kBusy: return "Busy";
    case Code::kInvalidArgument: return "Invalid argument";
    case Code::kNotSupported: return "Not supported";
    case Code::kReadOnly: return "Read-only";
    case Code::kFull: return "Full";
  }
  return "Unknown";
}

std::string Status::toString() const {
  if (isOk()) return "OK";
  std::string s = codeName(code_);
  s += ": ";
  if (!file_.empty()) s += file_ + ": ";
  s += detail_;
  return s;
}

}  // namespace dbe
