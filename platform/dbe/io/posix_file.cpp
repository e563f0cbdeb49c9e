// The host's file system on POSIX (Linux): File over a file descriptor.
//
// Byte-range locks are open-file-description locks (F_OFD_SETLK): they belong to the open()
// that made the descriptor, so two Files of one path conflict even inside one process, and they
// also conflict with the classic fcntl locks other FoxPro-compatible engines on this host take.
// The open mode (shared or exclusive use of the whole file) is flock(), which belongs to the
// open file description too. Descriptors are opened O_CLOEXEC: a child process started by the
// program must not inherit (and so keep alive) our locks.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>

#include "file.h"

namespace dbe {
namespace {

std::string errnoText(int err) {
  char buf[256];
  // GNU strerror_r returns a pointer that may or may not be buf.
  const char* s = strerror_r(err, buf, sizeof buf);
  return s ? std::string(s) : std::string("error ") + std::to_string(err);
}

// The one place where an OS error number becomes a Status; the path and the operation stay
// with it so that the user learns which file failed and how.
Status statusFromErrno(const std::string& path, const char* op, int err) {
  const std::string text = std::string(op) + ": " + errnoText(err);
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return Status::notFound(path, text, op);
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
      return Status::full(path, text, err);
    case EROFS:
      return Status::readOnly(path, text);
    default:
      return Status::ioError(path, op, err, text);
  }
}

// A write past the process's file-size limit (RLIMIT_FSIZE) raises SIGXFSZ, whose default
// action ends the process. With the signal ignored the write fails with EFBIG instead, which
// becomes an ordinary "disk full" Status.
void ignoreFileSizeSignal() {
  static std::once_flag once;
  std::call_once(once, [] { ::signal(SIGXFSZ, SIG_IGN); });
}

bool fitsOffT(std::uint64_t offset, std::uint64_t length) {
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
  return offset <= kMax && length <= kMax - offset;
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~PosixFile() override {
    // Closing the descriptor releases its byte-range locks and its flock().
    ::close(fd_);
  }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  Status read(std::uint64_t offset, std::span<std::byte> out, std::size_t* got) override {
    *got = 0;
    if (!fitsOffT(offset, out.size())) {
      return Status::invalidArgument("read beyond the largest file offset", name_);
    }
    std::size_t done = 0;
    while (done < out.size()) {
      const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                                static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return statusFromErrno(name_, "read", errno);
      }
      if (n == 0) break;  // end of file
      done += static_cast<std::size_t>(n);
    }
    *got = done;
    return Status::ok();
  }

  Status write(std::uint64_t offset, std::span<const std::byte> data) override {
    if (!fitsOffT(offset, data.size())) {
      return Status::full(name_, "write beyond the largest file offset");
    }
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done,
                                 static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        return statusFromErrno(name_, "write", errno);
      }
      if (n == 0) return statusFromErrno(name_, "write", ENOSPC);
      done += static_cast<std::size_t>(n);
    }
    return Status::ok();
  }

  Result<std::uint64_t> size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return statusFromErrno(name_, "stat", errno);
    return static_cast<std::uint64_t>(st.st_size);
  }

  Status truncate(std::uint64_t size) override {
    if (!fitsOffT(size, 0)) return Status::invalidArgument("truncate beyond the largest offset");
    while (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
      if (errno != EINTR) return statusFromErrno(name_, "truncate", errno);
    }
    return Status::ok();
  }

  Status sync() override {
    while (::fdatasync(fd_) != 0) {
      if (errno != EINTR) return statusFromErrno(name_, "sync", errno);
    }
    return Status::ok();
  }

  Status lockRange(std::uint64_t offset, std::uint64_t length, LockKind kind) override {
    return setLock(offset, length, kind == LockKind::kExclusive ? F_WRLCK : F_RDLCK, "lock");
  }

  Status unlockRange(std::uint64_t offset, std::uint64_t length) override {
    return setLock(offset, length, F_UNLCK, "unlock");
  }

  const std::string& name() const override { return name_; }

 private:
  Status setLock(std::uint64_t offset, std::uint64_t length, short type, const char* op) {
    if (!fitsOffT(offset, length)) {
      return Status::invalidArgument("lock range beyond the largest file offset", name_);
    }
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);  // l_pid must be 0 for F_OFD_SETLK
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);  // 0 = to the end of the file and beyond
    while (::fcntl(fd_, F_OFD_SETLK, &fl) != 0) {
      const int err = errno;
      if (err == EINTR) continue;
      if (err == EAGAIN || err == EACCES) {
        return Status::busy(name_, "bytes " + std::to_string(offset) + "+" +
                                       std::to_string(length) + " are locked by another user");
      }
      if (err == EBADF && type == F_WRLCK) {
        return Status::readOnly(name_, "an exclusive lock needs the file opened for writing");
      }
      return statusFromErrno(name_, op, err);
    }
    return Status::ok();
  }

  int fd_;
  std::string name_;
};

