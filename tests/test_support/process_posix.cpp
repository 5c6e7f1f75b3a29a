// Test processes on POSIX: fork and exec, signals, and runs as another user.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "tests/test_support/process.h"
#include "tests/test_support/test_support.h"

namespace corvalin::testing {

namespace fs = std::filesystem;

namespace {

pid_t PidOf(std::intptr_t process) {
  return static_cast<pid_t>(process);
}

// One component at a time, so that folders deeper than the system's path limit can be entered.
bool ChangeFolder(const std::string& folder) {
  if (!folder.empty() && folder[0] == '/' && chdir("/") != 0) return false;
  std::size_t at = 0;
  while (at < folder.size()) {
    std::size_t next = folder.find('/', at);
    if (next == std::string::npos) next = folder.size();
    const std::string part = folder.substr(at, next - at);
    if (!part.empty() && chdir(part.c_str()) != 0) return false;
    at = next + 1;
  }
  return true;
}

void Limit(int resource, long value) {
  const rlimit limit{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
  setrlimit(resource, &limit);
}

}  // namespace

bool WriteFileExactly(const std::string& path, const std::string& bytes) {
  WriteFile(path, bytes);
  return FileExists(path);
}

std::string ReadFileExactly(const std::string& path) {
  return ReadFile(path);
}

bool MakeFolderExactly(const std::string& path) {
  return mkdir(path.c_str(), 0700) == 0;
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  fs::remove_all(path, ignored);
}

void Exec(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());  // a launcher may be named without its folder
  _exit(127);
}

std::string MakeFreshFolder(const std::string& parent) {
  std::string pattern = parent + "/corvalin-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

StartedProgram::StartedProgram(const std::vector<std::string>& args, const std::string& folder,
                               const RunOptions& options)
    : timeout_seconds_(options.timeout_seconds) {
  const std::string out_path = capture_ / "out", err_path = capture_ / "err";
  const passwd* user = options.user.empty() ? nullptr : getpwnam(options.user.c_str());
  process_ = fork();
  if (process_ != 0) return;
  // A session of its own, without a controlling terminal: a run that would ask for a password
  // meets none, as in a script, however the tests are started.
  setsid();
  if (!ChangeFolder(folder)) _exit(127);
  if (options.max_open_files > 0) Limit(RLIMIT_NOFILE, options.max_open_files);
  if (options.max_processes > 0) Limit(RLIMIT_NPROC, options.max_processes);
  if (options.max_file_size >= 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails instead of killing the run
    Limit(RLIMIT_FSIZE, options.max_file_size);
  }
  const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int none = open("/dev/null", O_RDONLY);
  dup2(out, 1);
  dup2(err, 2);
  dup2(none, 0);
  for (const std::string& entry : options.environment) putenv(const_cast<char*>(entry.c_str()));
  if (user != nullptr &&
      (setgroups(0, nullptr) != 0 || setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0)) {
    _exit(126);
  }
  std::vector<std::string> command = {options.program};
  command.insert(command.end(), args.begin(), args.end());
  if (options.launched) command = LaunchCommand(options.program, args);
  Exec(command);
}

StartedProgram::~StartedProgram() {
  if (PidOf(process_) > 0) {
    kill(PidOf(process_), SIGKILL);
    waitpid(PidOf(process_), nullptr, 0);
  }
}

void StartedProgram::Signal(int number) const {
  kill(PidOf(process_), number);
}

RunResult StartedProgram::Finish() {
  RunResult result;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds_);
  while (waitpid(PidOf(process_), &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(PidOf(process_), SIGKILL);
      waitpid(PidOf(process_), &status, 0);
      result.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  process_ = -1;
  result.status = WIFEXITED(status) && !result.timed_out ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.out = ReadFile(capture_ / "out");
  result.err = ReadFile(capture_ / "err");
  return result;
}

bool CanRunAsOtherUser() {
  return geteuid() == 0 && getpwnam(kOtherUser) != nullptr;
}

void GiveToOtherUser(const std::string& path) {
  const passwd* user = getpwnam(kOtherUser);
  if (user == nullptr) return;
  // The folders above must let the other user through.
  for (fs::path up = fs::path(path).parent_path(); up != up.root_path(); up = up.parent_path()) {
    fs::permissions(up, fs::perms::others_exec, fs::perm_options::add);
  }
  std::error_code ignored;
  lchown(path.c_str(), user->pw_uid, user->pw_gid);
  if (!fs::is_directory(fs::symlink_status(path, ignored))) return;
  for (const auto& entry : fs::recursive_directory_iterator(path)) {
    lchown(entry.path().c_str(), user->pw_uid, user->pw_gid);
  }
}

}  // namespace corvalin::testing
