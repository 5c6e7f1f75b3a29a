// The common ground of the whole-run tests: a fresh folder holding data/ (what the runs work
// on) and tmp/ (their temporary folder, where the log and the list go).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support/test_support.h"

namespace corvalin::testing {

class WorkFolderTest : public ::testing::Test {
 protected:
  WorkFolderTest() {
    std::filesystem::create_directories(work_ / "data");
    std::filesystem::create_directories(work_ / "tmp");
  }

  // For a run whose temporary folder is `tmp` below the work folder.
  RunOptions Options(const std::string& tmp = "tmp") const {
    RunOptions options;
    options.environment = TempFolderIs(work_ / tmp);
    return options;
  }
  // `corvalin <args>` in the work folder.
  RunResult Run(const std::vector<std::string>& args) const {
    return RunProgram(args, work_.path(), Options());
  }
  std::vector<std::string> Data(const std::string& sub = "data") const {
    return ListFolder(work_ / sub);
  }
#ifndef _WIN32
  // Runs the program behind a bash command line in the work folder: `run "$@"` starts it
  // (through the tests' launcher, when there is one) with the arguments `args`.
  RunResult Shell(const std::string& script, const std::vector<std::string>& args) const {
    RunOptions options = Options();
    options.program = "/bin/bash";
    options.launched = false;
    const std::string run = R"(run() { ${CORVALIN_TEST_LAUNCHER:-} "$0" "$@"; }; )";
    std::vector<std::string> all = {"-c", run + script, CORVALIN_BIN_DIR "/corvalin"};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(all, work_.path(), options);
  }
#endif

  TempFolder work_;
};

}  // namespace corvalin::testing
