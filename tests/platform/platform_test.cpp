// The real platform layer: which names are one file, removal by identity, the one-entry lookup
// of the second pass, times past 2038, and the cause a failed unique file reports.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <filesystem>

#include "platform/platform.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

namespace fs = std::filesystem;

class PlatformTest : public ::testing::Test {
 protected:
  FileIdentity IdentityOf(const std::string& path) {
    FileFacts facts;
    EXPECT_EQ(platform_->DescribePath(path, facts), 0) << path;
    return facts.identity;
  }

  std::unique_ptr<Platform> platform_ = MakeSystemPlatform();
  testing::TempFolder folder_;
};

TEST_F(PlatformTest, NamesOfOneFileShareItsIdentityAndNoOtherFileDoes) {
  testing::WriteFile(folder_ / "a.txt", "a");
  testing::WriteFile(folder_ / "b.txt", "a");
  fs::create_hard_link(folder_ / "a.txt", folder_ / "link.txt");
  EXPECT_EQ(IdentityOf(folder_ / "a.txt"), IdentityOf(folder_ / "link.txt"));
  EXPECT_FALSE(IdentityOf(folder_ / "a.txt") == IdentityOf(folder_ / "b.txt"));
#ifdef _WIN32
  // The file system ignores letter case: another spelling is the same file, not a second one.
  EXPECT_EQ(IdentityOf(folder_ / "a.txt"), IdentityOf(folder_ / "A.TXT"));
#endif
}

TEST_F(PlatformTest, RemovalByIdentityLeavesAFileThatTookTheNameAlone) {
  testing::WriteFile(folder_ / "a.txt", "mine");
  const FileIdentity mine = IdentityOf(folder_ / "a.txt");
  testing::WriteFile(folder_ / "theirs", "theirs");
  fs::rename(folder_ / "theirs", folder_ / "a.txt");
  Folder folder;
  ASSERT_EQ(platform_->OpenFolder(folder_.path(), folder_.path().size(), folder), 0);
  EXPECT_EQ(platform_->RemoveIn(folder, "a.txt", mine, nullptr), kOtherFile);
  EXPECT_EQ(testing::ReadFile(folder_ / "a.txt"), "theirs");
  EXPECT_EQ(platform_->RemoveIn(folder, "a.txt", IdentityOf(folder_ / "a.txt"), nullptr), 0);
  EXPECT_FALSE(testing::FileExists(folder_ / "a.txt"));
  platform_->CloseFolder(folder);
}

// The second pass looks up each listed path as one entry: a '?' in it (where Windows lacked a
// character of the name) must never find another name of that length.
TEST_F(PlatformTest, OneEntryLookupTakesNoWildcard) {
  testing::WriteFile(folder_ / "a.txt", "a");
  int error = 0;
  EXPECT_EQ(platform_->StartScan(folder_ / "?.txt", true, error), nullptr);
  EXPECT_EQ(platform_->StartScan(folder_ / "*.txt", true, error), nullptr);
  EXPECT_NE(platform_->StartScan(folder_ / "*", false, error), nullptr);
}

// Past the end of a 32-bit time_t (2038-01-19).
constexpr std::int64_t kIn2040 = 2224713600;  // 1 July 2040: that year in every time zone

TEST_F(PlatformTest, TimesPast2038AreShownInTheirOwnYear) {
  EXPECT_NE(platform_->FormatLocalTime(kIn2040).find("2040"), std::string::npos)
      << platform_->FormatLocalTime(kIn2040);
}

#ifndef _WIN32
// A file whose time a 32-bit time_t cannot hold cannot even be examined with one (EOVERFLOW):
// it would be passed over, never encrypted.
TEST_F(PlatformTest, AFileDatedPast2038IsExaminedAndListed) {
  testing::WriteFile(folder_ / "future.txt", "from 2040");
  const auto when = static_cast<time_t>(kIn2040);
  ASSERT_EQ(when, kIn2040) << "this build's time_t ends in 2038";
  const timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (folder_ / "future.txt").c_str(), times, 0), 0);
  FileFacts facts;
  ASSERT_EQ(platform_->DescribePath(folder_ / "future.txt", facts), 0);
  EXPECT_EQ(facts.modified, kIn2040 * 1000000000);
  int error = 0;
  const auto scan = platform_->StartScan(folder_ / "*", false, error);
  ASSERT_NE(scan, nullptr);
  DirectoryEntry entry;
  bool seen = false;
  while (scan->Read(entry)) {
    if (entry.name != "future.txt") continue;
    seen = true;
    EXPECT_EQ(entry.error, 0);
    EXPECT_EQ(entry.size, 9u);
  }
  EXPECT_TRUE(seen);
  EXPECT_EQ(scan->Error(), 0);
}
#endif

TEST_F(PlatformTest, UniqueFileInAMissingFolderReportsWhyAndNotThatItExists) {
#ifdef _WIN32
  const int kExists = 80;  // ERROR_FILE_EXISTS
#else
  const int kExists = 17;  // EEXIST
#endif
  std::string path;
  const int error = platform_->CreateUniqueFile(folder_ / "missing/", "~files.tmp", path);
  EXPECT_NE(error, 0);
  EXPECT_NE(error, kExists);
}

}  // namespace
}  // namespace corvalin
