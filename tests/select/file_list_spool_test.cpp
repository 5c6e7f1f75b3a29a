#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "select/file_enumerator.h"
#include "select/file_list_spool.h"
#include "select/my_finder.h"
#include "select/my_object.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

class PathRecorder : public MyObject {
 public:
  void process(FileEnumerator& entry) override { paths.push_back(entry.EntryPath()); }
  std::uint64_t result_size() override { return 1; }
  bool succeeded() override { return true; }
  std::vector<std::string> paths;
};

class FileListSpoolTest : public ::testing::Test {
 protected:
  DiskFile& List(const std::string& text) {
    testing::WriteFile(folder_ / "list", text);
    list_.Open(OpenMode::kRead, folder_ / "list");
    return list_;
  }

  std::unique_ptr<Platform> platform_ = MakeSystemPlatform();
  testing::TempFolder folder_;
  DiskFile list_{*platform_};
};

TEST_F(FileListSpoolTest, EmptyListEndsAtOnce) {
  std::string line = "stale";
  EXPECT_EQ(ListReader(List("")).ReadLine(line), 0u);
  EXPECT_EQ(line, "");
}

TEST_F(FileListSpoolTest, LinesReadBackInOrderWhateverTheListsPosition) {
  DiskFile& file = List("first\nsecond line\n\nlast\n");
  file.Seek(9, SeekOrigin::kBegin);  // the reader starts at the list's start
  ListReader list(file);
  std::string line;
  EXPECT_EQ(list.ReadLine(line), 6u);
  EXPECT_EQ(line, "first");
  EXPECT_EQ(list.ReadLine(line), 12u);
  EXPECT_EQ(line, "second line");
  EXPECT_EQ(list.ReadLine(line), 1u);
  EXPECT_EQ(line, "");
  EXPECT_EQ(list.ReadLine(line), 5u);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(list.ReadLine(line), 0u);
}

// Paths reach any length the system allows, and deeper: every line must come back whole.
TEST_F(FileListSpoolTest, LinesOfAnyLengthReadBackWholeAndAnUnendedOneFails) {
  const std::string longest(70000, 'p');
  ListReader list(List("short\n" + longest + "\nlast\n"));
  std::string line;
  EXPECT_EQ(list.ReadLine(line), 6u);
  EXPECT_EQ(list.ReadLine(line), longest.size() + 1);
  EXPECT_EQ(line, longest);
  EXPECT_EQ(list.ReadLine(line), 5u);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(list.ReadLine(line), 0u);
  list_.Close();
  ListReader cut(List("whole\ncut short"));
  cut.ReadLine(line);
  std::string message;
  testing::ErrorCodeOf([&] { cut.ReadLine(line); }, &message);
  EXPECT_EQ(message, "Unable to find EOL in file '" + (folder_ / "list") + "'");
}

TEST_F(FileListSpoolTest, OnlyFilesThatStillExistAreHandedOn) {
  testing::WriteFile(folder_ / "kept", "k");
  testing::WriteFile(folder_ / "deleted", "d");
  std::filesystem::create_directory(folder_ / "now-a-folder");
  const std::string text = (folder_ / "kept\n") + (folder_ / "deleted\n") + "\n" +
                           (folder_ / "now-a-folder\n") + (folder_ / "kept\n");
  std::filesystem::remove(folder_ / "deleted");
  PathRecorder recorder;
  MyFinder finder(*platform_, recorder);
  RunList(List(text), finder);
  EXPECT_EQ(recorder.paths, (std::vector<std::string>{folder_ / "kept", folder_ / "kept"}));
  EXPECT_EQ(finder.files_done, 2u);
  EXPECT_EQ(finder.errors, 0u);
}

}  // namespace
}  // namespace corvalin
