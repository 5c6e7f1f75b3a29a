// The one file stream of Corvalin. Every failing call becomes an ErrorHandler naming the file.
// No buffering: each read and write is one platform call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace corvalin {

class MyStream;

class DiskFile {
 public:
  explicit DiskFile(Platform& platform) : platform_(platform) {}
  // Opens `file_name` at once in read-write mode.
  DiskFile(Platform& platform, const std::string& file_name);
  ~DiskFile() { Close(); }
  DiskFile(const DiskFile&) = delete;
  DiskFile& operator=(const DiskFile&) = delete;

  // kRead, kWrite (create or empty), kReadWrite (open or create, contents kept), kModify
  // (read-write of an existing file only).
  void Open(OpenMode mode, const std::string& file_name);
  // The same for `name` inside a held folder; the stream is named by the folder's path.
  void OpenIn(OpenMode mode, const Folder& folder, const std::string& name);
  // Takes over a file the platform opened in `mode` under `file_name`.
  void Adopt(NativeFile file, OpenMode mode, const std::string& file_name);
  void Close();
  bool IsOpen() const { return handle_ != kNoFile; }

  // Bytes read; 0 at the end of the file or on a closed stream.
  std::uint32_t Read(std::uint32_t count, void* buffer);
  // Bytes read from `offset` on, whatever the position; 0 at the end of the file.
  std::uint32_t ReadAt(std::uint64_t offset, std::uint32_t count, void* buffer);
  // Bytes written; 0 on a closed stream.
  std::uint32_t Write(std::uint32_t count, const void* buffer);
  // The new position, all 64 bits of it.
  std::uint64_t Seek(std::int64_t distance, SeekOrigin origin);
  // The CRC-32 of the whole file for a stream open for reading, else the stored value.
  // With `side_thread`, a large file's second half is checked on a thread of its own.
  std::uint32_t Checksum(MyStream* sink, bool side_thread = false);
  // Empties the file and starts it again from its first byte; false when the platform fails.
  bool Truncate();
  // Puts what was written on stable storage; a failure is a write failure.
  void Flush();
  // Write and Flush for callers that word their own failure: the system's error code, 0 on
  // success. Nothing is counted towards write-behind.
  int TryWrite(std::uint32_t count, const void* buffer, std::uint32_t& done);
  int TryFlush();
  // A file that will be flushed when complete has its data sent to the device while it is
  // still being written, so that the flush at the end waits for little.
  void WriteBehind() { write_behind_ = true; }
  // The platform's facts of the open file now: identity, size, times, links.
  FileFacts Describe();
  // The same as they were when the file was opened.
  const FileFacts& opened_facts() const { return opened_facts_; }

  std::string Extension() const;
  void SetName(const std::string& new_name);

  const std::string& name() const { return name_; }
  const std::string& directory() const { return directory_; }
  const std::string& path() const { return path_; }
  OpenMode mode() const { return mode_; }
  // The size when the file was opened (or as its owner set it), all 64 bits of it.
  std::uint64_t size() const { return size_; }
  void set_size(std::uint64_t size) { size_ = size; }
  std::uint32_t checksum() const { return checksum_; }
  void set_checksum(std::uint32_t checksum) { checksum_ = checksum; }
  Platform& platform() const { return platform_; }
  NativeFile handle() const { return handle_; }

 private:
  void OpenWith(OpenMode mode, const std::string& file_name,
                const std::function<int(OpenMode, NativeFile&)>& open);

  Platform& platform_;
  NativeFile handle_ = kNoFile;
  std::string name_, directory_, path_;
  OpenMode mode_ = OpenMode::kRead;
  std::uint32_t checksum_ = 0;
  std::uint64_t size_ = 0;
  FileFacts opened_facts_;
  bool write_behind_ = false;
  std::uint64_t written_ = 0, sent_ = 0;  // bytes written, and sent to the device, since open
};

}  // namespace corvalin
