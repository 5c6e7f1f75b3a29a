#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "container/cipher_context.h"
#include "container/container_format.h"
#include "providers/rijndael.h"
#include "support/crc32.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/hand_built_container.h"
#include "tests/test_support/providers.h"
#include "tests/test_support/recording_sink.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::HandBuiltContainer;
using testing::ReadFile;
using testing::WriteFile;

struct Parameters {
  std::string password;
  int key_bytes, block_bytes, mode;
};

class ContainerFormatTest : public ::testing::Test {
 protected:
  ContainerFormatTest() : platform_(*system_) {}

  // Sets a context up the way the steps do: the encryption key for CFB, else the decryption key.
  std::unique_ptr<CipherContext> Context(const Parameters& p) {
    auto context = std::make_unique<CipherContext>(providers_[p.block_bytes], sink_, filler_);
    context->cores = cores_;
    if (p.mode == 2) {  // CFB
      context->SetEncryptionKey(p.password, p.key_bytes, p.block_bytes);
    } else {
      context->SetDecryptionKey(p.password, p.key_bytes, p.block_bytes);
    }
    return context;
  }

  std::uint32_t Encrypt(const Parameters& p, const std::string& source, const std::string& output,
                        std::uint32_t word = 0, std::uint32_t uncompressed = 0) {
    DiskFile in(platform_), out(platform_);
    in.Open(OpenMode::kRead, source);
    out.Open(OpenMode::kWrite, output);
    return EncryptContainer(*Context(p), in, out, ModeOf(p), CompressionWord{word}, uncompressed);
  }

  // Decrypts into `output`; returns the stored name through the output stream.
  std::uint32_t Decrypt(const Parameters& p, const std::string& source, const std::string& output,
                        std::string* stored_name = nullptr, ContainerExtension* ext = nullptr) {
    DiskFile in(platform_), out(platform_);
    in.Open(OpenMode::kRead, source);
    out.Open(OpenMode::kWrite, output);
    auto context = Context(p);
    const std::uint32_t size = DecryptContainer(*context, in, out, ModeOf(p));
    if (stored_name != nullptr) *stored_name = out.name();
    if (ext != nullptr) *ext = ContainerExtension::Decode(context->extension);
    return size;
  }

  int Header(const Parameters& p, const std::string& path) {
    DiskFile in(platform_);
    in.Open(OpenMode::kRead, path);
    return static_cast<int>(ReadHeader(*Context(p), in, ModeOf(p)));
  }
  static CipherMode ModeOf(const Parameters& p) { return static_cast<CipherMode>(p.mode); }

  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  FaultInjectingPlatform platform_;
  testing::LoadedProviders providers_{platform_};
  testing::RecordingSink sink_;
  testing::FixedFiller filler_;
  testing::TempFolder folder_;
  unsigned cores_ = 1;
};

TEST_F(ContainerFormatTest, SizesFollowTheLayout) {
  WriteFile(folder_ / "empty", "");
  WriteFile(folder_ / "one", "x");
  WriteFile(folder_ / "blocks", std::string(96, 'b'));
  WriteFile(folder_ / "chunk", std::string(kChunkBytes, 'c'));
  const std::uint32_t empty[] = {1088, 1104, 1088}, one[] = {1104, 1128, 1120};
  for (int i = 0; i < 3; ++i) {
    const int block = 16 + 8 * i;
    const Parameters p{"pw", 32, block, 1};
    EXPECT_EQ(Encrypt(p, folder_ / "empty", folder_ / "out"), empty[i]);
    EXPECT_EQ(ReadFile(folder_ / "out").size(), empty[i]);
    EXPECT_EQ(Encrypt(p, folder_ / "one", folder_ / "out"), one[i]);
    EXPECT_EQ(Encrypt(p, folder_ / "blocks", folder_ / "out"), empty[i] + 96);
    EXPECT_EQ(Encrypt(p, folder_ / "chunk", folder_ / "out"), empty[i] + kChunkBytes);
  }
  EXPECT_EQ(sink_.StepsOf(60), 3 * (0 + 1 + 1 + 1));  // one step per chunk
}

