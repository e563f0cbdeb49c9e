#include "dyncall.h"

#include <cstdlib>
#include <dlfcn.h>
#include <system_error>
#include <vector>

namespace dyncall {
namespace {

constexpr const char* kSee32File = "SEE32.DLL";
constexpr const char* kSee32Library = "libsee32.so";

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Appends the typed argument for each Arg and calls through the matching function type once
// the arguments run out. Instantiated for every sequence of int32/char* up to kMaxArgs long.
template <typename... Done>
std::int32_t invoke(void* fn, std::span<const Arg> rest, Done... done) {
  if constexpr (sizeof...(Done) < kMaxArgs) {
    if (!rest.empty()) {
      if (const std::int32_t* i = std::get_if<std::int32_t>(&rest.front())) {
        return invoke(fn, rest.subspan(1), done..., *i);
      }
      return invoke(fn, rest.subspan(1), done..., std::get<char*>(rest.front()));
    }
  }
  return reinterpret_cast<std::int32_t (*)(Done...)>(fn)(done...);
}

// Where the default SEE32.DLL may be, in order (see the header).
std::vector<std::string> see32Candidates() {
  if (const char* env = std::getenv(kSee32Variable); env != nullptr && *env != '\0') {
    return {env};
  }
  std::vector<std::string> out;
  const std::filesystem::path dir = executableDirectory();
  std::error_code ec;
  if (!dir.empty() && std::filesystem::exists(dir / kSee32Library, ec)) {
    out.push_back((dir / kSee32Library).string());
  }
  out.push_back(kSee32Library);
  return out;
}

}  // namespace

std::filesystem::path executableDirectory() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path();
}

Libraries& Libraries::process() {
  static Libraries* const table = new Libraries();  // never destroyed: exports may outlive main
  return *table;
}

void Libraries::map(std::string_view dllName, std::filesystem::path library) {
  std::lock_guard lock(mu_);
  const std::string key = upper(dllName);
  map_[key] = std::move(library);
  loaded_.erase(key);  // the old library stays loaded: a thread may still be inside it
}

void Libraries::unmap(std::string_view dllName) {
  std::lock_guard lock(mu_);
  const std::string key = upper(dllName);
  map_.erase(key);
  loaded_.erase(key);
}

dbe::Result<void*> Libraries::handle(std::string_view dllName) {
  const std::string key = upper(dllName);
  std::lock_guard lock(mu_);
  if (const auto it = loaded_.find(key); it != loaded_.end()) return it->second;

  std::vector<std::string> candidates;
  if (const auto it = map_.find(key); it != map_.end()) {
    candidates.push_back(it->second.string());
  } else if (key == kSee32File) {
    candidates = see32Candidates();
  } else {
    return dbe::Status::notFound(std::string(dllName), "no host library is mapped for it", "load");
  }
  std::string reasons;
  for (const std::string& c : candidates) {
    // RTLD_LOCAL: the library's symbols serve only calls through this table.
    if (void* h = ::dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      loaded_[key] = h;
      return h;
    }
    const char* why = ::dlerror();
    if (!reasons.empty()) reasons += "; ";
    reasons += why != nullptr ? why : c + ": cannot be loaded";
  }
  return dbe::Status::notFound(std::string(dllName), "cannot load the library: " + reasons, "load");
}

dbe::Result<void*> Libraries::find(std::string_view dllName, std::string_view exportName) {
  dbe::Result<void*> h = handle(dllName);
  if (!h) return h.status();
  const std::string name(exportName);
  ::dlerror();  // clear an older message, so that the one below is about this lookup
  void* sym = ::dlsym(*h, name.c_str());
  if (sym == nullptr) {
    return dbe::Status::notFound(std::string(dllName), "no export named " + name, "find export");
  }
  return sym;
}

dbe::Result<std::int32_t> Libraries::call(std::string_view dllName, std::string_view exportName,
                                          std::span<const Arg> args) {
  if (args.size() > kMaxArgs) {
    return dbe::Status::invalidArgument(std::string(exportName) + ": " +
                                            std::to_string(args.size()) + " arguments, at most " +
                                            std::to_string(kMaxArgs) + " are possible",
                                        std::string(dllName));
  }
  dbe::Result<void*> sym = find(dllName, exportName);
  if (!sym) return sym.status();
  return invoke(*sym, args);
}

dbe::Result<std::int32_t> callExport(std::string_view dllName, std::string_view exportName,
                                     std::span<const Arg> args) {
  return Libraries::process().call(dllName, exportName, args);
}

}  // namespace dyncall
