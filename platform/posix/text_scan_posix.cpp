#include "platform/text_scan.h"

namespace corvalin {

// UTF-8 and the single-byte sets never use a separator or wildcard byte inside a character, so
// byte steps are exact here.
std::size_t CharacterLength(std::string_view, std::size_t) {
  return 1;
}

}  // namespace corvalin
