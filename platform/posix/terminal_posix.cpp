#include "platform/terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

namespace corvalin {
namespace {

// The signals that end or stop a process at the keyboard or from outside. While echo is off
// they are caught, so that the terminal gets its echo back before they take their course.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU};
constexpr int kLookAgainMs = 100;

// A signal handler can reach nothing but a variable of this kind; it is the only state the
// handler and the read share.
volatile sig_atomic_t caught_signal = 0;

extern "C" void NoteSignal(int signal_number) {
  caught_signal = signal_number;
}

void WriteText(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t put = write(fd, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(put));
  }
}

// The terminal with echo off and the signals caught, for the life of the object. The process's
// controlling terminal is used when there is one, as other tools do; otherwise standard input,
// with the prompt on standard error.
class QuietTerminal {
 public:
  QuietTerminal() {
    const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty >= 0) in_ = out_ = owned_ = tty;
    caught_signal = 0;
    struct sigaction note {};
    note.sa_handler = NoteSignal;  // without SA_RESTART, so that a blocked read returns
    sigemptyset(&note.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
      sigaction(kSignals[i], nullptr, &saved_actions_[i]);
      // A signal the process ignores (as a background job's SIGINT) stays ignored.
      if (saved_actions_[i].sa_handler != SIG_IGN) sigaction(kSignals[i], &note, nullptr);
    }
    if (tcgetattr(in_, &saved_) != 0) {
      error_ = errno;
      return;
    }
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL);
    if (tcsetattr(in_, TCSAFLUSH, &quiet) != 0) error_ = errno;
    changed_ = error_ == 0;
  }

  ~QuietTerminal() {
    if (changed_) Restore();
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
      sigaction(kSignals[i], &saved_actions_[i], nullptr);
    }
    if (owned_ >= 0) close(owned_);
    // Now that everything is as it was, the signal takes its usual course.
    if (caught_signal != 0) kill(getpid(), caught_signal);
  }

  QuietTerminal(const QuietTerminal&) = delete;
  QuietTerminal& operator=(const QuietTerminal&) = delete;

  int error() const { return error_; }
  int in() const { return in_; }
  int out() const { return out_; }

 private:
  // A process in the background may change the terminal only while it blocks SIGTTOU; its
  // echo must come back all the same.
  void Restore() {
    sigset_t ttou, previous;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &previous);
    while (tcsetattr(in_, TCSAFLUSH, &saved_) != 0 && errno == EINTR) {
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
  }

  int in_ = STDIN_FILENO, out_ = STDERR_FILENO, owned_ = -1;
  termios saved_{};
  struct sigaction saved_actions_[std::size(kSignals)]{};
  bool changed_ = false;
  int error_ = 0;
};

bool IsStopSignal(int signal_number) {
  return signal_number == SIGTSTP || signal_number == SIGTTIN || signal_number == SIGTTOU;
}

int ReadOnce(std::string_view prompt, std::span<char> line, std::size_t& length) {
  length = 0;
  const QuietTerminal terminal;
  if (terminal.error() != 0) return terminal.error();
  WriteText(terminal.out(), prompt);
  int error = 0;
  for (char c = 0;;) {
    if (caught_signal != 0) {
      error = EINTR;
      break;
    }
    // A signal that came between the look above and a read would be noted while the read went
    // on waiting for a key: the wait for input looks again every tenth of a second.
    pollfd input{terminal.in(), POLLIN, 0};
    const int ready = poll(&input, 1, kLookAgainMs);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    if (ready < 0) {
      error = errno;
      break;
    }
    const ssize_t got = read(terminal.in(), &c, 1);
    if (got < 0) error = errno;
    if (got <= 0 || c == '\n') break;
    if (length < line.size()) line[length] = c;
    ++length;
  }
  // The line end typed was not echoed.
  WriteText(terminal.out(), "\n");
  return error;
}

}  // namespace

bool TerminalAvailable() {
  if (isatty(STDIN_FILENO) == 1) return true;
  // Without a controlling terminal (cron, a daemon, a new session) the open fails with ENXIO.
  const int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return false;
  close(tty);
  return true;
}

int ReadHiddenLine(std::string_view prompt, std::span<char> line, std::size_t& length) {
  for (;;) {
    const int error = ReadOnce(prompt, line, length);
    // Stopped at the prompt and continued: ask again, as the answer so far was thrown away.
    if (!IsStopSignal(caught_signal)) return error;
  }
}

}  // namespace corvalin
