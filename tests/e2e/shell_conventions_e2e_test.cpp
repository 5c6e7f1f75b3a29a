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
  EXPECT_NE(missing.out.find(">>> ERROR(2): Unable to find data/mistyped.aes (No such file or "
                             "directory)\r\n"),
            std::string::npos)
      << missing.out;
  EXPECT_NE(missing.out.find("0 file(s) processed (0 bytes), 1 error(s)\r\n"), std::string::npos);
  EXPECT_EQ(Run({"d", "-p", "pw", "data/*.none"}).status, 0);  // a pattern may match nothing
  EXPECT_EQ(Run({"e", "-p", "pw", "data/sub"}).status, 0);
}

// As a user whom the permissions bind (root reads every folder).
TEST_F(ShellRun, NothingNamedIsPassedOverInSilence) {
  if (!testing::CanRunAsOtherUser()) GTEST_SKIP() << "needs root to run as another user";
  std::filesystem::create_directories(work_ / "data/locked");
  std::filesystem::create_directories(work_ / "data/passage");
  WriteFile(work_ / "data/locked/b.txt", "stays plain");
  WriteFile(work_ / "data/passage/p.txt", "reached through");
  std::filesystem::create_symlink("a.txt", work_ / "data/link.txt");
  testing::GiveToOtherUser(work_.path());
  testing::RunOptions options = Options();
  options.user = testing::kOtherUser;
  const auto run = [&](const std::vector<std::string>& args) {
    return testing::RunProgram(args, work_.path(), options);
  };
  const std::string locked =
      "Unable to search " + (work_ / "data/locked/") + " (Permission denied)";
  for (const int mode : {0300, 0}) {
    SCOPED_TRACE(mode);
    std::filesystem::permissions(work_ / "data/locked", std::filesystem::perms(mode));
    // Met in the walk, and named itself: said, counted, and never "0 error(s)"; each run
    // encrypts, the next decrypts again.
    for (const char* argument : {"data", "data/locked"}) {
      for (const char* command : {"e", "d"}) {
        const auto walked = run({command, "-r", "-p", "pw", argument});
        EXPECT_EQ(walked.status, 1) << walked.out;
        EXPECT_NE(walked.out.find(">>> ERROR(13): " + locked + "\r\n"), std::string::npos)
            << walked.out;
        EXPECT_NE(ReadFile(work_ / "tmp/aeslog.txt").find(locked), std::string::npos);
        EXPECT_NE(walked.out.find(", 1 error(s)\r\n"), std::string::npos) << walked.out;
      }
    }
  }
  // A file needs only search permission on its folder.
  std::filesystem::permissions(work_ / "data/passage", std::filesystem::perms(0300));
  const auto reached = run({"e", "-p", "pw", "data/passage/p.txt"});
  EXPECT_EQ(reached.status, 0) << reached.out;
  EXPECT_NE(reached.out.find("1 file(s) processed"), std::string::npos) << reached.out;
  // A link is never followed to a file, and says so.
  const auto link = run({"e", "-p", "pw", "data/link.txt"});
  EXPECT_EQ(link.status, 1);
  EXPECT_NE(link.out.find(">>> ERROR(-44): Unable to process data/link.txt because it is a "
                          "symbolic link.\r\n"),
            std::string::npos)
      << link.out;
  std::filesystem::permissions(work_ / "data/locked", std::filesystem::perms(0700));
  std::filesystem::permissions(work_ / "data/passage", std::filesystem::perms(0700));
  EXPECT_EQ(ReadFile(work_ / "data/locked/b.txt"), "stays plain");
  EXPECT_EQ(ReadFile(work_ / "data/a.txt"), "a.txt");
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
  // A failure whose own text names no file is followed by the file's path.
  const std::string refused =
      ">>> ERROR(-25): Already encrypted. (" + (work_ / "data/a.txt.aes") + ")\r\n";
  const auto again = Run({"e", "-p", "pw", "data/a.txt.aes"});
  EXPECT_NE(again.out.find(refused), std::string::npos) << again.out;
  EXPECT_NE(ReadFile(work_ / "tmp/aeslog.txt").find(refused), std::string::npos);
  // Quiet, a shell user still hears of what failed, and of nothing else.
  const auto quiet = Run({"e", "-q", "-p", "pw", "data/a.txt.aes", "data/b.txt"});
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, ">>> ERROR(-25): Already encrypted. (" + (work_ / "data/a.txt.aes") + ")\n");
  ASSERT_EQ(Run({"d", "-p", "pw", "data/b.txt.aes"}).status, 0);
  ASSERT_EQ(Run({"e", "-lv", "3", "-p", "pw", "data/b.txt"}).status, 0);
  EXPECT_NE(ReadFile(work_ / "tmp/aeslog.txt").find("Encrypt " + (work_ / "data/b.txt")),
            std::string::npos);
}

}  // namespace
}  // namespace corvalin
