#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "dbe/area/host_names.h"
#include "dbe/area/table_area.h"
#include "dbe/cdx/cdx_file.h"
#include "dbe/dbf/table.h"
#include "dbe/area/work_area.h"
#include "dbe/area/workspace_internal.h"
#include "dbe/io/file.h"

namespace dbe {

namespace {

struct ThreadAreas {
  std::vector<std::unique_ptr<TableArea>> areas = std::vector<std::unique_ptr<TableArea>>(
      static_cast<std::size_t>(kMaxAreas) + 1);
  int selected = 1;
  EngineSettings settings;
};

ThreadAreas& areas() {
  thread_local ThreadAreas t;
  return t;
}

std::atomic<FileSystem*> gFileSystem{nullptr};

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool validArea(int n) { return n >= 1 && n <= kMaxAreas; }

}  // namespace

EngineSettings& engineSettings() { return areas().settings; }

namespace internal {

dbf::Table* tableOfArea(int number) {
  if (!validArea(number)) return nullptr;
  auto& a = areas().areas[static_cast<std::size_t>(number)];
  return a ? a->table() : nullptr;
}

const dbf::Record* recordOfArea(int number) {
  if (!validArea(number)) return nullptr;
  auto& a = areas().areas[static_cast<std::size_t>(number)];
  return a ? &a->record() : nullptr;
}

}  // namespace internal

namespace workspace {

FileSystem* fileSystem() {
  FileSystem* fs = gFileSystem.load();
  return fs ? fs : defaultFileSystem();
}

void setFileSystem(FileSystem* fs) { gFileSystem.store(fs); }

int selected() { return areas().selected; }

int select(int area) {
  auto& t = areas();
  const int old = t.selected;
  if (validArea(area)) t.selected = area;
  return old;
}

int areaOfAlias(const std::string& alias) {
  const std::string a = upper(alias);
  auto& t = areas();
  for (int n = 1; n <= kMaxAreas; ++n) {
    const auto& area = t.areas[static_cast<std::size_t>(n)];
    if (area && area->alias() == a) return n;
  }
  return 0;
}

int lowestFreeArea() {
  auto& t = areas();
  for (int n = 1; n <= kMaxAreas; ++n) {
    if (!t.areas[static_cast<std::size_t>(n)]) return n;
  }
  return 0;
}

WorkArea* area(int number) {
  auto& t = areas();
  const int n = number == 0 ? t.selected : number;
  if (!validArea(n)) return nullptr;
  return t.areas[static_cast<std::size_t>(n)].get();
}

Status closeArea(int number) {
  auto& t = areas();
  const int n = number == 0 ? t.selected : number;
  if (!validArea(n)) return Status::ok();
  auto& slot = t.areas[static_cast<std::size_t>(n)];
  if (!slot) return Status::ok();
  Status s = slot->close();
  slot.reset();
  return s;
}

Status closeAll() {
  Status first;
  for (int n = 1; n <= kMaxAreas; ++n) {
    Status s = closeArea(n);
    if (first.isOk() && !s.isOk()) first = s;
  }
  return first;
}

int openCount() {
  int c = 0;
  for (const auto& a : areas().areas) c += a ? 1 : 0;
  return c;
}

Status use(const std::filesystem::path& table, const OpenOptions& options, int area) {
  auto& t = areas();
  if (options.driver.empty() || !dbeIsAvailable(upper(options.driver))) {
    return Status::notFound(table.string(), "database engine " + options.driver +
                                                " is not loaded", "open");
  }
  int n = area;
  if (n == 0) n = t.selected;
  if (n < 0) n = lowestFreeArea();
  if (!validArea(n)) return Status::invalidArgument("no free work area", table.string());

  std::filesystem::path p = table;
  if (!p.has_extension()) p += ".dbf";
  auto resolved = resolveHostCase(p);
  if (!resolved.isOk()) return resolved.status();
  p = resolved.value();
  std::string alias = options.alias.empty() ? table.stem().string() : options.alias;
  if (alias.empty()) return Status::invalidArgument("empty alias", table.string());
  const int inUse = areaOfAlias(alias);
  if (inUse != 0 && inUse != n) {
    return Status::invalidArgument("alias " + upper(alias) + " is already in use in work area " +
                                       std::to_string(inUse),
                                   table.string());
  }
  // The area's table is closed first, as the classic USE does.
  DBE_RETURN_IF_ERROR(closeArea(n));
  const bool shared = options.shared.value_or(t.settings.sharedByDefault);
  auto opened = TableArea::open(fileSystem(), p, alias, shared, options.readOnly);
  if (!opened.isOk()) return opened.status();
  t.areas[static_cast<std::size_t>(n)] = std::move(opened).value();
  t.selected = n;
  return Status::ok();
}

Status createTable(const std::filesystem::path& table,
                   const std::vector<dbf::FieldSpec>& fields, bool structuralIndex) {
  std::filesystem::path p = table;
  if (!p.has_extension()) p += ".dbf";
  dbf::CreateOptions opt;
  opt.structuralIndex = structuralIndex;
  auto created = dbf::Table::create(fileSystem(), p, fields, opt);
  if (!created.isOk()) return created.status();
  std::filesystem::path cdxPath = created.value()->structuralIndexPath();
  DBE_RETURN_IF_ERROR(created.value()->close());
  if (!structuralIndex) return Status::ok();
  // The structural index starts empty; tags are added to it later.
  auto file = fileSystem()->create(cdxPath, ShareMode::kExclusive, /*overwrite=*/true);
  if (!file.isOk()) return file.status();
  cdx::IndexOptions iopt;
  iopt.shared = false;
  auto cdx = cdx::CdxFile::create(std::move(file).value(), iopt);
  return cdx.status();
}

}  // namespace workspace

// ---- engine components ----

namespace {

struct Components {
  std::mutex mu;
  std::set<std::string> loaded;
  std::set<std::string> failNext;
};

Components& components() {
  static Components c;
  return c;
}

bool knownComponent(const std::string& n) { return n == "FOXDBE" || n == "CDXDBE"; }

}  // namespace

bool dbeLoad(const std::string& name, bool hidden) {
  (void)hidden;  // a hidden component is usable only inside a composite; ours are built in
  auto& c = components();
  std::lock_guard lock(c.mu);
  const std::string n = upper(name);
  if (c.failNext.erase(n) > 0 || !knownComponent(n)) return false;
  c.loaded.insert(n);
  return true;
}

bool dbeBuild(const std::string& composite, const std::string& dataComponent,
              const std::string& indexComponent) {
  auto& c = components();
  std::lock_guard lock(c.mu);
  const std::string n = upper(composite);
  if (c.failNext.erase(n) > 0) return false;
  if (n != "FOXCDX" || upper(dataComponent) != "FOXDBE" || upper(indexComponent) != "CDXDBE") {
    return false;
  }
  if (!c.loaded.count("FOXDBE") || !c.loaded.count("CDXDBE")) return false;
  c.loaded.insert(n);
  return true;
}

bool dbeIsAvailable(const std::string& name) {
  auto& c = components();
  std::lock_guard lock(c.mu);
  return c.loaded.count(upper(name)) > 0;
}

void dbeFailForTest(const std::string& name) {
  auto& c = components();
  std::lock_guard lock(c.mu);
  c.failNext.insert(upper(name));
}

void dbeResetForTest() {
  auto& c = components();
  std::lock_guard lock(c.mu);
  c.loaded.clear();
  c.failNext.clear();
}

}  // namespace dbe
