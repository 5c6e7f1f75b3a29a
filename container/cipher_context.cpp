#include "container/cipher_context.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/filler.h"
#include "support/secret_memory.h"

namespace corvalin {

CipherContext::~CipherContext() {
  WipeMemory(encrypt_schedule, sizeof encrypt_schedule);
  WipeMemory(decrypt_schedule, sizeof decrypt_schedule);
  WipeMemory(chain.data(), chain.size());
  WipeMemory(key.data(), key.size());
  WipeMemory(iv.data(), iv.size());
  WipeString(key_text);
}

void CipherContext::SetEncryptionKey(const std::string& text, int key_bytes, int block_bytes) {
  PrepareKey(text, key_bytes, block_bytes);
  ExpandEncryptionKey(key.data(), key_length, iv.data(), key_block_size);
}

void CipherContext::SetDecryptionKey(const std::string& text, int key_bytes, int block_bytes) {
  PrepareKey(text, key_bytes, block_bytes);
  ExpandDecryptionKey(key.data(), key_length, iv.data(), key_block_size);
}

void CipherContext::PrepareKey(const std::string& text, int key_bytes, int block_bytes) {
  key_text = text;
  key_length = key_bytes;
  key_block_size = static_cast<std::uint32_t>(block_bytes);
  const std::size_t n = text.size();
  if (n > 32) throw ErrorHandler(Error::kKeyTooLong, "Secret key's overtaking KeyLen size.");
  key.fill(0);
  std::memcpy(key.data(), text.data(), n);
  for (std::size_t i = n; n > 0 && i < static_cast<std::size_t>(key_bytes); ++i) {
    key[i] = static_cast<std::uint8_t>(text[i % n]);
  }
  iv = key;
}

void CipherContext::ExpandEncryptionKey(const std::uint8_t* key_bytes, int length,
                                        const std::uint8_t* iv_bytes, std::uint32_t block_bytes) {
  provider.encrypt_key(key_bytes, length, encrypt_schedule);
  std::memcpy(chain.data(), iv_bytes, chain.size());
  block_size = block_bytes;
}

void CipherContext::ExpandDecryptionKey(const std::uint8_t* key_bytes, int length,
                                        const std::uint8_t* iv_bytes, std::uint32_t block_bytes) {
  provider.decrypt_key(key_bytes, length, decrypt_schedule);
  std::memcpy(chain.data(), iv_bytes, chain.size());
  block_size = block_bytes;
}

void CipherContext::XorBlock(std::uint8_t* target, const std::uint8_t* source) const {
  for (std::uint32_t i = 0; i < block_size; ++i) target[i] ^= source[i];
}

std::uint32_t CipherContext::PaddedLength(std::uint32_t n) const {
  return block_size * (n / block_size + 1);
}

std::uint32_t CipherContext::EncryptBlocks(CipherMode mode, const std::uint8_t* in,
                                           std::uint8_t* out, std::uint32_t length) {
  return EncryptBlocksAfter(mode, chain.data(), in, out, length);
}

std::uint32_t CipherContext::EncryptBlocksAfter(CipherMode mode, std::uint8_t* feedback,
                                                const std::uint8_t* in, std::uint8_t* out,
                                                std::uint32_t length) const {
  const std::uint32_t blocks = length / block_size;
  if (const ModeFunction whole = provider.encrypt_blocks[IndexOf(mode)]) {
    whole(in, out, blocks, feedback, encrypt_schedule);
    return blocks;
  }
  const BlockFunction encrypt = provider.encrypt_block;
  for (std::uint32_t i = 0; i < blocks; ++i, in += block_size, out += block_size) {
    switch (mode) {
      case CipherMode::kEcb:
        encrypt(in, out, encrypt_schedule);
        break;
      case CipherMode::kCbc:
        XorBlock(feedback, in);
        encrypt(feedback, out, encrypt_schedule);
        std::memcpy(feedback, out, block_size);
        break;
      case CipherMode::kCfb:
        encrypt(feedback, out, encrypt_schedule);
        XorBlock(out, in);
        std::memcpy(feedback, out, block_size);
        break;
    }
  }
  return blocks;
}

std::uint32_t CipherContext::DecryptBlocks(CipherMode mode, const std::uint8_t* in,
                                           std::uint8_t* out, std::uint32_t length) {
  return DecryptBlocksAfter(mode, chain.data(), in, out, length);
}

std::uint32_t CipherContext::DecryptBlocksAfter(CipherMode mode, std::uint8_t* feedback,
                                                const std::uint8_t* in, std::uint8_t* out,
                                                std::uint32_t length) const {
  const std::uint32_t blocks = length / block_size;
  if (const ModeFunction whole = provider.decrypt_blocks[IndexOf(mode)]) {
    whole(in, out, blocks, feedback, DecryptsForward(mode) ? encrypt_schedule : decrypt_schedule);
    return blocks;
  }
  for (std::uint32_t i = 0; i < blocks; ++i, in += block_size, out += block_size) {
    switch (mode) {
      case CipherMode::kEcb:
        provider.decrypt_block(in, out, decrypt_schedule);
        break;
      case CipherMode::kCbc:
        provider.decrypt_block(in, out, decrypt_schedule);
        XorBlock(out, feedback);
        std::memcpy(feedback, in, block_size);
        break;
      case CipherMode::kCfb:
        provider.encrypt_block(feedback, out, encrypt_schedule);
        XorBlock(out, in);
        std::memcpy(feedback, in, block_size);
        break;
    }
  }
  return blocks;
}

std::uint32_t CipherContext::EncryptPadded(CipherMode mode, const void* data, std::uint32_t n,
                                           std::uint8_t* out) {
  const std::uint32_t m = PaddedLength(n);
  std::vector<std::uint8_t> plain(m);
  std::memcpy(plain.data(), data, n);
  Fill(plain.data() + n, m - n);
  EncryptBlocks(mode, plain.data(), out, m);
  return m;
}

std::uint32_t CipherContext::WriteEncrypted(DiskFile& file, CipherMode mode, const void* data,
                                            std::uint32_t n) {
  std::vector<std::uint8_t> cipher(PaddedLength(n));
  const std::uint32_t m = EncryptPadded(mode, data, n, cipher.data());
  file.Write(m, cipher.data());
  return m;
}

std::uint32_t CipherContext::DecryptPadded(CipherMode mode, const std::uint8_t* in,
                                           std::uint32_t available, void* data, std::uint32_t n) {
  const std::uint32_t m = PaddedLength(n);
  // Missing bytes stand as zeros, never as stale memory.
  std::vector<std::uint8_t> cipher(m, 0), plain(m, 0);
  std::memcpy(cipher.data(), in, std::min(available, m));
  DecryptBlocks(mode, cipher.data(), plain.data(), m);
  std::memcpy(data, plain.data(), n);
  return std::min(available, m);
}

std::uint32_t CipherContext::ReadDecrypted(DiskFile& file, CipherMode mode, void* data,
                                           std::uint32_t n) {
  std::vector<std::uint8_t> cipher(PaddedLength(n));
  const std::uint32_t got = file.Read(static_cast<std::uint32_t>(cipher.size()), cipher.data());
  return DecryptPadded(mode, cipher.data(), got, data, n);
}

void CipherContext::Fill(std::uint8_t* data, std::size_t count) {
  if (count > 0) filler_.Fill(data, count);
}

}  // namespace corvalin
