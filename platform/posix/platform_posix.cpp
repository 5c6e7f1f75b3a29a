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
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/module_version_table.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "platform/terminal.h"

namespace corvalin {
namespace {

int Fd(NativeFile file) {
  return static_cast<int>(file);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

FileFacts FactsOf(const struct stat& info) {
  FileFacts facts;
  facts.identity = {static_cast<std::uint64_t>(info.st_dev),
                    static_cast<std::uint64_t>(info.st_ino)};
  facts.size = static_cast<std::uint64_t>(info.st_size);
  facts.modified =
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  facts.permissions = static_cast<std::uint32_t>(info.st_mode & 07777);
  facts.links = static_cast<std::uint32_t>(info.st_nlink);
  facts.regular = S_ISREG(info.st_mode);
  facts.owned = info.st_uid == geteuid();
  return facts;
}

// Locks the open file description and checks that the path still names it: another run may
// have renamed or replaced the file between our open and our lock.
int LockOpened(int fd, const std::string& path, bool exclusive, const struct stat& opened) {
  if (flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) return errno;
  struct stat named {};
  if (lstat(path.c_str(), &named) != 0 || !SameFile(opened, named)) return EWOULDBLOCK;
  return 0;
}

int OpenFlags(OpenMode mode) {
  // Never through a link, never waiting on a FIFO or device, never a controlling terminal.
  const int common = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  switch (mode) {
    case OpenMode::kRead:
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

class PosixScan : public DirectoryScan {
 public:
  PosixScan(std::string folder, DIR* dir) : folder_(std::move(folder)), dir_(dir) {}
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
      const dirent* found = readdir(dir_);
      if (found == nullptr) return false;
      if (Describe(folder_ + found->d_name, found->d_name, entry)) return true;
    }
    return false;
  }

  // Only regular files and folders exist for the finder; links, FIFOs, sockets and devices
  // are skipped, so a walk never follows a link.
  static bool Describe(const std::string& path, std::string name, DirectoryEntry& entry) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return false;
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) return false;
    entry.name = std::move(name);
    entry.is_folder = S_ISDIR(info.st_mode);
    entry.size = entry.is_folder ? 0 : static_cast<std::uint64_t>(info.st_size);
    return true;
  }

