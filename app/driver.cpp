#include "app/driver.h"

#include "app/run_settings.h"
#include "platform/platform.h"
#include "support/error_handler.h"

namespace corvalin {

int RunDriver(int argc, const char* const* argv, Platform& platform) {
  RunSettings settings;
  try {
    InitRunSettings(settings, platform);
    if (ParseCommandLine(settings, argc, argv, platform) == ParseOutcome::kHelpShown) return 0;
  } catch (const ErrorHandler& error) {
    platform.Err("\n");
    platform.Err(ErrorLine(error) + "\n");
    return error.code;
  }
  return 0;
}

}  // namespace corvalin
