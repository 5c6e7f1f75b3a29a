// Which copy of a file survives: each rule that keeps a user's only copy safe while one file is
// encrypted or decrypted, tried the way an unlucky moment or a hostile user would try it.
#include <bzlib.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "support/disk_file.h"
#include "tests/process/processor_fixture.h"
#include "tests/test_support/hand_built_container.h"

namespace corvalin {
namespace {

using testing::Gzip;
using testing::ReadFile;
using testing::WriteFile;
using Names = std::vector<std::string>;

std::size_t PositionOf(const std::vector<std::pair<Call, std::string>>& journal, Call call,
                       const std::string& path, std::size_t from = 0) {
  for (std::size_t i = from; i < journal.size(); ++i) {
    if (journal[i] == std::make_pair(call, path)) return i;
  }
  return std::string::npos;
}

#ifndef _WIN32
unsigned Permissions(const std::string& path) {
  struct stat info {};
  lstat(path.c_str(), &info);
  return info.st_mode & 07777;
}
#endif

std::string Bzip2(const std::string& data) {
  std::string out(data.size() + data.size() / 100 + 700, '\0');
  auto length = static_cast<unsigned>(out.size());
  BZ2_bzBuffToBuffCompress(out.data(), &length, const_cast<char*>(data.data()),
                           static_cast<unsigned>(data.size()), 5, 0, 0);
  out.resize(length);
  return out;
}

TEST_F(ProcessorTest, OutputsReachStableStorageBeforeWhatTheyWereMadeFromIsRemoved) {
  WriteFile(folder_ / "a.txt", testing::RandomBytes(9000, 1));
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.compression_format = CompressionFormat::kGzip;
  ASSERT_TRUE(Process(folder_ / "a.txt"));
  const auto& journal = platform_.journal();
  const std::size_t flushed = PositionOf(journal, Call::kFlush, folder_ / "~aes.tmp");
  ASSERT_NE(flushed, std::string::npos);
  EXPECT_LT(flushed, PositionOf(journal, Call::kRemove, folder_ / "a.txt"));

  p.command = Command::kDecrypt;
  ASSERT_TRUE(Process(folder_ / "a.txt.gz.aes"));
  const std::size_t restored = PositionOf(journal, Call::kFlush, folder_ / "~aes2.tmp");
  ASSERT_NE(restored, std::string::npos);
  EXPECT_LT(restored, PositionOf(journal, Call::kRemove, folder_ / "a.txt.gz.aes"));

  // In place, the old contents come out under the working name and leave it only once the
  // folder's new names are on stable storage.
  p.command = Command::kEncrypt;
  p.compression_format = CompressionFormat::kNone;
  p.change_extension = false;
  ASSERT_TRUE(Process(folder_ / "a.txt"));
  const std::size_t named = PositionOf(journal, Call::kFlush, folder_.path(), restored + 1);
  const std::size_t old_contents = PositionOf(journal, Call::kRemove, folder_ / "~aes.tmp");
  ASSERT_NE(old_contents, std::string::npos);
  EXPECT_LT(named, old_contents);
}

#ifndef _WIN32  // Windows journals its names itself: nothing flushes a folder there
// A folder whose names cannot be flushed takes the new name back while the source is intact,
// and says what failed: no output is left beside its source to block the next run.
TEST_F(ProcessorTest, AFailedFolderFlushTakesTheOutputBack) {
  const std::string data = testing::RandomBytes(5000, 3);
  for (const bool in_place : {false, true}) {
    SCOPED_TRACE(in_place);
    WriteFile(folder_ / "a.txt", data);
    MyObjectAes& p = Processor();
    p.command = Command::kEncrypt;
    p.change_extension = !in_place;
    platform_.Fail(Call::kFlush, folder_.path(), EIO);
    EXPECT_FALSE(Process(folder_ / "a.txt"));
    platform_.Heal();
    EXPECT_EQ(LastError(), ">>> ERROR(5): Unable to flush folder " + folder_.path() +
                               " after naming a.txt" + (in_place ? "" : ".aes") + " (" +
                               (folder_ / "a.txt") + ")\r\n");
    EXPECT_EQ(Files(), Names{"a.txt"});
    EXPECT_TRUE(ReadFile(folder_ / "a.txt") == data);
  }
}
#endif

// A log appended to, or a file rewritten, while it is encrypted: the container would not match
// its header, so it is removed and the source, with its new bytes, stays.
#ifndef _WIN32
// POSIX only: a read lock there keeps no writer out; Windows lets no one write to the source the
// run holds.
TEST_F(ProcessorTest, SourceThatChangesWhileItIsEncryptedIsKept) {
  const std::string original = testing::RandomBytes(400000, 2);
  struct Moment {
    Call call;
    bool append;
    const char* on = "~aes.tmp";
  };
  // The first container write follows the checksum pass; the flush follows the last read; the
  // source's removal follows the last look at it.
  for (const Moment moment : {Moment{Call::kWrite, true}, Moment{Call::kWrite, false},
                              Moment{Call::kFlush, true}, Moment{Call::kRemove, true, "log.txt"}}) {
    SCOPED_TRACE(static_cast<int>(moment.call) * 10 + moment.append);
    const std::string path = folder_ / "log.txt";
    WriteFile(path, original);
    std::string expected = original;
    platform_.Before(moment.call, folder_ / moment.on, [&] {
      std::string now = ReadFile(path);
      if (moment.append) {
        now += "late line";
      } else {
        now.replace(now.size() - 4, 4, "EDIT");
      }
      expected = now;
      WriteFile(path, now);
    });
    MyObjectAes& p = Processor();
    p.command = Command::kEncrypt;
    EXPECT_FALSE(Process(path));
    EXPECT_EQ(LastError(), ">>> ERROR(-40): Unable to encrypt " + path +
                               " because it changed while it was read.\r\n");
    EXPECT_EQ(Files(), Names{"log.txt"});
    EXPECT_TRUE(ReadFile(path) == expected);
  }
}
#endif

#ifndef _WIN32
// POSIX only: another run's rename may replace an output the run holds; Windows refuses to replace
// a held file.
TEST_F(ProcessorTest, RollbackNeverRemovesAFileItDidNotMake) {
  WriteFile(folder_ / "a.txt", "alpha");
  WriteFile(folder_ / "theirs", "another run's container");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  // The source cannot be removed, and another run has meanwhile put its own container under
  // the name this run's container had.
  platform_.Fail(Call::kRemove, folder_ / "a.txt", EBUSY);
  platform_.Before(Call::kRemove, folder_ / "a.txt",
                   [&] { std::filesystem::rename(folder_ / "theirs", folder_ / "a.txt.aes"); });
  EXPECT_FALSE(Process(folder_ / "a.txt"));
  EXPECT_EQ(ReadFile(folder_ / "a.txt.aes"), "another run's container");
  EXPECT_EQ(ReadFile(folder_ / "a.txt"), "alpha");
}
#endif

// Two runs encrypt one file: the second container replaces the first, which the first run
// still counts on when it removes the source. Undone, the second would take both copies away.
TEST_F(ProcessorTest, UndoKeepsAnOutputThatTookTheNameOfAnotherFile) {
  WriteFile(folder_ / "a.txt", "alpha");
  MyObjectAes& other_run = Processor();
  other_run.command = Command::kEncrypt;
  other_run.delete_source = false;  // not yet past its removal
  ASSERT_TRUE(Process(folder_ / "a.txt")) << LastError();
  const FileIdentity theirs = Identity(folder_ / "a.txt.aes");
  WriteFile(folder_ / "a.txt", "alpha, changed since");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  platform_.Fail(Call::kRemove, folder_ / "a.txt", EBUSY);
  EXPECT_FALSE(Process(folder_ / "a.txt"));
  EXPECT_EQ(Files(), (Names{"a.txt", "a.txt.aes"}));
  EXPECT_FALSE(Identity(folder_ / "a.txt.aes") == theirs);  // replaced, as encrypting again does
  platform_.Heal();
  p.command = Command::kDecrypt;
  p.delete_source = false;
  std::filesystem::rename(folder_ / "a.txt", folder_ / "kept.txt");
  ASSERT_TRUE(Process(folder_ / "a.txt.aes")) << LastError();
  EXPECT_EQ(ReadFile(folder_ / "a.txt"), "alpha, changed since");
}

TEST_F(ProcessorTest, WipeNeverOverwritesDataThatOtherNamesStillShow) {
  WriteFile(folder_ / "a.txt", "shared data");
  std::filesystem::create_hard_link(folder_ / "a.txt", folder_ / "other-name");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.wipe = true;
  ASSERT_TRUE(Process(folder_ / "a.txt")) << LastError();
  EXPECT_EQ(Files(), (Names{"a.txt.aes", "other-name"}));
  EXPECT_EQ(ReadFile(folder_ / "other-name"), "shared data");
  EXPECT_EQ(sink_.Text(2), "\r\n>>> WARNING(-38): " + (folder_ / "a.txt") +
                               " has other links: removed without being overwritten, since its "
                               "data stays reachable through them.\r\n");
}

// Another run in the folder may open any file at any moment. An overwritten source must be
// gone before it can: left behind, its wipe patterns would pass for the user's file and be
// encrypted over the only good copy.
TEST_F(ProcessorTest, NoOtherRunCanOpenAWipedSourceBeforeItIsRemoved) {
  WriteFile(folder_ / "a.txt", testing::RandomBytes(3000, 5));
  DiskFile other_run(platform_);
  int other_open = 0;
  platform_.Before(Call::kRemove, folder_ / "a.txt", [&] {
    other_open = testing::ErrorCodeOf([&] { other_run.Open(OpenMode::kRead, folder_ / "a.txt"); });
  });
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.wipe = true;
  EXPECT_TRUE(Process(folder_ / "a.txt")) << LastError();
  EXPECT_EQ(other_open, -5);
  other_run.Close();
  EXPECT_EQ(Files(), Names{"a.txt.aes"});
}

// The same for a working file while it takes its final name: free for a moment, it could be
// taken over and written by another run, and that run's bytes published under this name.
TEST_F(ProcessorTest, NoOtherRunCanTakeAWorkingFileWhileItIsPublished) {
  WriteFile(folder_ / "a.txt", "alpha");
  DiskFile other_run(platform_);
  int other_open = 0;
  platform_.Before(Call::kRename, folder_ / "~aes.tmp", [&] {
    other_open =
        testing::ErrorCodeOf([&] { other_run.Open(OpenMode::kReadWrite, folder_ / "~aes.tmp"); });
  });
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  EXPECT_TRUE(Process(folder_ / "a.txt")) << LastError();
  EXPECT_EQ(other_open, -5);
  other_run.Close();
  EXPECT_EQ(Files(), Names{"a.txt.aes"});
}

TEST_F(ProcessorTest, WorkingNamesAreNeverRestored) {
  const std::string password(32, 'W');
  const std::string payload = "would become a working file";
  struct Case {
    std::string stored;
    std::uint32_t word;
    std::string bytes;
  };
  const Case cases[] = {{"~aes.tmp.gz", 0x00010005, Gzip(payload)},
                        {"~aes2.tmp.bz", 0x00020005, Bzip2(payload)},
                        {"~aes2.tmp", 0, payload}};
  for (const Case& c : cases) {
    WriteFile(folder_ / "box",
              testing::HandBuiltContainer("Corvalin", 32, password, c.bytes, c.stored, 0, c.word,
                                          static_cast<std::uint32_t>(payload.size())));
    MyObjectAes& p = Processor(password);
    p.command = Command::kDecrypt;
    EXPECT_FALSE(Process(folder_ / "box")) << c.stored;
    EXPECT_EQ(LastError(), ">>> ERROR(-21): Unable to restore the file name stored in " +
                               (folder_ / "box") + ".\r\n");
    EXPECT_EQ(Files(), Names{"box"});
  }
}

#ifndef _WIN32
// POSIX only: Windows files carry no permission bits.
TEST_F(ProcessorTest, OutputsTakeOnlyReadWriteAndExecuteBitsAndWorkFilesStayPrivate) {
  WriteFile(folder_ / "tool", testing::RandomBytes(5000, 3));
  chmod((folder_ / "tool").c_str(), 07755);
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.compression_format = CompressionFormat::kBzip2;
  std::vector<std::string> exposed;
  platform_.Before(Call::kWrite, folder_ / "~aes.tmp", [&] {
    for (const std::string& name : Files()) {
      if (name != "tool" && Permissions(folder_ / name) != 0600) exposed.push_back(name);
    }
  });
  ASSERT_TRUE(Process(folder_ / "tool")) << LastError();
  EXPECT_EQ(exposed, Names{});
  EXPECT_EQ(Permissions(folder_ / "tool.bz.aes"), 0755u);
  // Whoever made the container chose its mode; decrypting as root must not make it setuid.
  chmod((folder_ / "tool.bz.aes").c_str(), 04750);
  p.command = Command::kDecrypt;
  ASSERT_TRUE(Process(folder_ / "tool.bz.aes")) << LastError();
  EXPECT_EQ(Permissions(folder_ / "tool"), 0750u);
}
#endif

TEST_F(ProcessorTest, CompressedContainerReplacingItsOwnNameIsRestoredOnce) {
  const std::string data = testing::RandomBytes(7000, 4);
  for (const bool wipe : {false, true}) {
    SCOPED_TRACE(wipe);
    WriteFile(folder_ / "a.txt", data);
    MyObjectAes& p = Processor();
    p.command = Command::kEncrypt;
    p.compression_format = CompressionFormat::kGzip;
    p.change_extension = false;
    ASSERT_TRUE(Process(folder_ / "a.txt"));
    ASSERT_EQ(Files(), Names{"a.txt.gz"});
    p.command = Command::kDecrypt;
    p.change_extension = true;
    p.wipe = wipe;
    EXPECT_TRUE(Process(folder_ / "a.txt.gz")) << LastError();
    EXPECT_EQ(Files(), Names{"a.txt"});
    EXPECT_TRUE(ReadFile(folder_ / "a.txt") == data);
    EXPECT_EQ(sink_.Text(4).find("(0 byte)"), std::string::npos);
    sink_.texts.clear();
  }
}

TEST_F(ProcessorTest, IntermediateThatCannotBeCreatedIsAnOpenFailure) {
  WriteFile(folder_ / "a.txt", "alpha");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.compression_format = CompressionFormat::kGzip;
  for (const char* name : {"a.txt.gz", "~aes2.tmp"})
    platform_.Fail(Call::kOpen, folder_ / name, EACCES);
  EXPECT_FALSE(Process(folder_ / "a.txt"));
  EXPECT_EQ(LastError(), ">>> ERROR(-6): Unable to open " + (folder_ / "a.txt.gz") + " (" +
                             (folder_ / "a.txt") + ")\r\n");
  EXPECT_EQ(Files(), Names{"a.txt"});
}

TEST_F(ProcessorTest, FilesTooShortForHeaderAndExtensionAreNoContainers) {
  WriteFile(folder_ / "empty", "");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  ASSERT_TRUE(Process(folder_ / "empty"));
  const std::string whole = ReadFile(folder_ / "empty.aes");
  ASSERT_EQ(whole.size(), 1088u);
  std::filesystem::remove(folder_ / "empty.aes");
  p.command = Command::kDecrypt;
  for (const std::size_t cut : {40u, 1056u, 1087u}) {
    WriteFile(folder_ / "cut.aes", whole.substr(0, cut));
    EXPECT_FALSE(Process(folder_ / "cut.aes")) << cut;
    EXPECT_EQ(LastError().substr(0, 15), ">>> ERROR(-20):") << cut;
    EXPECT_EQ(Files(), Names{"cut.aes"});
    EXPECT_TRUE(ReadFile(folder_ / "cut.aes") == whole.substr(0, cut));
  }
}

TEST_F(ProcessorTest, DecompressionTakesEveryStreamAndMustGiveTheRecordedSize) {
  const std::string password(32, 'M');
  const std::string first = testing::RandomBytes(5000, 5), second = testing::RandomBytes(7000, 6);
  const auto total = static_cast<std::uint32_t>(first.size() + second.size());
  for (const int format : {1, 2}) {
    SCOPED_TRACE(format);
    const std::string name = format == 1 ? "x.gz" : "x.bz";
    const std::string payload =
        format == 1 ? Gzip(first) + Gzip(second) : Bzip2(first) + Bzip2(second);
    const auto word = static_cast<std::uint32_t>(format << 16 | 5);
    MyObjectAes& p = Processor(password);
    p.command = Command::kDecrypt;
    for (const std::uint32_t recorded : {total + 1, total - 1}) {
      WriteFile(folder_ / "box", testing::HandBuiltContainer("Corvalin", 32, password, payload,
                                                             name, 0, word, recorded));
      EXPECT_FALSE(Process(folder_ / "box"));
      EXPECT_EQ(LastError().substr(0, 14), ">>> ERROR(-1):");
      EXPECT_EQ(Files(), Names{"box"});
    }
    WriteFile(folder_ / "box",
              testing::HandBuiltContainer("Corvalin", 32, password, payload, name, 0, word, total));
    ASSERT_TRUE(Process(folder_ / "box")) << LastError();
    EXPECT_TRUE(ReadFile(folder_ / "x") == first + second);
    EXPECT_EQ(p.result_size(), total);
    std::filesystem::remove(folder_ / "x");
  }
}

// A container of a source just under 4 GiB is itself over 4 GiB; its length alone must not
// keep it from being decrypted. Zeros appended to a small container stand in for that length.
TEST_F(ProcessorTest, ContainersLongerThanFourGibibytesAreDecrypted) {
  WriteFile(folder_ / "a.txt", "payload");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  ASSERT_TRUE(Process(folder_ / "a.txt"));
  std::filesystem::resize_file(folder_ / "a.txt.aes", (4ull << 30) + 4096);
  p.command = Command::kDecrypt;
  ASSERT_TRUE(Process(folder_ / "a.txt.aes")) << LastError();
  EXPECT_EQ(ReadFile(folder_ / "a.txt"), "payload");
}

// Encrypting again replaces the earlier container of the same file, as it always did; a file of
// the output's name that is anything else is the user's, and stays.
TEST_F(ProcessorTest, AnEncryptionReplacesOnlyAnEarlierContainerOfTheSameFile) {
  MyObjectAes& again = EarlierContainerOfNotes();
  ASSERT_TRUE(Process(folder_ / "notes")) << LastError();
  WriteFile(folder_ / "other", "the user's own other.aes");
  std::filesystem::rename(folder_ / "other", folder_ / "report.aes");
  WriteFile(folder_ / "report", "report");
  EXPECT_FALSE(Process(folder_ / "report"));  // "again" is still the run
  EXPECT_EQ(LastError(), ">>> ERROR(-24): Unable to create " + (folder_ / "report.aes") +
                             " because a file of that name exists. (" + (folder_ / "report") +
                             ")\r\n");
  EXPECT_EQ(ReadFile(folder_ / "report.aes"), "the user's own other.aes");
  again.command = Command::kDecrypt;
  again.delete_source = true;
  std::filesystem::remove(folder_ / "notes");
  ASSERT_TRUE(Process(folder_ / "notes.aes"));
  EXPECT_EQ(ReadFile(folder_ / "notes"), "version two");
}

// Between the look at an earlier container and taking its place, another run may put its own
// output under the name: that file is not the one looked at, and must stay.
TEST_F(ProcessorTest, AnEarlierContainerIsReplacedOnlyIfItIsStillTheOneUnderTheName) {
  EarlierContainerOfNotes();
  // The first rename of the working file finds the name taken; the second is the replacement.
  platform_.Before(
      Call::kRename, folder_ / "~aes.tmp",
      [&] {
        WriteFile(folder_ / "theirs", "another run's only copy");
        std::filesystem::rename(folder_ / "theirs", folder_ / "notes.aes");
      },
      1);
  EXPECT_FALSE(Process(folder_ / "notes"));
  EXPECT_EQ(LastError(), ">>> ERROR(-24): Unable to create " + (folder_ / "notes.aes") +
                             " because a file of that name exists. (" + (folder_ / "notes") +
                             ")\r\n");
  EXPECT_EQ(ReadFile(folder_ / "notes.aes"), "another run's only copy");
  EXPECT_EQ(ReadFile(folder_ / "notes"), "version two");
  EXPECT_EQ(Files(), (std::vector<std::string>{"notes", "notes.aes"}));
}

#ifndef _WIN32  // Windows replaces the earlier container at once: nothing comes out
// The earlier container comes out under the working name until the new name is on stable
// storage. Another run must not take it over there as a working file of its own: this run then
// removes it by identity, and the other run's output would be lost, or another file take its
// name.
TEST_F(ProcessorTest, AFileAnOutputReplacedIsNeverAnotherRunsWorkingFile) {
  MyObjectAes& again = EarlierContainerOfNotes();
  again.delete_source = true;
  bool taken_over = false;
  // The first removal under the working name is the look for a container made before (which
  // restores to "version one", not this file); the second is what the output replaced.
  platform_.Before(
      Call::kRemove, folder_ / "~aes.tmp",
      [&] {
        DiskFile other_run(platform_);
        taken_over = testing::ErrorCodeOf(
                         [&] { other_run.Open(OpenMode::kReadWrite, folder_ / "~aes.tmp"); }) == 0;
      },
      1);
  ASSERT_TRUE(Process(folder_ / "notes")) << LastError();
  EXPECT_FALSE(taken_over);
  EXPECT_EQ(Files(), std::vector<std::string>{"notes.aes"});
}
#endif

// The look at the name and the read of what it holds must be of one file: shown another file
// in between, the run may neither take that one for the earlier container nor replace the
// file it first saw.
TEST_F(ProcessorTest, AnEarlierContainerIsTheFileLookedAtNotOneShownWhileItIsRead) {
  MyObjectAes& again = EarlierContainerOfNotes();
  again.delete_source = true;
  std::filesystem::rename(folder_ / "notes.aes", folder_ / "earlier");
  WriteFile(folder_ / "notes.aes", "the user's only copy");
  const auto swap = [&](const char* out, const char* in) {
    std::filesystem::rename(folder_ / "notes.aes", folder_ / out);
    std::filesystem::rename(folder_ / in, folder_ / "notes.aes");
  };
  // The first open looks for a container the run finished before; the second reads what may
  // be replaced.
  platform_.Before(
      Call::kOpen, folder_ / "notes.aes", [&] { swap("mine", "earlier"); }, 1);
  platform_.Before(
      Call::kRename, folder_ / "~aes.tmp", [&] { swap("earlier", "mine"); }, 1);
  EXPECT_FALSE(Process(folder_ / "notes"));
  EXPECT_EQ(LastError(), ">>> ERROR(-24): Unable to create " + (folder_ / "notes.aes") +
                             " because a file of that name exists. (" + (folder_ / "notes") +
                             ")\r\n");
  EXPECT_EQ(ReadFile(folder_ / "mine"), "the user's only copy");
  EXPECT_EQ(ReadFile(folder_ / "notes"), "version two");
}

#ifndef _WIN32
// In place the output takes the source's name: a source that changed since it was read (a log
// appended to) is kept, as it is when it would have been removed. (Windows keeps other writers
// out of a file the run holds; POSIX locks only advise.)
TEST_F(ProcessorTest, AnInPlaceOutputNeverTakesTheNameOfASourceThatChanged) {
  WriteFile(folder_ / "log", "first line\n");
  platform_.Before(Call::kRename, folder_ / "~aes.tmp",
                   [&] { std::ofstream(folder_ / "log", std::ios::app) << "appended\n"; });
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.change_extension = false;
  EXPECT_FALSE(Process(folder_ / "log"));
  EXPECT_EQ(LastError(), ">>> ERROR(-40): Unable to replace " + (folder_ / "log") +
                             " because it changed while it was read.\r\n");
  EXPECT_EQ(ReadFile(folder_ / "log"), "first line\nappended\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"log"});
}
#endif

// A compressed file's container stores the compressed name: "y.tar" with gzip stores
// "y.tar.gz", as a plain "y.tar.gz" does. Neither container is the other file's earlier one,
// with or without mangled names.
TEST_F(ProcessorTest, AContainerOfACompressedFileIsNotThatOfTheFileNamedLikeIt) {
  for (const bool mangled : {false, true}) {
    SCOPED_TRACE(mangled);
    WriteFile(folder_ / "y.tar", "the archive");
    WriteFile(folder_ / "y.tar.gz", "another file");
    MyObjectAes& p = Processor();
    p.command = Command::kEncrypt;
    p.name_mangling = mangled;
    p.compression_format = CompressionFormat::kGzip;
    ASSERT_TRUE(Process(folder_ / "y.tar")) << LastError();
    MyObjectAes& later = Processor();  // a later run, compressing nothing
    later.command = Command::kEncrypt;
    later.name_mangling = mangled;
    EXPECT_FALSE(Process(folder_ / "y.tar.gz"));
    EXPECT_EQ(LastError().substr(0, 15), ">>> ERROR(-24):");
    EXPECT_EQ(ReadFile(folder_ / "y.tar.gz"), "another file");
    const Names left = Files();
    ASSERT_EQ(left.size(), 2u);
    const std::string container = left[0] == "y.tar.gz" ? left[1] : left[0];
    later.command = Command::kDecrypt;
    std::filesystem::remove(folder_ / "y.tar.gz");
    ASSERT_TRUE(Process(folder_ / container)) << LastError();
    EXPECT_EQ(ReadFile(folder_ / "y.tar"), "the archive");
    processor_.reset();
    std::filesystem::remove_all(folder_.path());
    std::filesystem::create_directory(folder_.path());
  }
}

// Two containers of one name, decrypted in one run: the second must not take the place of what
// the first one gave back, or the first version would exist nowhere.
TEST_F(ProcessorTest, NoOutputTakesThePlaceOfAnotherOutputOfTheRun) {
  WriteFile(folder_ / "doc", "version A");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  ASSERT_TRUE(Process(folder_ / "doc"));
  std::filesystem::rename(folder_ / "doc.aes", folder_ / "doc-A.aes");
  WriteFile(folder_ / "doc", "version B");
  ASSERT_TRUE(Process(folder_ / "doc"));
  std::filesystem::rename(folder_ / "doc.aes", folder_ / "doc-B.aes");
  p.command = Command::kDecrypt;
  ASSERT_TRUE(Process(folder_ / "doc-A.aes"));
  EXPECT_FALSE(Process(folder_ / "doc-B.aes"));
  EXPECT_EQ(LastError(), ">>> ERROR(-24): Unable to create " + (folder_ / "doc") +
                             " because a file of that name exists. (" + (folder_ / "doc-B.aes") +
                             ")\r\n");
  EXPECT_EQ(ReadFile(folder_ / "doc"), "version A");
  EXPECT_EQ(Files(), (Names{"doc", "doc-B.aes"}));
}

// Every step on a file happens in the folder it was found in: a folder swapped for a link in the
// middle of a file never leads an output, or a removal, elsewhere. (Windows refuses the swap:
// the run holds the folder so that it cannot be renamed.)
TEST_F(ProcessorTest, AFolderSwappedForALinkMidFileLeadsNothingElsewhere) {
  std::filesystem::create_directories(folder_ / "docs");
  std::filesystem::create_directories(folder_ / "victim");
  WriteFile(folder_ / "docs/a.txt", testing::RandomBytes(400000, 22));
  WriteFile(folder_ / "victim/a.txt", "not to be touched");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.compression_format = CompressionFormat::kGzip;
  bool swapped = false;
  platform_.Before(
      Call::kRead, folder_ / "docs/a.txt",
      [&] {
        std::error_code refused;
        std::filesystem::rename(folder_ / "docs", folder_ / "moved", refused);
        if (refused) return;
        std::filesystem::create_directory_symlink(folder_ / "victim", folder_ / "docs");
        swapped = true;
      },
      2);
  ASSERT_TRUE(Process(folder_ / "docs/a.txt")) << LastError();
  EXPECT_EQ(testing::ListFolder(folder_ / "victim"), Names{"a.txt"});
  EXPECT_EQ(ReadFile(folder_ / "victim/a.txt"), "not to be touched");
#ifdef _WIN32
  EXPECT_FALSE(swapped);
#else
  EXPECT_TRUE(swapped);
#endif
  EXPECT_EQ(testing::ListFolder(folder_ / (swapped ? "moved" : "docs")), Names{"a.txt.gz.aes"});
}

}  // namespace
}  // namespace corvalin
