#include "process/compression_filters.h"

#include <bzlib.h>
#include <zlib.h>

#include <string>

#include "container/container_format.h"
#include "support/crc32.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/my_stream.h"
#include "support/work_buffer.h"

// The libraries' in-memory interfaces, rather than their file functions, let every byte pass
// through the streams the transaction holds, report a failed last write, and go on past the end
// of one compressed stream into the next.
namespace corvalin {
namespace {

constexpr int kGzipWindow = 15 + 16;  // deflate's largest window, with the gzip wrapper
constexpr int kMemoryLevel = 8;       // zlib's default, as its gz functions use

// Keeps the CRC-32 and size of what goes into the compressed output: the container records
// them, and the stream is read back for encryption without a checksum pass of its own.
class CompressedOutput {
 public:
  CompressedOutput(DiskFile& out, std::string failure) : out_(out), failure_(std::move(failure)) {
    crc_.Init();
  }
  void Put(const std::uint8_t* data, std::uint32_t count) {
    if (count == 0) return;
    try {
      out_.Write(count, data);
    } catch (const ErrorHandler&) {
      throw ErrorHandler(Error::kWriteFailed, failure_);
    }
    crc_.Update(data, count);
    written_ += count;
  }
  void Finish() {
    out_.set_size(written_);
    out_.set_checksum(crc_.Checksum());
  }

 private:
  DiskFile& out_;
  std::string failure_;
  CCrc32Dynamic crc_;
  std::uint64_t written_ = 0;
};

// A stream of one of the compression libraries, ended by the library's own call when its
// start succeeded, however the filter leaves.
template <typename Stream, auto kEnd>
class LibraryStream {
 public:
  template <typename Start>
  explicit LibraryStream(Start start) {
    ready_ = start(stream);
  }
  ~LibraryStream() {
    if (ready_) kEnd(&stream);
  }
  LibraryStream(const LibraryStream&) = delete;
  LibraryStream& operator=(const LibraryStream&) = delete;
  bool ready() const { return ready_; }
  Stream stream{};

 private:
  bool ready_ = false;
};

struct Deflater : LibraryStream<z_stream, &deflateEnd> {
  explicit Deflater(int level)
      : LibraryStream([level](z_stream& s) {
          return deflateInit2(&s, level, Z_DEFLATED, kGzipWindow, kMemoryLevel,
                              Z_DEFAULT_STRATEGY) == Z_OK;
        }) {}
};

struct Inflater : LibraryStream<z_stream, &inflateEnd> {
  Inflater() : LibraryStream([](z_stream& s) { return inflateInit2(&s, kGzipWindow) == Z_OK; }) {}
};

struct Bzip2Compressor : LibraryStream<bz_stream, &BZ2_bzCompressEnd> {
  explicit Bzip2Compressor(int level)
      : LibraryStream(
            [level](bz_stream& s) { return BZ2_bzCompressInit(&s, level, 0, 0) == BZ_OK; }) {}
};

// bzip2 ends each stream for good: a following stream needs a decompressor of its own.
class Bzip2Decompressor {
 public:
  ~Bzip2Decompressor() { End(); }
  Bzip2Decompressor() = default;
  Bzip2Decompressor(const Bzip2Decompressor&) = delete;
  Bzip2Decompressor& operator=(const Bzip2Decompressor&) = delete;
  bool Restart() {
    End();
    char* next = stream.next_in;
    const unsigned left = stream.avail_in;
    ready_ = BZ2_bzDecompressInit(&stream, 0, 0) == BZ_OK;
    stream.next_in = next;
    stream.avail_in = left;
    return ready_;
  }
  bz_stream stream{};

