// Whole runs of the Windows program as a Windows user makes them: names in any letter case,
// names the ANSI code page cannot hold, drive letters and backslashes, the read-only attribute,
// files another program holds, and the console's CR LF.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "container/name_digest.h"
#include "platform/platform.h"
#include "support/disk_file.h"
#include "support/text.h"
#include "tests/test_support/hand_built_container.h"
#include "tests/test_support/process.h"
#include "tests/test_support/test_support.h"
#include "tests/test_support/work_folder_test.h"

namespace corvalin {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;
using Names = std::vector<std::string>;

class WindowsRun : public testing::WorkFolderTest {
 protected:
  testing::RunResult RunWithTemp(const std::vector<std::string>& args, const std::string& tmp) {
    return testing::RunProgram(args, work_.path(), testing::TempFolderIs(tmp));
  }
};

bool Shows(const testing::RunResult& run, const std::string& text) {
  return run.out.find(text) != std::string::npos;
}

// Every line feed comes as CR LF, and no CR is doubled.
void ExpectCrLfOnly(const std::string& text) {
  EXPECT_FALSE(std::regex_search(text, std::regex("(^|[^\r])\n"))) << text;
  EXPECT_EQ(text.find("\r\r\n"), std::string::npos) << text;
}

// The file system has one file where two names differ only in letter case: the container is
// the file the decryption restores over, and it must come back whole, counted once.
TEST_F(WindowsRun, ContainerRenamedInAnotherLetterCaseIsRestoredAndNothingIsLost) {
  WriteFile(work_ / "data/report.txt", "quarterly figures");
  const auto encrypt = Run({"e", "-e", "-p", "secret", testing::Native("data/report.txt")});
  ASSERT_TRUE(Shows(encrypt, "1 file(s) processed")) << encrypt.out;
  fs::rename(work_ / "data/report.txt", work_ / "data/REPORT.TXT");

  const auto decrypt = Run({"-p", "secret", "data"});
  EXPECT_EQ(decrypt.status, 0);
  EXPECT_TRUE(Shows(decrypt, "1 file(s) processed (17 bytes), 0 error(s)")) << decrypt.out;
  const Names left = Data();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_TRUE(EqualsIgnoreCase(left[0], "report.txt")) << left[0];
  EXPECT_EQ(ReadFile(work_ / "data/report.txt"), "quarterly figures");
}

TEST_F(WindowsRun, WorkingNameIsNeverRestoredInAnyLetterCase) {
  const std::string password(32, 'W');
  WriteFile(work_ / "data/box", testing::HandBuiltContainer("Corvalin", 32, password,
                                                            "would be destroyed", "~AES.TMP"));
  const auto run = Run({"d", "-p", password, "data"});
  EXPECT_TRUE(Shows(run, ">>> ERROR(-21): Unable to restore the file name stored in " +
                             (work_ / "data/box") + "."))
      << run.out;
  EXPECT_TRUE(Shows(run, "0 file(s) processed (0 bytes), 1 error(s)"));
  EXPECT_EQ(Data(), Names{"box"});
}

// FindFirstFileA writes a character the code page lacks as a look-alike (an omega as "O") or
// as '?': such a file must fail in plain sight, and never stand in for another one.
TEST_F(WindowsRun, NameTheCodePageCannotHoldFailsTheFileAndTakesNoOther) {
  const fs::path omega = fs::path(work_ / "data") / L"\u03a9.txt";
  { std::ofstream(omega, std::ios::binary) << "omega"; }
  WriteFile(work_ / "data/O.txt", "letter o");
  WriteFile(work_ / "data/a.txt", "a");
  const auto run = Run({"e", "-p", "pw", "data"});
  EXPECT_TRUE(Shows(run, "Found 3 file(s)")) << run.out;
  EXPECT_TRUE(Shows(run, ">>> ERROR(-80): Unable to process " + (work_ / "data/?.txt") +
                             " because its name has characters the system's code page cannot "
                             "represent."))
      << run.out;
  EXPECT_TRUE(Shows(run, "2 file(s) processed (2'240 bytes), 1 error(s)")) << run.out;
  std::ifstream in(omega, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "omega");
  EXPECT_FALSE(testing::FileExists(work_ / "data/O.txt"));
  EXPECT_TRUE(testing::FileExists(work_ / "data/O.txt.aes"));
}

// The code is the last error of the call that failed on the missing folder, file or path not
// found; never 80, "the file exists".
TEST_F(WindowsRun, MissingTemporaryFolderIsReportedByItsOwnCause) {
  const std::string missing = work_ / "missing/";
  const auto run = RunWithTemp({"e", "-p", "pw", "data"}, missing);
  EXPECT_TRUE(run.status == 2 || run.status == 3) << run.status;
  EXPECT_NE(run.err.find(">>> ERROR(" + std::to_string(run.status) +
                         "): Unable to create a list file in " + missing + "\r\n"),
            std::string::npos)
      << run.err;
}

TEST_F(WindowsRun, EveryConsoleLineEndsInCrLf) {
  WriteFile(work_ / "data/a.txt", "a");
  ExpectCrLfOnly(Run({"-h"}).out);
  const auto info = Run({"e", "-i", "-cl", "0", "-p", "pw", "data"});
  ExpectCrLfOnly(info.out);
  ExpectCrLfOnly(info.err);
  EXPECT_NE(info.err.find(">>> WARNING(-11)"), std::string::npos);
  const auto fatal = Run({"-p", "pw", "-k", "7"});
  ExpectCrLfOnly(fatal.err);
  EXPECT_EQ(fatal.status, -50);
}

TEST_F(WindowsRun, DriveLettersBackslashesAndCaseInsensitiveWildcards) {
  fs::create_directories(work_ / "data/sub");
  for (const char* name : {"data/a.txt", "data/B.TXT", "data/c.doc", "data/sub/d.Txt"}) {
    WriteFile(work_ / name, name);
  }
  const std::string absolute = work_ / "data/*.TXT";
  ASSERT_EQ(absolute[1], ':');
  const auto wildcard = Run({"e", "-p", "pw", "-r", absolute});
  EXPECT_TRUE(Shows(wildcard, "Found 3 file(s)")) << wildcard.out;
  EXPECT_TRUE(Shows(wildcard, "Encrypt " + (work_ / "data/sub/d.Txt") + " to d.Txt.aes"));
  EXPECT_EQ(Data(), (Names{"B.TXT.aes", "a.txt.aes", "c.doc", "sub"}));

  // A folder with its trailing backslash, then a relative one without it.
  const auto trailing = Run({"-p", "pw", work_ / "data/"});
  EXPECT_TRUE(Shows(trailing, "2 file(s) processed")) << trailing.out;
  const auto relative = Run({"-p", "pw", testing::Native("data/sub")});
  EXPECT_TRUE(Shows(relative, "Decrypt " + (work_ / "data/sub/d.Txt.aes"))) << relative.out;
  EXPECT_EQ(Data(), (Names{"B.TXT", "a.txt", "c.doc", "sub"}));
  EXPECT_EQ(Data("data/sub"), Names{"d.Txt"});
}

TEST_F(WindowsRun, ReadOnlySourceIsKeptWithoutDashAAndRemovedWithIt) {
  WriteFile(work_ / "data/a.txt", "read only");
  fs::permissions(work_ / "data/a.txt", fs::perms::owner_write, fs::perm_options::remove);
  const auto kept = Run({"e", "-p", "pw", "data"});
  EXPECT_TRUE(Shows(
      kept, ">>> ERROR(-4): Unable to delete " + (work_ / "data/a.txt") + " (Read only file?)"))
      << kept.out;
  EXPECT_TRUE(Shows(kept, "0 file(s) processed (0 bytes), 1 error(s)"));
  EXPECT_EQ(Data(), Names{"a.txt"});

  const auto forced = Run({"e", "-a", "-p", "pw", "data"});
  EXPECT_TRUE(Shows(forced, "1 file(s) processed (1'120 bytes), 0 error(s)")) << forced.out;
  EXPECT_EQ(Data(), Names{"a.txt.aes"});
  EXPECT_TRUE(Shows(Run({"-p", "pw", "data"}), "1 file(s) processed"));
  EXPECT_EQ(ReadFile(work_ / "data/a.txt"), "read only");
}

TEST_F(WindowsRun, FileAnotherProgramHoldsFailsAndIsLeftAsItWas) {
  WriteFile(work_ / "data/held.txt", "in use");
  WriteFile(work_ / "data/free.txt", "free");
  const auto platform = MakeSystemPlatform();
  DiskFile holder(*platform);
  holder.Open(OpenMode::kReadWrite, work_ / "data/held.txt");
  const auto run = Run({"e", "-p", "pw", "data"});
  holder.Close();
  EXPECT_TRUE(Shows(
      run, ">>> ERROR(-5): Unable to open file " + (work_ / "data/held.txt") + " (read mode)"))
      << run.out;
  EXPECT_TRUE(Shows(run, "1 file(s) processed (1'120 bytes), 1 error(s)"));
  EXPECT_EQ(Data(), (Names{"free.txt.aes", "held.txt"}));
  EXPECT_EQ(ReadFile(work_ / "data/held.txt"), "in use");
}

// The mangled name is the digest of the path's ANSI bytes, drive letter and backslashes as
// they are; decryption gives the name back.
TEST_F(WindowsRun, MangledNamesAreTheDigestOfTheWindowsPath) {
  WriteFile(work_ / "data/Notes.txt", "notes");
  std::string digest = work_ / "data/Notes.txt";
  DigestText(digest);
  const auto encrypt = Run({"e", "-n", "-p", "pw", testing::Native("data/notes.txt")});
  EXPECT_EQ(Data(), Names{digest + ".aes"}) << encrypt.out;
  Run({"-n", "-p", "pw", "data"});
  EXPECT_EQ(Data(), Names{"Notes.txt"});
  EXPECT_EQ(ReadFile(work_ / "data/Notes.txt"), "notes");
}

// Names Windows trims (a trailing dot or space) would be looked up as another file, "p." as
// "p": each fails in plain sight and the file it would have been taken for is handled once.
TEST_F(WindowsRun, NamesWindowsWouldTrimFailInPlainSightAndTakeNoOtherFile) {
  for (const std::string name : {"p", "p.", "k", "k "}) {
    ASSERT_TRUE(testing::WriteFileExactly(work_ / ("data/" + name), "is " + name));
  }
  const auto run = Run({"e", "-p", "pw", "data"});
  EXPECT_TRUE(Shows(run, "Found 2 file(s)")) << run.out;
  for (const std::string name : {"p.", "k "}) {
    EXPECT_TRUE(Shows(run, ">>> ERROR(-81): Unable to process " + (work_ / "data/") + name +
                               " because Windows drops the dot or space at the end of its name."))
        << run.out;
    EXPECT_EQ(testing::ReadFileExactly(work_ / ("data/" + name)), "is " + name);
  }
  EXPECT_TRUE(Shows(run, "2 file(s) processed (2'240 bytes), 2 error(s)")) << run.out;
  EXPECT_EQ(Data(), (Names{"k ", "k.aes", "p.", "p.aes"}));
}

// CON, AUX, NUL.txt and the like name devices in every folder: opened, "aux" reached a serial
// port. Such files are reported and never opened.
TEST_F(WindowsRun, FilesNamedLikeDevicesAreReportedAndNeverOpened) {
  const Names devices = {"aux", "com1.log", "con.txt", "lpt1.txt", "nul.txt", "prn"};
  for (const std::string& name : devices) {
    ASSERT_TRUE(testing::WriteFileExactly(work_ / ("data/" + name), name)) << name;
  }
  WriteFile(work_ / "data/a.txt", "a");
  const auto run = Run({"e", "-p", "pw", "data"});
  EXPECT_TRUE(Shows(run, "Found 1 file(s)")) << run.out;
  for (const std::string& name : devices) {
    EXPECT_TRUE(Shows(run, ">>> ERROR(-82): Unable to process " + (work_ / "data/") + name +
                               " because its name is that of a device."))
        << run.out;
    EXPECT_EQ(testing::ReadFileExactly(work_ / ("data/" + name)), name);
  }
  EXPECT_EQ(run.out.find("\\\\.\\"), std::string::npos) << run.out;
  EXPECT_TRUE(Shows(run, "1 file(s) processed (1'120 bytes), 6 error(s)")) << run.out;
  // Named as the argument, such a name is a device too: said and counted, never looked up.
  const auto named = Run({"e", "-p", "pw", testing::Native("data/nul.txt")});
  EXPECT_TRUE(Shows(named, ">>> ERROR(-82): Unable to process " + testing::Native("data/nul.txt") +
                               " because its name is that of a device."))
      << named.out;
  EXPECT_TRUE(Shows(named, "0 file(s) processed (0 bytes), 1 error(s)")) << named.out;
}

// A container made elsewhere may store a name Windows would trim or take for a device, or one
// it cannot hold at all (made on Linux): it is never restored under a name it cannot reach,
// the name it is read as instead takes nobody's place, and no file the run selected is
// replaced by another's output.
TEST_F(WindowsRun, StoredNamesAreRestoredOnlyWhereTheyTakeNobodysPlace) {
  const std::string password(32, 'W');
  std::map<std::string, std::string> containers;
  const auto box = [&](const std::string& file, const std::string& payload,
                       const std::string& stored) {
    containers[file] = testing::HandBuiltContainer("Corvalin", 32, password, payload, stored);
    WriteFile(work_ / ("data/" + file), containers[file]);
  };
  box("one", "one", "p.");
  box("two", "two", "con.txt");
  box("three", "three", "a:b");
  box("four", "four", "x?y<\">|*");
  box("five", "five", "a\\b");
  box("six", "six", "b");
  box("b", "c's", "c");  // selected, and kept (-d): no other output may take its name
  const auto run = Run({"d", "-d", "-p", password, "data"});
  EXPECT_TRUE(Shows(run, ">>> ERROR(-81): Unable to create " + (work_ / "data/p.") +
                             " because Windows drops the dot or space at the end of its name."))
      << run.out;
  EXPECT_TRUE(Shows(run, ">>> ERROR(-82): Unable to create " + (work_ / "data/con.txt") +
                             " because its name is that of a device."))
      << run.out;
  EXPECT_TRUE(Shows(run, ">>> ERROR(-24): Unable to create " + (work_ / "data/b") +
                             " for the stored name 'a\\b' because a file of that name exists."))
      << run.out;
  EXPECT_TRUE(Shows(run, ">>> ERROR(-24): Unable to create " + (work_ / "data/b") +
                             " because a file of that name exists."))
      << run.out;
  EXPECT_TRUE(Shows(run, "3 file(s) processed (12 bytes), 4 error(s)")) << run.out;
  EXPECT_EQ(Data(),
            (Names{"a_b", "b", "c", "five", "four", "one", "six", "three", "two", "x_y_____"}));
  EXPECT_EQ(ReadFile(work_ / "data/b"), containers["b"]);
  EXPECT_EQ(ReadFile(work_ / "data/a_b"), "three");
  EXPECT_EQ(ReadFile(work_ / "data/x_y_____"), "four");
  EXPECT_EQ(run.out.find("ERROR(-12)"), std::string::npos) << run.out;
}

// The narrow calls stop at 259 characters. A file past them is reported in the first pass; a
// container or restored file whose path would pass them is never written, since it could not
// be opened again.
TEST_F(WindowsRun, PathsPastTheLimitAreReportedAndNoOutputIsWrittenPastIt) {
  const std::string top = work_ / "data/";
  const std::string folder = top + std::string(216 - top.size(), 'f');
  ASSERT_TRUE(testing::MakeFolderExactly(folder));
  std::map<std::size_t, std::string> files;  // by the length of their paths
  for (const std::size_t length : {225u, 256u, 258u, 266u}) {
    files[length] = folder + "\\" + std::string(length - folder.size() - 1, 'a' + length % 26);
    ASSERT_TRUE(testing::WriteFileExactly(files[length], "plain")) << length;
  }
  const auto run = Run({"e", "-p", "pw", folder});
  EXPECT_TRUE(Shows(run, "Found 3 file(s)")) << run.out;
  EXPECT_TRUE(Shows(run, ">>> ERROR(-83): Unable to process " + files[266] +
                             " because its path is longer than 259 characters."))
      << run.out;
  for (const std::size_t length : {256u, 258u}) {
    EXPECT_TRUE(Shows(run, ">>> ERROR(-83): Unable to create " + files[length] +
                               ".aes because its path is longer than 259 characters."))
        << run.out;
  }
  EXPECT_TRUE(Shows(run, "1 file(s) processed (1'120 bytes), 3 error(s)")) << run.out;
  for (const std::size_t length : {256u, 258u, 266u}) {
    EXPECT_EQ(testing::ReadFileExactly(files[length]), "plain") << length;
  }
  const auto back = Run({"d", "-p", "pw", folder});
  // The two plain files left fail to decrypt; the one past the limit is reported again.
  EXPECT_TRUE(Shows(back, "1 file(s) processed (5 bytes), 3 error(s)")) << back.out;
  EXPECT_EQ(testing::ReadFileExactly(files[225]), "plain");
}

// "Z:name" and "Z:" are relative to that drive's current folder; "\\?\" and "\\.\" are forms
// of a path, not wildcards; '/' separates as '\' does; a short 8.3 name names its file.
TEST_F(WindowsRun, ArgumentsNameWhatWindowsMeansHoweverTheyAreSpelled) {
  WriteFile(work_ / "data/a.txt", "a");
  WriteFile(work_ / "data/b.txt", "b");
  const std::string drive = work_.path().substr(0, 2);
  ASSERT_EQ(drive[1], ':');
  const std::string data = work_ / "data";
  const auto in_data = [&](const std::vector<std::string>& args) {
    return testing::RunProgram(args, data, testing::TempFolderIs(work_ / "tmp"));
  };
  EXPECT_TRUE(Shows(in_data({"e", "-p", "pw", drive + "a.txt"}), "1 file(s) processed"));
  EXPECT_TRUE(Shows(in_data({"e", "-p", "pw", drive + "*.txt"}), "1 file(s) processed"));
  EXPECT_EQ(Data(), (Names{"a.txt.aes", "b.txt.aes"}));
  EXPECT_TRUE(Shows(in_data({"d", "-p", "pw", drive}), "2 file(s) processed"));
  EXPECT_EQ(Data(), (Names{"a.txt", "b.txt"}));
  for (const std::string prefix : {"\\\\?\\", "\\\\.\\"}) {
    for (const std::string end : {"", "\\"}) {
      const auto run = Run({"a", "-p", "pw", prefix + data + end});
      EXPECT_TRUE(Shows(run, "2 file(s) processed")) << prefix << end << run.out;
    }
  }
  EXPECT_EQ(Data(), (Names{"a.txt", "b.txt"}));

  const std::string long_name = work_ / "data/quarterly report.text";
  WriteFile(long_name, "q");
  const std::string short_name = testing::ShortPath(long_name);
  ASSERT_NE(short_name.substr(short_name.rfind('\\') + 1), "quarterly report.text") << short_name;
  std::string slashed = data;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  const struct {
    std::string argument;
    Names after;
  } spellings[] = {
      {"data/a.txt", {"a.txt.aes", "b.txt", "quarterly report.text"}},
      {"data/*.aes", {"a.txt", "b.txt", "quarterly report.text"}},
      {slashed + "/b.txt", {"a.txt", "b.txt.aes", "quarterly report.text"}},
      {short_name, {"a.txt", "b.txt.aes", "quarterly report.text.aes"}},
  };
  for (const auto& spelling : spellings) {
    const auto run = Run({"a", "-p", "pw", spelling.argument});
    EXPECT_TRUE(Shows(run, "1 file(s) processed")) << spelling.argument << run.out;
    EXPECT_TRUE(Shows(run, ", 0 error(s)")) << spelling.argument << run.out;
    EXPECT_EQ(Data(), spelling.after) << spelling.argument;
  }
}

// The log is the run's own, however its path is spelled: never selected, never an error.
TEST_F(WindowsRun, TheRunsOwnLogIsNeverSelectedHoweverItsPathIsSpelled) {
  WriteFile(work_ / "data/a.txt", "a");
  std::string slashed = work_ / "data/mylog.txt";
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  for (const std::string& log : Names{"mylog.txt", ".\\mylog.txt", "MYLOG.TXT", slashed}) {
    const auto run = testing::RunProgram({"a", "-p", "pw", "-lo", log}, work_ / "data",
                                         testing::TempFolderIs(work_ / "tmp"));
    EXPECT_TRUE(Shows(run, "Found 1 file(s)")) << log << run.out;
    EXPECT_TRUE(Shows(run, "1 file(s) processed")) << log << run.out;
    EXPECT_TRUE(Shows(run, ", 0 error(s)")) << log << run.out;
    EXPECT_NE(ReadFile(work_ / "data/mylog.txt").find("This log file was generated by Corvalin"),
              std::string::npos)
        << log;
  }
}

// One temporary folder serves the log and the list: a variable set to nothing counts as unset,
// and a relative one is taken from where the run starts.
TEST_F(WindowsRun, TheLogAndTheListShareOneTemporaryFolder) {
  WriteFile(work_ / "data/a.txt", "a");
  const auto empty = testing::RunProgram({"e", "-p", "pw", "data"}, work_.path(),
                                         {"TMP=", "TEMP=" + (work_ / "tmp")});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_TRUE(Shows(empty, "1 file(s) processed")) << empty.out << empty.err;
  EXPECT_EQ(testing::ListFolder(work_ / "tmp"), Names{"aeslog.txt"});

  fs::create_directories(work_ / "tt");
  const auto relative = testing::RunProgram({"d", "-i", "-p", "pw", testing::Native("..\\data")},
                                            work_ / "data", {"TMP=..\\tt", "TEMP=..\\tt"});
  EXPECT_EQ(relative.status, 0) << relative.err;
  EXPECT_TRUE(Shows(relative, "Log filename = " + (work_ / "tt/aeslog.txt"))) << relative.out;
  EXPECT_TRUE(Shows(relative, "1 file(s) processed")) << relative.out << relative.err;
  EXPECT_EQ(testing::ListFolder(work_ / "tt"), Names{"aeslog.txt"});
}

}  // namespace
}  // namespace corvalin
