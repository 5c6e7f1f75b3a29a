#include <fcntl.h>
#include <io.h>
#include <time.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/console_text.h"
#include "platform/interruption.h"
#include "platform/module_image.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "platform/terminal.h"

namespace corvalin {
namespace {

HANDLE Handle(NativeFile file) {
  return reinterpret_cast<HANDLE>(file);
}
int LastError() {
  return static_cast<int>(GetLastError());
}

constexpr std::size_t kMaxPattern = 260;

// A drive and a backslash (C:\...) or a UNC or device path (\\server\..., \\?\...);
// anything else Windows resolves against the current folder or a search path.
bool IsAbsolute(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') return true;
  return path.size() >= 2 && path[0] == '\\' && path[1] == '\\';
}

// The search runs on the file system's own names and gives each in the ANSI code page, as
// FindFirstFileA would, but never best fit: FindFirstFileA may write a character the code page
// lacks as a look-alike (a Greek omega as "O"), which names another file or none. Here such a
// character becomes '?', which no real name holds, so the name is known to be inexact.
std::wstring Wide(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string AnsiName(const wchar_t* name) {
  const bool utf8 = GetACP() == CP_UTF8;  // takes every character; no flags allowed
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char* substitute = utf8 ? nullptr : "?";
  const int length = WideCharToMultiByte(CP_ACP, flags, name, -1, nullptr, 0, substitute, nullptr);
  if (length <= 1) return std::string();
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, flags, name, -1, text.data(), length, substitute, nullptr);
  text.pop_back();  // the terminator
  return text;
}

// With `only` set, the scan shows just the entries of exactly that name.
class Win32Scan : public DirectoryScan {
 public:
  Win32Scan(HANDLE find, const WIN32_FIND_DATAW& first, std::string only)
      : find_(find), data_(first), only_(std::move(only)) {
    pending_ = Shown() || Next();
  }
  ~Win32Scan() override { FindClose(find_); }
  Win32Scan(const Win32Scan&) = delete;
  Win32Scan& operator=(const Win32Scan&) = delete;

  bool Empty() const { return !pending_; }

