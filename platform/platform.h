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

// On POSIX the shell expands wildcards into one argument per file, and scripts judge a run by
// its exit status; a Windows console does neither, and batch files may rely on the status 0 of
// a completed run.
#ifdef _WIN32
inline constexpr bool kShellConventions = false;
#else
inline constexpr bool kShellConventions = true;
#endif

// A file descriptor on POSIX, a HANDLE on Windows. kNoFile is never a valid open file.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

using ModuleHandle = void*;

// Read shares a lock with other readers; the others hold it alone. Write creates or empties,
// read-write opens or creates and keeps the contents, modify opens an existing file only, and
// read-alone reads an existing file no other open holds.
enum class OpenMode { kRead = 0, kWrite = 1, kReadWrite = 2, kModify = 3, kReadAlone = 4 };
enum class SeekOrigin { kBegin = 0, kCurrent = 1 };

// Who a file is, whatever it is called now: device and inode on POSIX, volume serial number
// and file index on Windows. Two names show the same file exactly when their identities match.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

// What the platform tells of one file.
struct FileFacts {
  FileIdentity identity;
  std::uint64_t size = 0;
  // The platform's own stamps (nanoseconds on POSIX, FILETIME units on Windows): compared for
  // equality, and handed back to SetTimes.
  std::int64_t modified = 0;
  std::int64_t accessed = 0;
  std::uint32_t permissions = 0;  // POSIX mode bits (07777); Windows attributes
  std::uint32_t links = 1;
  bool regular = false;  // a plain file: no folder, link, FIFO, socket or device
  bool folder = false;
  bool link = false;                   // a symbolic link (a reparse point on Windows)
  bool owned = true;                   // owned by the user the process runs as
  std::uint32_t owner = 0, group = 0;  // POSIX user and group ids; 0 on Windows
};

// Whether the file now described is no longer as it was read (nothing read: never).
inline bool ChangedSince(const FileFacts* as_read, const FileFacts& now) {
  return as_read != nullptr && (now.size != as_read->size || now.modified != as_read->modified);
}

// Where a removal moves a name aside first (POSIX), in the same folder: the prefix of a name of
// the process's own, "~aes-removing-<pid>-<n>". A run killed in between leaves the file there.
inline constexpr const char* kRemovingPrefix = "~aes-removing-";

// The answer of a removal when the name no longer shows the file (another file, or nothing).
inline constexpr int kOtherFile = -1;
// OpenFolder's answer when a folder below the trusted part of the path is a link (or no folder).
inline constexpr int kFolderBecameLink = -2;
// RenameIn's answer when it may not replace and the name is taken.
inline constexpr int kNameTaken = -3;
// A removal's answer when the file is no longer as it was read: it stays under its name.
inline constexpr int kFileChanged = -4;

// A folder the run works in, held open: every name in it is looked up in that very folder,
// whatever becomes of the path that led there (a folder swapped for a link, say).
using NativeFolder = std::intptr_t;
inline constexpr NativeFolder kNoFolder = -1;
struct Folder {
  NativeFolder handle = kNoFolder;
  std::string path;      // ends with the separator; names the folder in messages (and in calls on
                         // Windows, whose file calls take paths)
  FileIdentity reached;  // the folder the trusted part of the path led to
};

struct DirectoryEntry {
  std::string name;
  bool is_folder = false;
  std::uint64_t size = 0;
  FileIdentity identity;  // all zero where the scan does not tell it (Windows)
  int error = 0;          // the entry exists but could not be examined: the platform's error
};

// One directory search. A pattern is either a folder followed by a separator and "*" (every
// entry of the folder, "." and ".." included) or the path of one entry.
class DirectoryScan {
 public:
  virtual ~DirectoryScan() = default;
  // Fills the next entry; false when there is none left, or none could be read (see Error).
  virtual bool Read(DirectoryEntry& entry) = 0;
  // Why the last Read gave nothing although the folder may hold more entries (a read of the
  // folder failed); 0 when the scan reached its end.
  virtual int Error() const = 0;
};

// How far the version texts of a module could be read, in the order a reader meets them.
// kNotFound: there is no such module to look at.
enum class VersionLookup { kOk, kNoVersionInfo, kUnreadable, kNoLength, kNoTranslation, kNotFound };