 private:
  std::string folder_;
  DIR* dir_ = nullptr;
  DirectoryEntry single_;
  bool has_single_ = false;
};

std::string NormalizeAbsolute(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t next = path.find('/', at);
    if (next == std::string::npos) next = path.size();
    const std::string part = path.substr(at, next - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = next + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  const bool keeps_trailing = !path.empty() && path.back() == '/';
  if (result.empty() || keeps_trailing) result += "/";
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

  int Open(const std::string& path, OpenMode mode, NativeFile& file) override {
    file = kNoFile;
    const int fd = open(path.c_str(), OpenFlags(mode), 0600);
    if (fd < 0) return errno;
    struct stat info {};
    int error = fstat(fd, &info) != 0 ? errno : 0;
    if (error == 0 && !S_ISREG(info.st_mode)) error = EINVAL;
    if (error == 0) error = LockOpened(fd, path, mode != OpenMode::kRead, info);
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
    file = fd;
    return 0;
  }

  void Close(NativeFile file) override {
    if (file != kNoFile) close(Fd(file));
  }

  int Read(NativeFile file, void* data, std::uint32_t count, std::uint32_t& done) override {
    done = 0;
    auto* bytes = static_cast<char*>(data);
    while (done < count) {
      const ssize_t got = read(Fd(file), bytes + done, count - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return errno;
      if (got == 0) break;
      done += static_cast<std::uint32_t>(got);
    }
    return 0;
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

  int Seek(NativeFile file, std::int32_t distance, SeekOrigin origin,
           std::uint32_t& position) override {
    const off_t at = lseek(Fd(file), distance, origin == SeekOrigin::kBegin ? SEEK_SET : SEEK_CUR);
    if (at < 0) return errno;
    position = static_cast<std::uint32_t>(at);
    return 0;
  }

  int Size(NativeFile file, std::uint64_t& size) override {
    struct stat info {};
    if (fstat(Fd(file), &info) != 0) return errno;
    size = static_cast<std::uint64_t>(info.st_size);
    return 0;
  }

  int Flush(NativeFile file) override { return fdatasync(Fd(file)) == 0 ? 0 : errno; }

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

  int Truncate(NativeFile file) override { return ftruncate(Fd(file), 0) == 0 ? 0 : errno; }

  bool ReplacesOpenFiles() const override { return true; }

  int Remove(const std::string& path) override { return unlink(path.c_str()) == 0 ? 0 : errno; }

  // POSIX cannot unlink by identity; the check comes as late as it can, right before the
  // unlink, and the callers hold the file open and locked so that no other run is working on
  // it in between.
  int RemoveIfSame(const std::string& path, const FileIdentity& identity) override {
    FileFacts now;
    if (DescribePath(path, now) != 0 || !(now.identity == identity)) return kOtherFile;
    return unlink(path.c_str()) == 0 ? 0 : errno;
  }

  int Rename(const std::string& from, const std::string& to) override {
    return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }

  int FlushFolder(const std::string& folder) override {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = fsync(fd) == 0 ? 0 : errno;
    close(fd);
    // Some file systems cannot flush a folder; their names reach the disk with the data.
    if (error == EINVAL || error == EROFS) error = 0;
    return error;
  }

  int SetNormalAttributes(const std::string& path) override {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return errno;
    if (S_ISLNK(info.st_mode)) return ELOOP;
    return chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0 ? 0 : errno;
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

  std::unique_ptr<DirectoryScan> StartScan(const std::string& pattern, bool single_entry) override {
    if (pattern.empty() || pattern.size() >= PATH_MAX) return nullptr;
    const std::string folder = FolderPart(pattern);
    const std::string last = FileNamePart(pattern);
    if (!single_entry && last == "*") {
      DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
      if (dir == nullptr) return nullptr;
      return std::make_unique<PosixScan>(folder, dir);
    }
    DirectoryEntry entry;
    if (last.empty() || !PosixScan::Describe(pattern, last, entry)) return nullptr;
    return std::make_unique<PosixScan>(std::move(entry));
  }

  std::string FullPath(const std::string& path) override {
    if (!path.empty() && path[0] == '/') return NormalizeAbsolute(path);
    std::vector<char> cwd(PATH_MAX + 1);
    if (getcwd(cwd.data(), cwd.size()) == nullptr) return path;
    return NormalizeAbsolute(std::string(cwd.data()) + "/" + path);
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

  ModuleHandle LoadModule(const std::string& path) override {
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }

  void* ModuleSymbol(ModuleHandle module, const char* name) override { return dlsym(module, name); }

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
      // A plain name may have come from anywhere on the search path; the loader knows where.
      Dl_info info{};
      const bool named = dladdr(table, &info) != 0 && info.dli_fname != nullptr;
      texts.location = named ? info.dli_fname : path;
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

  std::int64_t Now() override { return static_cast<std::int64_t>(std::time(nullptr)); }

  std::string FormatLocalTime(std::int64_t seconds) override {
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) return std::string();
    char buffer[128];
    const std::size_t length = std::strftime(buffer, sizeof buffer, "%c", &local);
    return std::string(buffer, length);
  }

  bool InputIsTerminal() override { return StandardInputIsTerminal(); }
  int ReadHiddenLine(std::string_view prompt, std::span<char> line, std::size_t& length) override {
    return corvalin::ReadHiddenLine(prompt, line, length);
  }

  void DisableCoreDumps() override { KeepOutOfCoreDumps(); }

  void Out(std::string_view text) override { WriteAll(STDOUT_FILENO, text); }
  void Err(std::string_view text) override { WriteAll(STDERR_FILENO, text); }

 private:
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
