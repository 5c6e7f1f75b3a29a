// The encrypted container: a 1056-byte encrypted header, a format-2 extension, then the
// payload padded to the block size, all one continuous chain from the IV. Nothing in it is
// plain text; a reader knows a container only by decrypting its header to a known magic.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "container/cipher_context.h"

namespace corvalin {

class DiskFile;

// Data moves in chunks of 144 KiB, a multiple of every block size.
inline constexpr std::uint32_t kChunkBytes = 147456;
// The largest block, in bytes.
inline constexpr std::uint32_t kBlockMost = 32;

// The header's fields; encoded little-endian into the 1048-byte image.
struct ContainerHeader {
  std::array<std::uint8_t, 8> magic{};
  std::uint8_t terminator = 0;
  std::array<std::uint8_t, 3> filler{};
  std::uint32_t payload_size = 0;
  std::uint32_t checksum = 0;
  std::uint32_t time = 0;
  std::array<std::uint8_t, 1024> name{};

  static ContainerHeader Decode(const std::array<std::uint8_t, kHeaderBytes>& image);
  std::array<std::uint8_t, kHeaderBytes> Encode() const;
};

// How a payload was compressed before it was encrypted, by the numbers -cf's words stand for.
enum class CompressionFormat : std::uint16_t { kNone = 0, kGzip = 1, kBzip2 = 2 };
inline constexpr const char* kCompressionWords[3] = {"null", "gzip", "bzip2"};

// The extension's record of it: the format in the high 16 bits, the level in the low 16. A
// container made elsewhere may record a format this program does not know.
struct CompressionWord {
  std::uint32_t value = 0;

  static constexpr CompressionWord Of(CompressionFormat format, std::uint16_t level) {
    return {(std::uint32_t{static_cast<std::uint16_t>(format)} << 16) | level};
  }
  constexpr CompressionFormat format() const { return static_cast<CompressionFormat>(value >> 16); }
  constexpr std::uint16_t level() const { return static_cast<std::uint16_t>(value & 0xFFFF); }
  // Whether the format is one this program decompresses.
  constexpr bool compressed() const {
    return format() == CompressionFormat::kGzip || format() == CompressionFormat::kBzip2;
  }
};

struct ContainerExtension {
  CompressionWord compression_word;
  std::uint32_t uncompressed_size = 0;
  std::array<std::uint8_t, 16> filler{};

  static ContainerExtension Decode(const std::array<std::uint8_t, kExtensionBytes>& image);
  std::array<std::uint8_t, kExtensionBytes> Encode() const;
};

inline constexpr char kMagic[9] = "Corvalin";        // format version 2, written
inline constexpr char kLegacyMagic[9] = "Rijndael";  // format version 1, only read

// What a file's header decrypts to under a key set-up: no container for it, or a container of
// format version 1 (no extension) or 2.
enum class FormatVersion : int { kNone = -1, kLegacy = 1, kCurrent = 2 };

// Decrypts the header of `file` with the context's key set-up into the context's images.
// Leaves the file at the payload.
FormatVersion ReadHeader(CipherContext& context, DiskFile& file, CipherMode mode);
void FillHeader(CipherContext& context, DiskFile& source);
// The same from what is already known of the source.
void FillHeader(CipherContext& context, const std::string& name, std::uint32_t size,
                std::uint32_t checksum, std::int64_t now);
// ReadHeader without moving the file, for a test of what the file is.
FormatVersion PeekHeader(CipherContext& context, DiskFile& file, CipherMode mode);
// ReadHeader on bytes already read from the start of a file, `available` of them.
FormatVersion HeaderIn(CipherContext& context, const std::uint8_t* bytes, std::uint64_t available,
                       CipherMode mode);
void FillExtension(CipherContext& context, CompressionWord compression_word,
                   std::uint32_t uncompressed_size);
// Writes `source` as a container into `output`; returns the bytes written. -25 when the source
// already decrypts under this key set-up, -40 when it changed while it was read.
std::uint64_t EncryptContainer(CipherContext& context, DiskFile& source, DiskFile& output,
                               CipherMode mode, CompressionWord compression_word,
                               std::uint32_t uncompressed_size);
// Restores the payload into `output` and names it after the stored name; returns the payload
// size. -20 when the header does not decrypt, -23 when the checksum does not match.
std::uint32_t DecryptContainer(CipherContext& context, DiskFile& source, DiskFile& output,
                               CipherMode mode);

// The header and extension images of the context, decoded.
ContainerHeader HeaderOf(const CipherContext& context);
ContainerExtension ExtensionOf(const CipherContext& context);

// The stored name: the bytes before the first 0 of the name field; false when there is none.
bool StoredName(const CipherContext& context, std::string& name);

}  // namespace corvalin
