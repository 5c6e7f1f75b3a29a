// What a user of a POSIX shell and its scripts assumes: every file the shell names is handled,
// and the exit status says whether everything was. What the README promises besides.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/test_support/test_support.h"
#include "tests/test_support/work_folder_test.h"

namespace corvalin {
namespace {

using testing::ReadFile;
using testing::WriteFile;
using Names = std::vector<std::string>;

class ShellRun : public testing::WorkFolderTest {
 protected:
  ShellRun() {
    std::filesystem::create_directories(work_ / "data/sub");
    for (const char* name : {"a.txt", "b.txt", "c.txt", "sub/d.txt"}) {
      WriteFile(work_ / ("data/" + std::string(name)), name);
    }
  }
  testing::RunResult Run(const std::vector<std::string>& args, const std::string& in = "") {
    return testing::RunProgram(args, in.empty() ? work_.path() : work_ / in, Options());
  }
};

TEST_F(ShellRun, EveryFileTheShellNamesIsHandledOnce) {
  const auto run = Run({"e", "-p", "pw", "data/a.txt", "data/b.txt", "data/c.txt", "data/a.txt"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("Found 3 file(s)"), std::string::npos);
  EXPECT_EQ(Data(), (Names{"a.txt.aes", "b.txt.aes", "c.txt.aes", "sub"}));
  const auto info = Run({"d", "-i", "-p", "pw", "data/a.txt.aes", "data/*.aes"});
  EXPECT_NE(info.out.find("Filename = data/a.txt.aes\nFilename = data/*.aes\n"), std::string::npos);
  EXPECT_EQ(Data(), (Names{"a.txt", "b.txt", "c.txt", "sub"}));
}

TEST_F(ShellRun, TheExitStatusSaysWhetherEveryFileWasHandled) {
  EXPECT_EQ(Run({"e", "-p", "pw", "data/a.txt"}).status, 0);
  const auto wrong = Run({"d", "-p", "not it", "data/a.txt.aes"});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.out.find("0 file(s) processed (0 bytes), 1 error(s)\r\n"), std::string::npos);
  const auto mixed = Run({"d", "-p", "pw", "data/a.txt.aes", "data/b.txt"});
  EXPECT_EQ(mixed.status, 1);
  EXPECT_NE(mixed.out.find("1 file(s) processed (5 bytes), 1 error(s)\r\n"), std::string::npos);
  const auto missing = Run({"d", "-p", "pw", "data/mistyped.aes"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("0 file(s) processed (0 bytes), 0 error(s)\r\n"), std::string::npos);
  EXPECT_EQ(Run({"d", "-p", "pw", "data/*.none"}).status, 0);  // a pattern may match nothing
  EXPECT_EQ(Run({"e", "-p", "pw", "data/sub"}).status, 0);
}

TEST_F(ShellRun, WithoutAFileArgumentTheCurrentFolderIsTaken) {
  const auto here = Run({"e", "-p", "pw"}, "data");
  EXPECT_NE(here.out.find("Found 3 file(s)"), std::string::npos) << here.out;
  const auto tree = Run({"d", "-r", "-p", "pw"}, "data");
  EXPECT_NE(tree.out.find("Found 4 file(s)"), std::string::npos) << tree.out;
  EXPECT_EQ(Data("data/sub"), Names{"d.txt"});
}

TEST_F(ShellRun, AutomaticModeEncryptsAgainWhatAMistypedPasswordCannotOpen) {
  ASSERT_EQ(Run({"e", "-p", "right", "data/a.txt"}).status, 0);
  EXPECT_EQ(Run({"a", "-p", "wrong", "data/a.txt.aes"}).status, 0);
  EXPECT_EQ(Data(), (Names{"a.txt.aes.aes", "b.txt", "c.txt", "sub"}));
}

// A script keeps the password off the command line: in a file, on standard input, or on a
// descriptor of its own (a pipe, as `-pf <(command)` gives). The first line counts, without
// its line end.
TEST_F(ShellRun, AScriptGivesThePasswordInAFileOnStandardInputOrOnADescriptor) {
  WriteFile(work_ / "pw.txt", "file secret\r\nsecond line\n");
  const auto file = Run({"e", "-pf", "pw.txt", "data/a.txt"});
  EXPECT_EQ(file.status, 0) << file.err;
  EXPECT_EQ(Run({"d", "-p", "file secret", "data/a.txt.aes"}).status, 0);
  EXPECT_EQ(ReadFile(work_ / "data/a.txt"), "a.txt");

  const auto piped =
      Shell(R"(printf 'piped secret\nsecond line\n' | run "$@")", {"e", "-pf", "-", "data/b.txt"});
  EXPECT_EQ(piped.status, 0) << piped.err;
  const auto descriptor = Shell(R"(printf 'piped secret\n' | run "$@" 3<&0 </dev/null)",
                                {"d", "-pf", "/dev/fd/3", "data/b.txt.aes"});
  EXPECT_EQ(descriptor.status, 0) << descriptor.err;
  EXPECT_EQ(ReadFile(work_ / "data/b.txt"), "b.txt");

  const auto missing = Run({"e", "-pf", "nowhere.txt", "data/c.txt"});
  EXPECT_EQ(missing.status, testing::ExitStatusOf(-74));
  EXPECT_NE(missing.err.find("Unable to read the password from nowhere.txt"), std::string::npos);
  EXPECT_EQ(Data(), (Names{"a.txt", "b.txt", "c.txt", "sub"}));
}

TEST_F(ShellRun, TheDefaultLogNamesOnlyFailuresAndLevelThreeNamesEveryFile) {
  ASSERT_EQ(Run({"e", "-p", "pw", "data/a.txt"}).status, 0);
  EXPECT_EQ(ReadFile(work_ / "tmp/aeslog.txt").find("a.txt"), std::string::npos);
  ASSERT_EQ(Run({"e", "-lv", "3", "-p", "pw", "data/b.txt"}).status, 0);
  EXPECT_NE(ReadFile(work_ / "tmp/aeslog.txt").find("Encrypt " + (work_ / "data/b.txt")),
            std::string::npos);
}

}  // namespace
}  // namespace corvalin
