// The four file filters that move bytes through zlib and libbzip2 in 144 KiB chunks. They work
// on streams the caller opened, so that the files they read and write are exactly the ones the
// file's transaction checked and holds.
#pragma once

#include <cstdint>

namespace corvalin {

class DiskFile;
class MyStream;

// Compress `source`, read from its start, into the empty stream `out`; return the bytes read.
// `out` is left with the size and CRC-32 of what was written, as the container needs them.
std::uint64_t GzipFile(MyStream& sink, DiskFile& source, DiskFile& out, int level);
std::uint64_t Bzip2File(MyStream& sink, DiskFile& source, DiskFile& out, int level);
// Decompress every stream of `source`, read from its start, into `out`; return the bytes
// written. Streams one after another are all taken, as the libraries' own tools take them.
std::uint64_t GunzipFile(MyStream& sink, DiskFile& source, DiskFile& out);
std::uint64_t Bunzip2File(MyStream& sink, DiskFile& source, DiskFile& out);

}  // namespace corvalin
