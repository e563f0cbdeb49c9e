#include "ini_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "text_lines.h"

namespace gui {

namespace {

std::string errnoText(int err) { return std::strerror(err); }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string keyName(const rt::Value& key) { return std::string(trim(key.text())); }

struct Line {
  enum class Kind { kOther, kSection, kKey };
  Kind kind = Kind::kOther;
  std::string text;  // without its line end
  std::string name;  // section or key name
  std::string value;
};

struct Document {
  std::vector<Line> lines;
  std::string eol = "\r\n";
};

Line classify(std::string text) {
  Line l;
  const std::string_view t = trim(text);
  if (!t.empty() && t.front() == '[') {
    const size_t close = t.find(']');
    if (close != std::string_view::npos) {
      l.kind = Line::Kind::kSection;
      l.name = std::string(trim(t.substr(1, close - 1)));
    }
  } else if (!t.empty() && t.front() != ';' && t.front() != '#') {
    const size_t eq = t.find('=');
    if (eq != std::string_view::npos && eq > 0) {
      l.kind = Line::Kind::kKey;
      l.name = std::string(trim(t.substr(0, eq)));
      std::string_view v = trim(t.substr(eq + 1));
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      l.value = std::string(v);
    }
  }
  l.text = std::move(text);
  return l;
}

Document parse(std::string_view content) {
  Document d;
  const size_t firstNl = content.find('\n');
  if (firstNl != std::string_view::npos)
    d.eol = firstNl > 0 && content[firstNl - 1] == '\r' ? "\r\n" : "\n";
  size_t start = 0;
  while (start < content.size()) {
    size_t nl = content.find('\n', start);
    const size_t end = nl == std::string_view::npos ? content.size() : nl;
    std::string_view raw = content.substr(start, end - start);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    d.lines.push_back(classify(std::string(raw)));
    start = nl == std::string_view::npos ? content.size() : nl + 1;
  }
  return d;
}

// Reads the whole file; nullopt with found = false when it does not exist.
std::optional<std::string> readFile(const std::filesystem::path& file, IniResult* r) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    r->ok = false;
    r->message = "Cannot open " + file.string() + ": " + errnoText(errno);
    return std::nullopt;
  }
  r->fileFound = true;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    r->ok = false;
    r->message = "Cannot read " + file.string() + ": not a regular file";
    ::close(fd);
    return std::nullopt;
  }
  if (static_cast<std::uintmax_t>(st.st_size) > kMaxIniFileSize) {
    r->ok = false;
    r->message = "Cannot read " + file.string() + ": " + std::to_string(st.st_size) +
                 " bytes is too large for a settings file";
    ::close(fd);
    return std::nullopt;
  }
  std::string content;
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      r->ok = false;
      r->message = "Cannot read " + file.string() + ": " + errnoText(errno);
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    content.append(buf, static_cast<size_t>(n));
    if (content.size() > kMaxIniFileSize) {
      r->ok = false;
      r->message = "Cannot read " + file.string() + ": too large for a settings file";
      ::close(fd);
      return std::nullopt;
    }
  }
  ::close(fd);
  return content;
}

bool checkKeys(const rt::Array& keys, const std::filesystem::path& file, IniResult* r) {
  for (size_t i = 0; i < keys.size(); ++i) {
    if (!keys[i].isText() || trim(keys[i].text()).empty() ||
        keys[i].text().find_first_of("=[]\r\n") != std::string::npos) {
      r->ok = false;
      r->message = "Settings file " + file.string() + ": key " + std::to_string(i + 1) +
                   " is not a usable key name";
      return false;
    }
  }
  return true;
}

// [begin, end) of the lines of the first section of that name; begin is its header line.
std::optional<std::pair<size_t, size_t>> findSection(const Document& d, std::string_view name) {
  for (size_t i = 0; i < d.lines.size(); ++i) {
    if (d.lines[i].kind != Line::Kind::kSection || !sameName(d.lines[i].name, name)) continue;
    size_t end = i + 1;
    while (end < d.lines.size() && d.lines[end].kind != Line::Kind::kSection) ++end;
    return std::make_pair(i, end);
  }
  return std::nullopt;
}

