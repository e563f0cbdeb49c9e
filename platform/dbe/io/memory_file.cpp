// A file system held in memory, for tests and tools that must not touch the disk.
//
// Each path names a Node: the bytes, the byte-range locks and the open-mode locks. Every File
// returned by open() or create() is its own owner of locks, exactly as an open file description
// is on POSIX: two Files of one path conflict, a File never conflicts with itself, and a lock
// over bytes the same File already holds replaces those bytes' kind (POSIX semantics, so that
// code tested here behaves the same on the real file system). Closing a File drops its locks.
// Removing or renaming a path does not disturb Files already open on it.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "file.h"

namespace dbe {
namespace {

// A byte range [begin, end); end = kToEnd for a lock of length 0 ("to the end and beyond").
constexpr std::uint64_t kToEnd = ~std::uint64_t{0};

struct RangeLock {
  std::uint64_t owner;
  std::uint64_t begin;
  std::uint64_t end;
  LockKind kind;
};

struct Node {
  std::mutex mu;
  std::vector<std::byte> data;
  std::vector<RangeLock> locks;
  int sharedOpens = 0;              // Files holding the shared open mode
  std::uint64_t exclusiveOpen = 0;  // owner holding the exclusive open mode, 0 = none
};

// Removes [begin, end) from the owner's locks, splitting ranges that stick out either side.
void cutOwnerRange(std::vector<RangeLock>& locks, std::uint64_t owner, std::uint64_t begin,
                   std::uint64_t end) {
  std::vector<RangeLock> kept;
  kept.reserve(locks.size() + 1);
  for (const RangeLock& l : locks) {
    if (l.owner != owner || l.end <= begin || l.begin >= end) {
      kept.push_back(l);
      continue;
    }
    if (l.begin < begin) kept.push_back({owner, l.begin, begin, l.kind});
    if (l.end > end) kept.push_back({owner, end, l.end, l.kind});
  }
  locks.swap(kept);
}

class MemoryFile final : public File {
 public:
  MemoryFile(std::shared_ptr<Node> node, std::string name, std::uint64_t owner, bool writable,
             ShareMode share)
      : node_(std::move(node)), name_(std::move(name)), owner_(owner), writable_(writable),
        share_(share) {}

  ~MemoryFile() override {
    std::lock_guard<std::mutex> g(node_->mu);
    std::erase_if(node_->locks, [this](const RangeLock& l) { return l.owner == owner_; });
    if (share_ == ShareMode::kShared) --node_->sharedOpens;
    if (share_ == ShareMode::kExclusive) node_->exclusiveOpen = 0;
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  Status read(std::uint64_t offset, std::span<std::byte> out, std::size_t* got) override {
    std::lock_guard<std::mutex> g(node_->mu);
    *got = 0;
    const std::uint64_t size = node_->data.size();
    if (offset >= size) return Status::ok();
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(),
                                                                            size - offset));
    if (n > 0) std::memcpy(out.data(), node_->data.data() + offset, n);
    *got = n;
    return Status::ok();
  }

  Status write(std::uint64_t offset, std::span<const std::byte> data) override {
    if (!writable_) return Status::readOnly(name_, "write: file opened read-only");
    std::lock_guard<std::mutex> g(node_->mu);
    if (data.empty()) return Status::ok();
    // A memory file refuses the absurd offsets a corrupt pointer could produce, as a disk would.
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 36;
    if (offset > kLimit || data.size() > kLimit - offset) {
      return Status::full(name_, "write: memory file limit reached");
    }
    const std::uint64_t end = offset + data.size();
    if (end > node_->data.size()) node_->data.resize(static_cast<std::size_t>(end));
    std::memcpy(node_->data.data() + offset, data.data(), data.size());
    return Status::ok();
  }

  Result<std::uint64_t> size() override {
    std::lock_guard<std::mutex> g(node_->mu);
    return static_cast<std::uint64_t>(node_->data.size());
  }

  Status truncate(std::uint64_t size) override {
    if (!writable_) return Status::readOnly(name_, "truncate: file opened read-only");
    if (size > (std::uint64_t{1} << 36)) return Status::full(name_, "truncate: too large");
    std::lock_guard<std::mutex> g(node_->mu);
    node_->data.resize(static_cast<std::size_t>(size));
    return Status::ok();
  }

  Status sync() override { return Status::ok(); }

