// The console-and-log sink: each destination has its own verbose level.
#pragma once

#include <cstdint>

#include "support/my_stream.h"

namespace corvalin {

class DiskFile;
class Platform;

class MyStreamCli : public MyStream {
 public:
  MyStreamCli(Platform& platform, bool console, int console_verbose, int log_verbose)
      : console_level(console_verbose),
        log_level(log_verbose),
        console_enabled(console),
        platform_(platform) {}

  void Write(std::string_view text, Verbosity level) override;
  int Status() override { return 0; }
  void Progress(std::uint32_t increment, Verbosity level) override;
  // A long loop's chunk is where an interruption stops the run.
  void Step(std::uint32_t amount, Verbosity level) override;
  void Problem(std::string_view line, std::string_view lead = "\r\n") override;

  DiskFile* log = nullptr;  // not owned
  std::uint32_t progress_done = 0;
  std::uint32_t progress_total = 0;
  int console_level;
  int log_level;
  bool log_enabled = false;
  bool console_enabled;
  // Error and warning lines also go to the standard error stream while the console is off
  // (-q on POSIX, where a quiet tool still says what went wrong).
  bool problems_to_error_stream = false;

 private:
  Platform& platform_;
};

}  // namespace corvalin
