#include "support/filler.h"

#include <random>

#include "platform/platform.h"

namespace corvalin {

void PseudoRandomBytes(std::uint32_t seed, std::uint8_t* data, std::size_t count) {
  std::minstd_rand generator(seed);
  for (std::size_t i = 0; i < count; ++i) data[i] = static_cast<std::uint8_t>(generator() >> 7);
}

void TimeSeededFiller::Fill(std::uint8_t* data, std::size_t count) {
  PseudoRandomBytes(static_cast<std::uint32_t>(platform_.Now()), data, count);
}

}  // namespace corvalin
