#include "container/crc32.h"

#include <array>
#include <cstring>

namespace corvalin {
namespace {

// Slicing by eight: table k gives the effect of a byte followed by k zero bytes, so eight bytes
// are folded per step with eight independent lookups. The results equal the byte-wise
// definition exactly; the tables are built by the compiler.
using SliceTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr SliceTables MakeTables() {
  SliceTables tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1) ? 0xEDB88320u : 0);
    tables[0][i] = value;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t i = 0; i < 256; ++i) {
      const std::uint32_t previous = tables[k - 1][i];
      tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr SliceTables kTables = MakeTables();

std::uint32_t LoadLittle(const unsigned char* p) {
  return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

}  // namespace

void CCrc32Dynamic::Update(const void* data, std::size_t count) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint32_t value = value_;
  for (; count >= 8; count -= 8, p += 8) {
    const std::uint32_t low = LoadLittle(p) ^ value;
    const std::uint32_t high = LoadLittle(p + 4);
    value = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^
            kTables[5][(low >> 16) & 0xFF] ^ kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^
            kTables[2][(high >> 8) & 0xFF] ^ kTables[1][(high >> 16) & 0xFF] ^
            kTables[0][high >> 24];
  }
  for (; count > 0; --count, ++p) value = (value >> 8) ^ kTables[0][(value ^ *p) & 0xFF];
  value_ = value;
}

}  // namespace corvalin
