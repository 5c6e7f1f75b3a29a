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
// `columns` is the caller's block size in 4-byte columns, never taken from the schedule, so a
// block function writes exactly one block of its own size whatever the schedule holds.
void EncryptBlock(int columns, const Schedule& schedule, const unsigned char* in,
                  unsigned char* out);
void DecryptBlock(int columns, const Schedule& schedule, const unsigned char* in,
                  unsigned char* out);

}  // namespace corvalin::rijndael