  Status lockRange(std::uint64_t offset, std::uint64_t length, LockKind kind) override {
    if (kind == LockKind::kExclusive && !writable_) {
      return Status::readOnly(name_, "an exclusive lock needs the file opened for writing");
    }
    const std::uint64_t begin = offset;
    const std::uint64_t end = length == 0 ? kToEnd : offset + length;
    if (end < begin) return Status::invalidArgument("lock range overflows", name_);
    std::lock_guard<std::mutex> g(node_->mu);
    for (const RangeLock& l : node_->locks) {
      if (l.owner == owner_ || l.end <= begin || l.begin >= end) continue;
      if (kind == LockKind::kExclusive || l.kind == LockKind::kExclusive) {
        return Status::busy(name_, "bytes " + std::to_string(offset) + "+" +
                                       std::to_string(length) + " are locked by another user");
      }
    }
    cutOwnerRange(node_->locks, owner_, begin, end);
    node_->locks.push_back({owner_, begin, end, kind});
    return Status::ok();
  }

  Status unlockRange(std::uint64_t offset, std::uint64_t length) override {
    const std::uint64_t end = length == 0 ? kToEnd : offset + length;
    if (end < offset) return Status::invalidArgument("lock range overflows", name_);
    std::lock_guard<std::mutex> g(node_->mu);
    cutOwnerRange(node_->locks, owner_, offset, end);
    return Status::ok();
  }

  const std::string& name() const override { return name_; }

 private:
  std::shared_ptr<Node> node_;
  std::string name_;
  std::uint64_t owner_;
  bool writable_;
  ShareMode share_;
};

class MemoryFileSystem final : public FileSystem {
 public:
  Result<std::unique_ptr<File>> open(const std::filesystem::path& path, OpenAccess access,
                                     ShareMode share) override {
    std::shared_ptr<Node> node;
    {
      std::lock_guard<std::mutex> g(mu_);
      auto it = nodes_.find(key(path));
      if (it == nodes_.end()) {
        return Status::notFound(path.string(), "open: No such file or directory", "open");
      }
      node = it->second;
    }
    return makeFile(std::move(node), path, access == OpenAccess::kReadWrite, share);
  }

  Result<std::unique_ptr<File>> create(const std::filesystem::path& path, ShareMode share,
                                       bool overwrite) override {
    std::shared_ptr<Node> node;
    bool existed = false;
    {
      std::lock_guard<std::mutex> g(mu_);
      auto& slot = nodes_[key(path)];
      existed = slot != nullptr;
      if (existed && !overwrite) return Status::invalidArgument("file already exists",
                                                                path.string());
      if (!existed) slot = std::make_shared<Node>();
      node = slot;
    }
    Result<std::unique_ptr<File>> file = makeFile(node, path, /*writable=*/true, share);
    if (file.isOk() && existed) DBE_RETURN_IF_ERROR((*file)->truncate(0));
    return file;
  }

  bool exists(const std::filesystem::path& path) override {
    std::lock_guard<std::mutex> g(mu_);
    return nodes_.count(key(path)) != 0;
  }

  Status remove(const std::filesystem::path& path) override {
    std::lock_guard<std::mutex> g(mu_);
    if (nodes_.erase(key(path)) == 0) {
      return Status::notFound(path.string(), "delete: No such file or directory", "delete");
    }
    return Status::ok();
  }

  Status rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    std::lock_guard<std::mutex> g(mu_);
    auto it = nodes_.find(key(from));
    if (it == nodes_.end()) {
      return Status::notFound(from.string(), "rename: No such file or directory", "rename");
    }
    std::shared_ptr<Node> node = it->second;
    nodes_.erase(it);
    nodes_[key(to)] = std::move(node);
    return Status::ok();
  }

 private:
  static std::string key(const std::filesystem::path& p) { return p.lexically_normal().string(); }

  Result<std::unique_ptr<File>> makeFile(std::shared_ptr<Node> node,
                                         const std::filesystem::path& path, bool writable,
                                         ShareMode share) {
    const std::uint64_t owner = nextOwner();
    {
      std::lock_guard<std::mutex> g(node->mu);
      if (share == ShareMode::kShared) {
        if (node->exclusiveOpen != 0) {
          return Status::busy(path.string(), "in use exclusively by another user");
        }
        ++node->sharedOpens;
      } else if (share == ShareMode::kExclusive) {
        if (node->exclusiveOpen != 0 || node->sharedOpens != 0) {
          return Status::busy(path.string(), "in use by another user");
        }
        node->exclusiveOpen = owner;
      }
    }
    return std::unique_ptr<File>(
        std::make_unique<MemoryFile>(std::move(node), path.string(), owner, writable, share));
  }

  std::uint64_t nextOwner() {
    std::lock_guard<std::mutex> g(mu_);
    return ++lastOwner_;
  }

  std::mutex mu_;
  std::map<std::string, std::shared_ptr<Node>> nodes_;
  std::uint64_t lastOwner_ = 0;
};

}  // namespace

std::unique_ptr<FileSystem> newMemoryFileSystem() { return std::make_unique<MemoryFileSystem>(); }

}  // namespace dbe
