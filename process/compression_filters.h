// The four file filters that move bytes through zlib and libbzip2 in 144 KiB chunks.
#pragma once

#include <cstdint>
#include <string>

namespace corvalin {

class DiskFile;
class MyStream;
class Platform;

// Compress `source` into `out` (which exists, empty); return the bytes read from `source`.
std::uint32_t GzipFile(Platform& platform, MyStream& sink, const std::string& source,
                       const std::string& out, int level);
std::uint32_t Bzip2File(Platform& platform, MyStream& sink, const std::string& source,
                        const std::string& out, int level);
// Decompress `source` into the open stream `out`; return the bytes written.
std::uint32_t GunzipFile(MyStream& sink, const std::string& source, DiskFile& out);
std::uint32_t Bunzip2File(MyStream& sink, const std::string& source, DiskFile& out);

}  // namespace corvalin
