#include "host_names.h"

#include "files/name_resolver.h"

namespace dbe {

namespace {

files::NameResolver& resolver() {
  static files::NameResolver r;
  return r;
}

}  // namespace

Result<std::filesystem::path> resolveHostCase(const std::filesystem::path& p) {
  std::error_code ec;
  if (std::filesystem::exists(p, ec)) return p;
  std::filesystem::path out = p.root_path();
  std::filesystem::path rel = p.relative_path();
  if (out.empty()) out = ".";
  bool first = true;
  for (const auto& part : rel) {
    const std::string name = part.string();
    if (name.empty() || name == "." || name == "..") {
      out /= part;
      continue;
    }
    auto m = resolver().find(out, name);
    if (!m.isOk()) {
      if (m.error().kind == files::Error::Kind::kAmbiguous) {
        return Status::invalidArgument(m.error().message, p.string());
      }
      return p;  // a directory on the way is missing: let the open report it
    }
    if (!m->found) return p;
    if (first && out == ".") {
      out = m->name;
    } else {
      out /= m->name;
    }
    first = false;
  }
  return out;
}

}  // namespace dbe
