#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <fstream>

#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/secure_wipe.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/recording_sink.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

class SecureWipeTest : public ::testing::Test {
 protected:
  SecureWipeTest() : platform_(*system_) {}

  // Wipes a file of `size` bytes; returns the writes per sweep.
  int WipeFile(std::size_t size, std::uint32_t passes) {
    testing::WriteFile(path_, std::string(size, 'x'));
    DiskFile file(platform_);
    file.Open(OpenMode::kReadWrite, path_);
    Wipe(file, sink_, passes);
    return passes == 0 ? 0 : platform_.Count(Call::kWrite, path_) / static_cast<int>(3 * passes);
  }

  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  FaultInjectingPlatform platform_;
  testing::TempFolder folder_;
  std::string path_ = folder_ / "secret";
  testing::RecordingSink sink_;
};

TEST_F(SecureWipeTest, WritesPerSweepFollowTheChunkSize) {
  EXPECT_EQ(WipeFile(0, 3), 0);
  EXPECT_EQ(platform_.Count(Call::kSeek, path_), 9);  // the seeks still happen
  EXPECT_EQ(platform_.Count(Call::kFlush, path_), 0);
  EXPECT_EQ(testing::ReadFile(path_), "");
}

TEST_F(SecureWipeTest, ExactChunkIsOneWriteAndOneMoreByteIsTwo) {
  EXPECT_EQ(WipeFile(65536, 1), 1);
  testing::TempFolder other;
  path_ = other / "longer";
  EXPECT_EQ(WipeFile(65537, 1), 2);
  EXPECT_EQ(sink_.StepsOf(400), 3 + 6);                // one step per chunk written
  EXPECT_EQ(platform_.Count(Call::kFlush, path_), 3);  // every sweep reaches the device
}

#ifndef _WIN32  // sparse files as POSIX makes them
// Only a sparse file's data is overwritten: writing its holes could fill the disk once the
// file's name is gone, and would leave nothing of the file less readable.
TEST_F(SecureWipeTest, TheHolesOfASparseFileAreLeftAsTheyAre) {
  {
    std::ofstream out(path_, std::ios::binary);
    out.seekp(16 << 20);
    out << std::string(1000, 's');  // one block of data after 16 MiB of hole
  }
  DiskFile file(platform_);
  file.Open(OpenMode::kReadWrite, path_);
  Wipe(file, sink_, 1);
  EXPECT_EQ(platform_.Count(Call::kWrite, path_), 3);  // one chunk a sweep
  EXPECT_EQ(file.Seek(0, SeekOrigin::kCurrent), (16u << 20) + 1000u);
  struct stat info {};
  ASSERT_EQ(stat(path_.c_str(), &info), 0);
  EXPECT_LT(info.st_blocks * 512, 1 << 20);  // still sparse
  EXPECT_NE(testing::ReadFile(path_).substr(16 << 20), std::string(1000, 's'));
}
#endif

TEST_F(SecureWipeTest, ThreePassesEndWithTheRandomBlockRepeated) {
  WipeFile(200000, 3);
  const std::string wiped = testing::ReadFile(path_);
  ASSERT_EQ(wiped.size(), 200000u);
  const std::string block = wiped.substr(0, 65536);
  EXPECT_NE(block, std::string(65536, '\0'));
  EXPECT_NE(block, std::string(65536, '\xff'));
  EXPECT_EQ(wiped.substr(65536, 65536), block);
  EXPECT_EQ(wiped.substr(196608), block.substr(0, 200000 - 196608));
  EXPECT_EQ(platform_.Count(Call::kFlush, path_), 9);
}

#ifndef _WIN32
// POSIX only: a lock there keeps no other writer out, so a file held by the run can still grow;
// Windows refuses the second writer.
TEST_F(SecureWipeTest, FileThatGrewIsOverwrittenOnlyUpToItsRecordedSize) {
  testing::WriteFile(path_, std::string(1000, 'x'));
  DiskFile file(platform_);
  file.Open(OpenMode::kReadWrite, path_);
  {
    std::FILE* writer = std::fopen(path_.c_str(), "ab");  // takes no lock
    std::fputs("tail", writer);
    std::fclose(writer);
  }
  Wipe(file, sink_, 1);
  const std::string wiped = testing::ReadFile(path_);
  ASSERT_EQ(wiped.size(), 1004u);
  EXPECT_EQ(wiped.substr(1000), "tail");
  EXPECT_EQ(file.Seek(0, SeekOrigin::kCurrent), 1000u);
}
#endif

TEST_F(SecureWipeTest, FailedWriteOrFlushIsReportedWithTheSystemCode) {
  for (const Call call : {Call::kWrite, Call::kFlush}) {
    platform_.Heal();
    platform_.Fail(call, path_, 28);
    testing::WriteFile(path_, "data");
    DiskFile file(platform_);
    file.Open(OpenMode::kReadWrite, path_);
    try {
      Wipe(file, sink_, 1);
      FAIL();
    } catch (const ErrorHandler& error) {
      EXPECT_EQ(error.code, 28);
      EXPECT_EQ(error.Message(), "Writing on wiping.");
    }
  }
}

}  // namespace
}  // namespace corvalin
