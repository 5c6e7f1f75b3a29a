// Two runs over the same folder at once share its temporary file; neither may lose or damage
// a file. At worst a file fails in one run and is left for the next.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>

#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using testing::ReadFile;
using testing::WriteFile;

std::unique_ptr<testing::StartedProgram> Start(const std::vector<std::string>& args,
                                               const std::string& folder, const std::string& tmp) {
  testing::RunOptions options;
  options.environment = testing::TempFolderIs(tmp);
  return std::make_unique<testing::StartedProgram>(args, folder, options);
}

TEST(ConcurrentRuns, TwoRunsOverOneFolderNeverLoseAFile) {
  testing::TempFolder work;
  std::filesystem::create_directories(work / "data");
  std::filesystem::create_directories(work / "tmp1");
  std::filesystem::create_directories(work / "tmp2");
  std::map<std::string, std::string> originals;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "file" + std::to_string(i) + ".txt";
    originals[name] = testing::RandomBytes(static_cast<std::size_t>(i) * 997, i);
    WriteFile(work / ("data/" + name), originals[name]);
  }
  for (int round = 0; round < 4; ++round) {
    // Several workers each, so that files of one folder are in flight side by side within a
    // run as well as between runs.
    const std::vector<std::string> args = {
        "a", "-j", "3", "-p", "pw", "-cf", round % 2 ? "gzip" : "null", "data"};
    const auto first = Start(args, work.path(), work / "tmp1");
    const auto second = Start(args, work.path(), work / "tmp2");
    // A file the other run holds fails here and is left for later: status 1, never a crash.
    EXPECT_LE(first->Finish().status, 1);
    EXPECT_LE(second->Finish().status, 1);
  }
  // Whatever each file became, one decrypting run gives every original back.
  const auto run = testing::RunProgram({"d", "-p", "pw", "data"}, work.path(),
                                       testing::TempFolderIs(work / "tmp1"));
  EXPECT_LE(run.status, 1);  // files left plain fail to decrypt
  const auto run_again = testing::RunProgram({"d", "-p", "pw", "data"}, work.path(),
                                             testing::TempFolderIs(work / "tmp1"));
  std::vector<std::string> expected;
  for (const auto& [name, bytes] : originals) {
    expected.push_back(name);
    EXPECT_EQ(ReadFile(work / ("data/" + name)), bytes) << name;
  }
  EXPECT_EQ(testing::ListFolder(work / "data"), expected);
}

// Three runs wiping what they remove: one run's failure must never undo another's work, and
// whichever run removes a source, some container of it must remain.
TEST(ConcurrentRuns, ThreeWipingRunsOverOneFolderNeverLoseAFile) {
  testing::TempFolder work;
  for (const char* tmp : {"tmp1", "tmp2", "tmp3"}) std::filesystem::create_directories(work / tmp);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    std::filesystem::remove_all(work / "data");
    std::filesystem::create_directories(work / "data");
    std::map<std::string, std::string> originals;
    for (int i = 0; i < 12; ++i) {
      const std::string name = "file" + std::to_string(i) + ".txt";
      originals[name] =
          testing::RandomBytes(static_cast<std::size_t>(i) * 3001 + 1, round * 50 + i);
      WriteFile(work / ("data/" + name), originals[name]);
    }
    const std::vector<std::string> args = {"e", "-j", "3", "-w", "-p", "pw", "data"};
    std::vector<std::unique_ptr<testing::StartedProgram>> runs;
    for (const char* tmp : {"tmp1", "tmp2", "tmp3"})
      runs.push_back(Start(args, work.path(), work / tmp));
    std::string outputs;
    for (const auto& run : runs) outputs += run->Finish().out;
    const auto encrypted = testing::ListFolder(work / "data");
    // Every file is now plain or in one container or more; decrypting gives each back.
    for (int pass = 0; pass < 3; ++pass) {
      outputs += testing::RunProgram({"d", "-p", "pw", "data"}, work.path(),
                                     testing::TempFolderIs(work / "tmp1"))
                     .out;
    }
    for (const auto& [name, bytes] : originals) {
      EXPECT_TRUE(ReadFile(work / ("data/" + name)) == bytes)
          << name << " after encryption: " << ::testing::PrintToString(encrypted) << outputs;
    }
  }
}

#ifndef _WIN32
// A run removes its source once the container is in place. Another run may put a file under
// that name just before (here a decryption restoring an older version of it, the one copy of
// which then goes): the removal must take the file it read, never the one now under the name.
// strace holds the run at its removal, so that the other run fits in between every time.
TEST(ConcurrentRuns, ARemovalNeverTakesAFileAnotherRunJustPutUnderTheName) {
  const std::string strace = "/usr/bin/strace";
  if (!std::filesystem::exists(strace)) GTEST_SKIP() << "needs " << strace;
  testing::TempFolder work;
  std::filesystem::create_directories(work / "tmp");
  WriteFile(work / "f", "version one");
  const auto tmp = testing::TempFolderIs(work / "tmp");
  ASSERT_EQ(testing::RunProgram({"e", "-p", "pw", "f"}, work.path(), tmp).status, 0);
  std::filesystem::rename(work / "f.aes", work / "old.aes");
  WriteFile(work / "f", "version two");

  testing::RunOptions held;
  held.environment = tmp;
  held.program = strace;
  held.launched = false;  // strace is the system's; an emulator goes between it and the program
  std::vector<std::string> traced = {"-f", "-o", "/dev/null", "-e",
                                     "inject=unlinkat:delay_enter=1500000"};
  for (const std::string& word : testing::LaunchCommand(testing::kProgram, {"e", "-p", "pw", "f"}))
    traced.push_back(word);
  testing::StartedProgram first(traced, work.path(), held);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!testing::FileExists(work / "f.aes") && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // into its removal
  const auto second = testing::RunProgram({"d", "-p", "pw", "old.aes"}, work.path(), tmp);
  const auto first_run = first.Finish();
  if (first_run.out.find("0 file(s) processed") != std::string::npos &&
      first_run.err.find("ptrace") != std::string::npos) {
    GTEST_SKIP() << "strace cannot trace here: " << first_run.err;
  }
  EXPECT_EQ(second.status, 0) << second.out;
  EXPECT_EQ(ReadFile(work / "f"), "version one") << first_run.out << second.out;
  std::filesystem::rename(work / "f", work / "f-one");
  ASSERT_EQ(testing::RunProgram({"d", "-p", "pw", "f.aes"}, work.path(), tmp).status, 0);
  EXPECT_EQ(ReadFile(work / "f"), "version two");
}
#endif

}  // namespace
}  // namespace corvalin
