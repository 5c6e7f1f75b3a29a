#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "container/block_cipher_provider.h"
#include "providers/implementation.h"
#include "providers/rijndael.h"
#include "support/error_handler.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using testing::FromHex;

struct Vector {
  int block_bytes, key_bytes;
  std::vector<std::uint8_t> key, plain, cipher;
};

std::vector<Vector> LoadVectors() {
  std::ifstream in(CORVALIN_TEST_DATA "/rijndael_vectors.txt");
  std::vector<Vector> vectors;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Vector v;
    std::string key, plain, cipher;
    fields >> v.block_bytes >> v.key_bytes >> key >> plain >> cipher;
    v.key = FromHex(key), v.plain = FromHex(plain), v.cipher = FromHex(cipher);
    vectors.push_back(v);
  }
  return vectors;
}

struct alignas(kScheduleAlignment) ScheduleArea {
  unsigned char bytes[kScheduleBytes];
};

std::vector<std::uint8_t> Padded(std::vector<std::uint8_t> key) {
  key.resize(32, 0);
  return key;
}

class LoadedProviderTest : public ::testing::Test {
 protected:
  LoadedProviderTest() : platform_(*system_) {}
  ~LoadedProviderTest() override {
    for (ModuleHandle handle : handles_) FreeBlockCipherProvider(platform_, handle);
  }
  BlockCipherProvider Load(int block_size) {
    BlockCipherProvider provider;
    handles_.push_back(LoadBlockCipherProvider(platform_, provider, block_size));
    return provider;
  }

  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  FaultInjectingPlatform platform_;
  std::vector<ModuleHandle> handles_;
};

TEST(RijndaelTest, PortableCodePassesEveryKnownAnswerBothWays) {
  const auto vectors = LoadVectors();
  ASSERT_EQ(vectors.size(), 9u);
  for (const Vector& v : vectors) {
    rijndael::Schedule enc{}, dec{};
    const auto key = Padded(v.key);
    rijndael::ExpandEncryptionKey(v.block_bytes / 4, key.data(), v.key_bytes, enc);
    rijndael::ExpandDecryptionKey(v.block_bytes / 4, key.data(), v.key_bytes, dec);
    std::vector<std::uint8_t> out(v.block_bytes), back(v.block_bytes);
    rijndael::EncryptBlock(v.block_bytes / 4, enc, v.plain.data(), out.data());
    EXPECT_EQ(out, v.cipher) << v.block_bytes << "/" << v.key_bytes;
    rijndael::DecryptBlock(v.block_bytes / 4, dec, v.cipher.data(), back.data());
    EXPECT_EQ(back, v.plain) << v.block_bytes << "/" << v.key_bytes;
  }
}

// Every accelerated function against the portable code, on random keys and data.
void ExpectSameAsPortable(const rijndael::Implementation& fast_code, int columns) {
  const rijndael::Implementation* fast = &fast_code;
  const rijndael::Implementation& slow = rijndael::Portable(columns);
  const std::size_t bytes = 4 * columns;
  for (const int key_bytes : {16, 24, 32}) {
    const std::string key = testing::RandomBytes(32, columns * key_bytes);
    const auto* k = reinterpret_cast<const unsigned char*>(key.data());
    rijndael::Schedule enc{}, dec{};
    rijndael::ExpandEncryptionKey(columns, k, key_bytes, enc);
    rijndael::ExpandDecryptionKey(columns, k, key_bytes, dec);
    for (const std::size_t blocks : {1u, 3u, 8u, 13u}) {
      const std::string text = testing::RandomBytes(blocks * bytes, key_bytes + blocks);
      const auto* in = reinterpret_cast<const unsigned char*>(text.data());
      std::vector<unsigned char> a(blocks * bytes), b(blocks * bytes);
      const auto same = [&](const char* what) {
        EXPECT_EQ(a, b) << what << " " << columns << "/" << key_bytes << "/" << blocks;
      };
      fast->encrypt_many(enc, in, a.data(), blocks);
      slow.encrypt_many(enc, in, b.data(), blocks);
      same("ecb encrypt");
      fast->decrypt_many(dec, in, a.data(), blocks);
      slow.decrypt_many(dec, in, b.data(), blocks);
      same("ecb decrypt");
      fast->encrypt(enc, in, a.data());
      slow.encrypt(enc, in, b.data());
      same("block");
      std::string chain_a = testing::RandomBytes(32, 99), chain_b = chain_a;
      auto* ca = reinterpret_cast<unsigned char*>(chain_a.data());
      auto* cb = reinterpret_cast<unsigned char*>(chain_b.data());
      fast->cbc_encrypt(enc, in, a.data(), blocks, ca);
      slow.cbc_encrypt(enc, in, b.data(), blocks, cb);
      same("cbc encrypt");
      fast->cfb_encrypt(enc, in, a.data(), blocks, ca);
      slow.cfb_encrypt(enc, in, b.data(), blocks, cb);
      same("cfb encrypt");
      rijndael::CbcDecrypt(*fast, columns, dec, in, a.data(), blocks, ca);
      rijndael::CbcDecrypt(slow, columns, dec, in, b.data(), blocks, cb);
      same("cbc decrypt");
      rijndael::CfbDecrypt(*fast, columns, enc, in, a.data(), blocks, ca);
      rijndael::CfbDecrypt(slow, columns, enc, in, b.data(), blocks, cb);
      same("cfb decrypt");
      EXPECT_EQ(chain_a, chain_b);
    }
  }
}

