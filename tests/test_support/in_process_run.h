// Whole runs of the program inside the test process, through a platform the test can steer:
// its console captured, its modules taken from the build, its temporary folder the test's own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/test_support/fault_injecting_platform.h"

namespace corvalin::testing {

class InProcessRun {
 public:
  InProcessRun();

  // The exit status of `corvalin <args>` with `temp_folder` as the temporary folder.
  int Run(std::vector<std::string> args, const std::string& temp_folder);
  FaultInjectingPlatform& platform() { return platform_; }
  const std::string& out() const { return platform_.out(); }

 private:
  std::unique_ptr<Platform> system_;
  FaultInjectingPlatform platform_;
};

}  // namespace corvalin::testing
