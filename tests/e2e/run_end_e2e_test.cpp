// Whole runs that end in ways nobody planned: a console that goes away, a signal, a broken
// cipher module, a log path another user prepared. The run's own files must never outlive it,
// and no file may be left half done.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/test_support/test_support.h"
#include "tests/test_support/work_folder_test.h"

namespace corvalin {
namespace {

using testing::ReadFile;
using testing::WriteFile;
using Names = std::vector<std::string>;

class RunEnd : public testing::WorkFolderTest {
 protected:
  Names Tmp() { return Data("tmp"); }
};

#ifndef _WIN32
TEST_F(RunEnd, AConsoleThatGoesAwayLetsTheRunComplete) {
  const std::vector<std::string> args = {"e", "-p", "x", "-v", "4", "-w", "data"};
  const struct {
    const char* script;
    const char* status;
  } consoles[] = {
      {R"(run "$@" | head -c 150 >/dev/null; echo "${PIPESTATUS[0]}")", "0\n"},
      {R"(exec >&-; run "$@"; echo "$?" >&2)", ""},
      {R"(run "$@" >/dev/full; echo "$?")", "0\n"},
  };
  for (const auto& console : consoles) {
    SCOPED_TRACE(console.script);
    for (int i = 0; i < 20; ++i) WriteFile(work_ / ("data/f" + std::to_string(i)), "plain");
    const auto run = Shell(console.script, args);
    // The status comes where the console still is: standard error when standard output is shut.
    EXPECT_EQ(*console.status != '\0' ? run.out : run.err,
              *console.status != '\0' ? console.status : "0\n");
    EXPECT_EQ(Data().size(), 20u);
    for (const std::string& name : Data()) EXPECT_EQ(name.substr(name.size() - 4), ".aes");
    EXPECT_EQ(Tmp(), Names{"aeslog.txt"});
    EXPECT_NE(ReadFile(work_ / "tmp/aeslog.txt").find("REPORT SUMMARY"), std::string::npos);
    std::filesystem::remove_all(work_ / "data");
    std::filesystem::create_directories(work_ / "data");
  }
}

// A signal stops the file in progress at its next chunk and undoes it: the source stays whole,
// nothing of the run is left behind, and the exit status tells which signal came.
TEST_F(RunEnd, ASignalEndsTheRunCleanly) {
  const std::uint64_t size = 600ull << 20;
  const std::string head = testing::RandomBytes(4096, 31);
  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    {
      std::ofstream out(work_ / "data/big.bin", std::ios::binary);
      out.write(head.data(), static_cast<std::streamsize>(head.size()));
    }
    std::filesystem::resize_file(work_ / "data/big.bin", size);
    // Under the emulator the run keeps to one thread: see the test below.
    std::vector<std::string> args = {"e", "-w", "-v", "4", "-p", "pw", "data"};
    if (!testing::Launcher().empty()) args.insert(args.begin() + 1, {"-j", "1"});
    testing::StartedProgram run(args, work_.path(), Options());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (run.OutputSoFar().find("Encrypt ") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    run.Signal(signal_number);
    const auto result = run.Finish();
    EXPECT_EQ(result.status, 128 + signal_number) << result.out << result.err;
    EXPECT_EQ(Data(), Names{"big.bin"});
    EXPECT_EQ(std::filesystem::file_size(work_ / "data/big.bin"), size);
    EXPECT_TRUE(ReadFile(work_ / "data/big.bin").substr(0, head.size()) == head);
    EXPECT_EQ(Tmp(), Names{"aeslog.txt"});
    EXPECT_NE(ReadFile(work_ / "tmp/aeslog.txt")
                  .find(">>> ERROR(-90): Interrupted by signal " + std::to_string(signal_number)),
              std::string::npos);
    EXPECT_NE(result.out.find("\r\nWipe (lev=3) " + (work_ / "tmp/~files.tmp")), std::string::npos);
  }
}

#endif

#ifndef _WIN32
// Several workers, several files in flight, one signal: every file in flight is undone, every
// file done stays done, and the summary counts exactly those; nothing of the run's own is left.
TEST_F(RunEnd, AnInterruptedParallelRunLeavesEveryFileWhole) {
  // qemu-i386 (7.2) keeps the thread pointers of all threads in one shared descriptor table:
  // a thread returning from a signal handler comes back with the pointer of the thread created
  // last, and its next join fails or crashes. A plain C program with four threads and one
  // SIGTERM shows it; natively the same binary is sound.
  const std::string skip = testing::NotUnderLauncher(
      "a thread that handled a signal comes back with another thread's thread pointer");
  if (!skip.empty()) GTEST_SKIP() << skip;
  std::vector<std::string> names;
  for (int i = 0; i < 24; ++i) {
    names.push_back("f" + std::to_string(i) + ".bin");
    WriteFile(work_ / ("data/" + names.back()),
              testing::RandomBytes(3u << 20, static_cast<std::uint32_t>(i)));
  }
  testing::StartedProgram run({"e", "-j", "4", "-w", "-wl", "1", "-p", "pw", "data"}, work_.path(),
                              Options());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (run.OutputSoFar().find("[OK]", run.OutputSoFar().find("Encrypt ")) == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  run.Signal(SIGTERM);
  const auto result = run.Finish();
  EXPECT_EQ(result.status, 128 + SIGTERM) << result.out << result.err;
  std::size_t containers = 0;
  for (const std::string& name : names) {
    const bool plain = testing::FileExists(work_ / ("data/" + name));
    const bool boxed = testing::FileExists(work_ / ("data/" + name + ".aes"));
    EXPECT_NE(plain, boxed) << name;  // one whole copy, never two, never none
    containers += boxed ? 1 : 0;
  }
  EXPECT_EQ(Data().size(), names.size()) << "a name of the run's own is left";
  EXPECT_NE(result.out.find(std::to_string(containers) + " file(s) processed"), std::string::npos)
      << result.out;
  EXPECT_LT(containers, names.size());
  ASSERT_EQ(Run({"d", "-p", "pw", "data/*.aes"}).status, 0);
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_TRUE(ReadFile(work_ / ("data/" + names[i])) ==
                testing::RandomBytes(3u << 20, static_cast<std::uint32_t>(i)));
  }
}
#endif

TEST_F(RunEnd, ABrokenCipherModuleIsAnErrorNotACrash) {
  using testing::Console;
  using testing::ModuleFile;
  WriteFile(work_ / "data/a.txt", "alpha");
  std::filesystem::create_directories(work_ / "bin");
  const std::string bin = std::string(CORVALIN_BIN_DIR) + testing::kSep;
  for (const std::string& file : {std::string("corvalin" CORVALIN_EXE_SUFFIX),
                                  ModuleFile("rijndael24"), ModuleFile("rijndael32")}) {
    std::filesystem::copy_file(bin + file, work_ / ("bin/" + file));
  }
  const std::string whole = ReadFile(bin + ModuleFile("aes"));
  WriteFile(work_ / ("bin/" + ModuleFile("aes")), whole.substr(0, 65536));
  testing::RunOptions options = Options();
  options.program = testing::Native(work_ / "bin/corvalin" CORVALIN_EXE_SUFFIX);
  const auto run =
      testing::RunProgram({"e", "-w", "-b", "128", "-p", "pw", "data"}, work_.path(), options);
  EXPECT_EQ(run.status, testing::ExitStatusOf(-30));
  EXPECT_EQ(run.err,
            Console("\n>>> ERROR(-30): " + ModuleFile("aes") + " not found Unable to continue.\n"));
  EXPECT_EQ(Data(), Names{"a.txt"});
  EXPECT_EQ(Tmp(), Names{"aeslog.txt"});
  const auto info =
      testing::RunProgram({"-i", "-b", "128", "-p", "pw", "data"}, work_.path(), options);
  EXPECT_EQ(info.err.find(Console(">>> ERROR(-30): Unable to load '" + ModuleFile("aes") +
                                  "' or no version resource.\n\n")),
            0u)
      << info.err;
  EXPECT_NE(info.out.find(Console("File: " + ModuleFile("rijndael24") + "\n")), std::string::npos);
  EXPECT_NE(info.out.find(Console("File: zlib.lib\n")), std::string::npos);
  EXPECT_EQ(info.status, testing::ExitStatusOf(-30));
}

#ifndef _WIN32
// The default log lies in a folder every user shares: a file another user put there is never
// written to, a FIFO never waited on, and a log of one's own is replaced by a new private one,
// so no descriptor someone kept open, nor its permissions, carries over.
TEST_F(RunEnd, TheLogIsAlwaysANewPrivateFile) {
  WriteFile(work_ / "data/a.txt", "alpha");
  const std::string log = work_ / "tmp/aeslog.txt";
  const std::string refused = "\n>>> ERROR(-5): Unable to open file " + log +
                              " (write mode). Logging on file is turned "
                              "off.\n\n";
  ASSERT_EQ(mkfifo(log.c_str(), 0666), 0);
  testing::RunOptions options = Options();
  options.timeout_seconds = 20;
  auto run = testing::RunProgram({"e", "-d", "-p", "pw", "data"}, work_.path(), options);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.err, refused);
  std::filesystem::remove(log);

  if (testing::CanRunAsOtherUser()) {
    WriteFile(log, "");
    chmod(log.c_str(), 0666);
    testing::GiveToOtherUser(log);
    run = testing::RunProgram({"e", "-d", "-p", "pw", "data"}, work_.path(), options);
    EXPECT_EQ(run.err, refused);
    EXPECT_EQ(ReadFile(log), "");
    std::filesystem::remove(log);
  }

  WriteFile(log, "an earlier log\n");
  chmod(log.c_str(), 0666);
  std::ifstream kept_open(log);
  run = testing::RunProgram({"e", "-d", "-p", "pw", "data"}, work_.path(), options);
  EXPECT_EQ(run.err, "");
  struct stat info {};
  ASSERT_EQ(stat(log.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_NE(ReadFile(log).find("REPORT SUMMARY"), std::string::npos);
  std::string seen;
  std::getline(kept_open, seen, '\0');
  EXPECT_EQ(seen, "an earlier log\n");
}
#endif

}  // namespace
}  // namespace corvalin
