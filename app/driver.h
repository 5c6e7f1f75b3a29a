#pragma once

namespace corvalin {

class Platform;

// One whole run, from the command line to the summary; returns the process exit status.
int RunDriver(int argc, const char* const* argv, Platform& platform);

}  // namespace corvalin
