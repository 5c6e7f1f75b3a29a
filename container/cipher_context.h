// Everything needed to encrypt or decrypt one file: the expanded keys, the chaining block, the
// key material made from the password and the plaintext images of the container header.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "container/block_cipher_provider.h"

namespace corvalin {

class DiskFile;
class FillerSource;
class MyStream;

inline constexpr std::uint32_t kHeaderBytes = 1048;
inline constexpr std::uint32_t kExtensionBytes = 24;

class CipherContext {
 public:
  CipherContext(const BlockCipherProvider& cipher, MyStream& sink, FillerSource& filler)
      : provider(cipher), progress(sink), filler_(filler) {}
  // Wipes the key material: the text, the key, the IV, the chaining block and both schedules.
  ~CipherContext();

  // Key set-up: PrepareKey, then the expansion. Raises -22 for a text over 32 bytes.
  void SetEncryptionKey(const std::string& text, int key_bytes, int block_bytes);
  void SetDecryptionKey(const std::string& text, int key_bytes, int block_bytes);
  // Makes `key` (the text repeated up to the key length) and `iv` (all 32 bytes of `key`).
  void PrepareKey(const std::string& text, int key_bytes, int block_bytes);
  // Expands a key and sets the chaining block back to the IV.
  void ExpandEncryptionKey(const std::uint8_t* key_bytes, int length, const std::uint8_t* iv_bytes,
                           std::uint32_t block_bytes);
  void ExpandDecryptionKey(const std::uint8_t* key_bytes, int length, const std::uint8_t* iv_bytes,
                           std::uint32_t block_bytes);

  // Whole blocks of `length` from `in` to `out` (distinct buffers); returns the block count.
  // The chaining block carries over between calls.
  std::uint32_t EncryptBlocks(CipherMode mode, const std::uint8_t* in, std::uint8_t* out,
                              std::uint32_t length);
  std::uint32_t DecryptBlocks(CipherMode mode, const std::uint8_t* in, std::uint8_t* out,
                              std::uint32_t length);
  // The same after the chaining block `feedback` (which they carry on) instead of the
  // context's: runs of one stream that follow each other can then go on separate threads.
  std::uint32_t EncryptBlocksAfter(CipherMode mode, std::uint8_t* feedback, const std::uint8_t* in,
                                   std::uint8_t* out, std::uint32_t length) const;
  std::uint32_t DecryptBlocksAfter(CipherMode mode, std::uint8_t* feedback, const std::uint8_t* in,
                                   std::uint8_t* out, std::uint32_t length) const;
  void XorBlock(std::uint8_t* target, const std::uint8_t* source) const;
  // The next multiple of the block size strictly greater than `n`.
  std::uint32_t PaddedLength(std::uint32_t n) const;

  // Encrypts `n` bytes padded with filler to the file; returns PaddedLength(n).
  std::uint32_t WriteEncrypted(DiskFile& file, CipherMode mode, const void* data, std::uint32_t n);
  // The same into `out`, which takes PaddedLength(n) bytes.
  std::uint32_t EncryptPadded(CipherMode mode, const void* data, std::uint32_t n,
                              std::uint8_t* out);
  // Decrypts PaddedLength(n) bytes of `in`, of which `available` are there (the rest count as
  // zeros), and keeps the first `n`; returns the bytes taken from `in`.
  std::uint32_t DecryptPadded(CipherMode mode, const std::uint8_t* in, std::uint32_t available,
                              void* data, std::uint32_t n);
  // Reads PaddedLength(n) bytes, decrypts them and keeps the first `n`; returns the bytes read,
  // fewer than PaddedLength(n) only when the file ends first.
  std::uint32_t ReadDecrypted(DiskFile& file, CipherMode mode, void* data, std::uint32_t n);

  void Fill(std::uint8_t* data, std::size_t count);

  alignas(kScheduleAlignment) std::uint8_t encrypt_schedule[kScheduleBytes] = {};
  alignas(kScheduleAlignment) std::uint8_t decrypt_schedule[kScheduleBytes] = {};
  const BlockCipherProvider& provider;
  std::uint32_t block_size = 0;
  std::array<std::uint8_t, 32> chain{};
  std::array<std::uint8_t, kHeaderBytes> header{};
  std::array<std::uint8_t, kExtensionBytes> extension{};
  std::string key_text = "Corvalin";
  std::array<std::uint8_t, 32> key{};
  std::array<std::uint8_t, 32> iv{};
  int key_length = 32;
  std::uint32_t key_block_size = 32;
  MyStream& progress;
  // The cores the run may use (its workers, at most its processors). With more than one, a large
  // file is read ahead and written behind on threads of its own and its checksum taken in two
  // halves; with four or more its blocks are also split where the mode allows (with fewer, the
  // reader and the writer already take the second core, and a split chain only waits for them). A
  // run on one worker works as it always did, on one thread.
  unsigned cores = 1;
  bool SpareCores() const { return cores > 1; }
  bool SplitsBlocks() const { return cores >= 4; }

 private:
  FillerSource& filler_;
};

}  // namespace corvalin
