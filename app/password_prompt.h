// The password when the command line does not carry it, so that it never has to appear in the
// process list or the shell's history: asked for on the terminal, or read from a file a script
// names (-pf).
#pragma once

#include <string>

namespace corvalin {

class Platform;

// Asks "Password: " without echo into `password`; with `confirm` (encryption, where a typing
// error would lock the files away) asks a second time and compares. Raises -70 for an empty
// answer, -71 when the two answers differ, -72 for more than 32 bytes and -73 when the
// terminal cannot be read.
void AskPassword(Platform& platform, bool confirm, std::string& password);

// Replaces `password`, wiping it first, with the first line of the file `name` ("-": standard
// input) without its line end ("\n" or "\r\n"). A line longer than 32 bytes is cut at 33, which
// the caller refuses as too long. Raises -74, naming the file, when it cannot be read.
void ReadPasswordFile(Platform& platform, const std::string& name, std::string& password);

}  // namespace corvalin
