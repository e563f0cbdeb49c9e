#include "fault_file.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <random>
#include <vector>

namespace dbe {

namespace {

constexpr std::uint64_t kSector = 512;

// One change not yet synced: `data` was written at `offset`, or the file was truncated to
// `offset` (truncated = true). `old` holds what the range held before, cut at the old size, and
// oldSize the size before the change.
struct Undo {
  std::uint64_t offset = 0;
  std::vector<std::byte> data;
  std::vector<std::byte> old;
  std::uint64_t oldSize = 0;
  bool truncated = false;
};

std::string pathKey(const std::filesystem::path& p) { return p.lexically_normal().string(); }

}  // namespace

struct FaultFileSystem::State {
  mutable std::mutex mu;
  std::uint64_t counts[5] = {};  // indexed by FaultOp
  bool armed = false;
  FaultOp op = FaultOp::kAny;
  std::uint64_t target = 0;  // fail when counts[op] reaches this
  bool sticky = false;
  bool fired = false;
  Status::Code writeFailure = Status::Code::kFull;
  bool partialWrites = false;
  std::uint64_t generation = 0;  // bumped by crash(); older Files are dead
  std::map<std::string, std::vector<Undo>> unsynced;

  // Counts one operation and says whether it must fail. REQUIRES: mu held.
  bool countAndCheck(FaultOp kind) {
    const std::uint64_t mine = ++counts[static_cast<int>(kind)];
    const std::uint64_t any = ++counts[static_cast<int>(FaultOp::kAny)];
    if (!armed || (op != FaultOp::kAny && op != kind)) return false;
    const std::uint64_t n = op == FaultOp::kAny ? any : mine;
    const bool fail = sticky ? n >= target : n == target;
    if (fail) fired = true;
    return fail;
  }
};

namespace {

class FaultFile final : public File {
 public:
  FaultFile(std::unique_ptr<File> base, std::shared_ptr<FaultFileSystem::State> state,
            std::string key)
      : base_(std::move(base)), state_(std::move(state)), key_(std::move(key)) {
    std::lock_guard<std::mutex> g(state_->mu);
    generation_ = state_->generation;
  }

  Status read(std::uint64_t offset, std::span<std::byte> out, std::size_t* got) override {
    *got = 0;
    {
      std::lock_guard<std::mutex> g(state_->mu);
      if (dead()) return deadStatus("read");
      if (state_->countAndCheck(FaultOp::kRead)) {
        return Status::ioError(name(), "read", /*osError=*/5, "read: injected I/O error");
      }
    }
    return base_->read(offset, out, got);
  }

  Status write(std::uint64_t offset, std::span<const std::byte> data) override {
    std::lock_guard<std::mutex> g(state_->mu);
    if (dead()) return deadStatus("write");
    const bool fail = state_->countAndCheck(FaultOp::kWrite);
    std::span<const std::byte> part = data;
    if (fail) {
      if (!state_->partialWrites) return injectedWriteFailure();
      part = data.first(data.size() / 2);
    }
    if (!part.empty()) {
      DBE_RETURN_IF_ERROR(remember(offset, part, /*truncated=*/false));
      DBE_RETURN_IF_ERROR(base_->write(offset, part));
    }
    return fail ? injectedWriteFailure() : Status::ok();
  }

  Result<std::uint64_t> size() override {
    {
      std::lock_guard<std::mutex> g(state_->mu);
      if (dead()) return deadStatus("size");
    }
    return base_->size();
  }

  Status truncate(std::uint64_t size) override {
    std::lock_guard<std::mutex> g(state_->mu);
    if (dead()) return deadStatus("truncate");
    if (state_->countAndCheck(FaultOp::kWrite)) return injectedWriteFailure();
    DBE_RETURN_IF_ERROR(remember(size, {}, /*truncated=*/true));
    return base_->truncate(size);
  }

  Status sync() override {
    std::lock_guard<std::mutex> g(state_->mu);
    if (dead()) return deadStatus("sync");
    if (state_->countAndCheck(FaultOp::kSync)) {
      return Status::ioError(name(), "sync", /*osError=*/5, "sync: injected I/O error");
    }
    DBE_RETURN_IF_ERROR(base_->sync());
    state_->unsynced.erase(key_);
    return Status::ok();
  }

  Status lockRange(std::uint64_t offset, std::uint64_t length, LockKind kind) override {
    {
      std::lock_guard<std::mutex> g(state_->mu);
      if (dead()) return deadStatus("lock");
      if (state_->countAndCheck(FaultOp::kLock)) {
        return Status::busy(name(), "injected lock conflict");
      }
    }
    return base_->lockRange(offset, length, kind);
  }

