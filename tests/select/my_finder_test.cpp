#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <random>

#include "platform/platform.h"
#include "select/file_enumerator.h"
#include "select/my_finder.h"
#include "select/my_object.h"
#include "support/error_handler.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using testing::WriteFile;

class RecordingHandler : public MyObject {
 public:
  void process(FileEnumerator& entry) override {
    paths.push_back(entry.EntryPath());
    last_ok = entry.EntryName().find("bad") == std::string::npos;
  }
  std::uint64_t result_size() override { return 10; }
  bool succeeded() override { return last_ok; }
  std::vector<std::string> Sorted() const {
    auto sorted = paths;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }
  std::vector<std::string> paths;
  bool last_ok = true;
};

class MyFinderTest : public ::testing::Test {
 protected:
  MyFinderTest() {
    std::filesystem::create_directories(root_ / "sub/deeper");
    WriteFile(root_ / "a.txt", "a");
    WriteFile(root_ / "B.TXT", "b");
    WriteFile(root_ / ".hidden", "h");
    WriteFile(root_ / "notes.md", "n");
    WriteFile(root_ / "sub/a.txt", "s");
    WriteFile(root_ / "sub/deeper/c.txt", "c");
  }

  std::vector<std::string> Find(const std::string& argument, bool recursive,
                                bool case_sensitive = false) {
    RecordingHandler handler;
    MyFinder finder(*platform_, handler);
    finder.recursive = recursive;
    finder.case_sensitive = case_sensitive;
    finder.Search(argument);
    return handler.Sorted();
  }

  std::vector<std::string> Paths(std::vector<std::string> names) {
    for (auto& name : names) name = root_ / name;
    std::sort(names.begin(), names.end());
    return names;
  }

  std::unique_ptr<Platform> platform_ = MakeSystemPlatform();
  testing::TempFolder root_;
};

TEST_F(MyFinderTest, FolderWithOrWithoutTrailingSeparator) {
  const auto top = Paths({".hidden", "B.TXT", "a.txt", "notes.md"});
  const std::string folder = root_.path().substr(0, root_.path().size() - 1);
  EXPECT_EQ(Find(folder, false), top);
  EXPECT_EQ(Find(root_.path(), false), top);
  EXPECT_EQ(Find(folder, true),
            Paths({".hidden", "B.TXT", "a.txt", "notes.md", "sub/a.txt", "sub/deeper/c.txt"}));
}

TEST_F(MyFinderTest, WildcardInTheLastComponent) {
  EXPECT_EQ(Find(root_ / "*.txt", false), Paths({"B.TXT", "a.txt"}));
  EXPECT_EQ(Find(root_ / "*.txt", true),
            Paths({"B.TXT", "a.txt", "sub/a.txt", "sub/deeper/c.txt"}));
  EXPECT_EQ(Find(root_ / "*.txt", false, true), Paths({"a.txt"}));
}

TEST_F(MyFinderTest, PlainNameIsFoundInSubfoldersAndIgnoresCase) {
  EXPECT_EQ(Find(root_ / "a.txt", false), Paths({"a.txt"}));
  EXPECT_EQ(Find(root_ / "a.txt", true), Paths({"a.txt", "sub/a.txt"}));
  EXPECT_EQ(Find(root_ / "b.txt", false), Paths({"B.TXT"}));
  EXPECT_EQ(Find(root_ / "b.txt", false, true), Paths({}));
  EXPECT_EQ(Find(root_ / "missing", true), Paths({}));
}

TEST_F(MyFinderTest, RelativeArgumentsGiveAbsolutePaths) {
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(root_.path());
  const auto star = Find("*", false);
  const auto sub = Find("sub", false);
  const auto dotted = Find(testing::Native("./sub/../a.txt"), false);
  std::filesystem::current_path(previous);
  EXPECT_EQ(star, Paths({".hidden", "B.TXT", "a.txt", "notes.md"}));
  EXPECT_EQ(sub, Paths({"sub/a.txt"}));
  EXPECT_EQ(dotted, Paths({"a.txt"}));
}

#ifndef _WIN32
// POSIX only: symbolic links and FIFOs.
TEST_F(MyFinderTest, LinksFifosAndLoopsAreNeverSelectedOrFollowed) {
  ASSERT_EQ(symlink((root_ / "a.txt").c_str(), (root_ / "link.txt").c_str()), 0);
  ASSERT_EQ(symlink(root_.path().c_str(), (root_ / "sub/loop").c_str()), 0);
  ASSERT_EQ(mkfifo((root_ / "fifo.txt").c_str(), 0600), 0);
  EXPECT_EQ(Find(root_ / "*.txt", true),
            Paths({"B.TXT", "a.txt", "sub/a.txt", "sub/deeper/c.txt"}));
  EXPECT_EQ(Find(root_ / "link.txt", false), Paths({}));
}
#endif

