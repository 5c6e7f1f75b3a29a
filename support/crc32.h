// CRC-32 of ISO-HDLC / IEEE 802.3 (the CRC of zlib and PNG): reflected polynomial 0xEDB88320,
// initial value all ones, final complement.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvalin {

// A file's checksum is taken in units of 16 KiB, each one step of the progress shown.
inline constexpr std::uint32_t kChecksumUnit = 16384;

// The checksum of two pieces one after the other, from the checksums of each and the length of
// the second: pieces checked side by side make the checksum of the whole.
std::uint32_t CombineChecksums(std::uint32_t first, std::uint32_t second,
                               std::uint64_t second_length);

class CCrc32Dynamic {
 public:
  // Starts a new checksum.
  void Init() { value_ = 0xFFFFFFFFu; }
  void Update(const void* data, std::size_t count);
  std::uint32_t Checksum() const { return ~value_; }

 private:
  std::uint32_t value_ = 0xFFFFFFFFu;
};

}  // namespace corvalin
