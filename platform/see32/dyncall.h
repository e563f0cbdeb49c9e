// Calls into a shared library by file name and export name, as the suite's wrappers do:
//
//   dyncall::callExport("SEE32.DLL", "seeAttach", 1, 0)
//
// The file name is the Windows one the suite uses; a mapping table (Libraries) turns it into
// a host shared library, compared without regard to case. The library is loaded with dlopen()
// the first time and kept loaded (the handle is cached and never closed, since another thread
// may be inside one of its exports); the export is looked up with dlsym() on every call, as
// the wrappers name file and export on every call.
//
// Default mapping: "SEE32.DLL" is our mail engine, found as
//   1. the file named by the environment variable VENDORLIST_SEE32, when it is set (and then
//      only there, so that a wrong setting is reported rather than passed over);
//   2. libsee32.so beside the running executable;
//   3. libsee32.so by name, through the executable's RUNPATH (CMake puts the engine's build
//      directory there for every target that links see32_call), LD_LIBRARY_PATH and the
//      system's library directories.
// Other file names have no default; map() gives them (or another SEE32.DLL, e.g. a recording
// fake in tests) a host library.
//
// Call shapes. Every export we call takes 32-bit signed integers and `char*` buffers and
// returns a 32-bit signed integer, so no foreign-function library is needed: the call is made
// through a function pointer of exactly the argument types given, in order.
//   - callExport(file, name, args...) with each argument std::int32_t, char* or const char*
//     (a const text is passed as char*; give it only where the export reads text). The shape
//     is fixed at compile time.
//   - callExport(file, name, std::span<const Arg>) for argument lists built at run time, e.g.
//     from a table of wrappers: up to kMaxArgs arguments, each an Arg (int32 or char*); the
//     matching typed shape is chosen from all 2^n combinations, which are generated at compile
//     time.
// Either way the caller must pass what the export expects; a mismatch cannot be detected
// (the library has no signature information), as with any C call by name.
//
// Failures are values, never crashes: a library that cannot be loaded gives NotFound naming
// the file name, the host library and the loader's reason; a missing export gives NotFound
// naming both. The export's own result, negative or not, is the value of a successful call.
//
// Thread safety: every member may be called from any thread. The mapping table and the handle
// cache are guarded by a mutex, which is not held while an export runs.
#pragma once

#include <concepts>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "dbe/io/status.h"

namespace dyncall {

using Arg = std::variant<std::int32_t, char*>;
inline constexpr std::size_t kMaxArgs = 10;

inline constexpr const char* kSee32Variable = "VENDORLIST_SEE32";

// The types an export argument may have in the compile-time shape.
template <typename T>
concept ExportArg =
    std::same_as<T, std::int32_t> || std::same_as<T, char*> || std::same_as<T, const char*>;

class Libraries {
 public:
  // The table the wrappers use, with the default mapping above.
  static Libraries& process();

  Libraries() = default;
  Libraries(const Libraries&) = delete;
  Libraries& operator=(const Libraries&) = delete;

  // Maps the file name `dllName` (any case) to the host library `library` (a path, or a bare
  // name that dlopen() looks up), replacing the default or an earlier mapping.
  void map(std::string_view dllName, std::filesystem::path library);
  // Back to the default mapping.
  void unmap(std::string_view dllName);

  // The address of `exportName` in the library mapped to `dllName`. NotFound as above.
  dbe::Result<void*> find(std::string_view dllName, std::string_view exportName);

  dbe::Result<std::int32_t> call(std::string_view dllName, std::string_view exportName,
                                 std::span<const Arg> args);

  template <ExportArg... A>
  dbe::Result<std::int32_t> call(std::string_view dllName, std::string_view exportName, A... args) {
    dbe::Result<void*> sym = find(dllName, exportName);
    if (!sym) return sym.status();
    using Fn =
        std::int32_t (*)(std::conditional_t<std::same_as<A, std::int32_t>, std::int32_t, char*>...);
    return reinterpret_cast<Fn>(*sym)(passed(args)...);
  }

 private:
  static std::int32_t passed(std::int32_t v) { return v; }
  static char* passed(char* p) { return p; }
  static char* passed(const char* p) { return const_cast<char*>(p); }

  dbe::Result<void*> handle(std::string_view dllName);

  std::mutex mu_;                                     // guards the two maps
  std::map<std::string, std::filesystem::path> map_;  // key: upper-case file name
  std::map<std::string, void*> loaded_;               // key: upper-case file name
};

// Libraries::process().call(...).
template <ExportArg... A>
dbe::Result<std::int32_t> callExport(std::string_view dllName, std::string_view exportName,
                                     A... args) {
  return Libraries::process().call(dllName, exportName, args...);
}
dbe::Result<std::int32_t> callExport(std::string_view dllName, std::string_view exportName,
                                     std::span<const Arg> args);

// The directory of the running executable (empty when the system does not say).
std::filesystem::path executableDirectory();

}  // namespace dyncall
