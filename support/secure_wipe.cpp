#include "support/secure_wipe.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

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

// The ranges of the file's data within its recorded size: the holes of a sparse file hold
// nothing to overwrite, and writing them could fill the disk after the name is gone.
using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

Ranges DataRanges(DiskFile& file) {
  Ranges ranges;
  const std::uint64_t size = file.size();
  for (std::uint64_t at = 0; at < size;) {
    std::uint64_t start = 0, end = 0;
    if (file.platform().NextData(file.handle(), at, start, end) != 0) {
      start = at, end = size;  // when in doubt, overwrite
    }
    end = std::min(end, size);
    if (start >= end) break;
    ranges.emplace_back(start, end);
    at = end;
  }
  return ranges;
}

void Sweep(DiskFile& file, MyStream& sink, const Ranges& ranges, const std::uint8_t* pattern) {
  if (ranges.empty()) file.Seek(0, SeekOrigin::kBegin);
  for (const auto& [start, end] : ranges) {
    file.Seek(static_cast<std::int64_t>(start), SeekOrigin::kBegin);
    for (std::uint64_t at = start; at < end;) {
      sink.Step(kScanStep, Verbosity::kHeadline);
      std::uint32_t done = 0;
      const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(end - at, kWipeChunk));
      if (const int error = file.TryWrite(count, pattern, done)) {
        throw ErrorHandler(error, "Writing on wiping.");
      }
      at += done;
    }
  }
  // Each sweep must reach the device on its own: sweeps that meet in the page cache reach the
  // disk as one write, which is not the overwrite the wipe reports.
  if (!ranges.empty()) {
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
  const Ranges ranges = passes > 0 ? DataRanges(file) : Ranges{};
  for (std::uint32_t pass = 0; pass < passes; ++pass) {
    for (const std::uint8_t* pattern : patterns) Sweep(file, sink, ranges, pattern);
  }
  // A hole at the end was left as it is; the pointer still ends at the size.
  if (!ranges.empty() && ranges.back().second != file.size()) {
    file.Seek(static_cast<std::int64_t>(file.size()), SeekOrigin::kBegin);
  }
}

}  // namespace corvalin