TEST_F(MyFinderTest, CountsSuccessesBytesAndFailures) {
  WriteFile(root_ / "bad.txt", "x");
  RecordingHandler handler;
  MyFinder finder(*platform_, handler);
  finder.recursive = false;
  finder.Search(root_ / "*.txt");
  EXPECT_EQ(finder.files_done, 2u);
  EXPECT_EQ(finder.bytes_done, 20u);
  EXPECT_EQ(finder.errors, 1u);
  EXPECT_EQ(handler.error_count, 1);
}

TEST_F(MyFinderTest, EmptyArgumentIsRefused) {
  RecordingHandler handler;
  MyFinder finder(*platform_, handler);
  EXPECT_THROW(finder.Search(""), ErrorHandler);
  EXPECT_TRUE(handler.paths.empty());
}

// The system resolves "." and ".." in a path: the folder searched is the one it names.
TEST_F(MyFinderTest, DotAndDotDotNameTheFoldersTheSystemMeans) {
  std::filesystem::create_directories(root_ / "p/dir/sub");
  WriteFile(root_ / "p/parent.txt", "p");
  WriteFile(root_ / "p/dir/here.txt", "h");
  WriteFile(root_ / "p/dir/sub/inner.txt", "i");
  EXPECT_EQ(Find(root_ / "p/dir/sub/..", false), Paths({"p/dir/here.txt"}));
  EXPECT_EQ(Find(root_ / "p/dir/sub/../", false), Paths({"p/dir/here.txt"}));
  EXPECT_EQ(Find(root_ / "p/dir/sub/.", false), Paths({"p/dir/sub/inner.txt"}));
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(root_ / "p/dir");
  const auto up = Find("sub/..", false), same = Find("sub/.", false), parent = Find("..", false);
  const auto here = Find(".", false);
  std::filesystem::current_path(previous);
  EXPECT_EQ(up, Paths({"p/dir/here.txt"}));
  EXPECT_EQ(same, Paths({"p/dir/sub/inner.txt"}));
  EXPECT_EQ(parent, Paths({"p/parent.txt"}));
  EXPECT_EQ(here, Paths({"p/dir/here.txt"}));
}

#ifndef _WIN32  // links as POSIX makes them
// The kernel takes ".." after a link from where the link leads, not from the text before it.
TEST_F(MyFinderTest, DotDotAfterALinkLeadsWhereTheSystemGoes) {
  std::filesystem::create_directories(root_ / "work");
  std::filesystem::create_directories(root_ / "elsewhere/inner");
  WriteFile(root_ / "work/a.txt", "work's");
  WriteFile(root_ / "elsewhere/a.txt", "elsewhere's");
  ASSERT_EQ(symlink("../elsewhere/inner", (root_ / "work/lnk").c_str()), 0);
  EXPECT_EQ(Find(root_ / "work/lnk/../a.txt", false), Paths({"elsewhere/a.txt"}));
  EXPECT_EQ(Find(root_ / "work/lnk/../*.txt", false), Paths({"elsewhere/a.txt"}));
  // A link the user typed as the folder is followed; links met below it never are.
  WriteFile(root_ / "elsewhere/inner/deep.txt", "d");
  EXPECT_EQ(Find(root_ / "work/lnk", false), Paths({"work/lnk/deep.txt"}));
  // ".." of the root, reached through a link, is the root.
  ASSERT_EQ(symlink("/", (root_ / "work/root").c_str()), 0);
  EXPECT_EQ(platform_->FullPath(root_ / "work/root/.."), "/");
  EXPECT_EQ(platform_->FullPath("/proc/self/root/../tmp"), "/tmp");
}

// Whatever an argument or a list line holds, resolving and searching it raise nothing but the
// run's own errors.
TEST_F(MyFinderTest, NoPathMakesResolutionFail) {
  std::filesystem::create_directories(root_ / "work");
  ASSERT_EQ(symlink("/", (root_ / "work/root").c_str()), 0);
  ASSERT_EQ(symlink("..", (root_ / "work/up").c_str()), 0);
  const std::vector<std::string> words{"..", ".", "root", "up", "work", "a.txt", "*", "", "x?"};
  std::mt19937 random(26);
  RecordingHandler handler;
  MyFinder finder(*platform_, handler);
  finder.recursive = false;
  for (int round = 0; round < 3000; ++round) {
    std::string path = round % 3 == 0 ? "/proc/self/root" : round % 3 == 1 ? root_.path() : "";
    for (std::size_t n = random() % 7; n > 0; --n) path += words[random() % words.size()] + "/";
    if (random() % 2 == 0 && !path.empty()) path.pop_back();
    SCOPED_TRACE(path);
    EXPECT_NO_THROW(platform_->FullPath(path));
    FileEnumerator entry(*platform_);
    EXPECT_NO_THROW(entry.Start(path, true));
    try {
      finder.Search(path);
    } catch (const ErrorHandler&) {
      // An empty argument is refused.
    } catch (...) {
      ADD_FAILURE() << "an exception other than the run's own";
    }
  }
}
#endif

}  // namespace
}  // namespace corvalin
