#include "file.h"

#include <algorithm>
#include <thread>

namespace dbe {

Status File::readExact(std::uint64_t offset, std::span<std::byte> out, const char* what) {
  std::size_t got = 0;
  DBE_RETURN_IF_ERROR(read(offset, out, &got));
  if (got == out.size()) return Status::ok();
  // Report the real length of the file: it is what a person repairing it needs.
  std::uint64_t fileSize = offset + got;
  if (Result<std::uint64_t> s = size(); s.isOk()) fileSize = *s;
  return Status::corruption(name(), std::string(what ? what : "data") + ": file ends at " +
                                        std::to_string(fileSize) + ", expected " +
                                        std::to_string(out.size()) + " bytes at offset " +
                                        std::to_string(offset));
}

Status File::lockRangeWait(std::uint64_t offset, std::uint64_t length, LockKind kind,
                           std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + timeout;
  // Start with very short sleeps: the locks waited for here are held by other stations for a
  // record write or an index update, i.e. well under a millisecond on a local disk. Back off to
  // 10 ms so that a long wait does not spin.
  std::chrono::microseconds pause(50);
  for (;;) {
    Status s = lockRange(offset, length, kind);
    if (s.code() != Status::Code::kBusy) return s;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return s;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now);
    std::this_thread::sleep_for(std::min(pause, left));
    pause = std::min(pause * 2, std::chrono::microseconds(10000));
  }
}

}  // namespace dbe
