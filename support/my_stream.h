// The output sink every progress and result text of a run goes through.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvalin {

class MyStream {
 public:
  virtual ~MyStream() = default;
  // Shows and logs one text, which carries its own line ends.
  virtual void Write(std::string_view text, int level) = 0;
  virtual int Status() = 0;
  // Advances the finished-file count by `increment` (0 or 1) and shows the percentage.
  virtual void Progress(std::uint32_t increment, int level) = 0;
  // One unit of work done in a long loop.
  virtual void Step(std::uint32_t amount, int level) = 0;
};

}  // namespace corvalin