// The version texts a module carries, keyed by name ("FileVersion", "PrivateBuild", ...).
struct ModuleVersionTexts {
  std::uint32_t translation = 0;  // language in the low 16 bits, code page in the high 16 bits
  std::map<std::string, std::string> strings;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Files. Only regular files open, never through a link in the last place of the path, and
  // never waiting (a FIFO or device is an open failure). Write empties the file only once
  // the lock is held.
  // `facts` are the file's as it was opened.
  virtual int Open(const std::string& path, OpenMode mode, NativeFile& file, FileFacts& facts) = 0;
  virtual void Close(NativeFile file) = 0;
  virtual int Read(NativeFile file, void* data, std::uint32_t count, std::uint32_t& done) = 0;
  virtual int Write(NativeFile file, const void* data, std::uint32_t count,
                    std::uint32_t& done) = 0;
  // Reads from `offset` on, whatever the file's position (which it may move).
  virtual int ReadAt(NativeFile file, std::uint64_t offset, void* data, std::uint32_t count,
                     std::uint32_t& done) = 0;
  // Positions are 64-bit on every platform, whatever the size of the program's own words.
  virtual int Seek(NativeFile file, std::int64_t distance, SeekOrigin origin,
                   std::uint64_t& position) = 0;
  virtual int Size(NativeFile file, std::uint64_t& size) = 0;
  // Puts the file's data on stable storage.
  virtual int Flush(NativeFile file) = 0;
  // Starts writing a range of the file to the device without waiting for it, so that a later
  // Flush finds little left to do; nothing where the platform cannot.
  virtual void StartWriteBack(NativeFile file, std::uint64_t offset, std::uint64_t length) = 0;
  virtual int Describe(NativeFile file, FileFacts& facts) = 0;
  // Describes what the name shows itself, never what a link points to.
  virtual int DescribePath(const std::string& path, FileFacts& facts) = 0;
  // Sets the permission bits of an open file (POSIX); nothing on Windows.
  virtual int SetPermissions(NativeFile file, std::uint32_t permissions) = 0;
  // Gives an open file the access and modification stamps of FileFacts.
  virtual int SetTimes(NativeFile file, std::int64_t accessed, std::int64_t modified) = 0;
  // Gives an open file to `owner` and `group` (POSIX, where the process may: root or
  // CAP_CHOWN); nothing on Windows.
  virtual int SetOwner(NativeFile file, std::uint32_t owner, std::uint32_t group) = 0;
  // The first range of the file's data at or after `from`, [start, end): holes of a sparse
  // file lie between such ranges. start == end at the end of the data. Where the platform cannot
  // tell, all the rest is data.
  virtual int NextData(NativeFile file, std::uint64_t from, std::uint64_t& start,
                       std::uint64_t& end) = 0;
  // Empties the file and puts its position back at the start.
  virtual int Truncate(NativeFile file) = 0;
  // Whether a rename may replace a file that is held open. Both platforms rename and remove a
  // file while its holder keeps it (and its lock) open; only POSIX lets a rename replace one:
  // Windows refuses while any handle to the target is open.
  virtual bool ReplacesOpenFiles() const = 0;

  virtual int Remove(const std::string& path) = 0;
  // Replaces `to` atomically when it exists.
  virtual int Rename(const std::string& from, const std::string& to) = 0;

  // Files by name inside a held folder, the way the life of one file handles them. Names are
  // single components. OpenFolder follows links in the first `trusted` bytes of `path` (the
  // part the user typed) and answers kFolderBecameLink for a link below them. `reached` tells
  // where the trusted part led, for a caller that knows where it led before.
  virtual int OpenFolder(const std::string& path, std::size_t trusted, Folder& folder) = 0;
  virtual void CloseFolder(Folder& folder) = 0;
  virtual int OpenIn(const Folder& folder, const std::string& name, OpenMode mode, NativeFile& file,
                     FileFacts& facts) = 0;
  // Describes what the name shows itself, never what a link points to.
  virtual int DescribeIn(const Folder& folder, const std::string& name, FileFacts& facts) = 0;
  // Without `replacing`, fails with kNameTaken when `to` exists. With it, puts `from` in place
  // of that file and of no other: when `to` shows another file or none by then, nothing
  // changes and the answer is kOtherFile. The file replaced is then under `from` where the
  // platform exchanges the two names (POSIX), so that the caller removes it once the new name
  // is on stable storage, or gone already (Windows).
  virtual int RenameIn(const Folder& folder, const std::string& from, const std::string& to,
                       const FileIdentity* replacing) = 0;
  // Removes the name only while it still shows the file `identity` names; kOtherFile when it
  // shows another file or none. With `as_read`, only while the file also has that size and
  // modification time (kFileChanged otherwise): a writer may have appended to it since it was
  // last looked at, and what it wrote would go with the name.
  virtual int RemoveIn(const Folder& folder, const std::string& name, const FileIdentity& identity,
                       const FileFacts* as_read) = 0;
  // The same for a file held open for writing, which stays usable (to be overwritten) until it
  // is closed; whatever happens then, the name is gone.
  virtual int RemoveOpenIn(const Folder& folder, const std::string& name, NativeFile file,
                           const FileIdentity& identity, const FileFacts* as_read) = 0;
  // Puts the folder's names (renames, removals) on stable storage.
  virtual int FlushFolder(const Folder& folder) = 0;
  // Gives the owner write access (POSIX) or clears read-only, hidden and system (Windows), on
  // the open file where the platform can.
  virtual int SetNormalAttributesIn(const Folder& folder, const std::string& name,
                                    NativeFile file) = 0;