  bool Read(DirectoryEntry& entry) override {
    if (!pending_) return false;
    entry = DirectoryEntry{};  // nothing of an entry read before it
    entry.name = AnsiName(data_.cFileName);
    entry.is_folder = (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.size = (static_cast<std::uint64_t>(data_.nFileSizeHigh) << 32) | data_.nFileSizeLow;
    pending_ = Next();
    return true;
  }

  int Error() const override { return error_; }

 private:
  bool Shown() const { return only_.empty() || only_ == AnsiName(data_.cFileName); }
  // Moves to the next entry the scan shows; false when there is none, or the search failed.
  bool Next() {
    while (FindNextFileW(find_, &data_)) {
      if (Shown()) return true;
    }
    const int failure = LastError();
    if (failure != ERROR_NO_MORE_FILES) error_ = failure;
    return false;
  }

  HANDLE find_;
  WIN32_FIND_DATAW data_;
  std::string only_;
  bool pending_ = false;  // data_ holds an entry not read yet
  int error_ = 0;
};

struct OpenParameters {
  DWORD access, sharing, disposition, flags;
};

std::int64_t Stamp(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

FILETIME TimeOf(std::int64_t stamp) {
  const auto bits = static_cast<std::uint64_t>(stamp);
  return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

FileFacts FactsOf(const BY_HANDLE_FILE_INFORMATION& info, DWORD type) {
  FileFacts facts;
  facts.identity = {info.dwVolumeSerialNumber,
                    (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  facts.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  facts.modified = Stamp(info.ftLastWriteTime);
  facts.accessed = Stamp(info.ftLastAccessTime);
  facts.permissions = info.dwFileAttributes;
  facts.links = info.nNumberOfLinks;
  facts.regular =
      type == FILE_TYPE_DISK &&
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
  facts.folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return facts;
}

int DescribeHandle(HANDLE handle, FileFacts& facts) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return LastError();
  facts = FactsOf(info, GetFileType(handle));
  return 0;
}

int DeleteThrough(HANDLE handle) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
             ? 0
             : LastError();
}

// Opens what the name itself shows, a link or a folder too, with no access to its data.
HANDLE OpenForQuery(const std::string& path, DWORD access) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Describes the folder `path` leads to, following links as the system does for a typed path.
int DescribeFolderPath(const std::string& path, FileFacts& facts) {
  HANDLE handle =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  const int error = DescribeHandle(handle, facts);
  CloseHandle(handle);
  return error;
}

// Every open shares deletion, which lets the holder rename and remove the file while it still
// holds it, as POSIX does: closed first, the file would be free for a moment, and another run
// could take it (a working file it then writes, an overwritten source it then encrypts)
// between the close and the rename or removal. Writers also ask for deletion themselves: a
// file is removed through the run's own handle before it is overwritten. The transaction
// renames and removes by identity.
OpenParameters ParametersOf(OpenMode mode) {
  switch (mode) {
    case OpenMode::kRead:
      return {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING,
              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY};
    case OpenMode::kWrite:
      return {GENERIC_WRITE, FILE_SHARE_DELETE, CREATE_ALWAYS,
              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL};
    case OpenMode::kReadWrite:
      break;
    case OpenMode::kModify:
      return {GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, OPEN_EXISTING,
              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL};
    case OpenMode::kReadAlone:
      return {GENERIC_READ, FILE_SHARE_DELETE, OPEN_EXISTING,
              FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL};
  }
  return {GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, OPEN_ALWAYS,
          FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL};
}

// Makes a new file in `folder` named `prefix` and eight hexadecimal digits, held alone; a name
// is never reused (CREATE_NEW). The runtime's _tempnam is not used: it prefers %TMP% to the
// folder it is given and fails outright when TMP is set to nothing. A missing folder fails
// with its own cause, never with "the file exists".
int CreateNewFile(const std::string& folder, const std::string& prefix, DWORD access, DWORD flags,
                  std::string& path, HANDLE& handle) {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  DWORD seed = GetCurrentProcessId() * 2654435761u ^ static_cast<DWORD>(now.QuadPart);
  for (int attempt = 0; attempt < 100; ++attempt) {
    seed = seed * 1664525u + 1013904223u;
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08lx", static_cast<unsigned long>(seed));
    const std::string candidate = folder + prefix + digits;
    handle = CreateFileA(candidate.c_str(), access, 0, nullptr, CREATE_NEW, flags, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      path = candidate;
      return 0;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return LastError();
  }
  return ERROR_FILE_EXISTS;
}

class Win32Platform final : public Platform {
 public:
  Win32Platform() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
  }

  int Open(const std::string& path, OpenMode mode, NativeFile& file, FileFacts& facts) override {
    const OpenParameters how = ParametersOf(mode);
    file = kNoFile;
    HANDLE handle = CreateFileA(path.c_str(), how.access, how.sharing, nullptr, how.disposition,
                                how.flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    // Only disk files: a device name such as CON or COM1 must never be read or written.
    const int error = DescribeHandle(handle, facts);
    if (error != 0 || !facts.regular) {
      CloseHandle(handle);
      return error != 0 ? error : ERROR_INVALID_FUNCTION;
    }
    file = reinterpret_cast<NativeFile>(handle);
    return 0;
  }

  void Close(NativeFile file) override {
    if (file != kNoFile) CloseHandle(Handle(file));
  }

  int Read(NativeFile file, void* data, std::uint32_t count, std::uint32_t& done) override {
    DWORD got = 0;
    const BOOL ok = ReadFile(Handle(file), data, count, &got, nullptr);
    done = got;
    return ok ? 0 : LastError();
  }

  int ReadAt(NativeFile file, std::uint64_t offset, void* data, std::uint32_t count,
             std::uint32_t& done) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const BOOL ok = ReadFile(Handle(file), data, count, &got, &at);
    done = got;
    return ok || GetLastError() == ERROR_HANDLE_EOF ? 0 : LastError();
  }

  int Write(NativeFile file, const void* data, std::uint32_t count, std::uint32_t& done) override {
    DWORD put = 0;
    const BOOL ok = WriteFile(Handle(file), data, count, &put, nullptr);
    done = put;
    return ok ? 0 : LastError();
  }

  // SetFilePointer without its high half fails past 4 GiB; the Ex call moves and answers all 64
  // bits.
  int Seek(NativeFile file, std::int64_t distance, SeekOrigin origin,
           std::uint64_t& position) override {
    LARGE_INTEGER move{}, at{};
    move.QuadPart = distance;
    if (!SetFilePointerEx(Handle(file), move, &at,
                          origin == SeekOrigin::kBegin ? FILE_BEGIN : FILE_CURRENT)) {
      return LastError();
    }
    position = static_cast<std::uint64_t>(at.QuadPart);
    return 0;
  }

  int Size(NativeFile file, std::uint64_t& size) override {
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(Handle(file), &value)) return LastError();
    size = static_cast<std::uint64_t>(value.QuadPart);
    return 0;
  }

  int Flush(NativeFile file) override { return FlushFileBuffers(Handle(file)) ? 0 : LastError(); }

  // The cache manager writes behind on its own.
  void StartWriteBack(NativeFile, std::uint64_t, std::uint64_t) override {}

  int Describe(NativeFile file, FileFacts& facts) override {
    return DescribeHandle(Handle(file), facts);
  }

  int DescribePath(const std::string& path, FileFacts& facts) override {
    HANDLE handle = OpenForQuery(path, 0);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    const int error = DescribeHandle(handle, facts);
    CloseHandle(handle);
    return error;
  }

  // Windows files carry no permission bits to inherit.
  int SetPermissions(NativeFile, std::uint32_t) override { return 0; }

  int SetTimes(NativeFile file, std::int64_t accessed, std::int64_t modified) override {
    const FILETIME access = TimeOf(accessed), write = TimeOf(modified);
    return SetFileTime(Handle(file), nullptr, &access, &write) ? 0 : LastError();
  }

  int SetOwner(NativeFile, std::uint32_t, std::uint32_t) override { return 0; }

  // Sparse files are rare on Windows volumes: all the rest counts as data.
  int NextData(NativeFile file, std::uint64_t from, std::uint64_t& start,
               std::uint64_t& end) override {
    std::uint64_t size = 0;
    if (const int error = Size(file, size)) return error;
    start = std::min(from, size);
    end = size;
    return 0;
  }

  int Truncate(NativeFile file) override {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(Handle(file), start, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(Handle(file))) {
      return LastError();
    }
    return 0;
  }

  bool ReplacesOpenFiles() const override { return false; }

  int Remove(const std::string& path) override {
    return DeleteFileA(path.c_str()) ? 0 : LastError();
  }

  int Rename(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : LastError();
  }

  // Windows file calls take paths: the folder's handle is held without delete sharing, so that
  // the folder cannot be renamed or removed while the run works in it.
  int OpenFolder(const std::string& path, std::size_t trusted, Folder& folder) override {
    folder = Folder{};
    for (std::size_t at = NextSeparator(path, trusted); at != std::string::npos;
         at = NextSeparator(path, at + 1)) {
      const DWORD attributes = GetFileAttributesA(path.substr(0, at).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES &&
          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return kFolderBecameLink;
      }
    }
    HANDLE handle =
        CreateFileA(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastError();
    folder.handle = reinterpret_cast<NativeFolder>(handle);
    folder.path = path.empty() || path.back() != '\\' ? path + "\\" : path;
    FileFacts reached;
    const int error = trusted >= folder.path.size()
                          ? DescribeHandle(handle, reached)
                          : DescribeFolderPath(path.substr(0, trusted), reached);
    if (error != 0) {
      CloseFolder(folder);
      return error;
    }
    folder.reached = reached.identity;
    return 0;
  }

  void CloseFolder(Folder& folder) override {
    if (folder.handle != kNoFolder) CloseHandle(reinterpret_cast<HANDLE>(folder.handle));
    folder = Folder{};
  }

  int OpenIn(const Folder& folder, const std::string& name, OpenMode mode, NativeFile& file,
             FileFacts& facts) override {
    return Open(folder.path + name, mode, file, facts);
  }

  int DescribeIn(const Folder& folder, const std::string& name, FileFacts& facts) override {
    return DescribePath(folder.path + name, facts);
  }

  // Windows cannot exchange two names: the file under `to` is looked at, then replaced.
  int RenameIn(const Folder& folder, const std::string& from, const std::string& to,
               const FileIdentity* replacing) override {
    if (replacing != nullptr) {
      FileFacts there;
      if (DescribeIn(folder, to, there) != 0 || !(there.identity == *replacing)) return kOtherFile;
      return Rename(folder.path + from, folder.path + to);
    }
    if (MoveFileExA((folder.path + from).c_str(), (folder.path + to).c_str(), 0)) return 0;
    const int error = LastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? kNameTaken : error;
  }

  // Windows deletes through a handle, so the file checked is the file deleted.
  int RemoveIn(const Folder& folder, const std::string& name, const FileIdentity& identity,
               const FileFacts* as_read) override {
    HANDLE handle = OpenForQuery(folder.path + name, DELETE);
    if (handle == INVALID_HANDLE_VALUE) {
      const int error = LastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kOtherFile : error;
    }
    FileFacts facts;
    int error = DescribeHandle(handle, facts);
    if (error == 0 && !(facts.identity == identity)) error = kOtherFile;
    if (error == 0 && ChangedSince(as_read, facts)) error = kFileChanged;
    if (error == 0) error = DeleteThrough(handle);
    CloseHandle(handle);
    return error;
  }

  // Marked for deletion through a handle of its own, opened by the name: the file goes when
  // the run's handle, through which it is still overwritten, is closed as well. (wine deletes
  // through a handle only under the name that handle was opened by.)
  int RemoveOpenIn(const Folder& folder, const std::string& name, NativeFile,
                   const FileIdentity& identity, const FileFacts* as_read) override {
    return RemoveIn(folder, name, identity, as_read);
  }

  // NTFS journals its own names; a folder cannot be flushed without backup rights.
  int FlushFolder(const Folder&) override { return 0; }

  int SetNormalAttributesIn(const Folder& folder, const std::string& name, NativeFile) override {
    return SetFileAttributesA((folder.path + name).c_str(), FILE_ATTRIBUTE_NORMAL) ? 0
                                                                                   : LastError();
  }

  int CreateUniqueFile(const std::string& folder, const std::string& prefix,
                       std::string& path) override {
    HANDLE handle = INVALID_HANDLE_VALUE;
    const int error =
        CreateNewFile(folder, prefix, GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, path, handle);
    if (error == 0) CloseHandle(handle);
    return error;
  }

  int CreateAnonymousFile(const std::string& folder, const std::string& prefix, std::string& path,
                          NativeFile& file) override {
    HANDLE handle = INVALID_HANDLE_VALUE;
    const int error =
        CreateNewFile(folder, prefix, GENERIC_READ | GENERIC_WRITE,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, path, handle);
    if (error == 0) file = reinterpret_cast<NativeFile>(handle);
    return error;
  }

  std::unique_ptr<DirectoryScan> StartScan(const std::string& pattern, bool single_entry,
                                           int& error) override {
    error = ERROR_FILENAME_EXCED_RANGE;
    if (pattern.size() >= kMaxPattern) return nullptr;
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(Wide(pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
      const int failure = LastError();
      // Gone: passed over without a word. A folder closed to this user holds files left unseen.
      const bool silent = failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND ||
                          failure == ERROR_NO_MORE_FILES;
      error = silent ? 0 : failure;
      return nullptr;
    }
    error = 0;
    // The path of one entry has a '?' only where the ANSI code page lacked a character of a
    // real name. The search takes it for a wildcard, which must find that entry and never
    // another name of the same length.
    const std::string name = FileNamePart(pattern);
    const bool exact = single_entry && FirstWildcard(name) != std::string::npos;
    auto scan = std::make_unique<Win32Scan>(find, data, exact ? name : std::string());
    if (scan->Empty()) return nullptr;
    return scan;
  }

  bool FolderExists(const std::string& path) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  std::string FullPath(const std::string& path) override {
    std::vector<char> buffer(32768);
    const DWORD length =
        GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) return path;
    return std::string(buffer.data(), length);
  }

  // TMP, else TEMP, as GetTempPathA takes them, but a variable set to nothing counts as unset:
  // it names no folder, and the log and the list must go to one and the same.
  int TempDirectory(std::string& folder) override {
    for (const char* variable : {"TMP", "TEMP"}) {
      std::vector<char> value(1024);
      const DWORD length =
          GetEnvironmentVariableA(variable, value.data(), static_cast<DWORD>(value.size()));
      if (length > 0 && length < value.size()) {
        folder.assign(value.data(), length);
        if (folder.back() != '\\') folder += '\\';
        return 0;
      }
    }
    std::vector<char> buffer(1024);
    const DWORD length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return LastError();
    if (length >= buffer.size()) return ERROR_BUFFER_OVERFLOW;
    folder.assign(buffer.data(), length);
    if (folder.back() != '\\') folder += '\\';
    return 0;
  }

  std::string ExecutableDirectory() override {
    std::vector<char> buffer(32768);
    const DWORD length =
        GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    return FolderPart(std::string(buffer.data(), length));
  }

  std::string ErrorText(int error) override {
    char text[512] = {};
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
        nullptr, static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
    std::string said(text, length);
    // The system ends its texts with a full stop and blanks; ours put them in parentheses.
    while (!said.empty() && (said.back() == ' ' || said.back() == '.' || said.back() == '\r' ||
                             said.back() == '\n')) {
      said.pop_back();
    }
    return said.empty() ? "error " + std::to_string(error) : said;
  }

  void* AllocatePages(std::size_t size, int& error) override {
    void* pages = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (pages == nullptr) error = LastError();
    return pages;
  }

  void FreePages(void* pages, std::size_t) override {
    if (pages != nullptr) VirtualFree(pages, 0, MEM_RELEASE);
  }

  // A full path is checked before it is mapped. LoadLibraryA would search the current folder
  // and PATH for a plain name, and for the module's own imports even given a full path; so
  // the imports are looked for beside the module and in the system folder only, or, on a
  // Windows without that choice, first beside the module (where the system's own DLLs still
  // come from the system folder, as every DLL a module imports is one of them).
  ModuleHandle LoadModule(const std::string& path) override {
    if (!IsAbsolute(path) || !IsLoadableImage(path)) return nullptr;
    HMODULE module = LoadLibraryExA(
        path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
      module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return reinterpret_cast<ModuleHandle>(module);
  }

  void* ModuleSymbol(ModuleHandle module, const char* name) override {
    FARPROC found = GetProcAddress(static_cast<HMODULE>(module), name);
    void* symbol = nullptr;
    static_assert(sizeof symbol == sizeof found);
    std::memcpy(&symbol, &found, sizeof symbol);
    return symbol;
  }

  void UnloadModule(ModuleHandle module) override {
    if (module != nullptr) FreeLibrary(static_cast<HMODULE>(module));
  }

  VersionLookup ReadModuleVersion(const std::string& file_name,
                                  ModuleVersionTexts& texts) override {
    // A plain name would be searched for as LoadLibraryA searches.
    if (!IsAbsolute(file_name)) return VersionLookup::kNotFound;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file_name.c_str(), &ignored);
    if (size == 0) {
      const DWORD error = GetLastError();
      const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                           error == ERROR_MOD_NOT_FOUND;
      return missing ? VersionLookup::kNotFound : VersionLookup::kNoVersionInfo;
    }
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(file_name.c_str(), 0, size, block.data())) {
      return VersionLookup::kUnreadable;
    }
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\", &value, &length)) return VersionLookup::kNoLength;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) ||
        length < 4) {
      return VersionLookup::kNoTranslation;
    }
    std::memcpy(&texts.translation, value, 4);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04x%04x\\",
                  static_cast<unsigned>(texts.translation & 0xFFFF),
                  static_cast<unsigned>(texts.translation >> 16));
    for (const char* key : {"FileVersion", "PrivateBuild", "FileDescription", "LegalCopyright"}) {
      const std::string query = std::string(prefix) + key;
      if (VerQueryValueA(block.data(), query.c_str(), &value, &length)) {
        texts.strings[key] = static_cast<const char*>(value);
      }
    }
    return VersionLookup::kOk;
  }

