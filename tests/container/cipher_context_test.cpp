#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

#include "container/cipher_context.h"
#include "platform/platform.h"
#include "support/error_handler.h"
#include "tests/test_support/providers.h"
#include "tests/test_support/recording_sink.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using Bytes = std::vector<std::uint8_t>;

class CipherContextTest : public ::testing::Test {
 protected:
  CipherContext Context(int block) { return CipherContext(providers_[block], sink_, filler_); }

  static Bytes Run(CipherContext& context, bool encrypt, int mode, const Bytes& in) {
    Bytes out(in.size(), 0xEE);
    if (encrypt) {
      context.EncryptBlocks(static_cast<CipherMode>(mode), in.data(), out.data(),
                            static_cast<std::uint32_t>(in.size()));
    } else {
      context.DecryptBlocks(static_cast<CipherMode>(mode), in.data(), out.data(),
                            static_cast<std::uint32_t>(in.size()));
    }
    return out;
  }

  std::unique_ptr<Platform> platform_ = MakeSystemPlatform();
  testing::LoadedProviders providers_{*platform_};
  testing::RecordingSink sink_;
  testing::FixedFiller filler_;
};

TEST_F(CipherContextTest, ShortTextRepeatsUpToTheKeyLengthAndTheIvIsTheWholeBuffer) {
  CipherContext context = Context(32);
  context.PrepareKey("abcde", 16, 32);
  Bytes expected(32, 0);
  std::memcpy(expected.data(), "abcdeabcdeabcdea", 16);
  EXPECT_EQ(Bytes(context.key.begin(), context.key.end()), expected);
  EXPECT_EQ(context.iv, context.key);
}

TEST_F(CipherContextTest, LongTextKeepsItsExtraBytesInTheBuffer) {
  CipherContext context = Context(24);
  context.PrepareKey("0123456789ABCDEFGHIJ", 16, 24);
  Bytes expected(32, 0);
  std::memcpy(expected.data(), "0123456789ABCDEFGHIJ", 20);
  EXPECT_EQ(Bytes(context.iv.begin(), context.iv.end()), expected);
  context.PrepareKey(std::string(32, 'k'), 16, 24);
  for (const int key_bytes : {16, 24, 32}) {
    try {
      context.SetEncryptionKey(std::string(33, 'k'), key_bytes, 24);
      FAIL();
    } catch (const ErrorHandler& error) {
      EXPECT_EQ(error.code, -22);
      EXPECT_EQ(error.Message(), "Secret key's overtaking KeyLen size.");
    }
  }
}

TEST_F(CipherContextTest, PaddedLengthAlwaysAddsToTheNextMultiple) {
  for (const auto& [block, extension] : {std::pair{16, 32u}, {24, 48u}, {32, 32u}}) {
    CipherContext context = Context(block);
    context.SetDecryptionKey("pw", 32, block);
    EXPECT_EQ(context.PaddedLength(1048), 1056u);
    EXPECT_EQ(context.PaddedLength(24), extension);
  }
}

TEST_F(CipherContextTest, EcbIgnoresTheChainingBlock) {
  CipherContext a = Context(16), b = Context(16);
  a.SetEncryptionKey("same", 32, 16);
  b.SetEncryptionKey("same", 32, 16);
  b.chain.fill(0x77);
  const auto plain = testing::RandomBytes(64, 1);
  const Bytes in(plain.begin(), plain.end());
  EXPECT_EQ(Run(a, true, 0, in), Run(b, true, 0, in));
}

TEST_F(CipherContextTest, ConsecutiveCallsFormOneStream) {
  for (const int block : {16, 24, 32}) {
    for (const int mode : {1, 2}) {
      const auto text = testing::RandomBytes(4 * block, block);
      const Bytes in(text.begin(), text.end());
      CipherContext whole = Context(block), split = Context(block);
      whole.SetEncryptionKey("stream", 24, block);
      split.SetEncryptionKey("stream", 24, block);
      const Bytes one = Run(whole, true, mode, in);
      Bytes first = Run(split, true, mode, Bytes(in.begin(), in.begin() + 3 * block));
      const Bytes second = Run(split, true, mode, Bytes(in.begin() + 3 * block, in.end()));
      first.insert(first.end(), second.begin(), second.end());
      EXPECT_EQ(first, one) << block << "/" << mode;
    }
  }
}

