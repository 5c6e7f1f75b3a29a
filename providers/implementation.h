// One way of computing Rijndael for one block size: single blocks, runs of independent blocks,
// and the two chained modes that cannot run blocks side by side. A module picks the fastest
// its processor offers when it is loaded; every way gives the same bytes.
#pragma once

#include <cstddef>

#include "providers/rijndael.h"

namespace corvalin::rijndael {

struct Implementation {
  using Block = void (*)(const Schedule&, const unsigned char* in, unsigned char* out);
  using Many = void (*)(const Schedule&, const unsigned char* in, unsigned char* out,
                        std::size_t blocks);
  using Chained = void (*)(const Schedule&, const unsigned char* in, unsigned char* out,
                           std::size_t blocks, unsigned char* chain);
  Block encrypt;
  Block decrypt;
  Many encrypt_many;
  Many decrypt_many;
  Chained cbc_encrypt;
  Chained cfb_encrypt;
};

// The table-driven code, everywhere.
const Implementation& Portable(int columns);
// AES-NI; null when the processor lacks it or the build has no x86 target. Uses the AVX-512
// byte permute where the processor has it.
const Implementation* Accelerated(int columns);
// AES-NI with byte shuffles only, whatever else the processor has (so both builds are tested).
const Implementation* AcceleratedWithShuffles(int columns);
// The one a module uses.
const Implementation& Best(int columns);

// The chained decryptions, built from the independent-block functions.
void CbcDecrypt(const Implementation& how, int columns, const Schedule& schedule,
                const unsigned char* in, unsigned char* out, std::size_t blocks,
                unsigned char* chain);
void CfbDecrypt(const Implementation& how, int columns, const Schedule& schedule,
                const unsigned char* in, unsigned char* out, std::size_t blocks,
                unsigned char* chain);

}  // namespace corvalin::rijndael
