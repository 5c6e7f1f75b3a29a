#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>

#include "container/name_digest.h"
#include "tests/process/processor_fixture.h"
#include "tests/test_support/hand_built_container.h"

namespace corvalin {
namespace {

using testing::ReadFile;
using testing::WriteFile;
using Names = std::vector<std::string>;

TEST_F(ProcessorTest, EveryCombinationAndCompressionRoundTrips) {
  const std::string data = testing::RandomBytes(3000, 1) + std::string(5000, 'z');
  for (const int key : {16, 24, 32}) {
    for (const int block : {16, 24, 32}) {
      for (const int mode : {0, 1, 2}) {
        for (const int format : {0, 1, 2}) {
          SCOPED_TRACE(::testing::Message() << key << "/" << block << "/" << mode << "/" << format);
          WriteFile(folder_ / "data.txt", data);
          MyObjectAes& p = Processor("combination", key, block, mode);
          p.command = Command::kEncrypt;
          p.compression_format = static_cast<CompressionFormat>(format);
          ASSERT_TRUE(Process(folder_ / "data.txt"));
          const std::string container = format == 0   ? "data.txt.aes"
                                        : format == 1 ? "data.txt.gz.aes"
                                                      : "data.txt.bz.aes";
          EXPECT_EQ(Files(), Names{container});
          p.command = Command::kDecrypt;
          ASSERT_TRUE(Process(folder_ / container));
          EXPECT_EQ(Files(), Names{"data.txt"});
          EXPECT_EQ(ReadFile(folder_ / "data.txt"), data);
          EXPECT_EQ(p.restored_compression_word.value, format == 0 ? 0u : (format << 16 | 5u));
          EXPECT_EQ(p.result_size(), data.size());
        }
      }
    }
  }
}

TEST_F(ProcessorTest, NamingFollowsManglingAndExtension) {
  struct Case {
    bool mangle, extension;
    std::string expected;
  };
  std::string digest = folder_ / "report.txt";
  DigestText(digest);
  const Case cases[] = {{false, false, "report.txt"},
                        {false, true, "report.txt.aes"},
                        {true, true, digest + ".aes"},
                        {true, false, digest + ".txt"}};
  for (const Case& c : cases) {
    WriteFile(folder_ / "report.txt", "quarterly figures");
    MyObjectAes& p = Processor();
    p.command = Command::kEncrypt;
    p.name_mangling = c.mangle;
    p.change_extension = c.extension;
    ASSERT_TRUE(Process(folder_ / "report.txt"));
    EXPECT_EQ(Files(), Names{c.expected});
    p.command = Command::kDecrypt;
    ASSERT_TRUE(Process(folder_ / c.expected));
    // Without the extension the container stays beside the restored file.
    const Names after = c.extension || c.expected == "report.txt" ? Names{"report.txt"}
                                                                  : Names{c.expected, "report.txt"};
    EXPECT_EQ(Files(), after);
    EXPECT_EQ(ReadFile(folder_ / "report.txt"), "quarterly figures");
    processor_.reset();  // it holds the folder open
    std::filesystem::remove_all(folder_.path());
    std::filesystem::create_directory(folder_.path());
  }
}

TEST_F(ProcessorTest, MangledNameWithoutExtensionEndsInALoneDot) {
  WriteFile(folder_ / "README", "r");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.name_mangling = true;
  p.change_extension = false;
  ASSERT_TRUE(Process(folder_ / "README"));
  std::string digest = folder_ / "README";
  DigestText(digest);
#ifdef _WIN32
  EXPECT_EQ(Files(), Names{digest});  // Windows drops a trailing dot from every name it makes
#else
  EXPECT_EQ(Files(), Names{digest + "."});
#endif
}

TEST_F(ProcessorTest, StepLinesReachTheSinkAtLevelThree) {
  WriteFile(folder_ / "a.txt", "abc");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.compression_format = CompressionFormat::kGzip;
  ASSERT_TRUE(Process(folder_ / "a.txt"));
  EXPECT_EQ(sink_.Text(3), "Deflate " + (folder_ / "a.txt") + " to a.txt.gz [OK] \r\n" +
                               "Encrypt " + (folder_ / "a.txt.gz") + " to a.txt.gz.aes [OK] \r\n");
  EXPECT_EQ(sink_.Text(4).substr(sink_.Text(3).size()), "Delete " + (folder_ / "a.txt.gz") +
                                                            " [OK] \r\nDelete " +
                                                            (folder_ / "a.txt") + " [OK] \r\n");
  sink_.texts.clear();
  p.command = Command::kDecrypt;
  ASSERT_TRUE(Process(folder_ / "a.txt.gz.aes"));
  EXPECT_EQ(sink_.Text(3), "Decrypt " + (folder_ / "a.txt.gz.aes") + " to a.txt.gz [OK] \r\n" +
                               "Inflate " + (folder_ / "a.txt.gz") + " to a.txt [OK] \r\n");
}

TEST_F(ProcessorTest, AutomaticModeDecidesPerFile) {
  WriteFile(folder_ / "mine.txt", "mine");
  WriteFile(folder_ / "theirs.txt", "theirs");
  MyObjectAes& other = Processor("other password");
  other.command = Command::kEncrypt;
  ASSERT_TRUE(Process(folder_ / "theirs.txt"));
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  ASSERT_TRUE(Process(folder_ / "mine.txt"));
  const std::string password(32, 'L');
  WriteFile(folder_ / "legacy.bin",
            testing::HandBuiltContainer("Rijndael", 32, password, "old data", "legacy.txt"));

  p.command = Command::kAutomatic;
  ASSERT_TRUE(Process(folder_ / "mine.txt.aes"));    // ours: decrypted
  ASSERT_TRUE(Process(folder_ / "theirs.txt.aes"));  // another key: encrypted again
  EXPECT_EQ(Files(), (Names{"legacy.bin", "mine.txt", "theirs.txt.aes.aes"}));
  EXPECT_EQ(ReadFile(folder_ / "mine.txt"), "mine");

  MyObjectAes& legacy = Processor(password);
  legacy.command = Command::kAutomatic;
  ASSERT_TRUE(Process(folder_ / "legacy.bin"));
  EXPECT_EQ(ReadFile(folder_ / "legacy.txt"), "old data");
}

TEST_F(ProcessorTest, ExcludedNamesAreNotCompressed) {
  for (const char* name : {"a.zip", "C.ZIP", "b.txt"}) WriteFile(folder_ / name, "payload");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.compression_format = CompressionFormat::kGzip;
  p.compression_level = 9;
  p.compression_exclusions.case_sensitive = true;
  for (const char* name : {"a.zip", "C.ZIP", "b.txt"}) ASSERT_TRUE(Process(folder_ / name));
  p.command = Command::kDecrypt;
  ASSERT_TRUE(Process(folder_ / "a.zip.aes"));
  EXPECT_EQ(p.restored_compression_word.value, 0u);
  ASSERT_TRUE(Process(folder_ / "C.ZIP.gz.aes"));  // -cs: *.zip no longer covers C.ZIP
  EXPECT_EQ(p.restored_compression_word.value, 0x00010009u);
  ASSERT_TRUE(Process(folder_ / "b.txt.gz.aes"));
  EXPECT_EQ(p.restored_compression_word.value, 0x00010009u);

  WriteFile(folder_ / "c.ZIP", "payload");
  MyObjectAes& insensitive = Processor();
  insensitive.command = Command::kEncrypt;
  insensitive.compression_format = CompressionFormat::kBzip2;
  ASSERT_TRUE(Process(folder_ / "c.ZIP"));
  insensitive.command = Command::kDecrypt;
  ASSERT_TRUE(Process(folder_ / "c.ZIP.aes"));
  EXPECT_EQ(insensitive.restored_compression_word.value, 0u);
}

TEST_F(ProcessorTest, DecryptingAContainerNeverChangesTheRunsCompression) {
  WriteFile(folder_ / "first.txt", "first");
  MyObjectAes& bzip = Processor();
  bzip.command = Command::kEncrypt;
  bzip.compression_format = CompressionFormat::kBzip2;
  ASSERT_TRUE(Process(folder_ / "first.txt")) << sink_.Text(2);
  MyObjectAes& p = Processor();
  p.command = Command::kAutomatic;
  p.compression_format = CompressionFormat::kGzip;
  p.compression_level = 3;
  WriteFile(folder_ / "second.txt", "second");
  ASSERT_TRUE(Process(folder_ / "first.txt.bz.aes"));
  ASSERT_TRUE(Process(folder_ / "second.txt"));
  ASSERT_TRUE(Process(folder_ / "second.txt.gz.aes"));
  EXPECT_EQ(p.restored_compression_word.value, 0x00010003u);
}

#ifndef _WIN32
// POSIX only: Windows files carry no permission bits.
TEST_F(ProcessorTest, OutputsKeepTheSourcesPermissions) {
  WriteFile(folder_ / "private.txt", "secret");
  chmod((folder_ / "private.txt").c_str(), 0640);
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.compression_format = CompressionFormat::kGzip;
  ASSERT_TRUE(Process(folder_ / "private.txt"));
  struct stat info {};
  stat((folder_ / "private.txt.gz.aes").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  p.command = Command::kDecrypt;
  ASSERT_TRUE(Process(folder_ / "private.txt.gz.aes"));
  stat((folder_ / "private.txt").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}
#endif

TEST_F(ProcessorTest, KeepSourceAndContainerWithoutDeletion) {
  WriteFile(folder_ / "keep.txt", "keep");
  MyObjectAes& p = Processor();
  p.command = Command::kEncrypt;
  p.delete_source = false;
  ASSERT_TRUE(Process(folder_ / "keep.txt"));
  std::filesystem::rename(folder_ / "keep.txt", folder_ / "original.txt");
  p.command = Command::kDecrypt;
  ASSERT_TRUE(Process(folder_ / "keep.txt.aes"));
  EXPECT_EQ(Files(), (Names{"keep.txt", "keep.txt.aes", "original.txt"}));
}

// A killed run's working files are taken over, and emptied first (overwritten first with -w):
// nothing of theirs may stay in front of what the run writes.
TEST_F(ProcessorTest, LeftoverWorkingFilesAreTakenOverEmpty) {
  const std::string data = testing::RandomBytes(70000, 31);
  for (const bool wipe : {false, true}) {
    for (const int format : {0, 2}) {
      SCOPED_TRACE(std::to_string(wipe) + " " + std::to_string(format));
      WriteFile(folder_ / "a.txt", data);
      MyObjectAes& p = Processor();
      p.command = Command::kEncrypt;
      p.compression_format = static_cast<CompressionFormat>(format);
      p.wipe = wipe;
      ASSERT_TRUE(Process(folder_ / "a.txt")) << LastError();
      for (const char* name : {"~aes.tmp", "~aes2.tmp"}) {
        WriteFile(folder_ / name, std::string(100000, 'L'));
      }
      p.command = Command::kDecrypt;
      ASSERT_TRUE(Process(folder_ / (format == 0 ? "a.txt.aes" : "a.txt.bz.aes"))) << LastError();
      EXPECT_TRUE(ReadFile(folder_ / "a.txt") == data);
      // A decryption without decompression has no use for the second working name.
      EXPECT_EQ(Files(), (format == 0 ? Names{"a.txt", "~aes2.tmp"} : Names{"a.txt"}));
      std::filesystem::remove(folder_ / "~aes2.tmp");
    }
  }
}

}  // namespace
}  // namespace corvalin
