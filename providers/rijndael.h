// Rijndael for 4, 6 and 8 columns (16-, 24- and 32-byte blocks) and keys of 16, 24 and 32
// bytes: the portable table-driven implementation every other path is checked against.
#pragma once

#include <cstdint>

#include "providers/provider_abi.h"

namespace corvalin::rijndael {

// The expanded key as it lies in the caller's 524-byte schedule area.
struct Schedule {
  std::uint32_t rounds;
  std::uint32_t columns;
  std::uint32_t words[120];  // (14 + 1) rounds of at most 8 columns
};
static_assert(sizeof(Schedule) <= kScheduleBytes);

void ExpandEncryptionKey(int columns, const unsigned char* key, int key_length, Schedule& out);
void ExpandDecryptionKey(int columns, const unsigned char* key, int key_length, Schedule& out);
void EncryptBlock(const Schedule& schedule, const unsigned char* in, unsigned char* out);
void DecryptBlock(const Schedule& schedule, const unsigned char* in, unsigned char* out);

}  // namespace corvalin::rijndael
