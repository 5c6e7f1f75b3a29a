#include "support/interruption.h"

#include <string>

#include "platform/platform.h"
#include "support/error_handler.h"

namespace corvalin {

ErrorHandler InterruptionError(int signal_number) {
  return ErrorHandler(Error::kInterrupted,
                      "Interrupted by signal " + std::to_string(signal_number) +
                          ": the run stops, and the file in progress is left as it was.");
}

void StopIfInterrupted(Platform& platform) {
  if (const int signal_number = platform.TakeInterruption()) {
    throw InterruptionError(signal_number);
  }
}

ErrorHandler InterruptedPastTheEnd(Platform& platform, const std::string& path) {
  return ErrorHandler(Error::kInterrupted,
                      "Interrupted by signal " + std::to_string(platform.Interruption()) +
                          ": the run stops; the file in progress, " + path +
                          ", is done, but its removed copy was only partly overwritten.");
}

bool IsInterruption(const ErrorHandler& error) {
  return error.code == CodeOf(Error::kInterrupted);
}

}  // namespace corvalin
