// SeeStatus and SeeResult: how the mail engine's parts report failure to the exports.
//
// A SeeStatus is OK or one of the engine's negative result codes (see32.h) with the text that
// seeErrorText later gives for it ("recipient <x@y> refused: 550 5.1.1 mailbox unavailable").
// The codes are the exports' contract with the suite's mail code, so the engine keeps them
// from the place a failure is found up to the export that returns it. Nothing here throws.
//
// Thread safety: plain values.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "see32.h"

namespace see32 {

class [[nodiscard]] SeeStatus {
 public:
  SeeStatus() = default;
  SeeStatus(std::int32_t code, std::string text) : code_(code), text_(std::move(text)) {}
  static SeeStatus ok() { return {}; }

  bool isOk() const { return code_ >= 0; }
  explicit operator bool() const { return isOk(); }
  std::int32_t code() const { return code_; }
  const std::string& text() const { return text_; }

 private:
  std::int32_t code_ = kSeeOk;
  std::string text_;
};

template <typename T>
class [[nodiscard]] SeeResult {
 public:
  SeeResult(T value) : v_(std::move(value)) {}            // NOLINT(google-explicit-constructor)
  SeeResult(SeeStatus status) : v_(std::move(status)) {}  // NOLINT(google-explicit-constructor)

  bool isOk() const { return v_.index() == 0; }
  explicit operator bool() const { return isOk(); }
  // REQUIRES: isOk() for value(), *, ->; !isOk() for status().
  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T& operator*() & { return std::get<0>(v_); }
  const T& operator*() const& { return std::get<0>(v_); }
  T* operator->() { return &std::get<0>(v_); }
  const T* operator->() const { return &std::get<0>(v_); }
  const SeeStatus& status() const { return std::get<1>(v_); }

 private:
  std::variant<T, SeeStatus> v_;
};

}  // namespace see32

#define SEE32_RETURN_IF_ERROR(expr)                  \
  do {                                               \
    ::see32::SeeStatus see32_status_ = (expr);       \
    if (!see32_status_.isOk()) return see32_status_; \
  } while (0)
