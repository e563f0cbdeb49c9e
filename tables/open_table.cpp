#include "open_table.h"

#include <cctype>

#include "files/file_system.h"
#include "runtime/error.h"

namespace tables {

namespace {

// The last component of a Windows name: after the last '\', '/' or drive colon.
std::string_view lastComponent(std::string_view name) {
  const size_t cut = name.find_last_of("\\/:");
  return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

std::string withExtension(std::string_view name, std::string_view ext) {
  std::string out(name);
  if (lastComponent(name).find('.') == std::string_view::npos) out += ext;
  return out;
}

std::string stemOf(std::string_view name) {
  std::string_view last = lastComponent(name);
  const size_t dot = last.find('.');
  return std::string(dot == std::string_view::npos ? last : last.substr(0, dot));
}

// The Windows path a name stands for, for messages; the name itself when it is no valid path.
std::string fullWindowsName(std::string_view name) {
  auto full = files::FileSystem::process().fullPath(name);
  return full.isOk() ? full.value().toString() : std::string(name);
}

std::filesystem::path locateOrRaise(std::string_view name, std::string_view operation) {
  auto found = files::FileSystem::process().locate(name);
  if (!found.isOk()) raiseFileError(found.error(), operation);
  if (found.value().isDirectory) {
    files::Error e;
    e.kind = files::Error::Kind::kIsADirectory;
    e.path = found.value().windows;
    e.message = "is a directory, not a file";
    raiseFileError(e, operation);
  }
  return found.value().host;
}

}  // namespace

int genericCode(dbe::Status::Code code) {
  using C = dbe::Status::Code;
  switch (code) {
    case C::kOk:
      return rt::kErrNone;
    case C::kCorruption:
      return rt::kErrCorruption;
    case C::kBusy:
      return rt::kErrShared;
    case C::kInvalidArgument:
      return rt::kErrArgument;
    case C::kReadOnly:
      return rt::kErrReadOnly;
    case C::kFull:
      return rt::kErrWrite;
    case C::kNotFound:
    case C::kIOError:
    case C::kNotSupported:
      return rt::kErrOpen;
  }
  return rt::kErrOpen;
}

int genericCode(files::Error::Kind kind) {
  using K = files::Error::Kind;
  switch (kind) {
    case K::kInvalidPath:
    case K::kConfig:
      return rt::kErrArgument;
    case K::kNotFound:
    case K::kNotMapped:
    case K::kAmbiguous:
    case K::kNotADirectory:
    case K::kIsADirectory:
    case K::kIOError:
    case K::kTooLarge:
      return rt::kErrOpen;
  }
  return rt::kErrOpen;
}

void raiseTableError(const dbe::Status& status, std::string_view operation,
                     std::string_view windowsName) {
  rt::Error e;
  e.genCode = genericCode(status.code());
  e.osCode = status.osError();
  e.subsystem = "DBFCDX";
  e.operation = std::string(operation);
  // The user reads the Windows name of the file; the engine knows only the host path.
  std::string file;
  if (!status.file().empty()) {
    file = files::FileSystem::process().displayPath(status.file());
  }
  if (file.empty() || (!windowsName.empty() && file == status.file())) {
    file = std::string(windowsName);
  }
  e.filename = file;
  e.description = status.detail().empty() ? dbe::Status::codeName(status.code()) : status.detail();
  rt::raiseError(e);
}

void raiseFileError(const files::Error& error, std::string_view operation) {
  rt::Error e;
  e.genCode = genericCode(error.kind);
  e.osCode = error.osError;
  e.subsystem = "DBFCDX";
  e.operation = std::string(operation);
  e.filename = error.path;
  e.description = error.message;
  rt::raiseError(e);
}

std::filesystem::path tableHostPath(std::string_view name) {
  return locateOrRaise(withExtension(name, ".DBF"), "open");
}

dbe::WorkArea& openTable(std::string_view name, const dbe::OpenOptions& options, int area) {
  const std::string windows = withExtension(name, ".DBF");
  dbe::OpenOptions o = options;
  if (o.alias.empty()) o.alias = stemOf(name);
  // The engine is asked first, so that a missing engine is reported as such and not as a
  // missing file.
  if (!dbe::dbeIsAvailable(o.driver)) {
    raiseTableError(dbe::Status::notFound({}, "database engine " + o.driver + " is not loaded",
                                          "open"),
                    "open", fullWindowsName(windows));
  }
  const std::filesystem::path host = locateOrRaise(windows, "open");
  if (dbe::Status s = dbe::workspace::use(host, o, area); !s.isOk()) {
    raiseTableError(s, "open", fullWindowsName(windows));
  }
  return *dbe::workspace::area();
}

void addIndex(std::string_view cdxName) {
  const std::string windows = withExtension(cdxName, ".CDX");
  dbe::WorkArea* a = dbe::workspace::area();
  if (a == nullptr) {
    rt::Error e;
    e.genCode = rt::kErrNoTable;
    e.subsystem = "DBFCDX";
    e.operation = "orderListAdd";
    e.filename = fullWindowsName(windows);
    e.description = "no table is open in work area " + std::to_string(dbe::workspace::selected());
    rt::raiseError(e);
  }
  const std::filesystem::path host = locateOrRaise(windows, "orderListAdd");
  if (dbe::Status s = a->orderListAdd(host); !s.isOk()) {
    raiseTableError(s, "orderListAdd", fullWindowsName(windows));
  }
}

bool fileExists(std::string_view name) {
  auto r = files::FileSystem::process().exists(name);
  if (!r.isOk()) raiseFileError(r.error(), "exists");
  return r.value();
}

}  // namespace tables
