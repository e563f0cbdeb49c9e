// LockLayout: where the byte-range locks of a table lie. Every lock offset of the .dbf lives
// here, so that the scheme can be checked against the other programs in one place.
//
// Two schemes, chosen by header byte 28 bit 0x01 (structural .cdx), as FoxPro-compatible
// engines choose them:
//
//   scheme     header lock          record r                          file lock
//   VFP        0x7FFFFFFE, 1 byte   0x7FFFFFFE - r, 1 byte            0x77FFFFFF, 0x07FFFFFF bytes
//   0x4000...  0x40000000, 1 byte   0x40000000 + header_len           0x40000001, 0x3FFFFFFD bytes
//                                     + (r - 1) * record_len, 1 byte
//
// The record bytes of both schemes fall inside their file-lock range (VFP: records 1 to
// 0x07FFFFFF), so a file lock excludes every record lock of another station. The .cdx and the
// .fpt have their own locks (index: 0x7FFFFFFE of the .cdx; memo: byte 0 of the .fpt).
//
// Thread safety: a plain value.
#pragma once

#include <cstdint>

namespace dbe::dbf {

struct LockRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  bool contains(const LockRange& r) const {
    return r.offset >= offset && r.offset + r.length <= offset + length;
  }
};

class LockLayout {
 public:
  enum class Scheme { kVfp, kFoxPro2 };

  LockLayout(Scheme scheme, std::uint16_t headerLength, std::uint16_t recordLength)
      : scheme_(scheme), headerLength_(headerLength), recordLength_(recordLength) {}
  static LockLayout forTable(bool structuralIndex, std::uint16_t headerLength,
                             std::uint16_t recordLength) {
    return LockLayout(structuralIndex ? Scheme::kVfp : Scheme::kFoxPro2, headerLength,
                      recordLength);
  }

  Scheme scheme() const { return scheme_; }

  // Taken around an append (and around memo allocation): short, waited for.
  LockRange header() const {
    return scheme_ == Scheme::kVfp ? LockRange{kVfpBase, 1} : LockRange{kFoxBase, 1};
  }
  // REQUIRES r >= 1.
  LockRange record(std::uint32_t r) const {
    if (scheme_ == Scheme::kVfp) return {kVfpBase - r, 1};
    return {kFoxBase + headerLength_ + std::uint64_t{r - 1} * recordLength_, 1};
  }
  LockRange file() const {
    return scheme_ == Scheme::kVfp ? LockRange{kVfpBase - kVfpFileLength, kVfpFileLength}
                                   : LockRange{kFoxBase + 1, kFoxFileLength};
  }

  // The .cdx lock (read: shared, write: exclusive), for the index layer.
  static constexpr LockRange indexLock() { return {kVfpBase, 1}; }
  // The .fpt lock around memo allocation.
  static constexpr LockRange memoLock() { return {0, 1}; }

 private:
  static constexpr std::uint64_t kVfpBase = 0x7FFFFFFE;
  static constexpr std::uint64_t kVfpFileLength = 0x07FFFFFF;
  static constexpr std::uint64_t kFoxBase = 0x40000000;
  static constexpr std::uint64_t kFoxFileLength = 0x3FFFFFFD;

  Scheme scheme_;
  std::uint16_t headerLength_;
  std::uint16_t recordLength_;
};

}  // namespace dbe::dbf
