#include "support/disk_file.h"

#include <climits>
#include <cstdint>
#include <optional>

#include <algorithm>
#include <array>

#include "platform/path.h"
#include "support/crc32.h"
#include "support/error_handler.h"
#include "support/my_stream.h"
#include "support/side_thread.h"
#include "support/work_buffer.h"

namespace corvalin {
namespace {

// Enough to keep the device busy, little enough that the last flush has little left.
constexpr std::uint64_t kWriteBehindStep = 8u << 20;
constexpr std::uint32_t kChecksumReads = 9;

const char* ModeDescription(OpenMode mode) {
  switch (mode) {
    case OpenMode::kRead:
    case OpenMode::kReadAlone:
      return " (read mode)";
    case OpenMode::kWrite:
      return " (write mode)";
    case OpenMode::kReadWrite:
    case OpenMode::kModify:
      return " (read-write mode)";
  }
  return "unknown mode";
}

}  // namespace

DiskFile::DiskFile(Platform& platform, const std::string& file_name) : platform_(platform) {
  Open(OpenMode::kReadWrite, file_name);
}

void DiskFile::Open(OpenMode mode, const std::string& file_name) {
  OpenWith(mode, file_name, [&](OpenMode how, NativeFile& opened) {
    return platform_.Open(file_name, how, opened, opened_facts_);
  });
}

void DiskFile::OpenIn(OpenMode mode, const Folder& folder, const std::string& name) {
  OpenWith(mode, folder.path + name, [&](OpenMode how, NativeFile& opened) {
    return platform_.OpenIn(folder, name, how, opened, opened_facts_);
  });
}

void DiskFile::Adopt(NativeFile file, OpenMode mode, const std::string& file_name) {
  OpenWith(mode, file_name, [&](OpenMode, NativeFile& opened) {
    opened = file;
    platform_.Describe(file, opened_facts_);
    return 0;
  });
}

void DiskFile::OpenWith(OpenMode mode, const std::string& file_name,
                        const std::function<int(OpenMode, NativeFile&)>& open) {
  if (handle_ != kNoFile)
    throw ErrorHandler(Error::kAlreadyOpen, "file " + file_name + " is already opened.");
  const std::string failure = "Unable to open file " + file_name + ModeDescription(mode);
  NativeFile opened = kNoFile;
  if (open(mode, opened) != 0) throw ErrorHandler(Error::kOpenFailed, failure);
  handle_ = opened;
  directory_ = FolderPart(file_name);
  name_ = FileNamePart(file_name);
  path_ = directory_ + name_;
  size_ = opened_facts_.size;
  mode_ = mode;
  checksum_ = 0;
}

void DiskFile::Close() {
  if (handle_ != kNoFile) platform_.Close(handle_);
  handle_ = kNoFile;
  write_behind_ = false;
  written_ = sent_ = 0;
  checksum_ = 0;
  size_ = 0;
}

std::uint32_t DiskFile::Read(std::uint32_t count, void* buffer) {
  if (handle_ == kNoFile) return 0;
  std::uint32_t done = 0;
  if (platform_.Read(handle_, buffer, count, done) != 0) {
    throw ErrorHandler(Error::kReadFailed, "Unable to read from file " + path_);
  }
  return done;
}

std::uint32_t DiskFile::ReadAt(std::uint64_t offset, std::uint32_t count, void* buffer) {
  if (handle_ == kNoFile) return 0;
  std::uint32_t done = 0;
  if (platform_.ReadAt(handle_, offset, buffer, count, done) != 0) {
    throw ErrorHandler(Error::kReadFailed, "Unable to read from file " + path_);
  }
  return done;
}

std::uint32_t DiskFile::Write(std::uint32_t count, const void* buffer) {
  if (handle_ == kNoFile) return 0;
  std::uint32_t done = 0;
  if (platform_.Write(handle_, buffer, count, done) != 0) {
    throw ErrorHandler(Error::kWriteFailed, "Unable to write file " + path_ + "(disk full?)");
  }
  written_ += done;
  if (write_behind_ && written_ - sent_ >= kWriteBehindStep) {
    platform_.StartWriteBack(handle_, sent_, written_ - sent_);
    sent_ = written_;
  }
  return done;
}

std::uint64_t DiskFile::Seek(std::int64_t distance, SeekOrigin origin) {
  std::uint64_t position = 0;
  const int error = platform_.Seek(handle_, distance, origin, position);
  if (error != 0) throw ErrorHandler(error, "Unable to apply seeking to file " + path_);
  return position;
}

namespace {

// Below this a file's checksum is one thread's work; above it the second half goes to a thread
// of its own.
constexpr std::uint64_t kChecksumSplit = 8u << 20;

// The checksum of [begin, end) of the file; one step of `sink` per unit when given.
std::uint32_t ChecksumOf(DiskFile& file, std::uint64_t begin, std::uint64_t end, MyStream* sink) {
  CCrc32Dynamic crc;
  crc.Init();
  // Nine units a read to spare system calls; the sink still hears one step per 16 KiB unit.
  WorkBuffer chunk(kChecksumReads * kChecksumUnit);
  for (std::uint64_t at = begin; at < end;) {
    const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk.size(), end - at));
    const std::uint32_t got = file.ReadAt(at, want, chunk.data());
    if (got == 0) break;
    for (std::uint32_t unit = 0; unit < got; unit += kChecksumUnit) {
      if (sink != nullptr) sink->Step(kScanStep, Verbosity::kHeadline);
      crc.Update(chunk.data() + unit, std::min(kChecksumUnit, got - unit));
    }
    at += got;
  }
  return crc.Checksum();
}

}  // namespace

