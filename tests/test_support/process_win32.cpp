// Test processes on Windows: CreateProcess with the output in files, an environment block of
// our own, and a wait with a time limit.
#include <windows.h>

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/text.h"
#include "tests/test_support/process.h"
#include "tests/test_support/test_support.h"

namespace corvalin::testing {
namespace {

HANDLE HandleOf(std::intptr_t process) {
  return reinterpret_cast<HANDLE>(process);
}

// One handle the child inherits; closed in this process once the child has it.
class InheritedFile {
 public:
  InheritedFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    handle_ =
        CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  ~InheritedFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  InheritedFile(const InheritedFile&) = delete;
  InheritedFile& operator=(const InheritedFile&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// One argument as the C runtime splits a command line: quoted, with the backslashes before a
// quote (an inner one or the closing one) doubled.
std::string Quoted(const std::string& argument) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + '"';
}

std::string NameOf(const std::string& entry) {
  return entry.substr(0, entry.find('=', 1));
}

// This process's environment with `added` put in (a name already there takes the new value),
// as the block CreateProcess reads.
std::string EnvironmentBlock(const std::vector<std::string>& added) {
  std::vector<std::string> entries;
  char* block = GetEnvironmentStringsA();
  for (const char* entry = block; *entry != '\0'; entry += std::string(entry).size() + 1) {
    bool replaced = false;
    for (const std::string& mine : added) replaced |= EqualsIgnoreCase(NameOf(entry), NameOf(mine));
    if (!replaced) entries.emplace_back(entry);
  }
  FreeEnvironmentStringsA(block);
  entries.insert(entries.end(), added.begin(), added.end());
  std::string joined;
  for (const std::string& entry : entries) joined += entry + '\0';
  return joined + '\0';
}

}  // namespace

namespace {

// The path in the form that passes the name through untouched.
std::wstring Verbatim(const std::string& path) {
  const std::string full = "\\\\?\\" + path;
  const int length = MultiByteToWideChar(CP_ACP, 0, full.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, full.c_str(), -1, wide.data(), length);
  wide.pop_back();
  return wide;
}

}  // namespace

bool WriteFileExactly(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(Verbatim(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::string ReadFileExactly(const std::string& path) {
  HANDLE file = CreateFileW(Verbatim(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes(1 << 20, '\0');
  DWORD got = 0;
  ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  bytes.resize(got);
  return bytes;
}

std::string ShortPath(const std::string& path) {
  char buffer[MAX_PATH];
  const DWORD length = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

bool MakeFolderExactly(const std::string& path) {
  return CreateDirectoryW(Verbatim(path).c_str(), nullptr) != 0;
}

void RemoveTree(const std::string& path) {
  std::string folder = path;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(Verbatim(folder)), ignored);
}

std::string MakeFreshFolder(const std::string& parent) {
  std::string base = parent;
  while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = base + "\\corvalin-test-" + std::to_string(random() % 1000000000);
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  throw std::runtime_error("no fresh folder below " + parent);
}

StartedProgram::StartedProgram(const std::vector<std::string>& args, const std::string& folder,
                               const RunOptions& options)
    : timeout_seconds_(options.timeout_seconds) {
  const InheritedFile out(capture_ / "out", GENERIC_WRITE, CREATE_ALWAYS);
  const InheritedFile err(capture_ / "err", GENERIC_WRITE, CREATE_ALWAYS);
  const InheritedFile none("NUL", GENERIC_READ, OPEN_EXISTING);
  std::string command_line = Quoted(options.program);
  for (const std::string& argument : args) command_line += " " + Quoted(argument);
  std::string environment = EnvironmentBlock(options.environment);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = none.get();
  startup.hStdOutput = out.get();
  startup.hStdError = err.get();
  PROCESS_INFORMATION started{};
  // Without a console (wine would still give one to a program started without a window): a run
  // that would ask for a password meets none, as in a scheduled task.
  if (!CreateProcessA(options.program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                      DETACHED_PROCESS, environment.data(), folder.c_str(), &startup, &started)) {
    return;
  }
  CloseHandle(started.hThread);
  process_ = reinterpret_cast<std::intptr_t>(started.hProcess);
}

StartedProgram::~StartedProgram() {
  if (process_ == -1) return;
  TerminateProcess(HandleOf(process_), 1);
  WaitForSingleObject(HandleOf(process_), INFINITE);
  CloseHandle(HandleOf(process_));
}

RunResult StartedProgram::Finish() {
  RunResult result;
  if (process_ != -1) {
    const HANDLE process = HandleOf(process_);
    if (WaitForSingleObject(process, static_cast<DWORD>(timeout_seconds_) * 1000) !=
        WAIT_OBJECT_0) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, INFINITE);
      result.timed_out = true;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    if (!result.timed_out) result.status = static_cast<int>(code);
    CloseHandle(process);
    process_ = -1;
  }
  result.out = ReadFile(capture_ / "out");
  result.err = ReadFile(capture_ / "err");
  return result;
}

}  // namespace corvalin::testing
