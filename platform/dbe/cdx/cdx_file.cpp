#include "cdx_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "dbe/cdx/btree.h"
#include "dbe/cdx/entry_sort.h"
#include "dbe/cdx/leaf_node.h"
#include "dbe/cdx/page_store.h"
#include "dbe/cdx/tag_header.h"

namespace dbe::cdx {
namespace {

constexpr std::uint32_t kDirectoryRoot = kHeaderSize;  // where create() puts the first leaf

std::string paddedTagName(std::string_view name) {
  std::string s(name);
  s.resize(kTagNameLength, ' ');
  return s;
}

// The 1024 header bytes at `offset`, read through the store.
Status readHeaderBytes(PageStore& store, std::uint32_t offset, std::uint8_t* out) {
  for (std::uint32_t half = 0; half < 2; ++half) {
    const Page* p = nullptr;
    DBE_RETURN_IF_ERROR(store.read(offset + half * static_cast<std::uint32_t>(kPageSize), &p));
    std::memcpy(out + half * kPageSize, p->data(), kPageSize);
  }
  return Status::ok();
}

void writeHeaderBytes(PageStore& store, std::uint32_t offset, const std::uint8_t* in) {
  for (std::uint32_t half = 0; half < 2; ++half) {
    Page* p = store.change(offset + half * static_cast<std::uint32_t>(kPageSize));
    std::memcpy(p->data(), in + half * kPageSize, kPageSize);
  }
}

}  // namespace

std::string normalTagName(std::string_view name) {
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  if (name.empty() || name.size() > kTagNameLength) return {};
  std::string s;
  for (char c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return {};
    s += c;
  }
  if (s[0] >= '0' && s[0] <= '9') return {};
  return s;
}

CdxFile::CdxFile(std::unique_ptr<File> file, const IndexOptions& options)
    : store_(std::make_unique<PageStore>(std::move(file), options)),
      directory_(std::make_unique<BTree>(*store_, 0, kTagNameLength, ' ', "tag directory")) {}

CdxFile::~CdxFile() = default;

const std::string& CdxFile::name() const { return store_->fileName(); }
const IndexOptions& CdxFile::options() const { return store_->options(); }

Result<std::unique_ptr<CdxFile>> CdxFile::open(std::unique_ptr<File> file,
                                               const IndexOptions& options) {
  std::unique_ptr<CdxFile> cdx(new CdxFile(std::move(file), options));
  DBE_RETURN_IF_ERROR(cdx->load());
  return cdx;
}

Result<std::unique_ptr<CdxFile>> CdxFile::create(std::unique_ptr<File> file,
                                                 const IndexOptions& options) {
  Result<std::uint64_t> size = file->size();
  if (!size.isOk()) return size.status();
  if (*size != 0) {
    return Status::invalidArgument(
        "a new index needs an empty file, this one has " + std::to_string(*size) + " bytes",
        file->name());
  }
  TagHeader h;
  h.root = kDirectoryRoot;
  h.freeList = 0;
  h.keyLength = kTagNameLength;
  h.options = kOptCompact | kOptCompound | kOptDirectory;
  std::array<std::uint8_t, kHeaderSize + kPageSize> bytes{};
  encodeTagHeader(h, bytes.data());
  Page leaf;
  encodeLeaf(EntryView{nullptr, nullptr, 0, kTagNameLength},
             {nodeAttributes(true, true), 0, kNoPage, kNoPage}, ' ', &leaf);
  std::memcpy(bytes.data() + kHeaderSize, leaf.data(), kPageSize);
  DBE_RETURN_IF_ERROR(file->write(0, std::as_bytes(std::span(bytes))));
  return open(std::move(file), options);
}

Status CdxFile::readTagHeader(const std::string& name, std::uint32_t offset, TagInfo* out) {
  const std::string where = "tag " + name + ": header at " + hexOffset(offset) + ": ";
  if (!isNodeOffset(offset)) {
    return Status::corruption(this->name(), "tag directory: tag " + name + ": header offset " +
                                                hexOffset(offset) + " is not a page offset");
  }
  std::array<std::uint8_t, kHeaderSize> bytes{};
  if (Status s = readHeaderBytes(*store_, offset, bytes.data()); !s.isOk()) {
    if (s.code() != Status::Code::kCorruption) return s;
    return Status::corruption(this->name(), where + "lies beyond the end of the file");
  }
  TagHeader h;
  std::string fault;
  if (!decodeTagHeader(bytes.data(), &h, &fault)) {
    return Status::corruption(this->name(), where + fault);
  }
  TagInfo info;
  info.name = name;
  info.headerOffset = offset;
  info.keyLength = h.keyLength;
  info.options = h.options;
  info.unique = (h.options & kOptUnique) != 0;
  info.hasFor = (h.options & kOptFor) != 0;
  info.descending = h.descending;
  info.keyExpression = std::move(h.keyExpression);
  info.forExpression = std::move(h.forExpression);
  info.collation = std::move(h.collation);
  *out = std::move(info);
  return Status::ok();
}

Status CdxFile::load() {
  ReadScope scope(*store_);
  DBE_RETURN_IF_ERROR(scope.status());

  std::array<std::uint8_t, kHeaderSize> bytes{};
  if (Status s = readHeaderBytes(*store_, 0, bytes.data()); !s.isOk()) {
    if (s.code() != Status::Code::kCorruption) return s;
    return Status::corruption(name(), "the file is shorter than its 1024-byte header");
  }
  TagHeader h;
  std::string fault;
  if (!decodeTagHeader(bytes.data(), &h, &fault)) {
    return Status::corruption(name(), "file header: " + fault);
  }
  if ((h.options & (kOptCompound | kOptDirectory)) == 0 || h.keyLength != kTagNameLength) {
    return Status::notSupported(name(), "not a compound index (options " + hexOffset(h.options) +
                                            ", key length " + std::to_string(h.keyLength) + ")");
  }

  // Every directory entry, in order: one descent per leaf.
  std::vector<TagInfo> tags;
  Descent d;
  std::string last;
  std::uint32_t lastRecno = 0;
  Probe probe = Probe::everything();
  for (;;) {
    DBE_RETURN_IF_ERROR(directory_->descend(probe, &d));
    if (d.position >= d.leaf.size()) break;
    for (std::size_t i = d.position; i < d.leaf.size(); ++i) {
      std::string_view key = d.leaf.key(i);
      while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
      TagInfo info;
      DBE_RETURN_IF_ERROR(readTagHeader(std::string(key), d.leaf.recno(i), &info));
      tags.push_back(std::move(info));
    }
    last.assign(d.leaf.lastKey());
    lastRecno = d.leaf.lastRecno();
    probe = Probe::above(last, lastRecno);
  }
  tags_ = std::move(tags);
  return Status::ok();
}

Result<Tag*> CdxFile::tag(std::string_view tagName, KeyType type) {
  const std::string key = normalTagName(tagName);
  const auto info = std::find_if(tags_.begin(), tags_.end(),
                                 [&](const TagInfo& t) { return !key.empty() && t.name == key; });
  if (info == tags_.end()) {
    return Status::notFound(name(), "no tag " + std::string(tagName) + " in the index");
  }
  if (auto it = open_.find(key); it != open_.end()) {
    if (it->second->keyType() != type) {
      return Status::invalidArgument("tag " + key + " is in use with " +
                                         keyTypeName(it->second->keyType()) + " keys, not " +
                                         keyTypeName(type),
                                     name());
    }
    return it->second.get();
  }
  const std::size_t fixed = fixedKeyLength(type);
  if (fixed != 0 && fixed != info->keyLength) {
    return Status::invalidArgument("tag " + key + " has keys of " +
                                       std::to_string(info->keyLength) + " bytes, not " +
                                       keyTypeName(type) + " keys",
                                   name());
  }
  auto t = std::unique_ptr<Tag>(new Tag(*store_, *info, type));
  Tag* raw = t.get();
  open_.emplace(key, std::move(t));
  return raw;
}

Status CdxFile::needExclusive(const char* what) const {
  if (store_->inWriteScope()) {
    return Status::invalidArgument(std::string(what) + " cannot be part of an index update",
                                   name());
  }
  if (!store_->options().shared) return Status::ok();
  return Status::invalidArgument(std::string(what) + " needs exclusive use of the index", name());
}

Result<Tag*> CdxFile::addTag(const TagSpec& spec, const KeyList& entries) {
  DBE_RETURN_IF_ERROR(needExclusive("creating a tag"));
  const std::string tagName = normalTagName(spec.name);
  if (tagName.empty()) {
    return Status::invalidArgument("\"" + spec.name +
                                       "\" is not a tag name (1 to 10 letters, "
                                       "digits or underscores, not starting with a digit)",
                                   name());
  }
  const std::string label = "tag " + tagName;
  for (const TagInfo& t : tags_) {
    if (t.name == tagName) return Status::invalidArgument(label + " already exists", name());
  }
  const std::size_t fixed = fixedKeyLength(spec.keyType);
  if (spec.keyLength < 1 || spec.keyLength > kMaxKeyLength ||
      (fixed != 0 && spec.keyLength != fixed)) {
    return Status::invalidArgument(label + ": a " + keyTypeName(spec.keyType) + " key cannot be " +
                                       std::to_string(spec.keyLength) + " bytes long",
                                   name());
  }
  if (entries.keyType() != spec.keyType || entries.keyLength() != spec.keyLength) {
    return Status::invalidArgument(label + ": the keys given are not " + keyTypeName(spec.keyType) +
                                       " keys of " + std::to_string(spec.keyLength) + " bytes",
                                   name());
  }
  const auto hasNul = [](const std::string& s) { return s.find('\0') != std::string::npos; };
  if (spec.keyExpression.empty() || hasNul(spec.keyExpression) || hasNul(spec.forExpression) ||
      spec.keyExpression.size() + spec.forExpression.size() + 2 > kExpressionPoolSize) {
    return Status::invalidArgument(label +
                                       ": the key and FOR expressions must be non-empty "
                                       "texts that fit together in 510 bytes",
                                   name());
  }

  EntryBuffer sorted;
  DBE_RETURN_IF_ERROR(sortEntries(entries.view(), spec.unique, label, &sorted));

  WriteScope scope(*store_);
  DBE_RETURN_IF_ERROR(scope.status());
  Result<std::uint32_t> at = store_->allocateHeader();
  if (!at.isOk()) return at.status();
  TagHeader h;
  h.keyLength = static_cast<std::uint16_t>(spec.keyLength);
  h.options =
      static_cast<std::uint8_t>(kOptCompact | kOptCompound | (spec.unique ? kOptUnique : 0) |
                                (spec.forExpression.empty() ? 0 : kOptFor));
  h.freeList = 0;
  h.descending = spec.descending;
  h.keyExpression = spec.keyExpression;
  h.forExpression = spec.forExpression;
  std::array<std::uint8_t, kHeaderSize> bytes{};
  encodeTagHeader(h, bytes.data());
  writeHeaderBytes(*store_, *at, bytes.data());

  BTree tree(*store_, *at, spec.keyLength, fillByte(spec.keyType), label);
  DBE_RETURN_IF_ERROR(tree.build(sorted.view()));
  bool added = false;
  DBE_RETURN_IF_ERROR(directory_->insert(paddedTagName(tagName), *at, /*unique=*/false, &added));
  DBE_RETURN_IF_ERROR(scope.commit());

  TagInfo info;
  info.name = tagName;
  info.headerOffset = *at;
  info.keyLength = h.keyLength;
  info.options = h.options;
  info.unique = spec.unique;
  info.hasFor = !spec.forExpression.empty();
  info.descending = spec.descending;
  info.keyExpression = spec.keyExpression;
  info.forExpression = spec.forExpression;
  const auto pos =
      std::lower_bound(tags_.begin(), tags_.end(), tagName,
                       [](const TagInfo& t, const std::string& n) { return t.name < n; });
  tags_.insert(pos, info);
  auto t = std::unique_ptr<Tag>(new Tag(*store_, std::move(info), spec.keyType));
  Tag* raw = t.get();
  open_[tagName] = std::move(t);
  return raw;
}

Status CdxFile::deleteTag(std::string_view tagName) {
  DBE_RETURN_IF_ERROR(needExclusive("deleting a tag"));
  const std::string key = normalTagName(tagName);
  const auto info = std::find_if(tags_.begin(), tags_.end(),
                                 [&](const TagInfo& t) { return !key.empty() && t.name == key; });
  if (info == tags_.end()) {
    return Status::notFound(name(), "no tag " + std::string(tagName) + " in the index");
  }
  WriteScope scope(*store_);
  DBE_RETURN_IF_ERROR(scope.status());
  // The fill byte only matters for reading keys, not for finding the nodes to free.
  BTree tree(*store_, info->headerOffset, info->keyLength, ' ', "tag " + key);
  DBE_RETURN_IF_ERROR(tree.releaseNodes());
  DBE_RETURN_IF_ERROR(store_->release(info->headerOffset));
  DBE_RETURN_IF_ERROR(store_->release(info->headerOffset + static_cast<std::uint32_t>(kPageSize)));
  DBE_RETURN_IF_ERROR(directory_->erase(paddedTagName(key), info->headerOffset));
  DBE_RETURN_IF_ERROR(scope.commit());
  tags_.erase(info);
  open_.erase(key);
  return Status::ok();
}

IndexUpdate::IndexUpdate(CdxFile& file) : store_(file.store_.get()), status_(store_->beginWrite()) {
  if (status_.isOk() && store_->inGroup()) {
    // Groups do not nest: end the inner scope just opened and refuse.
    (void)store_->commit();
    status_ = Status::invalidArgument("an index update is already open", file.name());
  }
}

IndexUpdate::~IndexUpdate() {
  if (status_.isOk() && !done_) store_->abort();
}

Status IndexUpdate::commit() {
  if (!status_.isOk()) return status_;
  if (done_) return Status::ok();
  done_ = true;
  return store_->commit();
}

Result<std::uint32_t> CdxFile::updateCounter() {
  ReadScope scope(*store_);
  DBE_RETURN_IF_ERROR(scope.status());
  return store_->updateCounter();
}

}  // namespace dbe::cdx