TEST_F(CipherContextTest, CfbDecryptsWithTheEncryptBlockOnly) {
  BlockCipherProvider encrypt_only = providers_[32];
  encrypt_only.decrypt_block = nullptr;
  encrypt_only.decrypt_key = nullptr;
  for (ModeFunction& whole : encrypt_only.decrypt_blocks) whole = nullptr;
  CipherContext writer(providers_[32], sink_, filler_), reader(encrypt_only, sink_, filler_);
  writer.SetEncryptionKey("cfb", 32, 32);
  reader.SetEncryptionKey("cfb", 32, 32);
  const auto text = testing::RandomBytes(96, 9);
  const Bytes in(text.begin(), text.end());
  EXPECT_EQ(Run(reader, false, 2, Run(writer, true, 2, in)), in);
}

// The modules' whole-run functions must give the block loops' bytes, chain included.
TEST_F(CipherContextTest, WholeRunFunctionsEqualTheBlockLoops) {
  for (const int block : {16, 24, 32}) {
    for (int mode = 0; mode < 3; ++mode) {
      ASSERT_NE(providers_[block].encrypt_blocks[mode], nullptr);
      ASSERT_NE(providers_[block].decrypt_blocks[mode], nullptr);
    }
    BlockCipherProvider loops_only = providers_[block];
    for (ModeFunction& f : loops_only.encrypt_blocks) f = nullptr;
    for (ModeFunction& f : loops_only.decrypt_blocks) f = nullptr;
    for (const int mode : {0, 1, 2}) {
      for (const bool encrypt : {true, false}) {
        CipherContext fast(providers_[block], sink_, filler_), slow(loops_only, sink_, filler_);
        for (CipherContext* c : {&fast, &slow}) {
          if (encrypt || mode == 2) {
            c->SetEncryptionKey("whole runs", 24, block);
          } else {
            c->SetDecryptionKey("whole runs", 24, block);
          }
        }
        const auto text = testing::RandomBytes(37 * block + 5, block + mode);
        const Bytes in(text.begin(), text.end());
        for (int call = 0; call < 3; ++call) {  // the chain must carry over between calls
          EXPECT_EQ(Run(fast, encrypt, mode, in), Run(slow, encrypt, mode, in))
              << block << "/" << mode << "/" << encrypt << "/" << call;
          EXPECT_EQ(fast.chain, slow.chain);
        }
      }
    }
  }
}

TEST_F(CipherContextTest, IncompleteTailIsNeitherReadNorWritten) {
  CipherContext context = Context(16);
  context.SetEncryptionKey("tail", 16, 16);
  const Bytes in(40, 1);
  const Bytes out = Run(context, true, 0, in);
  EXPECT_EQ(Bytes(out.begin() + 32, out.end()), Bytes(8, 0xEE));
}

TEST_F(CipherContextTest, NoKeyMaterialOutlivesTheContext) {
  alignas(CipherContext) unsigned char storage[sizeof(CipherContext)];
  auto* context = new (storage) CipherContext(providers_[24], sink_, filler_);
  context->SetEncryptionKey("a password of thirty-two bytes!!", 32, 24);
  context->SetDecryptionKey("a password of thirty-two bytes!!", 32, 24);
  const Bytes in(48, 7);
  Run(*context, true, 1, in);
  struct Field {
    const void* at;
    std::size_t size;
  };
  const Field fields[] = {{context->encrypt_schedule, kScheduleBytes},
                          {context->decrypt_schedule, kScheduleBytes},
                          {context->chain.data(), 32},
                          {context->key.data(), 32},
                          {context->iv.data(), 32}};
  for (const Field& field : fields) {
    EXPECT_NE(Bytes(static_cast<const std::uint8_t*>(field.at),
                    static_cast<const std::uint8_t*>(field.at) + field.size),
              Bytes(field.size, 0));
  }
  context->~CipherContext();
  // The storage outlives the object, so its bytes may still be read.
  for (const Field& field : fields) {
    const auto* bytes = static_cast<const std::uint8_t*>(field.at);
    EXPECT_EQ(Bytes(bytes, bytes + field.size), Bytes(field.size, 0));
  }
}

}  // namespace
}  // namespace corvalin
