// A run interrupted by a signal (Ctrl+C, SIGTERM, SIGHUP) stops at the next chunk of work: the
// interruption travels as an error of its own code, so that every step on the way out undoes
// what it started, and the driver ends the run cleanly.
#pragma once

#include <cstdint>
#include <string>

namespace corvalin {

struct ErrorHandler;
class Platform;

// The interruption by `signal_number` of a run: the file in progress goes back to how it was.
ErrorHandler InterruptionError(int signal_number);
// Raises the interruption, the first time the platform reports one.
void StopIfInterrupted(Platform& platform);
// The interruption of a file that was done when it came: its outputs in place, its source
// removed, the overwriting of what was removed (-w) cut short.
ErrorHandler InterruptedPastTheEnd(Platform& platform, const std::string& path);
bool IsInterruption(const ErrorHandler& error);

}  // namespace corvalin
