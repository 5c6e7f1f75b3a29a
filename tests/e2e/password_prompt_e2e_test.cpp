#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/test_support/process.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using testing::TempFolder;

// The built program on a pseudo-terminal of its own, as someone at a keyboard would run it:
// the controlling terminal is the terminal, and so is standard input unless `piped` (as in
// `ls | xargs corvalin e`); standard output and standard error go to files.
class TerminalRun {
 public:
  TerminalRun(const std::vector<std::string>& args, const std::string& folder, bool piped = false) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const std::string slave = ptsname(master_);
    child_ = fork();
    if (child_ == 0) StartChild(args, folder, slave, piped);
  }
  ~TerminalRun() {
    if (child_ > 0 && !finished_) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  TerminalRun(const TerminalRun&) = delete;
  TerminalRun& operator=(const TerminalRun&) = delete;

  // Reads the terminal until it has shown `text`; false when it does not within ten seconds.
  bool WaitFor(std::string_view text) {
    while (screen_.find(text) == std::string::npos) {
      if (!ReadSome(10000)) return false;
    }
    return true;
  }
  void Type(std::string_view keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  bool EchoIsOn() const {
    termios settings{};
    return tcgetattr(master_, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  }
  // Waits for the program to end and takes in what it left on the terminal.
  int Finish() {
    int status = 0;
    waitpid(child_, &status, 0);
    finished_ = true;
    while (ReadSome(100)) {
    }
    return status;
  }
  const std::string& screen() const { return screen_; }
  std::string err() const { return testing::ReadFile(capture_ / "err"); }

 private:
  [[noreturn]] void StartChild(const std::vector<std::string>& args, const std::string& folder,
                               const std::string& slave, bool piped) {
    setsid();
    const int terminal = open(slave.c_str(), O_RDWR);  // becomes the controlling terminal
    const int out = open((capture_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open((capture_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (terminal < 0 || chdir(folder.c_str()) != 0) _exit(127);
    int input = terminal;
    int pipe_ends[2];
    if (piped) {
      if (pipe(pipe_ends) != 0 || write(pipe_ends[1], "notes.txt\n", 10) != 10) _exit(127);
      close(pipe_ends[1]);
      input = pipe_ends[0];
    }
    dup2(input, 0);
    dup2(out, 1);
    dup2(err, 2);
    testing::Exec(testing::LaunchCommand(CORVALIN_BIN_DIR "/corvalin", args));
  }

  bool ReadSome(int timeout_ms) {
    pollfd ready{master_, POLLIN, 0};
    if (poll(&ready, 1, timeout_ms) <= 0) return false;
    char buffer[256];
    const ssize_t got = read(master_, buffer, sizeof buffer);
    if (got <= 0) return false;  // EIO once the program has closed the terminal
    screen_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  TempFolder capture_;
  int master_ = -1;
  pid_t child_ = -1;
  bool finished_ = false;
  std::string screen_;
};

class PasswordPromptEndToEnd : public ::testing::Test {
 protected:
  PasswordPromptEndToEnd() { testing::WriteFile(folder_ / "notes.txt", "plain words\n"); }
  TempFolder folder_;
};

// With standard input a pipe too: the question goes to the terminal, where the user is.
TEST_F(PasswordPromptEndToEnd, EncryptionAsksTwiceWithoutEchoAndUsesTheAnswer) {
  for (const bool piped : {false, true}) {
    TerminalRun run({"e", "-lx", "notes.txt"}, folder_.path(), piped);
    ASSERT_TRUE(run.WaitFor("Password: ")) << piped;
    EXPECT_FALSE(run.EchoIsOn());
    run.Type("typed secret\n");
    ASSERT_TRUE(run.WaitFor("Repeat password: "));
    run.Type("typed secret\n");
    EXPECT_EQ(run.Finish(), 0);
    // Nothing typed came back: the terminal shows the questions and the line ends alone.
    EXPECT_EQ(run.screen(), "Password: \r\nRepeat password: \r\n");
    EXPECT_TRUE(run.EchoIsOn());

    const auto decrypted =
        testing::RunProgram({"d", "-p", "typed secret", "-lx", "notes.txt.aes"}, folder_.path());
    EXPECT_EQ(decrypted.status, 0);
    EXPECT_EQ(testing::ReadFile(folder_ / "notes.txt"), "plain words\n");
  }
}

TEST_F(PasswordPromptEndToEnd, DifferentAnswersEndTheRunBeforeAnyFileIsTouched) {
  TerminalRun run({"e", "-lx", "notes.txt"}, folder_.path());
  ASSERT_TRUE(run.WaitFor("Password: "));
  run.Type("first try\n");
  ASSERT_TRUE(run.WaitFor("Repeat password: "));
  run.Type("first trx\n");
  const int status = run.Finish();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 256 - 71);
  EXPECT_EQ(run.err(), "\n>>> ERROR(-71): The two passwords entered differ.\n");
  EXPECT_EQ(testing::ListFolder(folder_.path()), std::vector<std::string>{"notes.txt"});
}

TEST_F(PasswordPromptEndToEnd, InterruptAtThePromptGivesTheEchoBack) {
  TerminalRun run({"d", "-lx", "notes.txt"}, folder_.path());
  ASSERT_TRUE(run.WaitFor("Password: "));
  EXPECT_FALSE(run.EchoIsOn());
  run.Type("\x03");  // Ctrl-C
  const int status = run.Finish();
  EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0));
  EXPECT_TRUE(run.EchoIsOn());
  EXPECT_EQ(testing::ReadFile(folder_ / "notes.txt"), "plain words\n");
}

}  // namespace
}  // namespace corvalin