  Status unlockRange(std::uint64_t offset, std::uint64_t length) override {
    {
      std::lock_guard<std::mutex> g(state_->mu);
      if (dead()) return deadStatus("unlock");
    }
    return base_->unlockRange(offset, length);
  }

  const std::string& name() const override { return base_->name(); }

 private:
  bool dead() const { return generation_ != state_->generation; }
  Status deadStatus(const char* op) const {
    return Status::ioError(name(), op, /*osError=*/5, std::string(op) + ": file lost in a crash");
  }
  Status injectedWriteFailure() const {
    if (state_->writeFailure == Status::Code::kFull) {
      return Status::full(name(), "write: injected disk full", /*osError=*/28);
    }
    return Status::ioError(name(), "write", /*osError=*/5, "write: injected I/O error");
  }

  // Saves a write of `data` at `offset` (or a truncate to `offset`) and what it overwrites.
  // REQUIRES: state_->mu held.
  Status remember(std::uint64_t offset, std::span<const std::byte> data, bool truncated) {
    const std::uint64_t length = data.size();
    Result<std::uint64_t> size = base_->size();
    if (!size.isOk()) return size.status();
    Undo u;
    u.offset = offset;
    u.data.assign(data.begin(), data.end());
    u.oldSize = *size;
    u.truncated = truncated;
    const std::uint64_t end = truncated ? *size : std::min(*size, offset + length);
    if (end > offset) {
      u.old.resize(static_cast<std::size_t>(end - offset));
      std::size_t got = 0;
      DBE_RETURN_IF_ERROR(base_->read(offset, u.old, &got));
      u.old.resize(got);
    }
    state_->unsynced[key_].push_back(std::move(u));
    return Status::ok();
  }

  std::unique_ptr<File> base_;
  std::shared_ptr<FaultFileSystem::State> state_;
  std::string key_;
  std::uint64_t generation_ = 0;
};

// Brings the file back to its state at the last sync: newest change first, so that each undo
// finds the file as that change left it.
Status undoAll(File& file, const std::vector<Undo>& undos) {
  for (auto it = undos.rbegin(); it != undos.rend(); ++it) {
    const Undo& u = *it;
    if (u.truncated) {
      DBE_RETURN_IF_ERROR(file.truncate(u.oldSize));
      if (!u.old.empty()) DBE_RETURN_IF_ERROR(file.write(u.offset, u.old));
    } else {
      if (!u.old.empty()) DBE_RETURN_IF_ERROR(file.write(u.offset, u.old));
      if (u.oldSize < u.offset + u.data.size()) DBE_RETURN_IF_ERROR(file.truncate(u.oldSize));
    }
  }
  return Status::ok();
}

// Replays the unsynced changes over the synced image, oldest first, each 512-byte sector of the
// file kept or lost at random; a lost sector keeps the synced bytes, or gets junk if `garble`.
// Truncates are replayed as they were (they change metadata, which we treat as journaled).
Status replayTorn(File& file, const std::vector<Undo>& undos, bool garble, std::mt19937& rng) {
  for (const Undo& u : undos) {
    if (u.truncated) {
      DBE_RETURN_IF_ERROR(file.truncate(u.offset));
      continue;
    }
    std::uint64_t from = 0;
    const std::uint64_t length = u.data.size();
    while (from < length) {
      const std::uint64_t abs = u.offset + from;
      const std::uint64_t to = std::min(length, (abs / kSector + 1) * kSector - u.offset);
      const auto piece = std::span<const std::byte>(u.data).subspan(
          static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
      if ((rng() & 1) != 0) {
        DBE_RETURN_IF_ERROR(file.write(abs, piece));
      } else if (garble) {
        std::vector<std::byte> junk(piece.size());
        for (std::byte& b : junk) b = static_cast<std::byte>(rng() & 0xFF);
        DBE_RETURN_IF_ERROR(file.write(abs, junk));
      }
      from = to;
    }
  }
  return Status::ok();
}

}  // namespace

FaultFileSystem::FaultFileSystem(FileSystem* base)
    : base_(base), state_(std::make_shared<State>()) {}
FaultFileSystem::~FaultFileSystem() = default;

void FaultFileSystem::failAt(FaultOp op, std::uint64_t n, bool sticky) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->armed = true;
  state_->op = op;
  state_->target = state_->counts[static_cast<int>(op)] + std::max<std::uint64_t>(n, 1);
  state_->sticky = sticky;
  state_->fired = false;
}

void FaultFileSystem::clearFault() {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->armed = false;
}

bool FaultFileSystem::faultFired() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->fired;
}

