#include "support/filler.h"

#include <cstring>

#include "platform/platform.h"

namespace corvalin {

void PseudoRandomBytes(std::uint32_t seed, std::uint8_t* data, std::size_t count) {
  std::uint64_t state = seed;
  for (std::size_t i = 0; i < count; i += 8) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const std::size_t n = count - i < 8 ? count - i : 8;
    std::memcpy(data + i, &z, n);
  }
}

void TimeSeededFiller::Fill(std::uint8_t* data, std::size_t count) {
  PseudoRandomBytes(static_cast<std::uint32_t>(platform_.Now()), data, count);
}

}  // namespace corvalin
