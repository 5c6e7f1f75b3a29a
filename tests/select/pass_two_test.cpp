// The second pass never leaves the tree the first one searched: a folder that became a link
// between the passes, or a typed folder that now leads elsewhere, is passed over and counted,
// never followed.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "app/driver.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

#ifndef _WIN32  // links as POSIX makes them

using testing::ReadFile;
using testing::WriteFile;

class PassTwo : public ::testing::Test {
 protected:
  PassTwo() : platform_(*system_) {
    std::filesystem::create_directories(work_ / "data/sub");
    std::filesystem::create_directories(work_ / "outside/sub");
    std::filesystem::create_directories(work_ / "tmp");
    WriteFile(work_ / "data/sub/a.txt", "inside");
    WriteFile(work_ / "outside/sub/a.txt", "outside the tree");
    platform_.CaptureConsole();
    platform_.SetExecutableDirectory(CORVALIN_BIN_DIR "/");
  }

  // Runs an encryption of the tree below "data", calling `swap` between the passes.
  int RunSwapping(const std::function<void()>& swap) {
    bool swapped = false;
    platform_.Observe([&](Call call, const std::string& path) {
      // The second pass begins by reading the list back.
      if (call != Call::kRead || path.find(work_ / "tmp/~fi") != 0 || swapped) return;
      swapped = true;
      swap();
    });
    testing::ScopedEnvironment tmp(testing::TempFolderIs(work_ / "tmp"));
    std::vector<std::string> args = {"corvalin", "e", "-r", "-w", "-p", "pw", work_ / "data"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return RunDriver(static_cast<int>(args.size()), argv.data(), platform_);
  }

  void ExpectOutsideUntouchedAndOneError(const std::string& reason) {
    EXPECT_EQ(testing::ListFolder(work_ / "outside/sub"), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(ReadFile(work_ / "outside/sub/a.txt"), "outside the tree");
    EXPECT_NE(
        platform_.out().find(">>> ERROR(-39): Unable to process " + (work_ / "data/sub/a.txt") +
                             " because a folder on its path " + reason + ".\r\n"),
        std::string::npos)
        << platform_.out();
    EXPECT_NE(platform_.out().find("0 file(s) processed (0 bytes), 1 error(s)"), std::string::npos);
  }

  testing::TempFolder work_;
  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  FaultInjectingPlatform platform_;
};

TEST_F(PassTwo, AFolderBelowTheTypedOneThatBecameALinkIsPassedOverAndCounted) {
  EXPECT_EQ(RunSwapping([&] {
              std::filesystem::rename(work_ / "data/sub", work_ / "sub-moved");
              std::filesystem::create_directory_symlink(work_ / "outside/sub", work_ / "data/sub");
            }),
            kShellConventions ? 1 : 0);
  ExpectOutsideUntouchedAndOneError("has become a link");
  EXPECT_EQ(ReadFile(work_ / "sub-moved/a.txt"), "inside");
}

// The typed folder itself is followed through links, as the system takes a typed path; but
// whoever can swap it between the passes must not aim the run at files it never selected.
TEST_F(PassTwo, ATypedFolderThatNowLeadsElsewhereIsPassedOverAndCounted) {
  EXPECT_EQ(RunSwapping([&] {
              std::filesystem::rename(work_ / "data", work_ / "data-moved");
              std::filesystem::create_directory_symlink(work_ / "outside", work_ / "data");
            }),
            kShellConventions ? 1 : 0);
  ExpectOutsideUntouchedAndOneError("has been replaced");
  EXPECT_EQ(ReadFile(work_ / "data-moved/sub/a.txt"), "inside");
}

#endif

}  // namespace
}  // namespace corvalin