TEST_F(ContainerFormatTest, EveryCombinationRoundTripsAndRecognisesOnlyItsOwnParameters) {
  const std::string data = testing::RandomBytes(kChunkBytes + 1001, 5);
  WriteFile(folder_ / "plain.txt", data);
  for (const int key : {16, 24, 32}) {
    for (const int block : {16, 24, 32}) {
      for (const int mode : {0, 1, 2}) {
        const Parameters p{"correct horse", key, block, mode};
        SCOPED_TRACE(::testing::Message() << key << "/" << block << "/" << mode);
        Encrypt(p, folder_ / "plain.txt", folder_ / "box", 0x00010009, 1234);
        std::string name;
        ContainerExtension extension;
        EXPECT_EQ(Decrypt(p, folder_ / "box", folder_ / "back", &name, &extension), data.size());
        EXPECT_EQ(ReadFile(folder_ / "back"), data);
        EXPECT_EQ(name, "plain.txt");
        EXPECT_EQ(extension.compression_word.value, 0x00010009u);
        EXPECT_EQ(extension.uncompressed_size, 1234u);

        std::string message;
        EXPECT_EQ(
            testing::ErrorCodeOf([&] { Encrypt(p, folder_ / "box", folder_ / "again"); }, &message),
            -25);
        EXPECT_EQ(message, "Already encrypted.");

        const Parameters others[] = {{"wrong horse", key, block, mode},
                                     {p.password, key == 16 ? 24 : 16, block, mode},
                                     {p.password, key, block == 16 ? 24 : 16, mode},
                                     {p.password, key, block, (mode + 1) % 3}};
        for (const Parameters& other : others) {
          EXPECT_EQ(Header(other, folder_ / "box"), -1);
          EXPECT_EQ(testing::ErrorCodeOf([&] { Decrypt(other, folder_ / "box", folder_ / "x"); },
                                         &message),
                    -20);
          EXPECT_EQ(message, "Unable to decrypt " + (folder_ / "box") +
                                 " (Not Corvalin file or wrong password?)");
        }
        // Another parameter set encrypts the container again as a plain file.
        EXPECT_GT(Encrypt(others[2], folder_ / "box", folder_ / "twice"), data.size());
      }
    }
  }
}

TEST_F(ContainerFormatTest, ReadsContainersBuiltFromTheLayoutAlone) {
  const std::string password(32, 'q');
  const std::string payload = testing::RandomBytes(5000, 2);
  for (const int block : {16, 24, 32}) {
    WriteFile(folder_ / "hand", HandBuiltContainer(kMagic, block, password, payload, "orig.dat"));
    std::string name;
    ContainerExtension ext;
    EXPECT_EQ(Decrypt({password, 32, block, 1}, folder_ / "hand", folder_ / "out", &name, &ext),
              5000u);
    EXPECT_EQ(ReadFile(folder_ / "out"), payload);
    EXPECT_EQ(name, "orig.dat");
    EXPECT_EQ(ext.compression_word.value, 0u);
  }
}

TEST_F(ContainerFormatTest, LegacyContainersReadAsUncompressedFromOffset1056) {
  const std::string password(32, 'z');
  const std::string payload = testing::RandomBytes(777, 4);
  WriteFile(folder_ / "old", HandBuiltContainer(kLegacyMagic, 32, password, payload, "old.txt"));
  EXPECT_EQ(Header({password, 32, 32, 1}, folder_ / "old"), 1);
  ContainerExtension ext;
  std::string name;
  EXPECT_EQ(Decrypt({password, 32, 32, 1}, folder_ / "old", folder_ / "out", &name, &ext), 777u);
  EXPECT_EQ(ReadFile(folder_ / "out"), payload);
  EXPECT_EQ(ext.compression_word.value, 0u);
  EXPECT_EQ(ext.uncompressed_size, 777u);
}

