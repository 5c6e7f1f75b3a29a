// The output sink every progress and result text of a run goes through.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvalin {

// How much a text matters. It reaches the console and the log when its level is at most theirs
// (-v and -lv, 1 to 4).
enum class Verbosity : int {
  kHeadline = 1,      // the run's headlines, the summary and the progress percentage
  kError = 2,         // a file's errors and warnings
  kStep = 3,          // the step lines of each file
  kHousekeeping = 4,  // working and temporary files
};

constexpr int LevelOf(Verbosity verbosity) {
  return static_cast<int>(verbosity);
}

// The amounts a long loop reports with each chunk done: one of the container and compression
// loops, and one of the checksum and wipe loops.
inline constexpr std::uint32_t kChunkStep = 60;
inline constexpr std::uint32_t kScanStep = 400;

class MyStream {
 public:
  virtual ~MyStream() = default;
  // Shows and logs one text, which carries its own line ends.
  virtual void Write(std::string_view text, Verbosity level) = 0;
  virtual int Status() = 0;
  // Advances the finished-file count by `increment` (0 or 1) and shows the percentage.
  virtual void Progress(std::uint32_t increment, Verbosity level) = 0;
  // One unit of work done in a long loop.
  virtual void Step(std::uint32_t amount, Verbosity level) = 0;
  // An error or warning line about a file (">>> ERROR(...", no line end), after `lead`, the
  // line break or blanks that come before it; written at level 2 with a line end.
  virtual void Problem(std::string_view line, std::string_view lead = "\r\n") {
    std::string text(lead);
    text.append(line).append("\r\n");
    Write(text, Verbosity::kError);
  }
};

}  // namespace corvalin
