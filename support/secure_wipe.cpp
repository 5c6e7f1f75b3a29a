#include "support/secure_wipe.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/filler.h"
#include "support/my_stream.h"

namespace corvalin {
namespace {

// A pattern buffer of committed pages, released with the wipe however it ends.
class PageBuffer {
 public:
  explicit PageBuffer(Platform& platform) : platform_(platform) {
    int error = 0;
    pages_ = static_cast<std::uint8_t*>(platform_.AllocatePages(kWipeChunk, error));
    if (pages_ == nullptr) throw ErrorHandler(error, "Out of memory!");
  }
  ~PageBuffer() { platform_.FreePages(pages_, kWipeChunk); }
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;

  std::uint8_t* data() const { return pages_; }

 private:
  Platform& platform_;
  std::uint8_t* pages_ = nullptr;
};

void Sweep(DiskFile& file, MyStream& sink, const std::uint8_t* pattern) {
  file.Seek(0, SeekOrigin::kBegin);
  const std::uint64_t size = file.size();
  std::uint64_t written = 0;
  while (written < size) {
    sink.Step(kScanStep, Verbosity::kHeadline);
    std::uint32_t done = 0;
    const auto count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(size - written, kWipeChunk));
    if (const int error = file.TryWrite(count, pattern, done)) {
      throw ErrorHandler(error, "Writing on wiping.");
    }
    written += done;
  }
  // Each sweep must reach the device on its own: sweeps that meet in the page cache reach the
  // disk as one write, which is not the overwrite the wipe reports.
  if (size > 0) {
    if (const int error = file.TryFlush()) {
      throw ErrorHandler(error, "Writing on wiping.");
    }
  }
}

}  // namespace

void Wipe(DiskFile& file, MyStream& sink, std::uint32_t passes) {
  Platform& platform = file.platform();
  const auto seed = static_cast<std::uint32_t>(platform.Now());
  const PageBuffer zeros(platform), ones(platform), random(platform);
  std::memset(ones.data(), 0xFF, kWipeChunk);
  PseudoRandomBytes(seed, random.data(), kWipeChunk);
  const std::array<const std::uint8_t*, 3> patterns = {zeros.data(), ones.data(), random.data()};
  for (std::uint32_t pass = 0; pass < passes; ++pass) {
    for (const std::uint8_t* pattern : patterns) Sweep(file, sink, pattern);
  }
}

}  // namespace corvalin