// Takes the whole-file open mode on a fresh descriptor. A conflict is Busy with the words the
// user sees when another station has the table.
Status takeShareMode(int fd, ShareMode share, const std::string& name) {
  if (share == ShareMode::kNone) return Status::ok();
  const int op = (share == ShareMode::kExclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  while (::flock(fd, op) != 0) {
    const int err = errno;
    if (err == EINTR) continue;
    if (err == EWOULDBLOCK) {
      return Status::busy(name, share == ShareMode::kShared
                                    ? "in use exclusively by another user"
                                    : "in use by another user");
    }
    return statusFromErrno(name, "open", err);
  }
  return Status::ok();
}

class PosixFileSystem final : public FileSystem {
 public:
  PosixFileSystem() { ignoreFileSizeSignal(); }

  Result<std::unique_ptr<File>> open(const std::filesystem::path& path, OpenAccess access,
                                     ShareMode share) override {
    const std::string name = path.string();
    const int flags = O_CLOEXEC | (access == OpenAccess::kReadWrite ? O_RDWR : O_RDONLY);
    int fd;
    do {
      fd = ::open(name.c_str(), flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return statusFromErrno(name, "open", errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      const int err = errno;
      ::close(fd);
      return statusFromErrno(name, "open", err);
    }
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      return Status::invalidArgument("not a regular file", name);
    }
    if (Status s = takeShareMode(fd, share, name); !s.isOk()) {
      ::close(fd);
      return s;
    }
    return std::unique_ptr<File>(std::make_unique<PosixFile>(fd, name));
  }

  Result<std::unique_ptr<File>> create(const std::filesystem::path& path, ShareMode share,
                                       bool overwrite) override {
    const std::string name = path.string();
    // Never O_TRUNC: an existing file is cut only after its open-mode lock is ours, so that a
    // table another station has open is not emptied under it.
    const int flags = O_CLOEXEC | O_RDWR | O_CREAT | (overwrite ? 0 : O_EXCL);
    int fd;
    do {
      fd = ::open(name.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      if (errno == EEXIST) return Status::invalidArgument("file already exists", name);
      return statusFromErrno(name, "create", errno);
    }
    if (Status s = takeShareMode(fd, share, name); !s.isOk()) {
      ::close(fd);
      return s;
    }
    auto file = std::make_unique<PosixFile>(fd, name);
    if (overwrite) DBE_RETURN_IF_ERROR(file->truncate(0));
    return std::unique_ptr<File>(std::move(file));
  }

  bool exists(const std::filesystem::path& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  Status remove(const std::filesystem::path& path) override {
    if (::unlink(path.c_str()) != 0) return statusFromErrno(path.string(), "delete", errno);
    return Status::ok();
  }

  Status rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) {
      return statusFromErrno(from.string(), "rename", errno);
    }
    return Status::ok();
  }
};

}  // namespace

FileSystem* defaultFileSystem() {
  // Deliberately never destroyed: Files may outlive static destruction order.
  static FileSystem* const fs = new PosixFileSystem();
  return fs;
}

}  // namespace dbe
