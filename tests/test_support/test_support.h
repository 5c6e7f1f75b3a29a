// Helpers the tests share: a fresh temporary folder, file contents, and running the built
// program as a user would. The same tests run on POSIX and on Windows: paths are written with
// '/' and take the platform's separator here, and what differs in the program's outputs (line
// ends, exit status, module names, the temporary folder's variable) has a helper.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvalin::testing {

#ifdef _WIN32
inline constexpr char kSep = '\\';
#else
inline constexpr char kSep = '/';
#endif

// `path` with each '/' made the platform's separator.
std::string Native(std::string path);

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }  // ends with the separator
  std::string operator/(const std::string& name) const { return path_ + Native(name); }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
std::vector<std::string> ListFolder(const std::string& folder);  // sorted names
std::string RandomBytes(std::size_t count, std::uint32_t seed);
// `data` as one gzip member, level 5.
std::string Gzip(const std::string& data);
std::vector<std::uint8_t> FromHex(const std::string& hex);

// The code of the ErrorHandler `action` raises (its message into `message`), or 0.
int ErrorCodeOf(const std::function<void()>& action, std::string* message = nullptr);

// What the program shows for a text it writes with "\n" line ends: on Windows every bare line
// feed reaches the console as CR LF.
std::string Console(const std::string& text);
// The exit status a fatal error `code` gives: the code itself on Windows, its low 8 bits on
// POSIX.
int ExitStatusOf(int code);
// The file name of the cipher module `name` ("aes" -> "aes.so" or "aes.dll").
std::string ModuleFile(const std::string& name);
// The environment entries that make `folder` the program's temporary folder.
std::vector<std::string> TempFolderIs(const std::string& folder);

// Sets environment entries ("NAME=value") in this process for as long as it lives, for runs
// made in the process; removes them again at the end.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const std::vector<std::string>& entries);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::vector<std::string> names_;
};

// The program as built.
inline const std::string kProgram =
    CORVALIN_BIN_DIR + std::string(1, kSep) + "corvalin" CORVALIN_EXE_SUFFIX;

struct RunResult {
  int status = -1;  // -1 when the program did not exit by itself
  int signal = 0;   // the signal that ended it, if one did (POSIX)
  bool timed_out = false;
  std::string out, err;
};

// The command CORVALIN_TEST_LAUNCHER names, split at blanks ("qemu-i386", or an emulator with
// options), through which the tests start every program of the build: a 32-bit build then runs
// under the emulator whole. Empty when the variable is unset or empty (POSIX only).
std::vector<std::string> Launcher();
// The command line that starts `program` with `args`: the launcher's words come first.
std::vector<std::string> LaunchCommand(const std::string& program,
                                       const std::vector<std::string>& args);
// Why a test cannot run under the launcher (what the emulator does not pass on, such as
// /proc of the process it runs), for GTEST_SKIP; empty when there is no launcher.
std::string NotUnderLauncher(const std::string& reason);

struct RunOptions {
  std::vector<std::string> environment;  // "NAME=value" entries added
  std::string program = kProgram;
  // The program is one of the build's, started through the launcher; a program of the system
  // (a shell) is started as it is.
  bool launched = true;
  int timeout_seconds = 120;  // then the program is killed and `timed_out` set
  std::string user;           // run as this user (POSIX; the tests run as root to use it)
  long max_open_files = 0;    // a lower limit of open files, when not 0
  long max_file_size = -1;    // a limit on the size of files written, when not -1
  long max_processes = 0;     // a lower limit of the user's processes and threads, when not 0
};

// A started program, waited for with Finish. The program runs in `folder`, with standard
// input empty and its output captured. Starting and waiting differ per platform
// (process_posix.cpp, process_win32.cpp).
class StartedProgram {
 public:
  StartedProgram(const std::vector<std::string>& args, const std::string& folder,
                 const RunOptions& options = {});
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

#ifndef _WIN32
  int pid() const {
    return static_cast<int>(process_);
  }
  void Signal(int number) const;
#endif
  // What the program has written to its standard output until now.
  std::string OutputSoFar() const {
    return ReadFile(capture_ / "out");
  }
  RunResult Finish();

 private:
  TempFolder capture_;
  int timeout_seconds_;
  std::intptr_t process_ = -1;  // a pid, or a process HANDLE on Windows
};

RunResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                     const RunOptions& options);
// Runs the built corvalin (or `program`) with `args` in `folder`, with `environment` entries
// ("NAME=value") added.
RunResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                     const std::vector<std::string>& environment = {},
                     const std::string& program = kProgram);

#ifndef _WIN32
// Whether the tests may switch to another user (they run as root), and that user's ids.
bool CanRunAsOtherUser();
// Gives `path` and everything below it to the user the tests switch to.
void GiveToOtherUser(const std::string& path);
inline constexpr const char* kOtherUser = "nobody";
#endif

}  // namespace corvalin::testing
