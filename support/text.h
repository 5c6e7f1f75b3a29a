// Small text helpers shared across folders.
#pragma once

#include <string>
#include <string_view>

namespace corvalin {

// Equal after folding the ASCII letters only; every other byte compares exactly.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// printf-style formatting into a string.
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace corvalin
