#include "tests/test_support/in_process_run.h"

#include "app/driver.h"
#include "tests/test_support/test_support.h"

namespace corvalin::testing {

InProcessRun::InProcessRun() : system_(MakeSystemPlatform()), platform_(*system_) {
  platform_.CaptureConsole();
  platform_.SetExecutableDirectory(CORVALIN_BIN_DIR + std::string(1, kSep));
}

int InProcessRun::Run(std::vector<std::string> args, const std::string& temp_folder) {
  const ScopedEnvironment tmp(TempFolderIs(temp_folder));
  args.insert(args.begin(), "corvalin");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  platform_.ClearConsole();
  return RunDriver(static_cast<int>(args.size()), argv.data(), platform_);
}

}  // namespace corvalin::testing
