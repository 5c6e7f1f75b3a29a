#pragma once

namespace corvalin {

class Platform;

// One whole run, from the command line to the summary; returns the process exit status.
// The arguments are the process's own: the password among them is overwritten once read.
int RunDriver(int argc, char** argv, Platform& platform);

}  // namespace corvalin
