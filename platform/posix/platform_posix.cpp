#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/file.h>
#include <sys/mman.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/interruption.h"
#include "platform/module_image.h"
#include "platform/module_version_table.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "platform/terminal.h"
#include "support/working_names.h"

namespace corvalin {
namespace {

// Moves `name` to a name of this process's own in the same folder (`aside`), never replacing
// anything there. EINVAL or ENOSYS: the file system cannot rename without replacing.
int MoveAside(int folder, const std::string& name, std::string& aside) {
  static const std::string mine = kRemovingPrefix + std::to_string(getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    aside = mine + std::to_string(attempt);
    if (renameat2(folder, name.c_str(), folder, aside.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

// Gives the file under `aside` a name of its own beside `name`'s ("<name>.kept-<pid>-<n>"),
// never replacing anything, when it cannot go back under `name`: under `aside` a later run
// would remove it as a stopped run's leftover; the new name is flushed for the same reason. A
// file under a working name is working data and stays there, as does one for which no such
// name can be had.
void KeepBeside(int folder, const std::string& aside, const std::string& name) {
  if (IsWorkingName(name)) return;
  const std::string tail = ".kept-" + std::to_string(getpid()) + "-";
  for (const std::string& stem : {name, std::string("kept")}) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string kept = stem + tail + std::to_string(attempt);
      if (renameat2(folder, aside.c_str(), folder, kept.c_str(), RENAME_NOREPLACE) == 0) {
        fsync(folder);
        return;
      }
      if (errno == ENAMETOOLONG) break;  // a long name: the short stem
      if (errno != EEXIST) return;
    }
  }
}

int Fd(NativeFile file) {
  return static_cast<int>(file);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The user the process runs as, asked once.
uid_t EffectiveUser() {
  static const uid_t user = geteuid();
  return user;
}

constexpr std::int64_t kNanoseconds = 1000000000;

std::int64_t Stamp(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * kNanoseconds + time.tv_nsec;
}

timespec TimeOf(std::int64_t stamp) {
  std::int64_t seconds = stamp / kNanoseconds, nanoseconds = stamp % kNanoseconds;
  if (nanoseconds < 0) {  // before 1970: the division rounded towards zero
    --seconds;
    nanoseconds += kNanoseconds;
  }
  timespec time{};
  time.tv_sec = static_cast<time_t>(seconds);
  time.tv_nsec = static_cast<long>(nanoseconds);
  return time;
}

FileFacts FactsOf(const struct stat& info) {
  FileFacts facts;
  facts.identity = {static_cast<std::uint64_t>(info.st_dev),
                    static_cast<std::uint64_t>(info.st_ino)};
  facts.size = static_cast<std::uint64_t>(info.st_size);
  facts.modified = Stamp(info.st_mtim);
  facts.accessed = Stamp(info.st_atim);
  facts.permissions = static_cast<std::uint32_t>(info.st_mode & 07777);
  facts.links = static_cast<std::uint32_t>(info.st_nlink);
  facts.regular = S_ISREG(info.st_mode);
  facts.folder = S_ISDIR(info.st_mode);
  facts.link = S_ISLNK(info.st_mode);
  facts.owned = info.st_uid == EffectiveUser();
  facts.owner = static_cast<std::uint32_t>(info.st_uid);
  facts.group = static_cast<std::uint32_t>(info.st_gid);
  return facts;
}

// Whether the name still shows the file just opened and locked: another run may have renamed
// or replaced it between our open and our lock.
int NamesOpened(int folder, const std::string& name, const struct stat& opened) {
  struct stat named {};
  if (fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(opened, named)) {
    return EWOULDBLOCK;
  }
  return 0;
}

int Dir(const Folder& folder) {
  return static_cast<int>(folder.handle);
}

// A folder to work in; one that may be passed through but not read is still good for that.
int OpenDirectory(int parent, const std::string& name, bool no_link) {
  const int flags = O_DIRECTORY | O_CLOEXEC | (no_link ? O_NOFOLLOW : 0);
  const int fd = openat(parent, name.c_str(), flags | O_RDONLY);
  if (fd >= 0 || errno != EACCES) return fd;
  return openat(parent, name.c_str(), flags | O_PATH);
}

int OpenFlags(OpenMode mode) {
  // Never through a link, never waiting on a FIFO or device, never a controlling terminal.
  const int common = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  switch (mode) {
    case OpenMode::kRead:
    case OpenMode::kReadAlone:
      return common | O_RDONLY;
    case OpenMode::kWrite:
      return common | O_WRONLY | O_CREAT;
    case OpenMode::kReadWrite:
      return common | O_RDWR | O_CREAT;
    case OpenMode::kModify:
      break;
  }
  return common | O_RDWR;
}

// Below this size the kernel's default read-ahead already covers the whole file, and the advice
// would only cost a system call.
constexpr off_t kAdviceWorthwhile = 256 * 1024;

// A folder or entry that is gone is passed over without a word; any other failure (closed to
// this user, a path too long, a size that does not fit) leaves files unseen and is said.
bool IsWorthAWord(int error) {
  return error != ENOENT && error != ENOTDIR;
}

// Only regular files and folders exist for the finder; links, FIFOs, sockets and devices are
// skipped, so a walk never follows a link. False when there is nothing to report; an entry
// that exists but cannot be examined is reported with its error.
bool DescribeEntry(const struct stat* info, int error, std::string name, DirectoryEntry& entry) {
  entry = DirectoryEntry{};
  entry.name = std::move(name);
  if (error != 0) {
    entry.error = error;
    return IsWorthAWord(error);
  }
  if (!S_ISREG(info->st_mode) && !S_ISDIR(info->st_mode)) return false;
  entry.is_folder = S_ISDIR(info->st_mode);
  entry.size = entry.is_folder ? 0 : static_cast<std::uint64_t>(info->st_size);
  entry.identity = {static_cast<std::uint64_t>(info->st_dev),
                    static_cast<std::uint64_t>(info->st_ino)};
  return true;
}

class PosixScan : public DirectoryScan {
 public:
  explicit PosixScan(DIR* dir) : dir_(dir) {}
  explicit PosixScan(DirectoryEntry single) : single_(std::move(single)), has_single_(true) {}
  ~PosixScan() override {
    if (dir_ != nullptr) closedir(dir_);
  }
  PosixScan(const PosixScan&) = delete;
  PosixScan& operator=(const PosixScan&) = delete;

  bool Read(DirectoryEntry& entry) override {
    if (has_single_) {
      has_single_ = false;
      entry = single_;
      return true;
    }
    while (dir_ != nullptr) {
      // The end of the folder and a failed read both answer null; only errno tells them apart.
      errno = 0;
      const dirent* found = readdir(dir_);
      if (found == nullptr) {
        error_ = errno;
        return false;
      }
      // Relative to the open folder, so that entries of folders whose own path is near the
      // system's limit can still be examined.
      struct stat info {};
      const int error =
          fstatat(dirfd(dir_), found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
      if (DescribeEntry(&info, error, found->d_name, entry)) return true;
    }
    return false;
  }

  int Error() const override { return error_; }

 private:
  DIR* dir_ = nullptr;
  DirectoryEntry single_;
  bool has_single_ = false;
  int error_ = 0;
};

// "." and ".." as the kernel takes them: ".." leaves the folder the path before it leads to,
// which after a link is not the folder its text names.
std::string ResolveLikeTheSystem(const std::string& absolute) {
  std::string result;  // empty stands for the root
  std::size_t at = 0;
  while (at <= absolute.size()) {
    std::size_t next = absolute.find('/', at);
    if (next == std::string::npos) next = absolute.size();
    const std::string part = absolute.substr(at, next - at);
    at = next + 1;
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      result += "/" + part;
      continue;
    }
    if (result.empty()) continue;
    if (char* real = realpath(result.c_str(), nullptr)) {
      result = std::strcmp(real, "/") == 0 ? std::string() : std::string(real);
      std::free(real);
    }
    // A link to the root resolves to it, and ".." of the root is the root.
    const std::size_t parent = result.rfind('/');
    result.erase(parent == std::string::npos ? 0 : parent);
  }
  const bool folder =
      absolute.back() == '/' || FileNamePart(absolute) == "." || FileNamePart(absolute) == "..";
  if (result.empty() || folder) result += "/";
  return result;
}

// Every file allocates and frees 144 KiB streaming buffers. Left to itself, glibc hands such
// blocks back to the system on every free (unmapping them, or trimming the heap), so each small
// file faults a hundred fresh pages in again; that cost more than the file's cipher work. Kept
// on the heap and untrimmed, the same pages serve every file of the run, and the peak stays
// what one file needs.
void KeepStreamingBuffersResident() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 4 * 1024 * 1024);
#endif
}

void KeepOutOfCoreDumps() {
  const rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
#if defined(__linux__)
  // A core pipe handler (systemd-coredump, apport) ignores the size limit; this does not.
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

class PosixPlatform : public Platform {
 public:
  PosixPlatform() {
    std::setlocale(LC_TIME, "");
    KeepStreamingBuffersResident();
  }

  int Open(const std::string& path, OpenMode mode, NativeFile& file, FileFacts& facts) override {
    return OpenAt(AT_FDCWD, path, mode, file, facts);
  }

  void Close(NativeFile file) override {
    if (file != kNoFile) close(Fd(file));
  }

  // Only regular files are opened, and a regular file reads short only at its end: a short
  // read ends the call, as ReadFile does, instead of costing a second call to learn of the end.
  int Read(NativeFile file, void* data, std::uint32_t count, std::uint32_t& done) override {
    done = 0;
    for (;;) {
      const ssize_t got = read(Fd(file), data, count);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return errno;
      done = static_cast<std::uint32_t>(got);
      return 0;
    }
  }

  int ReadAt(NativeFile file, std::uint64_t offset, void* data, std::uint32_t count,
             std::uint32_t& done) override {
    done = 0;
    for (;;) {
      const ssize_t got = pread(Fd(file), data, count, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return errno;
      done = static_cast<std::uint32_t>(got);
      return 0;
    }
  }

  int Write(NativeFile file, const void* data, std::uint32_t count, std::uint32_t& done) override {
    done = 0;
    const auto* bytes = static_cast<const char*>(data);
    while (done < count) {
      const ssize_t put = write(Fd(file), bytes + done, count - done);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return errno;
      if (put == 0) return EIO;
      done += static_cast<std::uint32_t>(put);
    }
    return 0;
  }

  int Seek(NativeFile file, std::int64_t distance, SeekOrigin origin,
           std::uint64_t& position) override {
    const off_t at = lseek(Fd(file), static_cast<off_t>(distance),
                           origin == SeekOrigin::kBegin ? SEEK_SET : SEEK_CUR);
    if (at < 0) return errno;
    position = static_cast<std::uint64_t>(at);
    return 0;
  }

  int Size(NativeFile file, std::uint64_t& size) override {
    struct stat info {};
    if (fstat(Fd(file), &info) != 0) return errno;
    size = static_cast<std::uint64_t>(info.st_size);
    return 0;
  }

  int Flush(NativeFile file) override { return fdatasync(Fd(file)) == 0 ? 0 : errno; }

  void StartWriteBack(NativeFile file, std::uint64_t offset, std::uint64_t length) override {
#if defined(__linux__)
    sync_file_range(Fd(file), static_cast<off_t>(offset), static_cast<off_t>(length),
                    SYNC_FILE_RANGE_WRITE);
#else
    (void)file, (void)offset, (void)length;
#endif
  }

  int Describe(NativeFile file, FileFacts& facts) override {
    struct stat info {};
    if (fstat(Fd(file), &info) != 0) return errno;
    facts = FactsOf(info);
    return 0;
  }

  int DescribePath(const std::string& path, FileFacts& facts) override {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return errno;
    facts = FactsOf(info);
    return 0;
  }

  int SetPermissions(NativeFile file, std::uint32_t permissions) override {
    return fchmod(Fd(file), static_cast<mode_t>(permissions)) == 0 ? 0 : errno;
  }

  int SetTimes(NativeFile file, std::int64_t accessed, std::int64_t modified) override {
    const timespec times[2] = {TimeOf(accessed), TimeOf(modified)};
    return futimens(Fd(file), times) == 0 ? 0 : errno;
  }

  int SetOwner(NativeFile file, std::uint32_t owner, std::uint32_t group) override {
    return fchown(Fd(file), static_cast<uid_t>(owner), static_cast<gid_t>(group)) == 0 ? 0 : errno;
  }

  int NextData(NativeFile file, std::uint64_t from, std::uint64_t& start,
               std::uint64_t& end) override {
    struct stat info {};
    if (fstat(Fd(file), &info) != 0) return errno;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    start = end = size;
    if (from >= size) return 0;
    const off_t data = lseek(Fd(file), static_cast<off_t>(from), SEEK_DATA);
    if (data < 0) {
      // ENXIO: no data after `from`; any other failure: a system that cannot tell.
      if (errno != ENXIO) start = from;
      return 0;
    }
    const off_t hole = lseek(Fd(file), data, SEEK_HOLE);
    start = static_cast<std::uint64_t>(data);
    end = hole < 0 ? size : std::min(size, static_cast<std::uint64_t>(hole));
    return 0;
  }

  int Truncate(NativeFile file) override {
    if (ftruncate(Fd(file), 0) != 0 || lseek(Fd(file), 0, SEEK_SET) != 0) return errno;
    return 0;
  }

  bool ReplacesOpenFiles() const override {
    return true;
  }

  int Remove(const std::string& path) override {
    return unlink(path.c_str()) == 0 ? 0 : errno;
  }

  int Rename(const std::string& from, const std::string& to) override {
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }

  int OpenFolder(const std::string& path, std::size_t trusted, Folder& folder) override {
    folder = Folder{};
    const std::size_t split = std::min(trusted, path.size());
    const std::string typed = path.substr(0, split);
    int fd = OpenDirectory(AT_FDCWD, typed.empty() ? "/" : typed, false);
    if (fd < 0) return errno;
    struct stat reached {};
    if (fstat(fd, &reached) != 0) {
      const int error = errno;
      close(fd);
      return error;
    }
    folder.reached = FactsOf(reached).identity;
    // Below what the user typed, each folder is opened inside the one before it and never
    // through a link, so no swap of a folder for a link can lead the run elsewhere.
    for (std::size_t at = split; at < path.size();) {
      std::size_t next = path.find('/', at);
      if (next == std::string::npos) next = path.size();
      const std::string part = path.substr(at, next - at);
      at = next + 1;
      if (part.empty()) continue;
      const int inner = OpenDirectory(fd, part, true);
      const int error = errno;
      close(fd);
      if (inner < 0) return error == ELOOP || error == ENOTDIR ? kFolderBecameLink : error;
      fd = inner;
    }
    folder.handle = fd;
    folder.path = path.empty() || path.back() != '/' ? path + "/" : path;
    return 0;
  }

  void CloseFolder(Folder& folder) override {
    if (folder.handle != kNoFolder) close(Dir(folder));
    folder = Folder{};
  }

  int OpenIn(const Folder& folder, const std::string& name, OpenMode mode, NativeFile& file,
             FileFacts& facts) override {
    return OpenAt(Dir(folder), name, mode, file, facts);
  }

  int DescribeIn(const Folder& folder, const std::string& name, FileFacts& facts) override {
    struct stat info {};
    if (fstatat(Dir(folder), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    facts = FactsOf(info);
    return 0;
  }

  int RenameIn(const Folder& folder, const std::string& from, const std::string& to,
               const FileIdentity* replacing) override {
    if (replacing != nullptr) return ReplaceIn(folder, from, to, *replacing);
    if (renameat2(Dir(folder), from.c_str(), Dir(folder), to.c_str(), RENAME_NOREPLACE) == 0) {
      return 0;
    }
    if (errno == EEXIST) return kNameTaken;
    // A file system that cannot promise not to replace: look, then rename.
    if (errno != EINVAL && errno != ENOSYS) return errno;
    FileFacts there;
    if (DescribeIn(folder, to, there) == 0) return kNameTaken;
    return renameat(Dir(folder), from.c_str(), Dir(folder), to.c_str()) == 0 ? 0 : errno;
  }

  // Looked at and then renamed over, the name could show another file in between (another
  // run's output just put there), and that file would go. So the two names are exchanged
  // atomically: what came out from under `to` stays under `from` only if it is the file meant
  // (for the caller to remove), and is exchanged back otherwise. No file is without a name at
  // any moment.
  int ReplaceIn(const Folder& folder, const std::string& from, const std::string& to,
                const FileIdentity& replacing) {
    const int dir = Dir(folder);
    if (renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_EXCHANGE) != 0) {
      if (errno == ENOENT) return kOtherFile;
      if (errno != EINVAL && errno != ENOSYS) return errno;
      // A file system that cannot exchange names: the look has to do.
      FileFacts there;
      if (DescribeIn(folder, to, there) != 0 || !(there.identity == replacing)) return kOtherFile;
      return renameat(dir, from.c_str(), dir, to.c_str()) == 0 ? 0 : errno;
    }
    FileFacts out;
    if (DescribeIn(folder, from, out) == 0 && out.identity == replacing) return 0;
    renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_EXCHANGE);
    return kOtherFile;
  }

  // POSIX cannot unlink by identity. Checked and then unlinked, a name could show another
  // file in between (another run's output just renamed there), and that file would go. So the
  // name is first moved to one no one else uses, atomically taking whatever it shows; that is
  // removed only if it is the file meant, and put back otherwise.
  int RemoveIn(const Folder& folder, const std::string& name, const FileIdentity& identity,
               const FileFacts* as_read) override {
    FileFacts now;
    if (DescribeIn(folder, name, now) != 0 || !(now.identity == identity)) return kOtherFile;
    if (ChangedSince(as_read, now)) return kFileChanged;
    std::string aside;
    const int moved = MoveAside(Dir(folder), name, aside);
    if (moved == EINVAL || moved == ENOSYS) {
      // A file system that cannot rename without replacing: the check above has to do.
      return unlinkat(Dir(folder), name.c_str(), 0) == 0 ? 0 : errno;
    }
    if (moved == ENOENT) return kOtherFile;
    if (moved != 0) return moved;
    // Moved aside, the file can no longer be opened by its name; what a writer still added
    // before that shows here, and keeps it.
    int outcome = kOtherFile;
    if (DescribeIn(folder, aside, now) == 0 && now.identity == identity) {
      if (ChangedSince(as_read, now)) {
        outcome = kFileChanged;
      } else if (unlinkat(Dir(folder), aside.c_str(), 0) == 0) {
        return 0;
      } else {
        outcome = errno;
      }
    }
    // Back under its name. It may be the only copy of what it holds (a source that changed
    // after its container was made, or another file the move took): should the name be taken
    // once more, it keeps a name of its own beside it.
    if (renameat2(Dir(folder), aside.c_str(), Dir(folder), name.c_str(), RENAME_NOREPLACE) != 0) {
      const int error = errno;
      KeepBeside(Dir(folder), aside, name);
      return error;
    }
    return outcome;
  }

  int RemoveOpenIn(const Folder& folder, const std::string& name, NativeFile,
                   const FileIdentity& identity, const FileFacts* as_read) override {
    return RemoveIn(folder, name, identity, as_read);
  }

  int FlushFolder(const Folder& folder) override {
    int error = fsync(Dir(folder)) == 0 ? 0 : errno;
    // A folder opened only to pass through, or a file system that cannot flush a folder: its
    // names reach the disk with the data.
    if (error == EBADF || error == EINVAL || error == EROFS) error = 0;
    return error;
  }

  int SetNormalAttributesIn(const Folder&, const std::string&, NativeFile file) override {
    struct stat info {};
    if (fstat(Fd(file), &info) != 0) return errno;
    return fchmod(Fd(file), (info.st_mode & 07777) | S_IWUSR) == 0 ? 0 : errno;
  }

  int CreateUniqueFile(const std::string& folder, const std::string& prefix,
                       std::string& path) override {
    std::string name = folder + prefix + "XXXXXX";
    const int fd = mkstemp(name.data());  // O_EXCL, mode 0600
    if (fd < 0) return errno;
    close(fd);
    path = name;
    return 0;
  }

  int CreateAnonymousFile(const std::string& folder, const std::string& prefix, std::string& path,
                          NativeFile& file) override {
    std::string name = folder + prefix + "XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);  // O_EXCL, mode 0600
    if (fd < 0) return errno;
    int error = flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    if (error == 0 && unlink(name.c_str()) != 0) error = errno;
    if (error != 0) {
      unlink(name.c_str());
      close(fd);
      return error;
    }
    path = name;
    file = fd;
    return 0;
  }

  std::unique_ptr<DirectoryScan> StartScan(const std::string& pattern, bool single_entry,
                                           int& error) override {
    error = ENOENT;
    if (pattern.empty()) return nullptr;
    const std::string folder = FolderPart(pattern);
    const std::string last = FileNamePart(pattern);
    if (!single_entry && last == "*") {
      DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
      if (dir == nullptr) {
        error = IsWorthAWord(errno) ? errno : 0;
        return nullptr;
      }
      error = 0;
      return std::make_unique<PosixScan>(dir);
    }
    if (last.empty()) return nullptr;
    struct stat info {};
    const int found = lstat(pattern.c_str(), &info) == 0 ? 0 : errno;
    DirectoryEntry entry;
    if (!DescribeEntry(&info, found, last, entry)) {
      error = found != 0 ? found : EINVAL;
      return nullptr;
    }
    error = 0;
    return std::make_unique<PosixScan>(std::move(entry));
  }

  bool FolderExists(const std::string& path) override {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }

  std::string FullPath(const std::string& path) override {
    if (!path.empty() && path[0] == '/') return ResolveLikeTheSystem(path);
    // getcwd with no buffer of our own reaches working folders deeper than PATH_MAX.
    char* cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) return path;
    std::string absolute = std::string(cwd) + "/" + path;
    std::free(cwd);
    return ResolveLikeTheSystem(absolute);
  }

  int TempDirectory(std::string& folder) override {
    const char* tmp = std::getenv("TMPDIR");
    folder = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
    if (folder.back() != '/') folder += '/';
    return 0;
  }

  std::string ExecutableDirectory() override {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t got = readlink("/proc/self/exe", buffer.data(), PATH_MAX);
    if (got <= 0) return std::string();
    return FolderPart(std::string(buffer.data(), static_cast<std::size_t>(got)));
  }

  std::string ErrorText(int error) override {
    return std::strerror(error);
  }

  void* AllocatePages(std::size_t size, int& error) override {
    void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) {
      error = errno;
      return nullptr;
    }
    return pages;
  }

  void FreePages(void* pages, std::size_t size) override {
    if (pages != nullptr) munmap(pages, size);
  }

  // An absolute path never reaches the library search path; it is checked before it is mapped.
  ModuleHandle LoadModule(const std::string& path) override {
    if (path.empty() || path[0] != '/' || !IsLoadableImage(path)) return nullptr;
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }

  void* ModuleSymbol(ModuleHandle module, const char* name) override {
    return dlsym(module, name);
  }

  void UnloadModule(ModuleHandle module) override {
    if (module != nullptr) dlclose(module);
  }

  VersionLookup ReadModuleVersion(const std::string& path, ModuleVersionTexts& texts) override {
    ModuleHandle module = LoadModule(path);
    if (module == nullptr) return VersionLookup::kNotFound;
    const auto* table =
        static_cast<const CorvalinVersionTable*>(ModuleSymbol(module, kModuleVersionSymbol));
    VersionLookup result = VersionLookup::kNoVersionInfo;
    if (table != nullptr) {
      result = VersionLookup::kOk;
      texts.translation = table->translation;
      for (std::uint32_t i = 0; i < table->count; ++i) {
        texts.strings[table->entries[i].key] = table->entries[i].value;
      }
    }
    UnloadModule(module);
    return result;
  }

  bool CounterFrequency(std::int64_t& frequency) override {
    frequency = 1000000000;
    return true;
  }

  std::int64_t Counter() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  }

  std::int64_t Now() override {
    return static_cast<std::int64_t>(std::time(nullptr));
  }

  std::string FormatLocalTime(std::int64_t seconds) override {
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return std::string();
    char buffer[128];
    const std::size_t length = std::strftime(buffer, sizeof buffer, "%c", &local);
    return std::string(buffer, length);
  }

  bool HasTerminal() override {
    return TerminalAvailable();
  }
  int ReadHiddenLine(std::string_view prompt, std::span<char> line, std::size_t& length) override {
    return corvalin::ReadHiddenLine(prompt, line, length);
  }

  int ReadFirstLine(const std::string& path, std::span<char> line, std::size_t& length) override {
    length = 0;
    int fd = STDIN_FILENO;
    if (!path.empty()) {
      fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
      if (fd < 0) return errno;
    }
    int error = 0;
    // A byte at a time: what follows the line stays for whoever reads the descriptor next.
    for (char c = 0; length <= line.size();) {
      const ssize_t got = read(fd, &c, 1);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) error = errno;
      if (got <= 0 || c == '\n') break;
      if (length < line.size()) line[length] = c;
      ++length;
    }
    if (fd != STDIN_FILENO) close(fd);
    return error;
  }

