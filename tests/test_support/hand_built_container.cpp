#include "tests/test_support/hand_built_container.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "container/container_format.h"
#include "providers/rijndael.h"
#include "support/crc32.h"
#include "tests/test_support/providers.h"

namespace corvalin::testing {

using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes FillerBytes(std::size_t count) {
  Bytes bytes(count);
  testing::FixedFiller().Fill(bytes.data(), count);
  return bytes;
}

Bytes PaddedWithFiller(Bytes bytes, int block, bool always) {
  if (!always && bytes.size() % block == 0) return bytes;
  const Bytes filler = FillerBytes((bytes.size() / block + 1) * block - bytes.size());
  bytes.insert(bytes.end(), filler.begin(), filler.end());
  return bytes;
}

}  // namespace

// Builds a container block by block from the portable cipher and the layout, not through the
// container code, so that the reader is held to the format rather than to the writer. Filler
// is what FixedFiller gives, in the order the writer draws it.
std::string HandBuiltContainer(const char (&magic)[9], int block, const std::string& password,
                               const std::string& payload, const std::string& name,
                               std::uint32_t time, std::uint32_t compression_word,
                               std::uint32_t uncompressed_size) {
  const Bytes header_filler = FillerBytes(kHeaderBytes);
  std::array<std::uint8_t, kHeaderBytes> header_image{};
  std::copy(header_filler.begin(), header_filler.end(), header_image.begin());
  ContainerHeader header = ContainerHeader::Decode(header_image);
  std::memcpy(header.magic.data(), magic, 8);
  header.terminator = 0;
  header.payload_size = static_cast<std::uint32_t>(payload.size());
  CCrc32Dynamic crc;
  crc.Init();
  crc.Update(payload.data(), payload.size());
  header.checksum = crc.Checksum();
  header.time = time;
  std::memcpy(header.name.data(), name.data(), std::min<std::size_t>(name.size() + 1, 1024));

  const auto image = header.Encode();
  Bytes plain = PaddedWithFiller(Bytes(image.begin(), image.end()), block, true);
  if (std::strcmp(magic, "Corvalin") == 0) {
    const Bytes ext_filler = FillerBytes(kExtensionBytes);
    std::array<std::uint8_t, kExtensionBytes> ext_image{};
    std::copy(ext_filler.begin(), ext_filler.end(), ext_image.begin());
    ContainerExtension extension = ContainerExtension::Decode(ext_image);
    extension.compression_word = CompressionWord{compression_word};
    extension.uncompressed_size = compression_word == 0 ? header.payload_size : uncompressed_size;
    const auto ext = extension.Encode();
    const Bytes padded = PaddedWithFiller(Bytes(ext.begin(), ext.end()), block, true);
    plain.insert(plain.end(), padded.begin(), padded.end());
  }
  const Bytes body = PaddedWithFiller(Bytes(payload.begin(), payload.end()), block, false);
  plain.insert(plain.end(), body.begin(), body.end());

  Bytes key(32, 0);  // a password of 32 bytes is the key and the IV as it stands
  std::memcpy(key.data(), password.data(), 32);
  rijndael::Schedule schedule{};
  rijndael::ExpandEncryptionKey(block / 4, key.data(), 32, schedule);
  Bytes chain(key.begin(), key.begin() + block), out(plain.size());
  for (std::size_t at = 0; at < plain.size(); at += block) {  // CBC
    for (int i = 0; i < block; ++i) chain[i] ^= plain[at + i];
    rijndael::EncryptBlock(block / 4, schedule, chain.data(), out.data() + at);
    std::memcpy(chain.data(), out.data() + at, block);
  }
  return std::string(out.begin(), out.end());
}

}  // namespace corvalin::testing
