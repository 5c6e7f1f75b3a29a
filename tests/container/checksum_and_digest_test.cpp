#include <gtest/gtest.h>

#include <string>

#include "container/name_digest.h"
#include "support/crc32.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

std::uint32_t Crc(const std::string& bytes) {
  CCrc32Dynamic crc;
  crc.Init();
  crc.Update(bytes.data(), bytes.size());
  return crc.Checksum();
}

// The byte-at-a-time definition, to hold the sliced code to it.
std::uint32_t ReferenceCrc(const std::string& bytes) {
  std::uint32_t value = 0xFFFFFFFFu;
  for (const char c : bytes) {
    value ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ ((value & 1) ? 0xEDB88320u : 0);
  }
  return ~value;
}

TEST(Crc32Test, KnownValues) {
  EXPECT_EQ(Crc(""), 0x00000000u);
  EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
}

TEST(Crc32Test, SlicedUpdatesEqualTheBytewiseDefinitionForAnySplit) {
  const std::string data = testing::RandomBytes(1000, 7);
  for (std::size_t length : {1u, 7u, 8u, 9u, 63u, 1000u}) {
    EXPECT_EQ(Crc(data.substr(0, length)), ReferenceCrc(data.substr(0, length)));
  }
  CCrc32Dynamic pieces;
  pieces.Init();
  for (std::size_t at = 0; at < data.size(); at += 13) {
    pieces.Update(data.data() + at, std::min<std::size_t>(13, data.size() - at));
  }
  pieces.Update(data.data(), 0);
  EXPECT_EQ(pieces.Checksum(), ReferenceCrc(data));
}

// Every length, so that each tail the wide path leaves to the tables is covered, at several
// offsets into the buffer.
TEST(Crc32Test, EveryLengthAndOffsetEqualsTheDefinition) {
  const std::string data = testing::RandomBytes(5000, 11);
  for (std::size_t offset : {0u, 1u, 7u}) {
    for (std::size_t length = 0; length <= 700; ++length) {
      ASSERT_EQ(Crc(data.substr(offset, length)), ReferenceCrc(data.substr(offset, length)))
          << offset << "+" << length;
    }
  }
  EXPECT_EQ(Crc(data), ReferenceCrc(data));
}

// A file checked in two pieces side by side gets the checksum of the whole, for pieces of any
// length, beyond 4 GiB too (where a 32-bit length would wrap).
TEST(Crc32Test, ChecksumsOfPiecesCombineIntoTheWhole) {
  const std::string data = testing::RandomBytes(3000, 13);
  for (std::size_t cut : {0u, 1u, 17u, 1500u, 2999u, 3000u}) {
    const std::string second = data.substr(cut);
    EXPECT_EQ(CombineChecksums(Crc(data.substr(0, cut)), Crc(second), second.size()), Crc(data))
        << cut;
  }
  const std::uint32_t a = Crc("a"), b = Crc("b"), c = Crc("c");
  const std::uint64_t long_b = 3ull << 30, long_c = (5ull << 30) + 7;
  EXPECT_EQ(CombineChecksums(CombineChecksums(a, b, long_b), c, long_c),
            CombineChecksums(a, CombineChecksums(b, c, long_c), long_b + long_c));
  EXPECT_NE(CombineChecksums(a, b, long_b + long_c),
            CombineChecksums(a, b, (long_b + long_c) & 0xFFFFFFFFu));
}

std::string Digest(std::string text) {
  DigestText(text);
  return text;
}

TEST(NameDigestTest, StandardSha1Messages) {
  EXPECT_EQ(Digest("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Digest(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Digest(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(NameDigestTest, PathsDifferingInCaseOrHighBytesGiveDifferentNames) {
  const std::string lower = Digest("/data/report.txt");
  EXPECT_EQ(lower.size(), 40u);
  EXPECT_EQ(lower.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(lower, Digest("/data/report.txt"));
  EXPECT_NE(lower, Digest("/data/Report.txt"));
  EXPECT_NE(Digest("caf\xe9"), Digest("caf\xc9"));
}

}  // namespace
}  // namespace corvalin
