#include "app/password_prompt.h"

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "platform/platform.h"
#include "support/error_handler.h"
#include "support/secret_memory.h"

namespace corvalin {
namespace {

constexpr std::size_t kMaxPasswordBytes = 32;

// Bytes that may hold a password, on the stack and wiped when they go. A reader keeps at most
// Capacity of them; `length` counts all it saw, so that a longer line is seen as such.
template <std::size_t Capacity>
struct SecretLine {
  SecretLine() = default;
  ~SecretLine() { WipeMemory(bytes.data(), bytes.size()); }
  SecretLine(const SecretLine&) = delete;
  SecretLine& operator=(const SecretLine&) = delete;

  bool fits() const { return length <= Capacity; }
  std::string_view text() const { return {bytes.data(), fits() ? length : Capacity}; }

  std::array<char, Capacity> bytes{};
  std::size_t length = 0;
};

// One answer at the prompt.
class Answer {
 public:
  void Read(Platform& platform, std::string_view prompt) {
    if (const int error = platform.ReadHiddenLine(prompt, line_.bytes, line_.length)) {
      throw ErrorHandler(
          Error::kPromptUnreadable,
          "Unable to read the password from the terminal (error " + std::to_string(error) + ").");
    }
  }
  bool fits() const { return line_.fits(); }
  std::string_view text() const { return line_.text(); }
  bool operator==(const Answer& other) const {
    return line_.length == other.line_.length && text() == other.text();
  }

 private:
  SecretLine<kMaxPasswordBytes> line_;
};

}  // namespace

void AskPassword(Platform& platform, bool confirm, std::string& password) {
  Answer first;
  first.Read(platform, "Password: ");
  if (first.text().empty()) throw ErrorHandler(Error::kEmptyAnswer, "No password was entered.");
  if (!first.fits())
    throw ErrorHandler(Error::kAnswerTooLong, "The password entered exceeds 32 bytes.");
  if (confirm) {
    Answer second;
    second.Read(platform, "Repeat password: ");
    if (!(first == second))
      throw ErrorHandler(Error::kAnswersDiffer, "The two passwords entered differ.");
  }
  password.assign(first.text());
}

void ReadPasswordFile(Platform& platform, const std::string& name, std::string& password) {
  // Room for 32 bytes and the carriage return of a CR LF line end.
  SecretLine<kMaxPasswordBytes + 1> line;
  const bool standard_input = name == "-";
  if (const int error =
          platform.ReadFirstLine(standard_input ? "" : name, line.bytes, line.length)) {
    throw ErrorHandler(Error::kPasswordFileUnreadable,
                       "Unable to read the password from " +
                           (standard_input ? std::string("standard input") : name) + " (error " +
                           std::to_string(error) + ").");
  }
  std::string_view text = line.text();
  if (line.fits() && !text.empty() && text.back() == '\r') text.remove_suffix(1);
  WipeString(password);
  password.assign(text);
}

}  // namespace corvalin
