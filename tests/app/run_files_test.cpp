// The run's own files when something fails around them: each failure is said once, "[OK]" never
// follows one, and the list is overwritten before it goes whenever -w asks for it.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "app/driver.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using testing::WriteFile;

class RunFiles : public ::testing::Test {
 protected:
  RunFiles() : platform_(*system_) {
    std::filesystem::create_directories(work_ / "data");
    std::filesystem::create_directories(work_ / "tmp");
    std::filesystem::create_directories(work_ / "no-modules");
    WriteFile(work_ / "data/a.txt", "alpha");
    platform_.CaptureConsole();
    platform_.SetExecutableDirectory(CORVALIN_BIN_DIR "/");
  }

  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "corvalin");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return RunDriver(static_cast<int>(args.size()), argv.data(), platform_);
  }
  // Where the list file's path begins. (The platform may take fewer bytes of the prefix
  // "~files.tmp" into the name: wine's takes three.)
  std::string ListPrefix() const { return work_ / "tmp/~fi"; }
  // Calls `action` with the list file's name the first time the run writes to it.
  void OnListWrite(std::function<void(const std::string&)> action) {
    platform_.Observe([this, action, seen = false](Call call, const std::string& path) mutable {
      if (seen || call != Call::kWrite || path.find(ListPrefix()) != 0) return;
      seen = true;
      action(path);
    });
  }

  testing::TempFolder work_;
  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  FaultInjectingPlatform platform_;
  testing::ScopedEnvironment tmp_{testing::TempFolderIs(work_ / "tmp")};
  std::string data_ = work_ / "data";
};

TEST_F(RunFiles, ALogHeaderThatCannotBeWrittenTurnsLoggingOffAsItsCreationWould) {
  const std::string log = work_ / "tmp/aeslog.txt";
  platform_.Fail(Call::kWrite, log, ENOSPC);
  EXPECT_EQ(Run({"e", "-p", "pw", data_}), 0);
  EXPECT_EQ(platform_.err(), "\n>>> ERROR(-2): Unable to write file " + log +
                                 "(disk full?). Logging on file is turned off.\n\n");
  EXPECT_EQ(platform_.out().find("\r\nCreate " + log + " \r\nFound 1 file(s)"), 0u)
      << platform_.out();
}

TEST_F(RunFiles, ALogThatFillsUpIsReportedOnce) {
  const std::string log = work_ / "tmp/aeslog.txt";
  platform_.Fail(Call::kWrite, log, ENOSPC, 4);  // after the three header writes and one more
  EXPECT_EQ(Run({"e", "-p", "pw", "-lv", "4", data_}), 0);
  EXPECT_EQ(platform_.err(), ">>> ERROR(-2): Unable to write file " + log +
                                 "(disk full?). Logging on file is turned off.\n");
}

TEST_F(RunFiles, AFailedWipeOfTheListIsSaidAndTheListStillGoes) {
  OnListWrite([&](const std::string& list) { platform_.Fail(Call::kWrite, list, EIO, 1); });
  EXPECT_EQ(Run({"e", "-w", "-wl", "1", "-v", "4", "-p", "pw", data_}), EIO);
  const std::string& out = platform_.out();
  const std::size_t wipe = out.find("\r\nWipe (lev=1) " + ListPrefix());
  ASSERT_NE(wipe, std::string::npos);
  EXPECT_EQ(out.find("[OK]", wipe), std::string::npos) << out.substr(wipe);
  EXPECT_NE(platform_.err().find(">>> ERROR(5): Writing on wiping. The list file "),
            std::string::npos);
  EXPECT_NE(platform_.err().find(" was removed without being overwritten.\n"), std::string::npos);
  EXPECT_EQ(testing::ListFolder(work_ / "tmp"), std::vector<std::string>{"aeslog.txt"});
}

// Stopped while it overwrites what it removed, a file is done all the same: it is said so and
// counted, never reported as left as it was.
TEST_F(RunFiles, AnInterruptionDuringTheWipeOfAFileThatIsDoneSaysSo) {
  for (const char* command : {"e", "d"}) {
    SCOPED_TRACE(command);
    const std::string removed = work_ / (command[0] == 'e' ? "data/a.txt" : "data/a.txt.aes");
    platform_.Before(Call::kWrite, removed, [this] { platform_.Interrupt(2); });
    EXPECT_EQ(Run({command, "-w", "-p", "pw", data_}), 128 + 2);
    EXPECT_NE(platform_.out().find(
                  "Interrupted by signal 2: the run stops; the file in progress, " + removed +
                  ", is done, but its removed copy was only partly "
                  "overwritten."),
              std::string::npos)
        << platform_.out();
    EXPECT_NE(platform_.out().find("1 file(s) processed"), std::string::npos) << platform_.out();
    EXPECT_EQ(testing::ListFolder(data_),
              std::vector<std::string>{command[0] == 'e' ? "a.txt.aes" : "a.txt"});
    platform_.ClearConsole();
  }
  EXPECT_EQ(testing::ReadFile(work_ / "data/a.txt"), "alpha");
}

#ifndef _WIN32  // Windows finds the modules beside the test program itself
TEST_F(RunFiles, TheListIsWipedOnEveryWayOut) {
  platform_.SetExecutableDirectory(work_ / "no-modules/");
  EXPECT_EQ(Run({"e", "-w", "-v", "4", "-p", "pw", data_}), -30);
  EXPECT_NE(platform_.out().find("\r\nWipe (lev=3) " + ListPrefix()), std::string::npos)
      << platform_.out();
  EXPECT_EQ(testing::ListFolder(work_ / "tmp"), std::vector<std::string>{"aeslog.txt"});
}
#endif

}  // namespace
}  // namespace corvalin
