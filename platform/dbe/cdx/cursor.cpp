#include "cursor.h"

#include "dbe/cdx/btree.h"
#include "dbe/cdx/page_store.h"

namespace dbe::cdx {

Cursor::Cursor(Tag& tag) : tag_(&tag), d_(std::make_unique<Descent>()) {
  anchor_.reserve(tag.keyLength());
}

Cursor::~Cursor() = default;

std::string_view Cursor::key() const {
  return state_ == State::kOn ? d_->leaf.key(index_) : std::string_view();
}

std::uint32_t Cursor::recno() const { return state_ == State::kOn ? d_->leaf.recno(index_) : 0; }

bool Cursor::fresh() const {
  return state_ == State::kOn && generation_ == tag_->store_.generation();
}

Status Cursor::failed(Status s) {
  state_ = State::kNowhere;
  return s;
}

Status Cursor::land(const Probe& probe, bool lastBefore, bool* landed) {
  PageStore& store = tag_->store_;
  // A read that ran on cached pages without the lock is run again, under the lock, when it
  // finds the file changed half-way (see PageStore::beginRead).
  for (int attempt = 0;; ++attempt) {
    Status s = [&] {
      ReadScope scope(store, /*mayStayUnlocked=*/true);
      DBE_RETURN_IF_ERROR(scope.status());
      return lastBefore ? landLastBefore(probe, landed) : landFirstMatch(probe, landed);
    }();
    if (s.isOk() || attempt == 2 || !store.takeRestart()) return s;
  }
}

Status Cursor::landFirstMatch(const Probe& probe, bool* landed) {
  *landed = false;
  DBE_RETURN_IF_ERROR(tag_->tree_->descend(probe, d_.get()));
  generation_ = tag_->store_.generation();
  if (d_->position < d_->leaf.size()) {
    index_ = d_->position;
    state_ = State::kOn;
    *landed = true;
  }
  return Status::ok();
}

Status Cursor::landLastBefore(const Probe& probe, bool* landed) {
  *landed = false;
  PageStore& store = tag_->store_;
  BTree& tree = *tag_->tree_;
  DBE_RETURN_IF_ERROR(tree.descend(probe, d_.get()));
  generation_ = store.generation();
  if (d_->position > 0) {
    index_ = d_->position - 1;
    state_ = State::kOn;
    *landed = true;
    return Status::ok();
  }
  if (!d_->hasBefore) return Status::ok();
  // The entry before lies in the leaf to the left: the largest of the subtree left of the
  // path, whose key and record the interior entry above gave. Land on it exactly.
  beforeKey_ = d_->beforeKey;
  const std::uint32_t recno = d_->beforeRecno;
  DBE_RETURN_IF_ERROR(tree.descend(Probe::atLeast(beforeKey_, recno), d_.get()));
  const std::size_t p = d_->position;
  if (p >= d_->leaf.size() || d_->leaf.key(p) != beforeKey_ || d_->leaf.recno(p) != recno) {
    return Status::corruption(store.fileName(), tree.label() + ": leaf at " +
                                                    hexOffset(d_->leafOffset) +
                                                    ": lacks the key its parent names");
  }
  index_ = p;
  state_ = State::kOn;
  *landed = true;
  return Status::ok();
}

Status Cursor::stepUp(bool* landed) {
  if (fresh() && index_ + 1 < d_->leaf.size()) {
    ++index_;
    *landed = true;
    return Status::ok();
  }
  anchor_.assign(key());
  return land(Probe::above(anchor_, recno()), /*lastBefore=*/false, landed);
}

Status Cursor::stepDown(bool* landed) {
  if (fresh() && index_ > 0) {
    --index_;
    *landed = true;
    return Status::ok();
  }
  anchor_.assign(key());
  return land(Probe::atLeast(anchor_, recno()), /*lastBefore=*/true, landed);
}

Status Cursor::first() {
  bool landed = false;
  Status s = tag_->info_.descending ? land(Probe::nothing(), true, &landed)
                                    : land(Probe::everything(), false, &landed);
  if (!s.isOk()) return failed(std::move(s));
  if (!landed) state_ = State::kEof;
  return Status::ok();
}

Status Cursor::last() {
  bool landed = false;
  Status s = tag_->info_.descending ? land(Probe::everything(), false, &landed)
                                    : land(Probe::nothing(), true, &landed);
  if (!s.isOk()) return failed(std::move(s));
  if (!landed) state_ = State::kEof;
  return Status::ok();
}

Status Cursor::next() {
  if (state_ == State::kEof) return Status::ok();
  if (state_ != State::kOn) return first();
  bool landed = false;
  Status s = tag_->info_.descending ? stepDown(&landed) : stepUp(&landed);
  if (!s.isOk()) return failed(std::move(s));
  if (!landed) state_ = State::kEof;
  return Status::ok();
}

Status Cursor::prev() {
  if (state_ == State::kBof) return Status::ok();
  if (state_ != State::kOn) {
    Status s = last();
    if (s.isOk() && state_ == State::kEof) state_ = State::kBof;  // empty tag
    return s;
  }
  bool landed = false;
  Status s = tag_->info_.descending ? stepUp(&landed) : stepDown(&landed);
  if (!s.isOk()) return failed(std::move(s));
  if (!landed) state_ = State::kBof;
  return Status::ok();
}

Result<bool> Cursor::seek(std::string_view key, SeekMode mode) {
  if (key.size() > tag_->keyLength()) {
    return failed(Status::invalidArgument(
        "tag " + tag_->name() + ": seek key of " + std::to_string(key.size()) +
            " bytes is longer than the key length " + std::to_string(tag_->keyLength()),
        tag_->store_.fileName()));
  }
  if (!tag_->info_.machineCollation()) {
    return failed(Status::notSupported(
        tag_->store_.fileName(),
        "tag " + tag_->name() + " uses the collation " + tag_->info_.collation + ", not MACHINE"));
  }
  anchor_.assign(key);
  bool landed = false;
  Status s = tag_->info_.descending ? land(Probe::above(anchor_), true, &landed)
                                    : land(Probe::atLeast(anchor_), false, &landed);
  if (!s.isOk()) return failed(std::move(s));
  if (landed && this->key().substr(0, anchor_.size()) == anchor_) return true;
  if (!landed || mode == SeekMode::kExact) state_ = State::kEof;
  return false;
}

Result<bool> Cursor::seekEntry(std::string_view key, std::uint32_t recno) {
  if (key.size() > tag_->keyLength()) {
    return failed(Status::invalidArgument(
        "tag " + tag_->name() + ": key of " + std::to_string(key.size()) +
            " bytes is longer than the key length " + std::to_string(tag_->keyLength()),
        tag_->store_.fileName()));
  }
  anchor_.assign(key);
  anchor_.resize(tag_->keyLength(), fillByte(tag_->keyType()));
  bool landed = false;
  Status s = tag_->info_.descending ? land(Probe::above(anchor_, recno), true, &landed)
                                    : land(Probe::atLeast(anchor_, recno), false, &landed);
  if (!s.isOk()) return failed(std::move(s));
  if (!landed) {
    state_ = State::kEof;
    return false;
  }
  return this->key() == anchor_ && this->recno() == recno;
}

}  // namespace dbe::cdx
