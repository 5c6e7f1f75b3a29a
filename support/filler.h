// Filler bytes for the container's unused space. No reader ever looks at them, so any
// generator will do; tests inject a fixed one to compare whole containers byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvalin {

class Platform;

class FillerSource {
 public:
  virtual ~FillerSource() = default;
  virtual void Fill(std::uint8_t* data, std::size_t count) = 0;
};

// Successive draws of a SplitMix64 generator seeded with `seed`, eight bytes a draw: a small
// file needs a kilobyte of filler, and a draw per byte showed in its time.
void PseudoRandomBytes(std::uint32_t seed, std::uint8_t* data, std::size_t count);

// Reseeds the generator with the current time in seconds before each fill.
class TimeSeededFiller : public FillerSource {
 public:
  explicit TimeSeededFiller(Platform& platform) : platform_(platform) {}
  void Fill(std::uint8_t* data, std::size_t count) override;

 private:
  Platform& platform_;
};

}  // namespace corvalin
