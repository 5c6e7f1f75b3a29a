#pragma once

#include <string_view>

namespace corvalin {

class Platform;

// The help page on standard output; the program name is the part of `program_path` after its
// last separator.
void PrintHelpPage(Platform& platform, std::string_view program_path);

// The page's name and version line alone.
void PrintVersionLine(Platform& platform);

}  // namespace corvalin
