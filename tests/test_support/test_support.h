// Helpers the tests share: a fresh temporary folder, file contents, and running the built
// program as a user would.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvalin::testing {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }  // ends with '/'
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
std::vector<std::string> ListFolder(const std::string& folder);  // sorted names
std::string RandomBytes(std::size_t count, std::uint32_t seed);
std::vector<std::uint8_t> FromHex(const std::string& hex);

// The code of the ErrorHandler `action` raises (its message into `message`), or 0.
int ErrorCodeOf(const std::function<void()>& action, std::string* message = nullptr);

struct RunResult {
  int status = -1;  // -1 when the program did not exit by itself
  int signal = 0;   // the signal that ended it, if one did
  bool timed_out = false;
  std::string out, err;
};

struct RunOptions {
  std::vector<std::string> environment;  // "NAME=value" entries added
  std::string program = CORVALIN_BIN_DIR "/corvalin";
  int timeout_seconds = 120;  // then the program is killed and `timed_out` set
  std::string user;           // run as this user (the tests run as root to use it)
  long max_open_files = 0;    // a lower limit of open files, when not 0
  long max_file_size = -1;    // a limit on the size of files written, when not -1
};

// A started program, waited for with Finish. The program runs in `folder`.
class StartedProgram {
 public:
  StartedProgram(const std::vector<std::string>& args, const std::string& folder,
                 const RunOptions& options = {});
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  int pid() const { return pid_; }
  void Signal(int number) const;
  // What the program has written to its standard output until now.
  std::string OutputSoFar() const { return ReadFile(capture_ / "out"); }
  RunResult Finish();

 private:
  TempFolder capture_;
  int timeout_seconds_;
  int pid_ = -1;
};

RunResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                     const RunOptions& options);
// Runs the built corvalin (or `program`) with `args` in `folder`, with `environment` entries
// ("NAME=value") added.
RunResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                     const std::vector<std::string>& environment = {},
                     const std::string& program = CORVALIN_BIN_DIR "/corvalin");

// Whether the tests may switch to another user (they run as root), and that user's ids.
bool CanRunAsOtherUser();
// Gives `path` and everything below it to the user the tests switch to.
void GiveToOtherUser(const std::string& path);
inline constexpr const char* kOtherUser = "nobody";

}  // namespace corvalin::testing
