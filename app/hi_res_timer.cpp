#include "app/hi_res_timer.h"

#include "platform/platform.h"

namespace corvalin {

CHiResTimer::CHiResTimer(Platform& platform) : platform_(platform) {
  frequency_valid_ = platform_.CounterFrequency(frequency_);
  Start();
}

void CHiResTimer::Start() {
  start_ = platform_.Counter();
}

void CHiResTimer::Stop() {
  stop_ = platform_.Counter();
}

float CHiResTimer::ElapsedSeconds() const {
  if (!frequency_valid_ || frequency_ == 0) return 0.0f;
  return static_cast<float>(static_cast<double>(stop_ - start_) / static_cast<double>(frequency_));
}

}  // namespace corvalin
