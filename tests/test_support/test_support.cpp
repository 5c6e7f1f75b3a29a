#include "tests/test_support/test_support.h"

#include "support/error_handler.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace corvalin::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "corvalin-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string RandomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
  return bytes;
}

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

int ErrorCodeOf(const std::function<void()>& action, std::string* message) {
  try {
    action();
  } catch (const ErrorHandler& error) {
    if (message != nullptr) *message = error.Message();
    return error.code;
  }
  return 0;
}

namespace {

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

}  // namespace

StartedProgram::StartedProgram(const std::vector<std::string>& args, const std::string& folder,
                               const RunOptions& options)
    : timeout_seconds_(options.timeout_seconds) {
  const std::string out_path = capture_ / "out", err_path = capture_ / "err";
  const passwd* user = options.user.empty() ? nullptr : getpwnam(options.user.c_str());
  pid_ = fork();
  if (pid_ != 0) return;
  setpgid(0, 0);
  if (!ChangeFolder(folder)) _exit(127);
  if (options.max_open_files > 0) {
    const rlimit limit{static_cast<rlim_t>(options.max_open_files),
                       static_cast<rlim_t>(options.max_open_files)};
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  if (options.max_file_size >= 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails instead of killing the run
    const rlimit limit{static_cast<rlim_t>(options.max_file_size),
                       static_cast<rlim_t>(options.max_file_size)};
    setrlimit(RLIMIT_FSIZE, &limit);
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
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(options.program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(options.program.c_str(), argv.data());
  _exit(127);
}

StartedProgram::~StartedProgram() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void StartedProgram::Signal(int number) const {
  kill(pid_, number);
}

RunResult StartedProgram::Finish() {
  RunResult result;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds_);
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      result.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  result.status = WIFEXITED(status) && !result.timed_out ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.out = ReadFile(capture_ / "out");
  result.err = ReadFile(capture_ / "err");
  return result;
}

RunResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                     const RunOptions& options) {
  return StartedProgram(args, folder, options).Finish();
}

RunResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                     const std::vector<std::string>& environment, const std::string& program) {
  RunOptions options;
  options.environment = environment;
  options.program = program;
  return RunProgram(args, folder, options);
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