TEST(RijndaelTest, AcceleratedPathsEqualThePortableCode) {
  for (const int columns : {4, 6, 8}) {
    const rijndael::Implementation* best = rijndael::Accelerated(columns);
    const rijndael::Implementation* shuffles = rijndael::AcceleratedWithShuffles(columns);
    if (best == nullptr || shuffles == nullptr) GTEST_SKIP() << "no AES-NI on this processor";
    ExpectSameAsPortable(*best, columns);
    ExpectSameAsPortable(*shuffles, columns);
  }
}

TEST(RijndaelTest, AcceleratedPathsPassTheKnownAnswers) {
  for (const Vector& v : LoadVectors()) {
    const rijndael::Implementation* fast = rijndael::Accelerated(v.block_bytes / 4);
    if (fast == nullptr) GTEST_SKIP() << "no AES-NI on this processor";
    rijndael::Schedule enc{}, dec{};
    const auto key = Padded(v.key);
    rijndael::ExpandEncryptionKey(v.block_bytes / 4, key.data(), v.key_bytes, enc);
    rijndael::ExpandDecryptionKey(v.block_bytes / 4, key.data(), v.key_bytes, dec);
    std::vector<std::uint8_t> out(v.block_bytes), back(v.block_bytes);
    fast->encrypt(enc, v.plain.data(), out.data());
    EXPECT_EQ(out, v.cipher);
    fast->decrypt(dec, v.cipher.data(), back.data());
    EXPECT_EQ(back, v.plain);
  }
}

TEST_F(LoadedProviderTest, EachModulePassesItsOwnVectorsOnly) {
  for (const int block_size : {16, 24, 32}) {
    const BlockCipherProvider provider = Load(block_size);
    EXPECT_EQ(provider.block_size, block_size);
    for (const Vector& v : LoadVectors()) {
      ScheduleArea enc{}, dec{};
      const auto key = Padded(v.key);
      provider.encrypt_key(key.data(), v.key_bytes, enc.bytes);
      provider.decrypt_key(key.data(), v.key_bytes, dec.bytes);
      std::vector<std::uint8_t> in = v.plain, out(32), back(32);
      in.resize(32);
      provider.encrypt_block(in.data(), out.data(), enc.bytes);
      out.resize(v.block_bytes);
      const bool matches = out == v.cipher;
      EXPECT_EQ(matches, v.block_bytes == block_size)
          << "module " << block_size << " on vector " << v.block_bytes << "/" << v.key_bytes;
      if (v.block_bytes != block_size) continue;
      provider.decrypt_block(v.cipher.data(), back.data(), dec.bytes);
      back.resize(v.block_bytes);
      EXPECT_EQ(back, v.plain);
      EXPECT_EQ(provider.init(), 0);
    }
  }
}

