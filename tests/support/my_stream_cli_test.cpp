#include <gtest/gtest.h>

#include "support/disk_file.h"
#include "support/my_stream_cli.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

class MyStreamCliTest : public ::testing::Test {
 protected:
  MyStreamCliTest() : platform_(*system_), log_(platform_) { platform_.CaptureConsole(); }

  void AttachLog(MyStreamCli& sink, const std::string& path) {
    log_.Open(OpenMode::kWrite, path);
    sink.log = &log_;
    sink.log_enabled = true;
  }
  // What reached the log; closed first, as Windows lets no one read what the run holds.
  std::string Logged() {
    log_.Close();
    return testing::ReadFile(folder_ / "log");
  }

  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  FaultInjectingPlatform platform_;
  testing::TempFolder folder_;
  DiskFile log_;
};

TEST_F(MyStreamCliTest, EachDestinationFiltersByItsOwnLevel) {
  MyStreamCli sink(platform_, true, 3, 2);
  AttachLog(sink, folder_ / "log");
  sink.Write("one ", Verbosity::kHeadline);
  sink.Write("two ", Verbosity::kError);
  sink.Write("three ", Verbosity::kStep);
  sink.Write("four ", Verbosity::kHousekeeping);
  sink.log_enabled = false;
  sink.Write("console only ", Verbosity::kHeadline);
  EXPECT_EQ(platform_.out(), "one two three console only ");
  EXPECT_EQ(Logged(), "one two ");
}

TEST_F(MyStreamCliTest, QuietKeepsTheConsoleEmptyButStillLogs) {
  MyStreamCli sink(platform_, false, 4, 4);
  AttachLog(sink, folder_ / "log");
  sink.Write("text\r\n", Verbosity::kHeadline);
  sink.Progress(1, Verbosity::kHeadline);
  EXPECT_EQ(platform_.out(), "");
  EXPECT_EQ(Logged(), "text\r\n");
}

TEST_F(MyStreamCliTest, ProgressShowsAPercentageAndBacksOverIt) {
  MyStreamCli sink(platform_, true, 1, 4);
  AttachLog(sink, folder_ / "log");
  sink.progress_total = 4;
  sink.Progress(1, Verbosity::kHeadline);
  sink.Progress(0, Verbosity::kHeadline);
  sink.Progress(3, Verbosity::kHeadline);
  sink.Progress(0, Verbosity::kError);  // above the console level: counted, not shown
  EXPECT_EQ(platform_.out(), "025%\b\b\b\b025%\b\b\b\b100%\b\b\b\b");
  EXPECT_EQ(sink.progress_done, 4u);
  EXPECT_EQ(Logged(), "");
}

TEST_F(MyStreamCliTest, LogWriteFailureTurnsLoggingOffOnceAndTheConsoleGoesOn) {
  MyStreamCli sink(platform_, true, 3, 4);
  const std::string log = folder_ / "log";
  AttachLog(sink, log);
  platform_.Fail(Call::kWrite, log, 28);  // ENOSPC: the disk is full
  sink.Write("a", Verbosity::kHeadline);
  sink.Write("b", Verbosity::kHeadline);
  EXPECT_EQ(platform_.out(), "ab");
  EXPECT_EQ(platform_.err(), ">>> ERROR(-2): Unable to write file " + log +
                                 "(disk full?). Logging on file is turned off.\n");
  EXPECT_EQ(sink.log, nullptr);
}

}  // namespace
}  // namespace corvalin