  bool CounterFrequency(std::int64_t& frequency) override {
    LARGE_INTEGER value{};
    if (!QueryPerformanceFrequency(&value)) return false;
    frequency = value.QuadPart;
    return true;
  }

  std::int64_t Counter() override {
    LARGE_INTEGER value{};
    QueryPerformanceCounter(&value);
    return value.QuadPart;
  }

  // The runtime's time_t is 32-bit in a 32-bit program (it ends in 2038); its 64-bit calls are
  // the same on every Windows.
  std::int64_t Now() override { return static_cast<std::int64_t>(_time64(nullptr)); }

  std::string FormatLocalTime(std::int64_t seconds) override {
    const __time64_t when = seconds;
    const std::tm* local = _localtime64(&when);
    if (local == nullptr) return std::string();
    // "%#c" is the long date and time of the user's locale; it is a Microsoft extension the
    // compiler's format check does not know, hence the format held in a variable.
    const std::string format = "%#c";
    char buffer[128];
    const std::size_t length = std::strftime(buffer, sizeof buffer, format.c_str(), local);
    return std::string(buffer, length);
  }

  // Without the fault dialog Windows Error Reporting makes no report of a crash, and with it
  // no dump of the process's memory.
  bool HasTerminal() override { return TerminalAvailable(); }
  int ReadHiddenLine(std::string_view prompt, std::span<char> line, std::size_t& length) override {
    return corvalin::ReadHiddenLine(prompt, line, length);
  }

