// Reading a secret from the user's terminal with echo off: the one place that knows how.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace corvalin {

// Whether there is a terminal to ask on: standard input, or else the controlling terminal (on
// Windows, the console), which a user at a keyboard still has while standard input is a pipe.
bool TerminalAvailable();

// Shows `prompt` on that terminal, reads one line from it without echo and ends the line on the
// terminal. At most `line.size()` bytes are kept, but `length` counts every byte before the
// line end, so that an over-long answer is seen as such. Returns 0 or the platform's error
// number. The terminal gets its echo back however the read ends, also on a signal.
int ReadHiddenLine(std::string_view prompt, std::span<char> line, std::size_t& length);

}  // namespace corvalin
