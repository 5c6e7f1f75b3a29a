// The second pass never leaves the tree the first one searched: a folder that became a link
// between the passes is passed over and counted, never followed.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "app/driver.h"
#include "platform/fault_injection.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

#ifndef _WIN32  // links as POSIX makes them

using testing::ReadFile;
using testing::WriteFile;

TEST(PassTwo, AFolderThatBecameALinkIsPassedOverAndCounted) {
  testing::TempFolder work;
  std::filesystem::create_directories(work / "data/sub");
  std::filesystem::create_directories(work / "outside");
  std::filesystem::create_directories(work / "tmp");
  WriteFile(work / "data/sub/a.txt", "inside");
  WriteFile(work / "outside/a.txt", "outside the tree");
  const auto system = MakeSystemPlatform();
  FaultInjectingPlatform platform(*system);
  platform.CaptureConsole();
  platform.SetExecutableDirectory(CORVALIN_BIN_DIR "/");
  bool swapped = false;
  platform.Observe([&](Call call, const std::string& path) {
    // The second pass begins by reading the list back.
    if (call != Call::kRead || path.find(work / "tmp/~fi") != 0 || swapped) return;
    swapped = true;
    std::filesystem::rename(work / "data/sub", work / "sub-moved");
    std::filesystem::create_directory_symlink(work / "outside", work / "data/sub");
  });
  std::optional<testing::ScopedEnvironment> tmp(std::in_place, testing::TempFolderIs(work / "tmp"));
  std::vector<std::string> args = {"corvalin", "e", "-r", "-w", "-p", "pw", work / "data"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  EXPECT_EQ(RunDriver(static_cast<int>(args.size()), argv.data(), platform),
            kShellConventions ? 1 : 0);
  tmp.reset();

  EXPECT_EQ(testing::ListFolder(work / "outside"), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(ReadFile(work / "outside/a.txt"), "outside the tree");
  EXPECT_EQ(ReadFile(work / "sub-moved/a.txt"), "inside");
  EXPECT_NE(platform.out().find(">>> ERROR(-39): Unable to process " + (work / "data/sub/a.txt") +
                                " because a folder on its path has become a link.\r\n"),
            std::string::npos)
      << platform.out();
  EXPECT_NE(platform.out().find("0 file(s) processed (0 bytes), 1 error(s)"), std::string::npos);
}

#endif

}  // namespace
}  // namespace corvalin
