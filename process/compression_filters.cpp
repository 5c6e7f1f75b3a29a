#include "process/compression_filters.h"

#include <bzlib.h>
#include <zlib.h>

#include "container/container_format.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/my_stream.h"
#include "support/work_buffer.h"

namespace corvalin {
namespace {

std::string WriteMode(int level) {
  return "wb" + std::to_string(level);
}

// Library handles closed on every path; Close reports what the library said.
class GzHandle {
 public:
  explicit GzHandle(gzFile file) : file_(file) {}
  ~GzHandle() {
    if (file_ != nullptr) gzclose(file_);
  }
  GzHandle(const GzHandle&) = delete;
  GzHandle& operator=(const GzHandle&) = delete;
  gzFile get() const { return file_; }
  // zlib reports a failed last write, or a stream that ended early, only here.
  bool Close() {
    const int result = gzclose(file_);
    file_ = nullptr;
    return result == Z_OK;
  }

 private:
  gzFile file_;
};

class BzHandle {
 public:
  explicit BzHandle(BZFILE* file) : file_(file) {}
  ~BzHandle() { Close(); }
  BzHandle(const BzHandle&) = delete;
  BzHandle& operator=(const BzHandle&) = delete;
  BZFILE* get() const { return file_; }
  // After BZ2_bzread gave 0: the stream ended cleanly. BZ2_bzerror folds the stream's end
  // into BZ_OK and reports any failure as a negative code.
  bool EndedCleanly() const {
    int error = BZ_OK;
    BZ2_bzerror(file_, &error);
    return error == BZ_OK;
  }
  void Close() {
    if (file_ != nullptr) BZ2_bzclose(file_);
    file_ = nullptr;
  }

 private:
  BZFILE* file_;
};

// BZ2_bzclose reports nothing, yet it writes the last compressed block: the intermediate is
// read back whole so that an incomplete one is never encrypted as if it were complete.
bool Bzip2FileIsComplete(const std::string& path, std::uint32_t expected) {
  BzHandle in(BZ2_bzopen(path.c_str(), "rb"));
  if (in.get() == nullptr) return false;
  WorkBuffer buffer(kChunkBytes);
  std::uint64_t total = 0;
  for (;;) {
    const int got = BZ2_bzread(in.get(), buffer.chars(), static_cast<int>(kChunkBytes));
    if (got < 0) return false;
    if (got == 0) break;
    total += static_cast<std::uint64_t>(got);
  }
  return in.EndedCleanly() && total == expected;
}

}  // namespace

std::uint32_t GzipFile(Platform& platform, MyStream& sink, const std::string& source,
                       const std::string& out, int level) {
  GzHandle gz(gzopen(out.c_str(), WriteMode(level).c_str()));
  if (gz.get() == nullptr) throw ErrorHandler(-6, "Unable to open " + out);
  DiskFile input(platform);
  input.Open(0, source);
  WorkBuffer buffer(kChunkBytes);
  std::uint32_t total = 0;
  const std::string write_failure = "Unable to gzwrite on '" + out + "'";
  for (;;) {
    const std::uint32_t got = input.Read(kChunkBytes, buffer.chars());
    if (got == 0) break;
    if (gzwrite(gz.get(), buffer.chars(), got) <= 0) throw ErrorHandler(-2, write_failure);
    total += got;
    sink.Step(60, 1);
  }
  input.Close();
  if (!gz.Close()) throw ErrorHandler(-2, write_failure);
  return total;
}

std::uint32_t Bzip2File(Platform& platform, MyStream& sink, const std::string& source,
                        const std::string& out, int level) {
  const std::string write_failure = "Unable to write on " + out;
  std::uint32_t total = 0;
  {
    BzHandle bz(BZ2_bzopen(out.c_str(), WriteMode(level).c_str()));
    if (bz.get() == nullptr) throw ErrorHandler(-6, "Unable to open " + out);
    DiskFile input(platform);
    input.Open(0, source);
    WorkBuffer buffer(kChunkBytes);
    for (;;) {
      const std::uint32_t got = input.Read(kChunkBytes, buffer.chars());
      if (got == 0) break;
      if (BZ2_bzwrite(bz.get(), buffer.chars(), static_cast<int>(got)) == -1) {
        throw ErrorHandler(-2, write_failure);
      }
      total += got;
      sink.Step(60, 1);
    }
  }
  if (!Bzip2FileIsComplete(out, total)) throw ErrorHandler(-2, write_failure);
  return total;
}

std::uint32_t GunzipFile(MyStream& sink, const std::string& source, DiskFile& out) {
  GzHandle gz(gzopen(source.c_str(), "rb"));
  if (gz.get() == nullptr) throw ErrorHandler(-6, "Unable to open " + source);
  const std::string read_failure = "Unable to gzread on '" + source + "'";
  WorkBuffer buffer(kChunkBytes);
  std::uint32_t total = 0;
  for (;;) {
    const int got = gzread(gz.get(), buffer.chars(), kChunkBytes);
    if (got < 0) throw ErrorHandler(-1, read_failure);
    if (got == 0) break;
    // zlib passes data that is not gzip through unchanged; a container that records gzip
    // must hold gzip.
    if (gzdirect(gz.get())) throw ErrorHandler(-1, read_failure);
    total += out.Write(static_cast<std::uint32_t>(got), buffer.chars());
    sink.Step(60, 1);
  }
  if (gzdirect(gz.get()) || !gz.Close()) throw ErrorHandler(-1, read_failure);
  return total;
}

std::uint32_t Bunzip2File(MyStream& sink, const std::string& source, DiskFile& out) {
  BzHandle bz(BZ2_bzopen(source.c_str(), "rb"));
  if (bz.get() == nullptr) throw ErrorHandler(-6, "Unable to open " + source);
  const std::string read_failure = "Unable to BZ2_bzread on " + source;
  WorkBuffer buffer(kChunkBytes);
  std::uint32_t total = 0;
  for (;;) {
    const int got = BZ2_bzread(bz.get(), buffer.chars(), static_cast<int>(kChunkBytes));
    if (got < 0) throw ErrorHandler(-1, read_failure);
    if (got == 0) break;
    total += out.Write(static_cast<std::uint32_t>(got), buffer.chars());
    sink.Step(60, 1);
  }
  if (!bz.EndedCleanly()) throw ErrorHandler(-1, read_failure);
  return total;
}

}  // namespace corvalin
