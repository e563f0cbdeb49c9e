// WinPath: a Windows path taken apart into its root and its components, as text only.
//
// The system's procedures name files the Windows way, and this class reads those names without
// touching the disk. Forms understood (either slash separates; repeated slashes count as one):
//
//   text                       kind            names
//   "mstrctrl", "sub\x.dbf"    kRelative       from the default (or current) directory
//   "C:x.dbf", "C:"            kDriveRelative  from the current directory of drive C
//   "\vadnorel"                kRooted         from the root of the current drive
//   "C:\vadnorel\x.dbf"        kDriveAbsolute  from the root of drive C
//   "\\server\share\out.pdf"   kUnc            from the root of the network share
//
// Parsing normalises the way Windows does: "." components vanish; ".." removes the component
// before it and never climbs above the root (so "C:\..\x" is "C:\x"); trailing dots and blanks
// of a component are dropped ("EMAIL.INI  " is "EMAIL.INI", "name." is "name"). Only a relative
// path keeps ".." components, all at its front, until it is applied to a base directory.
// Rejected, with an Error of kind kInvalidPath: an empty text, the characters < > : " | ? * and
// control characters inside a name, a component made only of dots or blanks (other than "."
// and ".."), a UNC name without server or share, and the "\\?\" and "\\.\" device prefixes.
// Case is kept as given; comparing names without regard to case is the resolver's business.
//
// Thread safety: a WinPath is a plain value.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "status.h"

namespace files {

class WinPath {
 public:
  enum class Kind { kRelative, kDriveRelative, kRooted, kDriveAbsolute, kUnc };

  // An empty relative path (the base directory itself).
  WinPath() = default;

  // Parses `text`. Fails with kInvalidPath (the error's path is the text as given).
  static Result<WinPath> parse(std::string_view text);
  // "X:\"; REQUIRES: letter is an ASCII letter (either case).
  static WinPath driveRoot(char letter);
  // "\\server\share"; REQUIRES: both are valid names (as parse() accepts them).
  static WinPath shareRoot(std::string server, std::string share);

  Kind kind() const { return kind_; }
  // True when the path names its root fully (a drive with a backslash, or a share).
  bool isAbsolute() const { return kind_ == Kind::kDriveAbsolute || kind_ == Kind::kUnc; }
  bool hasDrive() const { return kind_ == Kind::kDriveRelative || kind_ == Kind::kDriveAbsolute; }
  // The upper-case drive letter when hasDrive(), else '\0'.
  char drive() const { return drive_; }
  // The server and share names of a kUnc path as given, else empty.
  const std::string& server() const { return server_; }
  const std::string& share() const { return share_; }
  // Components below the root; for a relative path possibly led by ".." entries.
  const std::vector<std::string>& components() const { return components_; }

  // The path that this one names when taken from `base`: a kRelative or kDriveRelative path
  // is appended to base (leading ".." climb, but not above base's root); a kRooted path takes
  // base's root; an absolute path is returned as is. REQUIRES: base.isAbsolute().
  WinPath appliedTo(const WinPath& base) const;

  // This path with `name` appended. REQUIRES: name is a valid single component.
  WinPath child(std::string name) const;
  // The first `count` components under the same root. REQUIRES: count <= components().size().
  WinPath prefix(std::size_t count) const;

  // "C:\vadnorel\x.dbf", "\\server\share\out.pdf", "\vadnorel", "C:x", "sub\x", "." (an empty
  // relative path). Backslashes, case as given.
  std::string toString() const;
  // The root alone: "C:\", "\\server\share", "\", "C:" or "" (relative).
  std::string rootText() const;

 private:
  Kind kind_ = Kind::kRelative;
  char drive_ = '\0';
  std::string server_;
  std::string share_;
  std::vector<std::string> components_;
};

// ASCII upper-casing, the case rule for names in this layer. Bytes outside ASCII are compared
// exactly: the system's own file names are ASCII, and folding other bytes would depend on a
// code page the host file names do not carry.
char foldChar(char c);
std::string foldCase(std::string_view s);
bool equalsFolded(std::string_view a, std::string_view b);

}  // namespace files
