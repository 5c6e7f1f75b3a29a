// The five entry points of a cipher module, shared by the modules and their loader.
// 16-byte blocks: aes_encrypt, aes_decrypt, aes_encrypt_key, aes_decrypt_key, aes_init.
// 24- and 32-byte blocks: aes_enc_blk, aes_dec_blk, aes_enc_key, aes_dec_key, aes_init.
#pragma once

#include <cstddef>

extern "C" {
// Transforms one block; `in` and `out` never overlap.
typedef int (*BlockFunction)(const unsigned char* in, unsigned char* out, const void* schedule);
// Expands the first `key_length` (16, 24, 32) bytes of `key` into the caller's schedule area.
typedef int (*KeyFunction)(const unsigned char* key, int key_length, void* schedule);
typedef int (*InitFunction)(void);
// Optional, for speed: `blocks` whole blocks of one mode in one call, `chain` (the caller's
// chaining block) carried in and out, results byte for byte those of the block loops.
// Exported as corvalin_{ecb,cbc,cfb}_{encrypt,decrypt}.
typedef int (*ModeFunction)(const unsigned char* in, unsigned char* out, unsigned int blocks,
                            unsigned char* chain, const void* schedule);
}

namespace corvalin {
// The caller's schedule area; it must be aligned to 16 bytes.
inline constexpr std::size_t kScheduleBytes = 524;
inline constexpr std::size_t kScheduleAlignment = 16;
}  // namespace corvalin
