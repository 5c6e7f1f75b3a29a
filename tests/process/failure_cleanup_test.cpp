#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <zlib.h>

#include <filesystem>

#include "container/container_format.h"
#include "process/compression_filters.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "tests/process/processor_fixture.h"
#include "tests/test_support/hand_built_container.h"

namespace corvalin {
namespace {

using testing::ReadFile;
using testing::WriteFile;
using Names = std::vector<std::string>;

TEST_F(ProcessorTest, WrongPasswordLeavesTheContainerAndNoTemporaryFile) {
  WriteFile(folder_ / "a.txt", "alpha");
  Processor("right").command = Command::kEncrypt;
  ASSERT_TRUE(Process(folder_ / "a.txt"));
  const std::string container = ReadFile(folder_ / "a.txt.aes");
  Processor("wrong").command = Command::kDecrypt;
  EXPECT_FALSE(Process(folder_ / "a.txt.aes"));
  EXPECT_EQ(LastError(), ">>> ERROR(-20): Unable to decrypt " + (folder_ / "a.txt.aes") +
                             " (Not Corvalin file or wrong password?)\r\n");
  EXPECT_EQ(Files(), Names{"a.txt.aes"});
  EXPECT_EQ(ReadFile(folder_ / "a.txt.aes"), container);
  EXPECT_NE(sink_.Text(2).find("     \r\n>>> ERROR(-20)"), std::string::npos);
}

TEST_F(ProcessorTest, DamagedGzipPayloadRollsBackAndKeepsTheContainer) {
  const std::string plain = testing::RandomBytes(20000, 4);
  WriteFile(folder_ / "x.txt", plain);
  gzFile out = gzopen((folder_ / "x.gz").c_str(), "wb5");
  gzwrite(out, plain.data(), static_cast<unsigned>(plain.size()));
  gzclose(out);
  std::string gz = ReadFile(folder_ / "x.gz");
  for (std::size_t i = 100; i < 200; ++i) gz[i] = static_cast<char>(gz[i] ^ 0x5A);
  std::filesystem::remove(folder_ / "x.gz");
  std::filesystem::remove(folder_ / "x.txt");
  const std::string password(32, 'G');
  WriteFile(
      folder_ / "x.txt.gz.aes",
      testing::HandBuiltContainer("Corvalin", 32, password, gz, "x.txt.gz", 0, 0x00010005, 20000));
  MyObjectAes& p = Processor(password);
  p.command = Command::kDecrypt;
  EXPECT_FALSE(Process(folder_ / "x.txt.gz.aes"));
  EXPECT_EQ(LastError().substr(0, 14), ">>> ERROR(-1):");
  EXPECT_NE(sink_.Text(4).find("\r\n[Rollback] "), std::string::npos);
  EXPECT_EQ(Files(), Names{"x.txt.gz.aes"});
}

TEST_F(ProcessorTest, SourceThatCannotBeDeletedRollsTheContainerBack) {
  WriteFile(folder_ / "a.txt", "alpha");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  platform_.Fail(Call::kRemove, folder_ / "a.txt", 1);
  EXPECT_FALSE(Process(folder_ / "a.txt"));
  EXPECT_EQ(sink_.Text(2), "     \r\n>>> ERROR(-4): Unable to delete " + (folder_ / "a.txt") +
                               " (Read only file?)\r\n");
  EXPECT_NE(sink_.Text(4).find("[Rollback]"), std::string::npos);
  EXPECT_EQ(Files(), Names{"a.txt"});
  EXPECT_EQ(ReadFile(folder_ / "a.txt"), "alpha");
}

// With -w the source's name goes before its data is overwritten: a source that cannot be removed
// is never overwritten, and one whose overwriting fails half way is gone from its name, never
// left half overwritten for a later run to encrypt over its only good container; the file is
// encrypted, and the failed wipe is said as such.
TEST_F(ProcessorTest, WipingRemovesTheNameBeforeItOverwritesTheData) {
  const std::string data = testing::RandomBytes(300000, 21);
  WriteFile(folder_ / "kept.txt", data);
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.wipe = true;
  platform_.Fail(Call::kRemove, folder_ / "kept.txt", 1);
  EXPECT_FALSE(Process(folder_ / "kept.txt"));
  EXPECT_EQ(Files(), Names{"kept.txt"}) << sink_.Text(4);  // not overwritten; rolled back
  EXPECT_TRUE(ReadFile(folder_ / "kept.txt") == data);

  WriteFile(folder_ / "cut.txt", data);
  platform_.Fail(Call::kWrite, folder_ / "cut.txt", 5, 2);  // EIO in the middle of the wipe
  EXPECT_TRUE(Process(folder_ / "cut.txt"));  // encrypted all the same, and said to be
  EXPECT_NE(sink_.Text(2).find(">>> WARNING(-45): " + (folder_ / "cut.txt") +
                               " is removed, but overwriting its data failed: Writing on "
                               "wiping. (5)\r\n"),
            std::string::npos)
      << sink_.Text(2);
  EXPECT_EQ(Files(), (Names{"cut.txt.aes", "kept.txt"}));
  p.wipe = false;
  p.command = Command::kDecrypt;
  ASSERT_TRUE(Process(folder_ / "cut.txt.aes"));
  EXPECT_TRUE(ReadFile(folder_ / "cut.txt") == data);
}

TEST_F(ProcessorTest, ReadOnlySourceNeedsNormalAttributesToBeWipedAndRemoved) {
  for (const bool normal : {false, true}) {
    WriteFile(folder_ / "ro.txt", "read only");
    platform_.MarkReadOnly(folder_ / "ro.txt");
    MyObjectAes& p = Processor();
    p.command = Command::kEncrypt;
    p.wipe = true;
    p.force_normal_attributes = normal;
    EXPECT_EQ(Process(folder_ / "ro.txt"), normal);
    EXPECT_EQ(Files(), normal ? Names{"ro.txt.aes"} : Names{"ro.txt"});
    if (!normal) {
      EXPECT_EQ(LastError(), ">>> ERROR(-5): Unable to open file " + (folder_ / "ro.txt") +
                                 " (read-write mode)\r\n");
    }
    processor_.reset();  // it holds the folder open
    std::filesystem::remove_all(folder_.path());
    std::filesystem::create_directory(folder_.path());
  }
}

TEST_F(ProcessorTest, FilesOfFourGibibytesAreRefusedAfterTheHeaderTest) {
  WriteFile(folder_ / "huge", "");
  std::filesystem::resize_file(folder_ / "huge", 4294967296ull);
  WriteFile(folder_ / "largest", "");
  std::filesystem::resize_file(folder_ / "largest", 4294967295ull);
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  EXPECT_FALSE(Process(folder_ / "huge"));
  EXPECT_EQ(LastError(), ">>> ERROR(-36): Unable to process " + (folder_ / "huge") +
                             " because its size exceeds 4GB.\r\n");
  EXPECT_EQ(platform_.Count(Call::kOpen, folder_ / "huge"), 1);  // the header was tested
  p.command =
      Command::kDecrypt;  // a size that passes goes on to the header: a plain file fails there
  EXPECT_FALSE(Process(folder_ / "largest"));
  EXPECT_EQ(LastError().substr(0, 15), ">>> ERROR(-20):");
}

TEST_F(ProcessorTest, TemporaryFileHeldByAnotherRunIsNeverRemoved) {
  WriteFile(folder_ / "a.txt", "alpha");
  DiskFile other_run(platform_);
  other_run.Open(OpenMode::kWrite, folder_ / "~aes.tmp");
  other_run.Write(5, "other");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  EXPECT_FALSE(Process(folder_ / "a.txt"));
  EXPECT_EQ(LastError(), ">>> ERROR(-5): Unable to open file " + (folder_ / "~aes.tmp") +
                             " (write mode) (" + (folder_ / "a.txt") + ")\r\n");
  other_run.Close();
  EXPECT_EQ(ReadFile(folder_ / "~aes.tmp"), "other");
  EXPECT_EQ(ReadFile(folder_ / "a.txt"), "alpha");
}

TEST_F(ProcessorTest, FailedRenameKeepsTheSourceForAnInPlaceEncryption) {
  WriteFile(folder_ / "a.txt", "alpha");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.change_extension = false;
  platform_.Fail(Call::kRename, folder_ / "~aes.tmp", 18);
  EXPECT_FALSE(Process(folder_ / "a.txt"));
  EXPECT_EQ(LastError(), ">>> ERROR(-12): Unable to move '" + (folder_ / "~aes.tmp") + "' to '" +
                             (folder_ / "a.txt") + "'\r\n");
  EXPECT_EQ(Files(), Names{"a.txt"});
  EXPECT_EQ(ReadFile(folder_ / "a.txt"), "alpha");
}

// Intermediates live under the folder's working names: a user's file under the name of one is
// neither touched nor in the way.
TEST_F(ProcessorTest, ExistingFileUnderTheIntermediatesNameIsNeverTouched) {
  WriteFile(folder_ / "a.txt", "alpha");
  WriteFile(folder_ / "a.txt.gz", "not ours");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.compression_format = CompressionFormat::kGzip;
  ASSERT_TRUE(Process(folder_ / "a.txt")) << LastError();
  EXPECT_EQ(ReadFile(folder_ / "a.txt.gz"), "not ours");
  p.command = Command::kDecrypt;
  ASSERT_TRUE(Process(folder_ / "a.txt.gz.aes")) << LastError();
  EXPECT_EQ(ReadFile(folder_ / "a.txt.gz"), "not ours");
  EXPECT_EQ(ReadFile(folder_ / "a.txt"), "alpha");
  EXPECT_EQ(Files(), (Names{"a.txt", "a.txt.gz"}));
}

TEST_F(ProcessorTest, FailedEncryptionRemovesTheIntermediateItMade) {
  WriteFile(folder_ / "a.txt", testing::RandomBytes(5000, 3));
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.compression_format = CompressionFormat::kBzip2;
  platform_.Fail(Call::kWrite, folder_ / "~aes.tmp", 28);
  EXPECT_FALSE(Process(folder_ / "a.txt"));
  EXPECT_EQ(Files(), Names{"a.txt"});
}

TEST_F(ProcessorTest, StoredNamesNeverReachOutsideTheContainersFolder) {
  const std::string password(32, 'N');
  std::filesystem::create_directory(folder_ / "inner");
  WriteFile(folder_ / "victim", "keep");
  struct Case {
    std::string stored;
    std::string restored;  // empty: refused
  };
  const Case cases[] = {{"../victim", "victim"},
                        {"/etc/evil", "evil"},
                        {"sub/name.txt", "name.txt"},
                        {"..", ""},
                        {"", ""},
                        {"~aes.tmp", ""},
#ifdef _WIN32
                        {"a:b", "a_b"},
                        {"a\\b", "b"},
                        {"q*<\"|>?", "q______"},
#else
                        {"a:b", "a:b"},
                        {"a\\b", "a\\b"},
#endif
                        {std::string(1100, 'n'), ""}};
  for (const Case& c : cases) {
    WriteFile(folder_ / "inner/box",
              testing::HandBuiltContainer("Corvalin", 32, password, "payload", c.stored));
    MyObjectAes& p = Processor(password);
    p.command = Command::kDecrypt;
    EXPECT_EQ(Process(folder_ / "inner/box"), !c.restored.empty()) << c.stored;
    if (c.restored.empty()) {
      EXPECT_EQ(LastError(), ">>> ERROR(-21): Unable to restore the file name stored in " +
                                 (folder_ / "inner/box") + ".\r\n");
      EXPECT_EQ(testing::ListFolder(folder_ / "inner"), Names{"box"});
    } else {
      EXPECT_EQ(ReadFile(folder_ / ("inner/" + c.restored)), "payload");
      std::filesystem::remove(folder_ / ("inner/" + c.restored));
    }
    EXPECT_EQ(ReadFile(folder_ / "victim"), "keep");
  }
  // A name read otherwise than it was stored takes nobody's place: the file is refused, saying
  // what the container holds, and the container and the file under that name stay.
  WriteFile(folder_ / "inner/victim", "another file of that name");
  WriteFile(folder_ / "inner/box",
            testing::HandBuiltContainer("Corvalin", 32, password, "payload", "../victim"));
  MyObjectAes& p = Processor(password);
  p.command = Command::kDecrypt;
  EXPECT_FALSE(Process(folder_ / "inner/box"));
  EXPECT_EQ(LastError(), ">>> ERROR(-24): Unable to create " + (folder_ / "inner/victim") +
                             " for the stored name '../victim' because a file of that name "
                             "exists. (" +
                             (folder_ / "inner/box") + ")\r\n");
  EXPECT_EQ(ReadFile(folder_ / "inner/victim"), "another file of that name");
  EXPECT_EQ(testing::ListFolder(folder_ / "inner"), (Names{"box", "victim"}));
}

TEST_F(ProcessorTest, CompressedContainerWhoseNameLacksTheSuffixIsRefused) {
  const std::string password(32, 'S');
  WriteFile(folder_ / "box",
            testing::HandBuiltContainer("Corvalin", 32, password, "data", "plain", 0, 0x00010005));
  MyObjectAes& p = Processor(password);
  p.command = Command::kDecrypt;
  EXPECT_FALSE(Process(folder_ / "box"));
  EXPECT_EQ(LastError(), ">>> ERROR(-28): Unable to decompress " + (folder_ / "plain") +
                             " because its name lacks the .gz suffix. (" + (folder_ / "box") +
                             ")\r\n");
  EXPECT_EQ(Files(), Names{"box"});
}

#ifndef _WIN32
// POSIX only: a file size limit (setrlimit, SIGXFSZ) is how a write that the library makes
// can be failed without a fault seam inside zlib and libbzip2.

// Runs a compression filter in a child whose file size limit makes the library's last write,
// the one that finishes the stream, fail. Returns the error code the filter raised, or 0.
int FilterCodeUnderSizeLimit(bool bzip2, const std::string& source, const std::string& out) {
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{2000, 2000};
    setrlimit(RLIMIT_FSIZE, &limit);
    const auto platform = MakeSystemPlatform();
    testing::RecordingSink sink;
    try {
      DiskFile in(*platform), compressed(*platform);
      in.Open(OpenMode::kRead, source);
      compressed.Open(OpenMode::kWrite, out);
      if (bzip2) {
        Bzip2File(sink, in, compressed, 9);
      } else {
        GzipFile(sink, in, compressed, 9);
      }
    } catch (const ErrorHandler& error) {
      _exit(-error.code);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? -WEXITSTATUS(status) : 99;
}

TEST_F(ProcessorTest, CompressedOutputThatCannotBeCompletedFails) {
  WriteFile(folder_ / "random", testing::RandomBytes(6000, 12));  // fits the libraries' buffers
  EXPECT_EQ(FilterCodeUnderSizeLimit(false, folder_ / "random", folder_ / "random.gz"), -2);
  EXPECT_EQ(FilterCodeUnderSizeLimit(true, folder_ / "random", folder_ / "random.bz"), -2);
}
#endif

TEST_F(ProcessorTest, IncompleteCompressedStreamsFailToDecompress) {
  const auto platform = MakeSystemPlatform();
  WriteFile(folder_ / "plain", testing::RandomBytes(30000, 13));
  for (const char* name : {"p.gz", "p.bz"}) {
    const bool gzip = std::string(name) == "p.gz";
    {
      DiskFile in(*platform), out(*platform);
      in.Open(OpenMode::kRead, folder_ / "plain");
      out.Open(OpenMode::kWrite, folder_ / name);
      gzip ? GzipFile(sink_, in, out, 5) : Bzip2File(sink_, in, out, 5);
    }
    const std::string whole = ReadFile(folder_ / name);
    WriteFile(folder_ / name, whole.substr(0, whole.size() - 6));
    DiskFile in(*platform), out(*platform);
    in.Open(OpenMode::kRead, folder_ / name);
    out.Open(OpenMode::kWrite, folder_ / "out");
    std::string message;
    EXPECT_EQ(
        testing::ErrorCodeOf(
            [&] { gzip ? GunzipFile(sink_, in, out) : Bunzip2File(sink_, in, out); }, &message),
        -1)
        << name;
    EXPECT_EQ(message, gzip ? "Unable to gzread on '" + (folder_ / name) + "'"
                            : "Unable to BZ2_bzread on " + (folder_ / name));
  }
}

TEST_F(ProcessorTest, OneFailedFileNeverStopsTheNext) {
  WriteFile(folder_ / "a.txt", "alpha");
  WriteFile(folder_ / "b.txt", "beta");
  MyObjectAes& p = Processor();
  p.command = Command::kDecrypt;  // plain files: both fail, each on its own
  EXPECT_FALSE(Process(folder_ / "a.txt"));
  p.command = Command::kEncrypt;
  EXPECT_TRUE(Process(folder_ / "b.txt"));
  EXPECT_EQ(Files(), (Names{"a.txt", "b.txt.aes"}));
}

}  // namespace
}  // namespace corvalin