// A read failure raises the read error: a checksum of the bytes read so far would pass for the
// file's own and be sealed into a container as if it were.
std::uint32_t DiskFile::Checksum(MyStream* sink, bool side_thread) {
  if (handle_ == kNoFile || mode_ != OpenMode::kRead) return checksum_;
  const std::uint64_t size = Describe().size;
  std::optional<SideThread> side;
  if (side_thread && size >= kChecksumSplit) StartSideThread(side);
  if (!side) {
    checksum_ = ChecksumOf(*this, 0, UINT64_MAX, sink);
  } else {
    // Two halves side by side, the second on a thread of its own; the caller's half is where
    // an interruption is heard.
    const std::uint64_t middle = size / 2 / kChecksumUnit * kChecksumUnit;
    std::uint32_t second = 0;
    std::optional<ErrorHandler> failure;
    side->Start([&] {
      try {
        second = ChecksumOf(*this, middle, UINT64_MAX, nullptr);
      } catch (const ErrorHandler& error) {
        failure = error;
      }
    });
    std::uint32_t first = 0;
    try {
      first = ChecksumOf(*this, 0, middle, sink);
    } catch (const ErrorHandler&) {
      side->Wait();
      throw;
    }
    side->Wait();
    if (failure) throw *failure;
    const std::uint64_t rest = Describe().size - middle;
    for (std::uint64_t unit = 0; sink != nullptr && unit < rest; unit += kChecksumUnit) {
      sink->Step(kScanStep, Verbosity::kHeadline);
    }
    checksum_ = CombineChecksums(first, second, rest);
  }
  Seek(0, SeekOrigin::kBegin);
  return checksum_;
}

bool DiskFile::Truncate() {
  if (platform_.Truncate(handle_) != 0) return false;
  size_ = 0;
  written_ = sent_ = 0;
  return true;
}

int DiskFile::TryWrite(std::uint32_t count, const void* buffer, std::uint32_t& done) {
  return platform_.Write(handle_, buffer, count, done);
}

int DiskFile::TryFlush() {
  return platform_.Flush(handle_);
}

void DiskFile::Flush() {
  if (TryFlush() != 0) {
    throw ErrorHandler(Error::kWriteFailed, "Unable to write file " + path_ + "(disk full?)");
  }
}

FileFacts DiskFile::Describe() {
  FileFacts facts;
  if (platform_.Describe(handle_, facts) != 0) {
    throw ErrorHandler(Error::kReadFailed, "Unable to read from file " + path_);
  }
  return facts;
}

std::string DiskFile::Extension() const {
  const std::size_t dot = name_.rfind('.');
  if (dot == std::string::npos) return std::string();
  return name_.substr(dot + 1);
}

void DiskFile::SetName(const std::string& new_name) {
  name_ = new_name;
  path_ = directory_ + name_;
}

}  // namespace corvalin