  // Creates a new, empty file in `folder` whose name begins with `prefix`; never reuses a name.
  virtual int CreateUniqueFile(const std::string& folder, const std::string& prefix,
                               std::string& path) = 0;
  // Creates a new file as CreateUniqueFile does, open for reading and writing and held alone,
  // that loses its name at once (POSIX) or when it is closed (Windows): it outlives the process
  // in no case. `path` is the name it was made under.
  virtual int CreateAnonymousFile(const std::string& folder, const std::string& prefix,
                                  std::string& path, NativeFile& file) = 0;

  // Folders and names. With `single_entry` the pattern names one entry; otherwise a pattern that
  // ends in "*" after a separator (or is "*") lists a folder. Null when nothing is found, with
  // `error` set to why.
  virtual std::unique_ptr<DirectoryScan> StartScan(const std::string& pattern, bool single_entry,
                                                   int& error) = 0;
  // Whether `path` is a folder, following links as the system does for a typed path.
  virtual bool FolderExists(const std::string& path) = 0;
  // The absolute path the system means by `path`: "." and ".." taken as it takes them, also
  // after a link; a trailing separator kept.
  virtual std::string FullPath(const std::string& path) = 0;
  virtual int TempDirectory(std::string& folder) = 0;
  virtual std::string ExecutableDirectory() = 0;

  // What the platform's error number `error` means, in the system's own words (no line end).
  virtual std::string ErrorText(int error) = 0;

  // Page-aligned memory for the wipe patterns; null on failure with `error` set.
  virtual void* AllocatePages(std::size_t size, int& error) = 0;
  virtual void FreePages(void* pages, std::size_t size) = 0;

  // Loadable modules, by absolute path only: anything else loads nothing, so that no search of
  // the system's (the current folder among its places) can choose the code that runs.
  virtual ModuleHandle LoadModule(const std::string& path) = 0;
  virtual void* ModuleSymbol(ModuleHandle module, const char* name) = 0;
  virtual void UnloadModule(ModuleHandle module) = 0;
  // Reads the version texts of the module at the absolute `path` (kNotFound for any other).
  virtual VersionLookup ReadModuleVersion(const std::string& path, ModuleVersionTexts& texts) = 0;

  // Time.
  virtual bool CounterFrequency(std::int64_t& frequency) = 0;
  virtual std::int64_t Counter() = 0;
  virtual std::int64_t Now() = 0;
  // The local date and time in the user's locale; empty when it does not fit 128 bytes.
  virtual std::string FormatLocalTime(std::int64_t seconds) = 0;

  // The password prompt. Whether there is a terminal to ask on: standard input, or else the
  // process's controlling terminal (the console on Windows), as when standard input is a pipe;
  // and one line read from it without echo after `prompt`, of which at most `line.size()`
  // bytes are kept while `length` counts them all.
  virtual bool HasTerminal() = 0;
  virtual int ReadHiddenLine(std::string_view prompt, std::span<char> line,
                             std::size_t& length) = 0;
  // The password a script gives: the first line of the file at `path`, or of standard input
  // when `path` is empty, without its "\n". Unlike Open this follows links and reads pipes and
  // devices as they come (/dev/fd/N names a descriptor the caller holds), and it reads
  // nothing past the line end. At most `line.size()` bytes are kept; `length` counts the
  // bytes before the line end, up to one more than are kept.
  virtual int ReadFirstLine(const std::string& path, std::span<char> line, std::size_t& length) = 0;

  // Interruption (Ctrl+C, SIGTERM, SIGHUP, a closed console) is noted instead of obeyed at once,
  // so that the run can put things back; a second one ends the process. A broken pipe on the
  // console is ignored. TakeInterruption answers the signal once, then 0; Interruption answers
  // it for good.
  virtual void WatchInterruptions() = 0;
  virtual int TakeInterruption() = 0;
  virtual int Interruption() = 0;

  // The processors this process may run on (its CPU affinity on Linux, the active processors
  // on Windows); at least 1.
  virtual unsigned ProcessorCount() = 0;

  // Whether a process of this id runs now (one of another user's counts); true when the
  // platform cannot tell.
  virtual bool ProcessRunning(std::uint32_t id) = 0;

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
