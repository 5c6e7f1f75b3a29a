// Four-byte words stored least significant byte first, whatever the machine's own order: the
// container's fields, the CRC's slices and the cipher's state all use this order.
#pragma once

#include <cstdint>

namespace corvalin {

inline std::uint32_t LoadLittle32(const unsigned char* p) {
  return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

inline void StoreLittle32(std::uint32_t v, unsigned char* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace corvalin