TEST_F(LoadedProviderTest, RandomRoundTripsHoldForEveryCombination) {
  for (const int block_size : {16, 24, 32}) {
    const BlockCipherProvider provider = Load(block_size);
    for (const int key_bytes : {16, 24, 32}) {
      for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        const std::string key = testing::RandomBytes(32, seed);
        const std::string plain = testing::RandomBytes(32, seed + 1000);
        ScheduleArea enc{}, dec{};
        const auto* k = reinterpret_cast<const unsigned char*>(key.data());
        provider.encrypt_key(k, key_bytes, enc.bytes);
        provider.decrypt_key(k, key_bytes, dec.bytes);
        std::array<unsigned char, 32> cipher{}, back{};
        provider.encrypt_block(reinterpret_cast<const unsigned char*>(plain.data()), cipher.data(),
                               enc.bytes);
        provider.decrypt_block(cipher.data(), back.data(), dec.bytes);
        EXPECT_EQ(std::string(back.begin(), back.begin() + block_size),
                  plain.substr(0, block_size));
        EXPECT_NE(std::string(cipher.begin(), cipher.begin() + block_size),
                  plain.substr(0, block_size));
      }
    }
  }
}

// The module built to lack an entry point.
std::string IncompleteModule() {
  return testing::ReadFile(testing::Native(CORVALIN_BIN_DIR "/../test_modules/") +
                           testing::ModuleFile("incomplete_provider"));
}

TEST_F(LoadedProviderTest, LoadingErrorsNameTheModule) {
  BlockCipherProvider provider;
  try {
    LoadBlockCipherProvider(platform_, provider, 20);
    FAIL();
  } catch (const ErrorHandler& error) {
    EXPECT_EQ(error.code, -35);
    EXPECT_EQ(error.Message(), "Wrong block size (only available 16,24 and 32bit).");
  }

  // Nothing beside the program and nothing installed: no search of the system's is asked (the
  // one of Windows would begin in the folder of this test program, the modules' own).
  testing::TempFolder empty;
  platform_.SetExecutableDirectory(empty.path());
  try {
    LoadBlockCipherProvider(platform_, provider, 24);
    FAIL();
  } catch (const ErrorHandler& error) {
    EXPECT_EQ(error.code, -30);
    EXPECT_EQ(error.Message(), testing::ModuleFile("rijndael24") + " not found");
  }
}

TEST_F(LoadedProviderTest, ModuleWithoutAllEntryPointsIsRefusedAndReleased) {
  testing::TempFolder folder;
  testing::WriteFile(folder / testing::ModuleFile("aes"), IncompleteModule());
  platform_.SetExecutableDirectory(folder.path());
  BlockCipherProvider provider;
  try {
    LoadBlockCipherProvider(platform_, provider, 16);
    FAIL();
  } catch (const ErrorHandler& error) {
    EXPECT_EQ(error.code, -29);
    EXPECT_EQ(error.Message(),
              "Unable to get callback(s) from " + testing::ModuleFile("aes") + ".");
  }
  EXPECT_EQ(platform_.modules_freed(), 1);
  EXPECT_EQ(provider.encrypt_block, nullptr);
}

TEST_F(LoadedProviderTest, InstalledLayoutIsSearchedAfterTheExecutablesOwnFolder) {
  testing::TempFolder root;
  std::filesystem::create_directories(root / "bin");
  std::filesystem::create_directories(root / "lib/corvalin");
  const std::string aes = testing::ModuleFile("aes");
  testing::WriteFile(root / ("lib/corvalin/" + aes),
                     testing::ReadFile(CORVALIN_BIN_DIR + std::string(1, testing::kSep) + aes));
  platform_.SetExecutableDirectory(root / "bin/");
  EXPECT_EQ(ProviderModuleCandidates(platform_, aes),
            (std::vector<std::string>{root / ("bin/" + aes), root / ("lib/corvalin/" + aes)}));
  EXPECT_NE(Load(16).encrypt_block, nullptr);

  // A module beside the executable comes first, even a broken one.
  testing::WriteFile(root / ("bin/" + aes), IncompleteModule());
  BlockCipherProvider provider;
  EXPECT_EQ(testing::ErrorCodeOf([&] { LoadBlockCipherProvider(platform_, provider, 16); }), -29);
}

TEST_F(LoadedProviderTest, HandleIsReleasedOnceAndNullIsIgnored) {
  BlockCipherProvider provider;
  const ModuleHandle handle = LoadBlockCipherProvider(platform_, provider, 32);
  FreeBlockCipherProvider(platform_, handle);
  FreeBlockCipherProvider(platform_, nullptr);
  EXPECT_EQ(platform_.modules_freed(), 1);
}

}  // namespace
}  // namespace corvalin