rt::Value loadedValue(const std::string& text, const rt::Value& previous) {
  if (previous.isText() || previous.isNil()) {
    return valueFromText(text, previous.isText() ? previous : rt::Value(std::string()));
  }
  return valueFromText(text, previous);
}

std::string storedText(const rt::Value& v) {
  std::string s = v.isText() ? trimRight(v.text()) : displayText(v);
  for (char& c : s) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return s;
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Writes `content` to a new file beside `file` and renames it over `file`.
bool replaceFile(const std::filesystem::path& file, const std::string& content,
                 std::optional<mode_t> mode, IniResult* r) {
  std::filesystem::path dir = file.parent_path();
  if (dir.empty()) dir = ".";
  std::string tmpl = (dir / ("." + file.filename().string() + ".XXXXXX")).string();
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    r->ok = false;
    r->message = "Cannot write " + file.string() + ": " + errnoText(errno);
    return false;
  }
  int err = 0;
  if (!writeAll(fd, content)) err = errno != 0 ? errno : EIO;
  if (err == 0 && ::fchmod(fd, mode.value_or(0644)) != 0) err = errno;
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && std::rename(name.data(), file.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(name.data());
    r->ok = false;
    r->message = "Cannot write " + file.string() + ": " + errnoText(err);
    return false;
  }
  // The rename itself reaches the disk with the directory.
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

}  // namespace

IniResult iniLoad(const std::filesystem::path& file, std::string_view section, rt::Array& values,
                  const rt::Array& keys) {
  IniResult r;
  if (!checkKeys(keys, file, &r)) return r;
  if (values.size() < keys.size()) values.resize(keys.size());
  const std::optional<std::string> content = readFile(file, &r);
  if (!content) return r;
  const Document d = parse(*content);
  const auto range = findSection(d, section);
  if (!range) return r;
  for (size_t k = 0; k < keys.size(); ++k) {
    for (size_t i = range->first + 1; i < range->second; ++i) {
      const Line& l = d.lines[i];
      if (l.kind == Line::Kind::kKey && sameName(l.name, keyName(keys[k]))) {
        values[k] = loadedValue(l.value, values[k]);
        break;
      }
    }
  }
  return r;
}

IniResult iniSave(const std::filesystem::path& file, std::string_view section,
                  const rt::Array& values, const rt::Array& keys) {
  IniResult r;
  if (!checkKeys(keys, file, &r)) return r;
  if (trim(section).empty() || section.find_first_of("[]\r\n") != std::string_view::npos) {
    r.ok = false;
    r.message = "Settings file " + file.string() + ": the section name is not usable";
    return r;
  }
  const std::optional<std::string> content = readFile(file, &r);
  if (!r.ok) return r;
  Document d = content ? parse(*content) : Document{};
  std::optional<mode_t> mode;
  struct stat st {};
  if (r.fileFound && ::stat(file.c_str(), &st) == 0) mode = st.st_mode & 07777;

  auto range = findSection(d, section);
  if (!range) {
    if (!d.lines.empty() && !trim(d.lines.back().text).empty()) d.lines.push_back(classify(""));
    d.lines.push_back(classify("[" + std::string(trim(section)) + "]"));
    range = std::make_pair(d.lines.size() - 1, d.lines.size());
  }
  for (size_t k = 0; k < keys.size(); ++k) {
    const std::string value = storedText(k < values.size() ? values[k] : rt::Value(""));
    bool replaced = false;
    for (size_t i = range->first + 1; i < range->second; ++i) {
      Line& l = d.lines[i];
      if (l.kind == Line::Kind::kKey && sameName(l.name, keyName(keys[k]))) {
        l = classify(l.name + "=" + value);
        replaced = true;
        break;
      }
    }
    if (replaced) continue;
    // A new key goes after the section's last line that is not blank.
    size_t at = range->second;
    while (at > range->first + 1 && trim(d.lines[at - 1].text).empty()) --at;
    d.lines.insert(d.lines.begin() + static_cast<std::ptrdiff_t>(at),
                   classify(keyName(keys[k]) + "=" + value));
    ++range->second;
  }

  std::string out;
  for (const Line& l : d.lines) out += l.text + d.eol;
  replaceFile(file, out, mode, &r);
  return r;
}

}  // namespace gui
