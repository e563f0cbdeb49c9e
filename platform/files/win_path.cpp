#include "win_path.h"

#include <cstddef>
#include <utility>

namespace files {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

Error invalid(std::string_view text, std::string message) {
  return Error{Error::Kind::kInvalidPath, std::string(text), std::move(message), 0};
}

// Windows refuses these inside a name; ':' is allowed only after a drive letter, which the
// caller has taken off before the components are checked.
std::optional<char> badCharacter(std::string_view name) {
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) return c;
  }
  return std::nullopt;
}

std::string describeCharacter(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u < 0x20) return "control character " + std::to_string(u);
  return std::string("character '") + c + "'";
}

// Splits `rest` at separators, skipping empty pieces (so "a\\b" and "a\" need no care).
std::vector<std::string_view> split(std::string_view rest) {
  std::vector<std::string_view> out;
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && isSeparator(rest[i])) ++i;
    std::size_t j = i;
    while (j < rest.size() && !isSeparator(rest[j])) ++j;
    if (j > i) out.push_back(rest.substr(i, j - i));
    i = j;
  }
  return out;
}

// Checks a server or share name of a UNC path.
std::optional<Error> checkUncName(std::string_view text, std::string_view name) {
  if (auto bad = badCharacter(name)) {
    return invalid(text, "invalid " + describeCharacter(*bad) + " in a network name");
  }
  return std::nullopt;
}

}  // namespace

char foldChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string foldCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = foldChar(c);
  return out;
}

bool equalsFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (foldChar(a[i]) != foldChar(b[i])) return false;
  }
  return true;
}

Result<WinPath> WinPath::parse(std::string_view text) {
  if (text.empty()) return invalid(text, "empty file name");

  WinPath p;
  std::string_view rest = text;
  if (text.size() >= 2 && isSeparator(text[0]) && isSeparator(text[1])) {
    // "\\?\C:\x" and "\\.\COM1" reach past the Win32 name rules into the object namespace;
    // nothing in the system writes them, and they have no meaning on the host.
    if (text.size() >= 3 && (text[2] == '?' || text[2] == '.') &&
        (text.size() == 3 || isSeparator(text[3]))) {
      return invalid(text, "device paths (\\\\?\\ and \\\\.\\) are not supported");
    }
    const std::vector<std::string_view> parts = split(text.substr(2));
    if (parts.size() < 2) return invalid(text, "a network path needs a server and a share name");
    // A separator right after "\\" would leave an empty server name: "\\\x\y" is no UNC name.
    if (text.size() > 2 && isSeparator(text[2])) {
      return invalid(text, "a network path needs a server and a share name");
    }
    if (auto e = checkUncName(text, parts[0])) return *e;
    if (auto e = checkUncName(text, parts[1])) return *e;
    p.kind_ = Kind::kUnc;
    p.server_ = std::string(parts[0]);
    p.share_ = std::string(parts[1]);
    // The components follow the share; find where the share's text ends.
    const std::size_t shareEnd =
        static_cast<std::size_t>(parts[1].data() - text.data()) + parts[1].size();
    rest = text.substr(shareEnd);
  } else if (text.size() >= 2 && isAsciiLetter(text[0]) && text[1] == ':') {
    p.drive_ = foldChar(text[0]);
    const bool rooted = text.size() >= 3 && isSeparator(text[2]);
    p.kind_ = rooted ? Kind::kDriveAbsolute : Kind::kDriveRelative;
    rest = text.substr(2);
  } else if (isSeparator(text[0])) {
    p.kind_ = Kind::kRooted;
  } else {
    p.kind_ = Kind::kRelative;
  }

  const bool keepsLeadingDotDot = p.kind_ == Kind::kRelative || p.kind_ == Kind::kDriveRelative;
  for (std::string_view piece : split(rest)) {
    if (piece == ".") continue;
    if (piece == "..") {
      if (!p.components_.empty() && p.components_.back() != "..") {
        p.components_.pop_back();
      } else if (keepsLeadingDotDot) {
        p.components_.emplace_back("..");
      }  // else: at the root already, where ".." stays put
      continue;
    }
    // Windows drops trailing dots and blanks of a name when it opens or creates the file.
    std::string_view name = piece;
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    if (name.empty()) {
      return invalid(text, "a name made only of dots or blanks (\"" + std::string(piece) + "\")");
    }
    if (auto bad = badCharacter(name)) {
      return invalid(text, "invalid " + describeCharacter(*bad) + " in a file name");
    }
    p.components_.emplace_back(name);
  }
  return p;
}

WinPath WinPath::driveRoot(char letter) {
  WinPath p;
  p.kind_ = Kind::kDriveAbsolute;
  p.drive_ = foldChar(letter);
  return p;
}

WinPath WinPath::shareRoot(std::string server, std::string share) {
  WinPath p;
  p.kind_ = Kind::kUnc;
  p.server_ = std::move(server);
  p.share_ = std::move(share);
  return p;
}

WinPath WinPath::appliedTo(const WinPath& base) const {
  switch (kind_) {
    case Kind::kDriveAbsolute:
    case Kind::kUnc:
      return *this;
    case Kind::kRooted: {
      WinPath out = base.prefix(0);
      out.components_ = components_;
      return out;
    }
    case Kind::kRelative:
    case Kind::kDriveRelative:
      break;
  }
  WinPath out = base;
  for (const std::string& c : components_) {
    if (c == "..") {
      if (!out.components_.empty()) out.components_.pop_back();
    } else {
      out.components_.push_back(c);
    }
  }
  return out;
}

WinPath WinPath::child(std::string name) const {
  WinPath out = *this;
  out.components_.push_back(std::move(name));
  return out;
}

WinPath WinPath::prefix(std::size_t count) const {
  WinPath out = *this;
  out.components_.resize(count);
  return out;
}

std::string WinPath::rootText() const {
  switch (kind_) {
    case Kind::kRelative:
      return {};
    case Kind::kDriveRelative:
      return std::string{drive_, ':'};
    case Kind::kRooted:
      return "\\";
    case Kind::kDriveAbsolute:
      return std::string{drive_, ':', '\\'};
    case Kind::kUnc:
      return "\\\\" + server_ + "\\" + share_;
  }
  return {};
}

std::string WinPath::toString() const {
  std::string s = rootText();
  // Roots that end in a separator take the first component directly; the others need one.
  const bool needsSeparator = kind_ == Kind::kUnc;
  for (std::size_t i = 0; i < components_.size(); ++i) {
    if (i > 0 || needsSeparator) s += '\\';
    s += components_[i];
  }
  if (s.empty()) s = ".";
  return s;
}

}  // namespace files