std::uint64_t FaultFileSystem::count(FaultOp op) const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->counts[static_cast<int>(op)];
}

void FaultFileSystem::setWriteFailure(Status::Code code) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->writeFailure = code;
}

void FaultFileSystem::setPartialWrites(bool on) {
  std::lock_guard<std::mutex> g(state_->mu);
  state_->partialWrites = on;
}

std::size_t FaultFileSystem::unsyncedPaths() const {
  std::lock_guard<std::mutex> g(state_->mu);
  return state_->unsynced.size();
}

Status FaultFileSystem::crash(CrashMode mode, std::uint32_t seed) {
  std::lock_guard<std::mutex> g(state_->mu);
  ++state_->generation;  // every File open now is dead from here on
  std::mt19937 rng(seed);
  Status result;
  for (auto& [path, undos] : state_->unsynced) {
    Result<std::unique_ptr<File>> f = base_->open(path, OpenAccess::kReadWrite, ShareMode::kNone);
    Status s = f.status();
    if (s.isOk()) s = undoAll(**f, undos);
    if (s.isOk() && mode != CrashMode::kDropUnsynced) {
      s = replayTorn(**f, undos, mode == CrashMode::kGarbleUnsynced, rng);
    }
    if (!s.isOk() && result.isOk()) result = s;
  }
  state_->unsynced.clear();
  return result;
}

Result<std::unique_ptr<File>> FaultFileSystem::open(const std::filesystem::path& path,
                                                    OpenAccess access, ShareMode share) {
  Result<std::unique_ptr<File>> f = base_->open(path, access, share);
  if (!f.isOk()) return f.status();
  return std::unique_ptr<File>(
      std::make_unique<FaultFile>(std::move(*f), state_, pathKey(path)));
}

Result<std::unique_ptr<File>> FaultFileSystem::create(const std::filesystem::path& path,
                                                      ShareMode share, bool overwrite) {
  // A new file's contents count as unsynced from here: a crash before its first sync leaves it
  // empty (the create itself is durable, like the directory entry of a real file system).
  Result<std::uint64_t> oldSize = std::uint64_t{0};
  std::vector<std::byte> oldBytes;
  if (overwrite && base_->exists(path)) {
    Result<std::unique_ptr<File>> old = base_->open(path, OpenAccess::kReadOnly, ShareMode::kNone);
    if (old.isOk()) {
      oldSize = (*old)->size();
      if (oldSize.isOk()) {
        oldBytes.resize(static_cast<std::size_t>(*oldSize));
        std::size_t got = 0;
        if (!(*old)->read(0, oldBytes, &got).isOk()) got = 0;
        oldBytes.resize(got);
      }
    }
  }
  Result<std::unique_ptr<File>> f = base_->create(path, share, overwrite);
  if (!f.isOk()) return f.status();
  const std::string key = pathKey(path);
  {
    std::lock_guard<std::mutex> g(state_->mu);
    auto& log = state_->unsynced[key];
    log.clear();
    if (!oldBytes.empty()) {
      Undo u;
      u.offset = 0;
      u.truncated = true;
      u.oldSize = oldBytes.size();
      u.old = std::move(oldBytes);
      log.push_back(std::move(u));
    }
  }
  return std::unique_ptr<File>(std::make_unique<FaultFile>(std::move(*f), state_, key));
}

bool FaultFileSystem::exists(const std::filesystem::path& path) { return base_->exists(path); }

Status FaultFileSystem::remove(const std::filesystem::path& path) {
  DBE_RETURN_IF_ERROR(base_->remove(path));
  std::lock_guard<std::mutex> g(state_->mu);
  state_->unsynced.erase(pathKey(path));
  return Status::ok();
}

Status FaultFileSystem::rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  DBE_RETURN_IF_ERROR(base_->rename(from, to));
  std::lock_guard<std::mutex> g(state_->mu);
  auto it = state_->unsynced.find(pathKey(from));
  std::vector<Undo> moved;
  if (it != state_->unsynced.end()) {
    moved = std::move(it->second);
    state_->unsynced.erase(it);
  }
  state_->unsynced.erase(pathKey(to));
  if (!moved.empty()) state_->unsynced[pathKey(to)] = std::move(moved);
  return Status::ok();
}

}  // namespace dbe
