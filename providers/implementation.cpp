#include "providers/implementation.h"

#include <cstring>

namespace corvalin::rijndael {
namespace {

void Xor(unsigned char* target, const unsigned char* source, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) target[i] ^= source[i];
}

template <int Nb>
void PortableEncrypt(const Schedule& s, const unsigned char* in, unsigned char* out) {
  EncryptBlock(Nb, s, in, out);
}

template <int Nb>
void PortableDecrypt(const Schedule& s, const unsigned char* in, unsigned char* out) {
  DecryptBlock(Nb, s, in, out);
}

template <int Nb>
void PortableEncryptMany(const Schedule& s, const unsigned char* in, unsigned char* out,
                         std::size_t blocks) {
  for (std::size_t i = 0; i < blocks; ++i) EncryptBlock(Nb, s, in + 4 * Nb * i, out + 4 * Nb * i);
}

template <int Nb>
void PortableDecryptMany(const Schedule& s, const unsigned char* in, unsigned char* out,
                         std::size_t blocks) {
  for (std::size_t i = 0; i < blocks; ++i) DecryptBlock(Nb, s, in + 4 * Nb * i, out + 4 * Nb * i);
}

template <int Nb>
void PortableCbcEncrypt(const Schedule& s, const unsigned char* in, unsigned char* out,
                        std::size_t blocks, unsigned char* chain) {
  constexpr std::size_t kBytes = 4 * Nb;
  for (std::size_t i = 0; i < blocks; ++i, in += kBytes, out += kBytes) {
    Xor(chain, in, kBytes);
    EncryptBlock(Nb, s, chain, out);
    std::memcpy(chain, out, kBytes);
  }
}

template <int Nb>
void PortableCfbEncrypt(const Schedule& s, const unsigned char* in, unsigned char* out,
                        std::size_t blocks, unsigned char* chain) {
  constexpr std::size_t kBytes = 4 * Nb;
  for (std::size_t i = 0; i < blocks; ++i, in += kBytes, out += kBytes) {
    EncryptBlock(Nb, s, chain, out);
    Xor(out, in, kBytes);
    std::memcpy(chain, out, kBytes);
  }
}

template <int Nb>
constexpr Implementation kPortable = {PortableEncrypt<Nb>,     PortableDecrypt<Nb>,
                                      PortableEncryptMany<Nb>, PortableDecryptMany<Nb>,
                                      PortableCbcEncrypt<Nb>,  PortableCfbEncrypt<Nb>};

}  // namespace

const Implementation& Portable(int columns) {
  if (columns == 4) return kPortable<4>;
  if (columns == 6) return kPortable<6>;
  return kPortable<8>;
}

const Implementation& Best(int columns) {
  const Implementation* fast = Accelerated(columns);
  return fast != nullptr ? *fast : Portable(columns);
}

void CbcDecrypt(const Implementation& how, int columns, const Schedule& schedule,
                const unsigned char* in, unsigned char* out, std::size_t blocks,
                unsigned char* chain) {
  if (blocks == 0) return;
  const std::size_t bytes = 4 * static_cast<std::size_t>(columns);
  how.decrypt_many(schedule, in, out, blocks);
  Xor(out, chain, bytes);
  Xor(out + bytes, in, (blocks - 1) * bytes);
  std::memcpy(chain, in + (blocks - 1) * bytes, bytes);
}

void CfbDecrypt(const Implementation& how, int columns, const Schedule& schedule,
                const unsigned char* in, unsigned char* out, std::size_t blocks,
                unsigned char* chain) {
  if (blocks == 0) return;
  const std::size_t bytes = 4 * static_cast<std::size_t>(columns);
  how.encrypt(schedule, chain, out);
  how.encrypt_many(schedule, in, out + bytes, blocks - 1);
  Xor(out, in, blocks * bytes);
  std::memcpy(chain, in + (blocks - 1) * bytes, bytes);
}

}  // namespace corvalin::rijndael
