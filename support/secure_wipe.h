// Overwrites an open file in place before it is deleted: zeros, ones and a random block, three
// sweeps per pass, each sweep flushed to the device.
#pragma once

#include <cstdint>

namespace corvalin {

class DiskFile;
class MyStream;

inline constexpr std::uint32_t kWipeChunk = 65536;

// Overwrites the stream's recorded size `passes` times; the file pointer ends at that size.
void Wipe(DiskFile& file, MyStream& sink, std::uint32_t passes);

}  // namespace corvalin