  int ReadFirstLine(const std::string& path, std::span<char> line, std::size_t& length) override {
    length = 0;
    HANDLE file = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE owned = INVALID_HANDLE_VALUE;
    if (!path.empty()) {
      owned = CreateFileA(path.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (owned == INVALID_HANDLE_VALUE) return LastError();
      file = owned;
    }
    int error = 0;
    // A byte at a time: what follows the line stays for whoever reads the handle next.
    for (char c = 0; length <= line.size();) {
      DWORD got = 0;
      if (!ReadFile(file, &c, 1, &got, nullptr)) {
        // A pipe whose writer has gone has ended, not failed.
        if (GetLastError() != ERROR_BROKEN_PIPE) error = LastError();
        break;
      }
      if (got == 0 || c == '\n') break;
      if (length < line.size()) line[length] = c;
      ++length;
    }
    if (owned != INVALID_HANDLE_VALUE) CloseHandle(owned);
    return error;
  }

  unsigned ProcessorCount() override {
    DWORD_PTR process = 0, system = 0;
    unsigned count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
      for (; process != 0; process &= process - 1) ++count;
    }
    return count > 0 ? count : 1;
  }

  // No name is moved aside on Windows, which removes through a handle.
  bool ProcessRunning(std::uint32_t) override { return true; }

