#include "platform/console_text.h"

namespace corvalin {

std::string WithCarriageReturns(std::string_view text, bool& after_cr) {
  std::string converted;
  converted.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n' && !after_cr) converted += '\r';
    converted += c;
    after_cr = c == '\r';
  }
  return converted;
}

}  // namespace corvalin
