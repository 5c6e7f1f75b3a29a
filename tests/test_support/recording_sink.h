// A sink that remembers what it was told, for tests of the steps that report through one.
#pragma once

#include <string>
#include <vector>

#include "support/my_stream.h"

namespace corvalin::testing {

class RecordingSink : public MyStream {
 public:
  void Write(std::string_view text, Verbosity level) override {
    texts.emplace_back(LevelOf(level), std::string(text));
  }
  int Status() override { return 0; }
  void Progress(std::uint32_t increment, Verbosity level) override {
    progress.emplace_back(increment, LevelOf(level));
  }
  void Step(std::uint32_t amount, Verbosity level) override {
    steps.emplace_back(amount, LevelOf(level));
  }

  // Everything written at `level` or below, joined.
  std::string Text(int level = 4) const {
    std::string joined;
    for (const auto& [at, text] : texts) {
      if (at <= level) joined += text;
    }
    return joined;
  }
  int StepsOf(std::uint32_t amount) const {
    int count = 0;
    for (const auto& step : steps) count += step.first == amount ? 1 : 0;
    return count;
  }

  std::vector<std::pair<int, std::string>> texts;
  std::vector<std::pair<std::uint32_t, int>> progress;
  std::vector<std::pair<std::uint32_t, int>> steps;
};

}  // namespace corvalin::testing
