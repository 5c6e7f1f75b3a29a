#include "support/my_stream_cli.h"

#include <string>

#include "platform/platform.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/interruption.h"
#include "support/text.h"

namespace corvalin {

void MyStreamCli::Write(std::string_view text, Verbosity level) {
  if (console_enabled && LevelOf(level) <= console_level) platform_.Out(text);
  if (log == nullptr || !log_enabled || LevelOf(level) > log_level) return;
  try {
    log->Write(static_cast<std::uint32_t>(text.size()), text.data());
  } catch (const ErrorHandler& error) {
    // A log that cannot be written is given up once; the run and the console go on.
    platform_.Err(ErrorLine(error) + ". Logging on file is turned off.\n");
    log = nullptr;
  }
}

void MyStreamCli::Problem(std::string_view line, std::string_view lead) {
  MyStream::Problem(line, lead);
  if (problems_to_error_stream && !console_enabled) platform_.Err(std::string(line) + "\n");
}

void MyStreamCli::Step(std::uint32_t, Verbosity) {
  StopIfInterrupted(platform_);
}

void MyStreamCli::Progress(std::uint32_t increment, Verbosity level) {
  progress_done += increment;
  if (!console_enabled || LevelOf(level) > console_level) return;
  const double percent =
      progress_total == 0 ? 0.0 : static_cast<double>(progress_done) / progress_total * 100.0;
  std::string text = Format("%03.0f%%", percent);
  text.append(text.size(), '\b');
  platform_.Out(text);
}

}  // namespace corvalin
