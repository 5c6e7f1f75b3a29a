// The name an encrypted file gets with name mangling: the SHA-1 of its path text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvalin {

// SHA-1 (FIPS 180-4).
class Sha1 {
 public:
  Sha1();
  void Update(const void* data, std::size_t count);
  std::array<std::uint8_t, 20> Finish();

 private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 5> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pending_count_ = 0;
  std::uint64_t total_bytes_ = 0;
};

// Replaces `text` by the 40 lowercase hexadecimal digits of the SHA-1 of its bytes.
void DigestText(std::string& text);

}  // namespace corvalin
