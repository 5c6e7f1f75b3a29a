#include "platform/terminal.h"

#include <windows.h>

namespace corvalin {
namespace {

void WriteText(HANDLE out, std::string_view text) {
  DWORD put = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &put, nullptr);
}

// The console's own output, where the prompt is seen even when standard error is redirected.
class ConsoleOutput {
 public:
  ConsoleOutput()
      : handle_(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr)) {}
  ~ConsoleOutput() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  ConsoleOutput(const ConsoleOutput&) = delete;
  ConsoleOutput& operator=(const ConsoleOutput&) = delete;

  HANDLE handle() const {
    return handle_ != INVALID_HANDLE_VALUE ? handle_ : GetStdHandle(STD_ERROR_HANDLE);
  }

 private:
  HANDLE handle_;
};

// The console's input: standard input when that is the console, else the console itself, which
// a program started in a console window still has while its input is redirected (a pipe, a
// file). No handle when the process has no console at all.
class ConsoleInput {
 public:
  ConsoleInput() {
    DWORD mode = 0;
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleMode(in, &mode)) {
      handle_ = in;
      return;
    }
    owned_ = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
    if (owned_ != INVALID_HANDLE_VALUE && GetConsoleMode(owned_, &mode)) handle_ = owned_;
  }
  ~ConsoleInput() {
    if (owned_ != INVALID_HANDLE_VALUE) CloseHandle(owned_);
  }
  ConsoleInput(const ConsoleInput&) = delete;
  ConsoleInput& operator=(const ConsoleInput&) = delete;

  HANDLE handle() const { return handle_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  HANDLE owned_ = INVALID_HANDLE_VALUE;
};

// The console input without echo for the life of the object.
class QuietConsole {
 public:
  explicit QuietConsole(HANDLE in) : in_(in) {
    if (!GetConsoleMode(in_, &saved_)) {
      error_ = static_cast<int>(GetLastError());
      return;
    }
    const DWORD quiet = (saved_ | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT;
    if (!SetConsoleMode(in_, quiet)) error_ = static_cast<int>(GetLastError());
  }
  ~QuietConsole() {
    if (error_ == 0) SetConsoleMode(in_, saved_);
  }
  QuietConsole(const QuietConsole&) = delete;
  QuietConsole& operator=(const QuietConsole&) = delete;

  int error() const { return error_; }

 private:
  HANDLE in_;
  DWORD saved_ = 0;
  int error_ = 0;
};

}  // namespace

bool TerminalAvailable() {
  return ConsoleInput().handle() != INVALID_HANDLE_VALUE;
}

int ReadHiddenLine(std::string_view prompt, std::span<char> line, std::size_t& length) {
  length = 0;
  const ConsoleInput input;
  const HANDLE in = input.handle();
  const ConsoleOutput out;
  const QuietConsole console(in);
  if (console.error() != 0) return console.error();
  WriteText(out.handle(), prompt);
  int error = 0;
  for (char c = 0;;) {
    DWORD got = 0;
    if (!ReadFile(in, &c, 1, &got, nullptr)) error = static_cast<int>(GetLastError());
    if (error != 0 || got == 0 || c == '\n') break;
    if (c == '\r') continue;  // the console ends a line with CR LF
    if (length < line.size()) line[length] = c;
    ++length;
  }
  WriteText(out.handle(), "\r\n");
  return error;
}

}  // namespace corvalin
