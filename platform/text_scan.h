// Walking narrow text by characters of the current code page.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvalin {

// Bytes taken by the character that starts at `at` (1, or 2 for a double-byte character on
// Windows code pages that have them). Never runs past the end of the text.
std::size_t CharacterLength(std::string_view text, std::size_t at);

}  // namespace corvalin
