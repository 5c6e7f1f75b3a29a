#include "platform/text_scan.h"

#include <windows.h>

namespace corvalin {

std::size_t CharacterLength(std::string_view text, std::size_t at) {
  if (at + 1 < text.size() && IsDBCSLeadByte(static_cast<BYTE>(text[at]))) return 2;
  return 1;
}

}  // namespace corvalin