  void WatchInterruptions() override {
    corvalin::WatchInterruptions();
  }
  int TakeInterruption() override {
    return corvalin::TakeInterruption();
  }
  int Interruption() override {
    return NotedInterruption();
  }

  unsigned ProcessorCount() override {
#if defined(__linux__)
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 0) {
      return static_cast<unsigned>(CPU_COUNT(&cpus));
    }
#endif
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
  }

  bool ProcessRunning(std::uint32_t id) override {
    return kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
  }

  void DisableCoreDumps() override {
    KeepOutOfCoreDumps();
  }

  void Out(std::string_view text) override {
    WriteAll(STDOUT_FILENO, text);
  }
  void Err(std::string_view text) override {
    WriteAll(STDERR_FILENO, text);
  }

 private:
  // `name` in the folder `folder` (AT_FDCWD: a path).
  static int OpenAt(int folder, const std::string& name, OpenMode mode, NativeFile& file,
                    FileFacts& facts) {
    file = kNoFile;
    const int fd = openat(folder, name.c_str(), OpenFlags(mode), 0600);
    if (fd < 0) return errno;
    struct stat info {};
    int error = fstat(fd, &info) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(info.st_mode)) error = EINVAL;
    // A reader holds its file open until it is done; whether the name still shows it is
    // checked where it matters, before anything is removed by that name. A writer must know
    // at once that the file it is about to empty is the one named.
    const bool exclusive = mode != OpenMode::kRead;
    if (error == 0 && flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) error = errno;
    if (error == 0 && exclusive) error = NamesOpened(folder, name, info);
    // Only a file with contents needs emptying: truncating an empty one makes ext4 treat it as
    // replaced by truncation and write the whole output back at close.
    if (error == 0 && mode == OpenMode::kWrite && info.st_size > 0 && ftruncate(fd, 0) != 0) {
      error = errno;
    }
    if (error != 0) {
      close(fd);
      return error;
    }
    if (mode == OpenMode::kRead && info.st_size >= kAdviceWorthwhile) {
      posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    if (mode == OpenMode::kWrite) info.st_size = 0;
    facts = FactsOf(info);
    file = fd;
    return 0;
  }

  static void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
      const ssize_t put = write(fd, text.data(), text.size());
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return;  // console failures are not reported
      text.remove_prefix(static_cast<std::size_t>(put));
    }
  }
};

}  // namespace

std::unique_ptr<Platform> MakeSystemPlatform() {
  return std::make_unique<PosixPlatform>();
}

}  // namespace corvalin
