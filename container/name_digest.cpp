#include "container/name_digest.h"

#include <algorithm>
#include <cstring>

namespace corvalin {
namespace {

std::uint32_t RotateLeft(std::uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

}  // namespace

Sha1::Sha1() : state_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u} {}

void Sha1::Compress(const std::uint8_t* block) {
  std::uint32_t w[80];
  for (int i = 0; i < 16; ++i) {
    w[i] = (std::uint32_t{block[4 * i]} << 24) | (std::uint32_t{block[4 * i + 1]} << 16) |
           (std::uint32_t{block[4 * i + 2]} << 8) | block[4 * i + 3];
  }
  for (int i = 16; i < 80; ++i) w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
  for (int i = 0; i < 80; ++i) {
    std::uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d), k = 0x5A827999u;
    } else if (i < 40) {
      f = b ^ c ^ d, k = 0x6ED9EBA1u;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d, k = 0xCA62C1D6u;
    }
    const std::uint32_t next = RotateLeft(a, 5) + f + e + k + w[i];
    e = d, d = c, c = RotateLeft(b, 30), b = a, a = next;
  }
  state_[0] += a, state_[1] += b, state_[2] += c, state_[3] += d, state_[4] += e;
}

void Sha1::Update(const void* data, std::size_t count) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  total_bytes_ += count;
  while (count > 0) {
    const std::size_t take = std::min(count, pending_.size() - pending_count_);
    std::memcpy(pending_.data() + pending_count_, p, take);
    pending_count_ += take, p += take, count -= take;
    if (pending_count_ == pending_.size()) {
      Compress(pending_.data());
      pending_count_ = 0;
    }
  }
}

std::array<std::uint8_t, 20> Sha1::Finish() {
  const std::uint64_t bits = total_bytes_ * 8;
  const std::uint8_t pad = 0x80, zero = 0;
  Update(&pad, 1);
  while (pending_count_ != 56) Update(&zero, 1);
  std::uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  Update(length, 8);
  std::array<std::uint8_t, 20> digest{};
  for (int i = 0; i < 20; ++i) {
    digest[i] = static_cast<std::uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
  }
  return digest;
}

void DigestText(std::string& text) {
  Sha1 sha;
  sha.Update(text.data(), text.size());
  constexpr char kHex[] = "0123456789abcdef";
  std::string digest;
  for (const std::uint8_t byte : sha.Finish()) {
    digest += kHex[byte >> 4];
    digest += kHex[byte & 0x0F];
  }
  text = digest;
}

}  // namespace corvalin
