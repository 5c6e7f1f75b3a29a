// Duration of a pass from the platform's high-resolution counter.
#pragma once

#include <cstdint>

namespace corvalin {

class Platform;

class CHiResTimer {
 public:
  // Starts at once.
  explicit CHiResTimer(Platform& platform);
  virtual ~CHiResTimer() = default;

  void Start();
  void Stop();
  // Seconds from start to stop; 0 when the platform has no usable counter.
  float ElapsedSeconds() const;

 private:
  Platform& platform_;
  std::int64_t start_ = 0;
  std::int64_t stop_ = 0;
  std::int64_t frequency_ = 0;
  bool frequency_valid_ = false;
};

}  // namespace corvalin
