// What the fuzz drivers share: a check that stops the run with a message, and the in-memory
// file that holds the fuzz bytes.
//
// A failed check is a finding just like a sanitizer report: libFuzzer saves the input that
// caused it (crash-<sha1>) when the process aborts.
//
// Thread safety: each driver runs one input at a time on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>

#include "dbe/io/file.h"

// The condition is evaluated once; the report shows its text.
#define FUZZ_CHECK(cond)                                     \
  do {                                                       \
    if (!(cond)) ::fuzz::fail(#cond, __FILE__, __LINE__);    \
  } while (0)

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

inline std::span<const std::byte> asBytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const std::byte*>(data), size};
}

// A failed engine call must say what went wrong.
inline bool explained(const dbe::Status& s) { return !s.isOk() && !s.detail().empty(); }

// Writes `bytes` as the whole file `path` of `fs`; a failure here is the driver's own fault.
inline void putFile(dbe::FileSystem* fs, const std::filesystem::path& path,
                    std::span<const std::byte> bytes) {
  dbe::Result<std::unique_ptr<dbe::File>> f =
      fs->create(path, dbe::ShareMode::kNone, /*overwrite=*/true);
  FUZZ_CHECK(f.isOk());
  if (!bytes.empty()) FUZZ_CHECK((*f)->write(0, bytes).isOk());
}

}  // namespace fuzz
