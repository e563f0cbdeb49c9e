// Little- and big-endian integers in byte buffers: .dbf integers are little-endian, .fpt ones
// big-endian. Callers check the buffer's size first; these helpers do no bounds checking.
//
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dbe::dbf {

inline std::uint16_t getLe16(const std::byte* p) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(p[0]) |
                                    (std::to_integer<unsigned>(p[1]) << 8));
}
inline std::uint32_t getLe32(const std::byte* p) {
  return std::to_integer<std::uint32_t>(p[0]) | (std::to_integer<std::uint32_t>(p[1]) << 8) |
         (std::to_integer<std::uint32_t>(p[2]) << 16) |
         (std::to_integer<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t getLe64(const std::byte* p) {
  return std::uint64_t{getLe32(p)} | (std::uint64_t{getLe32(p + 4)} << 32);
}
inline std::uint16_t getBe16(const std::byte* p) {
  return static_cast<std::uint16_t>((std::to_integer<unsigned>(p[0]) << 8) |
                                    std::to_integer<unsigned>(p[1]));
}
inline std::uint32_t getBe32(const std::byte* p) {
  return (std::to_integer<std::uint32_t>(p[0]) << 24) |
         (std::to_integer<std::uint32_t>(p[1]) << 16) |
         (std::to_integer<std::uint32_t>(p[2]) << 8) | std::to_integer<std::uint32_t>(p[3]);
}

inline void putLe16(std::byte* p, std::uint16_t v) {
  p[0] = static_cast<std::byte>(v & 0xFF);
  p[1] = static_cast<std::byte>(v >> 8);
}
inline void putLe32(std::byte* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
}
inline void putLe64(std::byte* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
}
inline void putBe16(std::byte* p, std::uint16_t v) {
  p[0] = static_cast<std::byte>(v >> 8);
  p[1] = static_cast<std::byte>(v & 0xFF);
}
inline void putBe32(std::byte* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::byte>((v >> (24 - 8 * i)) & 0xFF);
}

inline std::uint8_t byteAt(const std::byte* p) { return std::to_integer<std::uint8_t>(*p); }

}  // namespace dbe::dbf
