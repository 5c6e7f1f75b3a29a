// Whole runs whose selection meets hard ground: a temporary folder that fills up or lies inside
// the folder searched, paths longer than the system's limit, trees deeper than the open files
// a process may hold.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <map>

#include "tests/test_support/test_support.h"
#include "tests/test_support/work_folder_test.h"

namespace corvalin {
namespace {

using testing::ReadFile;
using testing::WriteFile;
using Names = std::vector<std::string>;

using SelectionRun = testing::WorkFolderTest;

#ifndef _WIN32  // limits set through setrlimit
// A list cut short would leave every file after the cut in plain text behind "0 error(s)".
TEST_F(SelectionRun, AListThatCannotBeWrittenEndsTheRunBeforeAnyFileIsTouched) {
  for (int i = 0; i < 200; ++i) WriteFile(work_ / ("data/file" + std::to_string(i)), "plain");
  for (const long limit : {2000L, 0L}) {  // full after a few lines; full from the start
    SCOPED_TRACE(limit);
    testing::RunOptions options = Options();
    options.max_file_size = limit;
    const auto run = testing::RunProgram({"e", "-lx", "-p", "pw", "data"}, work_.path(), options);
    EXPECT_EQ(run.status, 256 - 2);
    // (With no room at all, not even the error line reaches the captured output.)
    if (limit > 0) {
      EXPECT_EQ(run.err.substr(0, 21), "\n>>> ERROR(-2): Unabl");
    }
    EXPECT_EQ(run.out.find("Encrypt"), std::string::npos);
    EXPECT_EQ(Data().size(), 200u);
    EXPECT_EQ(testing::ListFolder(work_ / "tmp"), Names{});
  }
}

#endif

TEST_F(SelectionRun, TheRunsOwnListAndLogAreNeverSelected) {
  WriteFile(work_ / "data/a.txt", "alpha");
  std::filesystem::create_directories(work_ / "data/tmp");
  const auto inside =
      testing::RunProgram({"e", "-r", "-p", "pw", "data"}, work_.path(), Options("data/tmp"));
  EXPECT_NE(inside.out.find("Found 1 file(s)"), std::string::npos) << inside.out;
  EXPECT_NE(inside.out.find("1 file(s) processed (1'120 bytes), 0 error(s)"), std::string::npos);
  EXPECT_EQ(Data("data/tmp"), Names{"aeslog.txt"});
  // The temporary folder is the folder searched, as when a run starts in /tmp.
  const auto same =
      testing::RunProgram({"d", "-p", "pw", "."}, work_ / "data/tmp", Options("data/tmp"));
  EXPECT_NE(same.out.find("Found 0 file(s)"), std::string::npos) << same.out;
  EXPECT_EQ(Data("data/tmp"), Names{"aeslog.txt"});
}

#ifndef _WIN32  // POSIX path limits and open-file limits
// From a deep working folder the list holds lines longer than any fixed window, and some paths
// pass the system's limit: each file is still found, read back and processed inside its folder.
TEST_F(SelectionRun, PathsPastTheSystemsLimitAreProcessedNotDropped) {
  std::string deep = work_ / "data";
  while (deep.size() < 3800) {
    deep += "/" + std::string(100, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
  }
  const std::string reachable(4000 - deep.size(), 'r');
  const std::string too_long(250, 'x');
  for (const char* prefix : {"a", "b", "c"}) {
    WriteFile(deep + "/" + prefix + reachable.substr(1), "near");
    ASSERT_EQ(chdir(deep.c_str()), 0);
    WriteFile(prefix + too_long, "far");  // relative: its absolute path passes the limit
    ASSERT_EQ(chdir("/"), 0);
  }
  const auto run = testing::RunProgram({"e", "-p", "pw", "."}, deep, Options());
  EXPECT_NE(run.out.find("Found 6 file(s)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("6 file(s) processed (6'720 bytes), 0 error(s)"), std::string::npos)
      << run.out;
}

// One folder open per level would run out of open files in a deep tree and lose its lower
// half without a word.
TEST_F(SelectionRun, DeepTreesAreWalkedWithFewFoldersOpen) {
  std::string folder = work_ / "data";
  for (int level = 0; level < 300; ++level) {
    WriteFile(folder + "/f", "x");
    folder += "/d";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  }
  testing::RunOptions options = Options();
  options.max_open_files = 40;
  const auto run =
      testing::RunProgram({"e", "-r", "-q", "-lx", "-p", "pw", "data"}, work_.path(), options);
  EXPECT_EQ(run.status, 0) << run.err;
  const auto listing =
      testing::RunProgram({"d", "-r", "-lx", "-p", "pw", "data/*.aes"}, work_.path(), options);
  EXPECT_NE(listing.out.find("Found 300 file(s)"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("300 file(s) processed"), std::string::npos);
}

#endif

// The output of one selected file must never take the place of another selected file, which
// the run has yet to handle: whatever the order of the folder, every file comes back.
TEST_F(SelectionRun, NoOutputTakesThePlaceOfAnotherSelectedFile) {
  std::map<std::string, std::string> originals;
  for (int i = 1; i <= 6; ++i) {
    originals["f" + std::to_string(i)] = "plain " + std::to_string(i);
    originals["f" + std::to_string(i) + ".aes"] = "user file " + std::to_string(i);
  }
  for (const auto& [name, bytes] : originals) WriteFile(work_ / ("data/" + name), bytes);
  testing::RunProgram({"e", "-p", "pw", "data/*"}, work_.path(), Options());
  for (int pass = 0; pass < 3; ++pass) {
    testing::RunProgram({"d", "-p", "pw", "data/*.aes"}, work_.path(), Options());
  }
  for (const auto& [name, bytes] : originals) {
    EXPECT_EQ(ReadFile(work_ / ("data/" + name)), bytes) << name;
  }
}

}  // namespace
}  // namespace corvalin
