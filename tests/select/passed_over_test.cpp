// What the finder cannot look at is said and counted, never dropped: a file left in plain text
// must not hide behind "0 error(s)". A 32-bit program without 64-bit file types meets both
// faults below on any large file or modern file system.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "app/driver.h"
#include "tests/test_support/in_process_run.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using testing::WriteFile;

class PassedOver : public ::testing::Test {
 protected:
  PassedOver() {
    std::filesystem::create_directories(work_ / "data/sub");
    std::filesystem::create_directories(work_ / "tmp");
    WriteFile(work_ / "data/a.txt", "alpha");
    WriteFile(work_ / "data/big.bin", "stands for a file of 3 GiB");
    for (const char* name : {"sub/b.txt", "sub/c.txt", "sub/d.txt"}) {
      WriteFile(work_ / ("data/" + std::string(name)), "in sub");
    }
  }

  int Run(const std::vector<std::string>& args) { return run_.Run(args, work_ / "tmp"); }
  // The runs keep their sources (-d); each test's runs begin from the same files.
  void RemoveContainers() {
    std::vector<std::filesystem::path> containers;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(work_ / "data")) {
      if (entry.path().extension() == ".aes") containers.push_back(entry.path());
    }
    for (const auto& container : containers) std::filesystem::remove(container);
  }
  std::string Log() const { return testing::ReadFile(work_ / "tmp/aeslog.txt"); }
  std::string Line(int error, const std::string& path) {
    return ">>> ERROR(" + std::to_string(error) + "): Unable to search " + path + " (" +
           platform_.ErrorText(error) + ")\r\n";
  }

  testing::TempFolder work_;
  testing::InProcessRun run_;
  FaultInjectingPlatform& platform_ = run_.platform();
  const int failed_run_ = kShellConventions ? 1 : 0;
};

TEST_F(PassedOver, AnEntryThatCannotBeExaminedIsSaidAtLevelTwoAndCounted) {
  const std::string big = work_ / "data/big.bin";
  platform_.Fail(Call::kExamine, big, EOVERFLOW);
  // Named directly, and met in its folder.
  for (const std::string& argument : {big, work_ / "data"}) {
    SCOPED_TRACE(argument);
    EXPECT_EQ(Run({"e", "-v", "2", "-d", "-p", "pw", argument}), failed_run_);
    const std::string line = Line(EOVERFLOW, big);
    EXPECT_NE(platform_.out().find(line), std::string::npos) << platform_.out();
    EXPECT_NE(Log().find(line), std::string::npos) << Log();
    const std::size_t found = argument == big ? 0 : 1;
    EXPECT_NE(platform_.out().find(std::to_string(found) + " file(s) processed"),
              std::string::npos);
    EXPECT_NE(platform_.out().find(", 1 error(s)"), std::string::npos) << platform_.out();
    RemoveContainers();
  }
  // Level 2: a console at level 1 does not show it.
  EXPECT_EQ(Run({"e", "-v", "1", "-d", "-p", "pw", big}), failed_run_);
  EXPECT_EQ(platform_.out().find(">>> ERROR("), std::string::npos) << platform_.out();
}

// What Windows' FindFirstFile answers in a folder closed to the user; opendir's EACCES on POSIX.
#ifdef _WIN32
constexpr int kAccessDenied = 5;  // ERROR_ACCESS_DENIED
#else
constexpr int kAccessDenied = EACCES;
#endif

// Counted on Windows too, where the run still ends with 0: the summary must not say
// "0 error(s)" over files it never saw.
TEST_F(PassedOver, AFolderThatCannotBeSearchedOrIsReadOnlyInPartIsSaidAndCounted) {
  const std::string sub = work_ / "data/sub/";
  struct Fault {
    Call call;
    int after;  // entries of the folder that come before the failure
    int error;
  };
  for (const Fault& fault : {Fault{Call::kList, 2, EIO}, Fault{Call::kList, 0, EIO},
                             Fault{Call::kSearch, 0, kAccessDenied}}) {
    SCOPED_TRACE(fault.after);
    platform_.Heal();
    platform_.Fail(fault.call, sub, fault.error, fault.after);
    EXPECT_EQ(Run({"e", "-r", "-d", "-p", "pw", work_ / "data"}), failed_run_);
    const std::string line = Line(fault.error, sub);
    EXPECT_NE(platform_.out().find(line), std::string::npos) << platform_.out();
    EXPECT_NE(Log().find(line), std::string::npos) << Log();
    EXPECT_NE(platform_.out().find(", 1 error(s)"), std::string::npos) << platform_.out();
    RemoveContainers();
  }
  // The system's reason reads as part of the line: no full stop or line end of its own.
  const std::string reason = platform_.ErrorText(kAccessDenied);
  EXPECT_FALSE(reason.empty() || reason.back() == '.' ||
               reason.find_first_of("\r\n") != std::string::npos)
      << reason;
  // A file named in such a folder, which cannot be looked up there either, is said as well.
  EXPECT_EQ(Run({"e", "-d", "-p", "pw", work_ / "data/sub/b.txt"}), failed_run_);
  EXPECT_NE(platform_.out().find(Line(kAccessDenied, sub)), std::string::npos) << platform_.out();
  EXPECT_NE(platform_.out().find("0 file(s) processed (0 bytes), 1 error(s)"), std::string::npos)
      << platform_.out();
}

}  // namespace
}  // namespace corvalin
