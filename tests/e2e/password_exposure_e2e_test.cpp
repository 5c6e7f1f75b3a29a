#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/test_support/process.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using testing::TempFolder;

// Starts the built program in `folder` without waiting for it.
pid_t Start(const std::vector<std::string>& args, const std::string& folder,
            const std::string& tmpdir) {
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(folder.c_str()) != 0) _exit(127);
    setenv("TMPDIR", tmpdir.c_str(), 1);
    testing::Exec(testing::LaunchCommand(CORVALIN_BIN_DIR "/corvalin", args));
  }
  return child;
}

// The soft and the hard limit of the core file size in a /proc/<pid>/limits text.
std::string CoreSizeLimits(const std::string& limits) {
  std::istringstream lines(limits);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Max core file size", 0) != 0) continue;
    std::istringstream words(line.substr(18));
    std::string soft, hard;
    words >> soft >> hard;
    return soft + " " + hard;
  }
  return "";
}

// A large run, so that it is still busy when its command line is read: a sparse file costs no
// disk, and its zeros compress to almost nothing.
TEST(PasswordExposureEndToEnd, RunningEncryptionShowsNoPasswordAndMayNotDumpCore) {
  const std::string skip = testing::NotUnderLauncher(
      "/proc shows the emulator's own command line, which the program cannot reach");
  if (!skip.empty()) GTEST_SKIP() << skip;
  TempFolder folder, tmpdir;
  testing::WriteFile(folder / "big.bin", "");
  std::filesystem::resize_file(folder / "big.bin", 200u << 20);
  const std::string password = "open sesame 4711";
  const pid_t child = Start({"e", "-p", password, "-cf", "gzip", "-cl", "1", "-q", "big.bin"},
                            folder.path(), tmpdir.path());
  // The log is created right after the command line was parsed.
  while (!testing::FileExists(tmpdir / "aeslog.txt") && waitpid(child, nullptr, WNOHANG) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::string proc = "/proc/" + std::to_string(child);
  const std::string cmdline = testing::ReadFile(proc + "/cmdline");
  const std::string limits = testing::ReadFile(proc + "/limits");
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_NE(cmdline.find("big.bin"), std::string::npos) << "the run ended before it was seen";
  EXPECT_EQ(cmdline.find("sesame"), std::string::npos);
  EXPECT_NE(cmdline.find(std::string("-p\0\0\0", 5)), std::string::npos);
  EXPECT_EQ(CoreSizeLimits(limits), "0 0") << limits;
}

}  // namespace
}  // namespace corvalin
