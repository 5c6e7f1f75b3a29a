#include <gtest/gtest.h>

#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using testing::RunProgram;
using testing::TempFolder;

// The help page as the console shows it; it names the program by its own file name.
std::string HelpPage() {
  std::string page = testing::ReadFile(CORVALIN_TEST_DATA "/help_page.txt");
  const std::string usage = "Usage: corvalin ";
  page.replace(page.find(usage), usage.size(), "Usage: corvalin" CORVALIN_EXE_SUFFIX " ");
  return testing::Console(page);
}

TEST(CommandLineEndToEnd, NoArgumentsAsksForAPassword) {
  TempFolder folder;
  const auto run = RunProgram({}, folder.path());
  EXPECT_EQ(run.status, testing::ExitStatusOf(-26));
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            testing::Console("\n>>> ERROR(-26): Missing valid password parameter (-p).\n\nUnable "
                             "to continue. (Type -? or -h to get help)\n"));
}

TEST(CommandLineEndToEnd, BadKeyLengthExitsWithItsCode) {
  TempFolder folder;
  const auto run = RunProgram({"-p", "x", "-k", "512"}, folder.path());
  EXPECT_EQ(run.status, testing::ExitStatusOf(-50));
  EXPECT_EQ(run.err,
            testing::Console("\n>>> ERROR(-50): Aes key length parameter (-k) doesn't match any "
                             "available.\n\nUnable to continue. (Type -? or -h to get help)\n"));
}

TEST(CommandLineEndToEnd, OutOfRangeLevelWarnsAndTheRunGoesOn) {
  TempFolder folder;
  const auto run = RunProgram({"-p", "x", "-cl", "0", "-lx", "*.none"}, folder.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            testing::Console("\n>>> WARNING(-11): Compression level parameter (-cl) is out of "
                             "range.\nForce compression level to default, i.e. 5\n"));
}

TEST(CommandLineEndToEnd, HelpPageIsPrintedWholeEvenBeforeABadSwitch) {
  TempFolder folder;
  const auto run = RunProgram({"-h", "-bogus"}, folder.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, HelpPage());
}

TEST(CommandLineEndToEnd, LongHelpAndVersionExitWithZero) {
  TempFolder folder;
  const auto help = RunProgram({"--help"}, folder.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, HelpPage());
  const auto version = RunProgram({"--version"}, folder.path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.err, "");
  EXPECT_EQ(version.out, testing::Console("Corvalin 1.2.296 (Build May 27 2011)\n"));
}

}  // namespace
}  // namespace corvalin
