#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "support/crc32.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/recording_sink.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using testing::ReadFile;
using testing::WriteFile;

class DiskFileTest : public ::testing::Test {
 protected:
  DiskFileTest() : platform_(*system_) {}

  static int OpenError(DiskFile& file, OpenMode mode, const std::string& path,
                       std::string* message) {
    return testing::ErrorCodeOf([&] { file.Open(mode, path); }, message);
  }

  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  FaultInjectingPlatform platform_;
  testing::TempFolder folder_;
};

TEST_F(DiskFileTest, OpenRecordsNameFolderAndSize) {
  WriteFile(folder_ / "a.txt", "hello");
  DiskFile file(platform_);
  file.Open(OpenMode::kRead, folder_ / "a.txt");
  EXPECT_EQ(file.name(), "a.txt");
  EXPECT_EQ(file.directory(), folder_.path());
  EXPECT_EQ(file.path(), folder_ / "a.txt");
  EXPECT_EQ(file.size(), 5u);
  file.SetName("b.txt");
  EXPECT_EQ(file.path(), folder_ / "b.txt");
  EXPECT_EQ(file.directory(), folder_.path());
}

TEST_F(DiskFileTest, ModesCreateEmptyOrKeepContents) {
  WriteFile(folder_ / "keep", "contents");
  {
    DiskFile file(platform_);
    file.Open(OpenMode::kReadWrite, folder_ / "keep");
    EXPECT_EQ(file.size(), 8u);
    EXPECT_THROW(file.Open(OpenMode::kReadWrite, folder_ / "x"),
                 ErrorHandler);  // the first handle stays
  }
  EXPECT_EQ(ReadFile(folder_ / "keep"), "contents");
  DiskFile created(platform_, folder_ / "new");
  EXPECT_EQ(created.size(), 0u);
#ifndef _WIN32
  struct stat info {};
  ASSERT_EQ(stat((folder_ / "new").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
#endif
  DiskFile emptied(platform_);
  emptied.Open(OpenMode::kWrite, folder_ / "keep");
  EXPECT_EQ(emptied.size(), 0u);
  EXPECT_EQ(ReadFile(folder_ / "keep"), "");
}

TEST_F(DiskFileTest, SecondOpenWhileStillOpenIsRefused) {
  DiskFile file(platform_);
  file.Open(OpenMode::kWrite, folder_ / "a");
  std::string message;
  EXPECT_EQ(OpenError(file, OpenMode::kRead, folder_ / "b", &message), -7);
  EXPECT_EQ(message, "file " + (folder_ / "b") + " is already opened.");
  EXPECT_TRUE(file.IsOpen());
}

TEST_F(DiskFileTest, MissingFileInReadModeNamesTheMode) {
  DiskFile file(platform_);
  std::string message;
  EXPECT_EQ(OpenError(file, OpenMode::kRead, folder_ / "missing", &message), -5);
  EXPECT_EQ(message, "Unable to open file " + (folder_ / "missing") + " (read mode)");
}

// A writer must never empty a file another open holds: the lock comes first.
TEST_F(DiskFileTest, WritersExcludeEachOtherAndNeverEmptyAHeldFile) {
  WriteFile(folder_ / "held", "precious");
  for (const OpenMode holder_mode : {OpenMode::kRead, OpenMode::kWrite, OpenMode::kReadWrite}) {
    if (holder_mode == OpenMode::kWrite) WriteFile(folder_ / "held", "precious");
    DiskFile holder(platform_);
    holder.Open(holder_mode, folder_ / "held");
    const std::string before = ReadFile(folder_ / "held");
    for (const OpenMode mode : {OpenMode::kWrite, OpenMode::kReadWrite}) {
      DiskFile second(platform_);
      std::string message;
      EXPECT_EQ(OpenError(second, mode, folder_ / "held", &message), -5);
      EXPECT_EQ(message, "Unable to open file " + (folder_ / "held") +
                             (mode == OpenMode::kWrite ? " (write mode)" : " (read-write mode)"));
    }
    EXPECT_EQ(ReadFile(folder_ / "held"), before);
  }
  DiskFile reader(platform_), another(platform_);
  reader.Open(OpenMode::kRead, folder_ / "held");
  EXPECT_EQ(OpenError(another, OpenMode::kRead, folder_ / "held", nullptr), 0);  // readers share
}

#ifndef _WIN32
// POSIX only: symbolic links.
TEST_F(DiskFileTest, SymbolicLinksAreNeverWrittenThrough) {
  WriteFile(folder_ / "target", "keep me");
  ASSERT_EQ(symlink((folder_ / "target").c_str(), (folder_ / "link").c_str()), 0);
  DiskFile file(platform_);
  EXPECT_EQ(OpenError(file, OpenMode::kWrite, folder_ / "link", nullptr), -5);
  EXPECT_EQ(OpenError(file, OpenMode::kReadWrite, folder_ / "link", nullptr), -5);
  EXPECT_EQ(ReadFile(folder_ / "target"), "keep me");
}
#endif

TEST_F(DiskFileTest, ReadWriteSeekOnOpenAndClosedStreams) {
  DiskFile file(platform_);
  EXPECT_EQ(file.Read(4, nullptr), 0u);
  EXPECT_EQ(file.Write(4, "abcd"), 0u);
  EXPECT_THROW(file.Seek(0, SeekOrigin::kBegin), ErrorHandler);  // a closed stream has no position
  file.Open(OpenMode::kReadWrite, folder_ / "rw");
  EXPECT_EQ(file.Write(6, "abcdef"), 6u);
  EXPECT_EQ(file.Seek(2, SeekOrigin::kBegin), 2u);
  EXPECT_EQ(file.Seek(1, SeekOrigin::kCurrent), 3u);
  char buffer[8] = {};
  EXPECT_EQ(file.Read(8, buffer), 3u);
  EXPECT_EQ(std::string(buffer, 3), "def");
  EXPECT_EQ(file.Read(8, buffer), 0u);
}

// A position is the file's own, all of it: past 4 GiB a 32-bit program must neither fail nor
// answer the low half (the platform may seek past the end of any file).
TEST_F(DiskFileTest, PositionsPastFourGibibytesAreWhole) {
  WriteFile(folder_ / "small", "abc");
  DiskFile file(platform_);
  file.Open(OpenMode::kRead, folder_ / "small");
  const std::int32_t most = 0x7FFFFFFF;
  EXPECT_EQ(file.Seek(most, SeekOrigin::kBegin), 0x7FFFFFFFu);
  EXPECT_EQ(file.Seek(most, SeekOrigin::kCurrent), 0xFFFFFFFEu);
  EXPECT_EQ(file.Seek(most, SeekOrigin::kCurrent), 0x17FFFFFFDull);
  char buffer[4] = {};
  EXPECT_EQ(file.Read(4, buffer), 0u);  // past the end
  EXPECT_EQ(file.Seek(0, SeekOrigin::kBegin), 0u);
  EXPECT_EQ(file.Read(4, buffer), 3u);
}

TEST_F(DiskFileTest, FailuresNameThePath) {
  const std::string path = folder_ / "f";
  DiskFile file(platform_, path);
  platform_.Fail(Call::kWrite, path, 28);
  platform_.Fail(Call::kRead, path, 5);
  platform_.Fail(Call::kSeek, path, 22);
  try {
    file.Write(1, "x");
    FAIL();
  } catch (const ErrorHandler& error) {
    EXPECT_EQ(error.code, -2);
    EXPECT_EQ(error.Message(), "Unable to write file " + path + "(disk full?)");
  }
  try {
    file.Read(1, nullptr);
    FAIL();
  } catch (const ErrorHandler& error) {
    EXPECT_EQ(error.code, -1);
    EXPECT_EQ(error.Message(), "Unable to read from file " + path);
  }
  try {
    file.Seek(0, SeekOrigin::kBegin);
    FAIL();
  } catch (const ErrorHandler& error) {
    EXPECT_EQ(error.code, 22);
    EXPECT_EQ(error.Message(), "Unable to apply seeking to file " + path);
  }
}

TEST_F(DiskFileTest, ChecksumReadsTheWholeFileInChunksOnlyInReadMode) {
  const std::string data = testing::RandomBytes(40000, 3);
  WriteFile(folder_ / "c", data);
  CCrc32Dynamic expected;
  expected.Init();
  expected.Update(data.data(), data.size());
  DiskFile file(platform_);
  file.Open(OpenMode::kRead, folder_ / "c");
  testing::RecordingSink sink;
  EXPECT_EQ(file.Checksum(&sink), expected.Checksum());
  EXPECT_EQ(sink.StepsOf(400), 3);  // 16384 + 16384 + 7232
  EXPECT_EQ(file.Seek(0, SeekOrigin::kCurrent), 0u);
  file.Close();
  file.Open(OpenMode::kReadWrite, folder_ / "c");
  file.set_checksum(42);
  EXPECT_EQ(file.Checksum(&sink), 42u);
}

TEST_F(DiskFileTest, ChecksumThatCannotReadTheWholeFileFails) {
  WriteFile(folder_ / "c", testing::RandomBytes(40000, 3));
  DiskFile file(platform_);
  file.Open(OpenMode::kRead, folder_ / "c");
  platform_.Fail(Call::kRead, folder_ / "c", 5, 1);
  try {
    file.Checksum(nullptr);
    FAIL();
  } catch (const ErrorHandler& error) {
    EXPECT_EQ(error.code, -1);
  }
}

TEST_F(DiskFileTest, ExtensionIsTheTextAfterTheLastDot) {
  for (const auto& [name, extension] : std::vector<std::pair<std::string, std::string>>{
           {"report.tar.gz", "gz"}, {"README", ""}, {"trailing.", ""}}) {
    DiskFile file(platform_, folder_ / name);
    EXPECT_EQ(file.Extension(), extension) << name;
  }
}

}  // namespace
}  // namespace corvalin
