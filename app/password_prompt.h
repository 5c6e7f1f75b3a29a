// The password asked for on the terminal when the command line names none, so that it never
// has to appear in the process list or the shell's history.
#pragma once

#include <string>

namespace corvalin {

class Platform;

// Asks "Password: " without echo into `password`; with `confirm` (encryption, where a typing
// error would lock the files away) asks a second time and compares. Raises -70 for an empty
// answer, -71 when the two answers differ, -72 for more than 32 bytes and -73 when the
// terminal cannot be read.
void AskPassword(Platform& platform, bool confirm, std::string& password);

}  // namespace corvalin
