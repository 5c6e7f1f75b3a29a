// The operating system behind one interface. Everything that differs between POSIX and Windows
// lives in an implementation of this class; the rest of Corvalin only sees these calls. Every
// call that can fail returns 0 on success or the platform's error number (errno, GetLastError).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace corvalin {

// A file descriptor on POSIX, a HANDLE on Windows. kNoFile is never a valid open file.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

using ModuleHandle = void*;

// Read shares a lock with other readers; the others hold it alone. Write creates or empties,
// read-write opens or creates and keeps the contents, modify opens an existing file only.
enum class OpenMode { kRead = 0, kWrite = 1, kReadWrite = 2, kModify = 3 };
enum class SeekOrigin { kBegin = 0, kCurrent = 1 };

// Who a file is, whatever it is called now: device and inode on POSIX, volume serial number
// and file index on Windows. Two names show the same file exactly when their identities match.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// What the platform tells of one file.
struct FileFacts {
  FileIdentity identity;
  std::uint64_t size = 0;
  std::int64_t modified = 0;      // the platform's own stamp, only compared for equality
  std::uint32_t permissions = 0;  // POSIX mode bits (07777); Windows attributes
  std::uint32_t links = 1;
  bool regular = false;  // a plain file: no folder, link, FIFO, socket or device
  bool owned = true;     // owned by the user the process runs as
};

// RemoveIfSame's answer when the name no longer shows the file (another file, or nothing).
inline constexpr int kOtherFile = -1;

struct DirectoryEntry {
  std::string name;
  bool is_folder = false;
  std::uint64_t size = 0;
};

// One directory search. A pattern is either a folder followed by a separator and "*" (every
// entry of the folder, "." and ".." included) or the path of one entry.
class DirectoryScan {
 public:
  virtual ~DirectoryScan() = default;
  // Fills the next entry; false when there is none left.
  virtual bool Read(DirectoryEntry& entry) = 0;
};

// How far the version texts of a module could be read, in the order a reader meets them.
// kNotFound: there is no such module to look at.
enum class VersionLookup { kOk, kNoVersionInfo, kUnreadable, kNoLength, kNoTranslation, kNotFound };

// The version texts a module carries, keyed by name ("FileVersion", "PrivateBuild", ...).
struct ModuleVersionTexts {
  std::uint32_t translation = 0;  // language in the low 16 bits, code page in the high 16 bits
  std::map<std::string, std::string> strings;
  std::string location;  // the file they were read from, as far as the platform can tell
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Files. Only regular files open, never through a link in the last place of the path, and
  // never waiting (a FIFO or device is an open failure). Write empties the file only once
  // the lock is held.
  virtual int Open(const std::string& path, OpenMode mode, NativeFile& file) = 0;
  virtual void Close(NativeFile file) = 0;
  virtual int Read(NativeFile file, void* data, std::uint32_t count, std::uint32_t& done) = 0;
  virtual int Write(NativeFile file, const void* data, std::uint32_t count,
                    std::uint32_t& done) = 0;
  virtual int Seek(NativeFile file, std::int32_t distance, SeekOrigin origin,
                   std::uint32_t& position) = 0;
  virtual int Size(NativeFile file, std::uint64_t& size) = 0;
  // Puts the file's data on stable storage.
  virtual int Flush(NativeFile file) = 0;
  virtual int Describe(NativeFile file, FileFacts& facts) = 0;
  // Describes what the name shows itself, never what a link points to.
  virtual int DescribePath(const std::string& path, FileFacts& facts) = 0;
  // Sets the permission bits of an open file (POSIX); nothing on Windows.
  virtual int SetPermissions(NativeFile file, std::uint32_t permissions) = 0;
  virtual int Truncate(NativeFile file) = 0;
  // Whether a rename may replace a file that is held open. Both platforms rename and remove a
  // file while its holder keeps it (and its lock) open; only POSIX lets a rename replace one:
  // Windows refuses while any handle to the target is open.
  virtual bool ReplacesOpenFiles() const = 0;

  virtual int Remove(const std::string& path) = 0;
  // Removes `path` only while it still shows the file `identity` names; kOtherFile when it
  // shows another file or none.
  virtual int RemoveIfSame(const std::string& path, const FileIdentity& identity) = 0;
  // Replaces `to` atomically when it exists.
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  // Puts the names in `folder` (renames, removals) on stable storage.
  virtual int FlushFolder(const std::string& folder) = 0;
  virtual int SetNormalAttributes(const std::string& path) = 0;
  // Creates a new, empty file in `folder` whose name begins with `prefix`; never reuses a name.
  virtual int CreateUniqueFile(const std::string& folder, const std::string& prefix,
                               std::string& path) = 0;

  // Folders and names. With `single_entry` the pattern names one entry; otherwise a pattern that
  // ends in "*" after a separator (or is "*") lists a folder. Null when nothing is found.
  virtual std::unique_ptr<DirectoryScan> StartScan(const std::string& pattern,
                                                   bool single_entry) = 0;
  virtual std::string FullPath(const std::string& path) = 0;
  virtual int TempDirectory(std::string& folder) = 0;
  virtual std::string ExecutableDirectory() = 0;

  // Page-aligned memory for the wipe patterns; null on failure with `error` set.
  virtual void* AllocatePages(std::size_t size, int& error) = 0;
  virtual void FreePages(void* pages, std::size_t size) = 0;

  // Loadable modules.
  virtual ModuleHandle LoadModule(const std::string& path) = 0;
  virtual void* ModuleSymbol(ModuleHandle module, const char* name) = 0;
  virtual void UnloadModule(ModuleHandle module) = 0;
  // Reads the version texts of the module at `path`; a plain file name is looked up the way
  // LoadModule looks it up.
  virtual VersionLookup ReadModuleVersion(const std::string& path, ModuleVersionTexts& texts) = 0;

  // Time.
  virtual bool CounterFrequency(std::int64_t& frequency) = 0;
  virtual std::int64_t Counter() = 0;
  virtual std::int64_t Now() = 0;
  // The local date and time in the user's locale; empty when it does not fit 128 bytes.
  virtual std::string FormatLocalTime(std::int64_t seconds) = 0;

  // The password prompt. Whether standard input is an interactive terminal (a console on
  // Windows); and one line read from it without echo after `prompt`, of which at most
  // `line.size()` bytes are kept while `length` counts them all.
  virtual bool InputIsTerminal() = 0;
  virtual int ReadHiddenLine(std::string_view prompt, std::span<char> line,
                             std::size_t& length) = 0;

  // Keeps the process's memory, which holds the password and keys, out of core dumps and crash
  // reports (and, on Linux, out of reach of debuggers attaching as the same user).
  virtual void DisableCoreDumps() = 0;

  // Console: bytes unchanged but for the line end (a bare "\n" reaches a Windows console as
  // CR LF), flushed at once.
  virtual void Out(std::string_view text) = 0;
  virtual void Err(std::string_view text) = 0;
};

// The real operating system of the build.
std::unique_ptr<Platform> MakeSystemPlatform();

}  // namespace corvalin