// With cores to spare a large file is read ahead, written behind, its checksum taken in two
// halves and, with four cores and where the mode allows, its blocks split between two threads:
// the container and what it restores to are the same bytes as on one thread.
TEST_F(ContainerFormatTest, ALargeFileOnSeveralThreadsGivesTheSameBytes) {
  platform_.SetNow(1700000000);
  const std::string data = testing::RandomBytes((9 << 20) + 1001, 7);
  WriteFile(folder_ / "large.bin", data);
  for (const int block : {16, 32}) {
    for (const int mode : {0, 1, 2}) {
      SCOPED_TRACE(::testing::Message() << block << "/" << mode);
      const Parameters p{"pass phrase", 32, block, mode};
      cores_ = 1;
      Encrypt(p, folder_ / "large.bin", folder_ / "one");
      for (const unsigned cores : {2u, 4u}) {
        cores_ = cores;
        Encrypt(p, folder_ / "large.bin", folder_ / "several");
        EXPECT_TRUE(ReadFile(folder_ / "one") == ReadFile(folder_ / "several")) << cores;
        EXPECT_EQ(Decrypt(p, folder_ / "several", folder_ / "back"), data.size());
        EXPECT_TRUE(ReadFile(folder_ / "back") == data) << cores;
      }
    }
  }
}

TEST_F(ContainerFormatTest, WrittenContainerEqualsTheHandBuiltImageByteForByte) {
  platform_.SetNow(1700000000);
  const std::string password(32, 'w');
  const std::string payload = testing::RandomBytes(1000, 6);
  WriteFile(folder_ / "orig.dat", payload);
  for (const int block : {16, 24, 32}) {
    Encrypt({password, 32, block, 1}, folder_ / "orig.dat", folder_ / "box");
    EXPECT_EQ(ReadFile(folder_ / "box"),
              HandBuiltContainer(kMagic, block, password, payload, "orig.dat", 1700000000))
        << block;
  }
}

TEST_F(ContainerFormatTest, AppendedBytesAreIgnoredAndACutPayloadFailsTheChecksum) {
  const Parameters p{"append", 24, 24, 2};
  const std::string data = testing::RandomBytes(3000, 8);
  WriteFile(folder_ / "f", data);
  Encrypt(p, folder_ / "f", folder_ / "box");
  const std::string box = ReadFile(folder_ / "box");
  WriteFile(folder_ / "longer", box + "trailing garbage");
  EXPECT_EQ(Decrypt(p, folder_ / "longer", folder_ / "out"), 3000u);
  EXPECT_EQ(ReadFile(folder_ / "out"), data);

  for (const std::size_t cut : {box.size() - 24, box.size() - 5}) {
    WriteFile(folder_ / "cut", box.substr(0, cut));
    std::string message;
    EXPECT_EQ(testing::ErrorCodeOf([&] { Decrypt(p, folder_ / "cut", folder_ / "out"); }, &message),
              -23);
    EXPECT_EQ(message, "CRC32 mismatch.");
  }
}

TEST_F(ContainerFormatTest, PartialLastBlockNeverLeaksStaleBytes) {
  const Parameters p{"stale", 32, 32, 0};
  const std::string data = testing::RandomBytes(kChunkBytes + 64, 9);
  WriteFile(folder_ / "f", data);
  Encrypt(p, folder_ / "f", folder_ / "box");
  const std::string box = ReadFile(folder_ / "box");
  WriteFile(folder_ / "cut", box.substr(0, box.size() - 40));  // ends 24 bytes into a block
  EXPECT_EQ(testing::ErrorCodeOf([&] { Decrypt(p, folder_ / "cut", folder_ / "out"); }), -23);
  const std::string out = ReadFile(folder_ / "out");
  ASSERT_EQ(out.size(), kChunkBytes + 24);
  EXPECT_EQ(out.substr(kChunkBytes), std::string(24, '\0'));
}

}  // namespace
}  // namespace corvalin