  void WatchInterruptions() override { corvalin::WatchInterruptions(); }
  int TakeInterruption() override { return corvalin::TakeInterruption(); }
  int Interruption() override { return NotedInterruption(); }

  void DisableCoreDumps() override {
    // SetErrorMode answers the mode it replaced; the other flags are kept as they were.
    const UINT previous = SetErrorMode(SEM_NOGPFAULTERRORBOX);
    SetErrorMode(previous | SEM_NOGPFAULTERRORBOX);
  }

  void Out(std::string_view text) override { WriteAll(stdout, text, out_after_cr_); }
  void Err(std::string_view text) override { WriteAll(stderr, text, err_after_cr_); }

 private:
  // The streams are binary, so that the sink's "\r\n" is not doubled; the console's own line
  // end is added here, once, for every text.
  static void WriteAll(std::FILE* stream, std::string_view text, bool& after_cr) {
    const std::string converted = WithCarriageReturns(text, after_cr);
    std::fwrite(converted.data(), 1, converted.size(), stream);
    std::fflush(stream);
  }

  bool out_after_cr_ = false, err_after_cr_ = false;
};

}  // namespace

std::unique_ptr<Platform> MakeSystemPlatform() {
  return std::make_unique<Win32Platform>();
}

}  // namespace corvalin
