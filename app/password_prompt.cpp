#include "app/password_prompt.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "platform/platform.h"
#include "support/error_handler.h"
#include "support/secret_memory.h"

namespace corvalin {
namespace {

constexpr std::size_t kMaxPasswordBytes = 32;

// One answer, on the stack and wiped when it goes; longer answers are counted, not kept.
class Answer {
 public:
  Answer() = default;
  ~Answer() { WipeMemory(bytes_.data(), bytes_.size()); }
  Answer(const Answer&) = delete;
  Answer& operator=(const Answer&) = delete;

  void Read(Platform& platform, std::string_view prompt) {
    if (const int error = platform.ReadHiddenLine(prompt, bytes_, length_)) {
      throw ErrorHandler(
          Error::kPromptUnreadable,
          "Unable to read the password from the terminal (error " + std::to_string(error) + ").");
    }
  }
  bool fits() const { return length_ <= bytes_.size(); }
  std::string_view text() const { return {bytes_.data(), fits() ? length_ : bytes_.size()}; }
  bool operator==(const Answer& other) const {
    return length_ == other.length_ && text() == other.text();
  }

 private:
  std::array<char, kMaxPasswordBytes> bytes_{};
  std::size_t length_ = 0;
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

}  // namespace corvalin