 private:
  void End() {
    if (ready_) BZ2_bzDecompressEnd(&stream);
    ready_ = false;
  }
  bool ready_ = false;
};

// The next chunk of a source to compress, counted and shown as progress; 0 at its end.
std::uint32_t ReadChunk(DiskFile& source, MyStream& sink, WorkBuffer& in, std::uint64_t& total) {
  const std::uint32_t got = source.Read(kChunkBytes, in.data());
  if (got != 0) {
    total += got;
    sink.Step(kChunkStep, Verbosity::kHeadline);
  }
  return got;
}

// Writes what one decompression call produced, counted and shown as progress.
void PutProduced(DiskFile& out, MyStream& sink, const WorkBuffer& buffer, std::uint32_t produced,
                 std::uint64_t& total) {
  if (produced == 0) return;
  out.Write(produced, buffer.data());
  total += produced;
  sink.Step(kChunkStep, Verbosity::kHeadline);
}

char* Chars(const WorkBuffer& buffer) {
  return buffer.chars();
}

}  // namespace

std::uint64_t GzipFile(MyStream& sink, DiskFile& source, DiskFile& out, int level) {
  Deflater deflater(level);
  if (!deflater.ready())
    throw ErrorHandler(Error::kStreamOpenFailed, "Unable to open " + out.path());
  z_stream& z = deflater.stream;
  CompressedOutput output(out, "Unable to gzwrite on '" + out.path() + "'");
  WorkBuffer in(kChunkBytes), buffer(kChunkBytes);
  source.Seek(0, SeekOrigin::kBegin);
  std::uint64_t total = 0;
  for (bool last = false; !last;) {
    const std::uint32_t got = ReadChunk(source, sink, in, total);
    last = got == 0;
    z.next_in = in.data();
    z.avail_in = got;
    do {
      z.next_out = buffer.data();
      z.avail_out = kChunkBytes;
      deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      output.Put(buffer.data(), kChunkBytes - z.avail_out);
    } while (z.avail_out == 0);
  }
  output.Finish();
  return total;
}

std::uint64_t Bzip2File(MyStream& sink, DiskFile& source, DiskFile& out, int level) {
  Bzip2Compressor compressor(level);
  if (!compressor.ready())
    throw ErrorHandler(Error::kStreamOpenFailed, "Unable to open " + out.path());
  bz_stream& b = compressor.stream;
  const std::string failure = "Unable to write on " + out.path();
  CompressedOutput output(out, failure);
  WorkBuffer in(kChunkBytes), buffer(kChunkBytes);
  source.Seek(0, SeekOrigin::kBegin);
  std::uint64_t total = 0;
  for (bool last = false; !last;) {
    const std::uint32_t got = ReadChunk(source, sink, in, total);
    last = got == 0;
    b.next_in = Chars(in);
    b.avail_in = got;
    int status = BZ_RUN_OK;
    do {
      b.next_out = Chars(buffer);
      b.avail_out = kChunkBytes;
      status = BZ2_bzCompress(&b, last ? BZ_FINISH : BZ_RUN);
      if (status < 0) throw ErrorHandler(Error::kWriteFailed, failure);
      output.Put(buffer.data(), kChunkBytes - b.avail_out);
    } while (last ? status != BZ_STREAM_END : b.avail_in > 0 || b.avail_out == 0);
  }
  output.Finish();
  return total;
}

std::uint64_t GunzipFile(MyStream& sink, DiskFile& source, DiskFile& out) {
  const std::string failure = "Unable to gzread on '" + source.path() + "'";
  Inflater inflater;
  if (!inflater.ready())
    throw ErrorHandler(Error::kStreamOpenFailed, "Unable to open " + source.path());
  z_stream& z = inflater.stream;
  WorkBuffer in(kChunkBytes), buffer(kChunkBytes);
  source.Seek(0, SeekOrigin::kBegin);
  std::uint64_t total = 0;
  bool in_member = false, any = false;
  for (;;) {
    const std::uint32_t got = source.Read(kChunkBytes, in.data());
    if (got == 0) break;
    z.next_in = in.data();
    z.avail_in = got;
    do {
      if (!in_member) {
        if (z.avail_in == 0) break;
        inflateReset(&z);  // the next member of a multi-member file
        in_member = any = true;
      }
      z.next_out = buffer.data();
      z.avail_out = kChunkBytes;
      const int status = inflate(&z, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
        throw ErrorHandler(Error::kReadFailed, failure);
      }
      const std::uint32_t produced = kChunkBytes - z.avail_out;
      PutProduced(out, sink, buffer, produced, total);
      if (status == Z_STREAM_END) in_member = false;
      if (status == Z_BUF_ERROR) break;  // wants more input
    } while (z.avail_in > 0 || z.avail_out == 0);
  }
  // A file that ends inside a member, or holds none, is cut short.
  if (in_member || !any) throw ErrorHandler(Error::kReadFailed, failure);
  return total;
}

std::uint64_t Bunzip2File(MyStream& sink, DiskFile& source, DiskFile& out) {
  const std::string failure = "Unable to BZ2_bzread on " + source.path();
  Bzip2Decompressor decompressor;
  bz_stream& b = decompressor.stream;
  WorkBuffer in(kChunkBytes), buffer(kChunkBytes);
  source.Seek(0, SeekOrigin::kBegin);
  std::uint64_t total = 0;
  bool in_stream = false, any = false;
  for (;;) {
    const std::uint32_t got = source.Read(kChunkBytes, in.data());
    if (got == 0) break;
    b.next_in = Chars(in);
    b.avail_in = got;
    do {
      if (!in_stream) {
        if (b.avail_in == 0) break;
        if (!decompressor.Restart())
          throw ErrorHandler(Error::kStreamOpenFailed, "Unable to open " + source.path());
        in_stream = any = true;
      }
      b.next_out = Chars(buffer);
      b.avail_out = kChunkBytes;
      const int status = BZ2_bzDecompress(&b);
      if (status != BZ_OK && status != BZ_STREAM_END)
        throw ErrorHandler(Error::kReadFailed, failure);
      const std::uint32_t produced = kChunkBytes - b.avail_out;
      PutProduced(out, sink, buffer, produced, total);
      if (status == BZ_STREAM_END) in_stream = false;
      if (status == BZ_OK && produced == 0 && b.avail_in == 0) break;  // wants more input
    } while (b.avail_in > 0 || b.avail_out == 0);
  }
  if (in_stream || !any) throw ErrorHandler(Error::kReadFailed, failure);
  return total;
}

}  // namespace corvalin
