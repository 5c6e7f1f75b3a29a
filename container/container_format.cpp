#include "container/container_format.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "support/chunk_pipeline.h"
#include "support/crc32.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/little_endian.h"
#include "support/my_stream.h"
#include "support/side_thread.h"
#include "support/work_buffer.h"

namespace corvalin {
namespace {

// Whether the blocks of a chunk may be split between two threads: every mode decrypts a block
// from ciphertext alone, but only ECB encrypts one without the block before it.
bool SplitsAcrossCores(CipherMode mode, bool encrypting) {
  return !encrypting || mode == CipherMode::kEcb;
}

// Below this size a file is not worth the threads of a pipeline.
constexpr std::uint64_t kPipelineWorth = 2u << 20;

// Below this many bytes a chunk is not worth a second thread.
constexpr std::uint32_t kSplitWorth = 16384;

// Encrypts or decrypts the whole blocks of `length` bytes; returns the block count. With
// `side`, a large chunk's second half goes to that thread after the chaining block its first
// half ends in, and the context's chaining block ends as the whole chunk's would.
std::uint32_t RunChunk(CipherContext& context, CipherMode mode, bool encrypting,
                       const std::uint8_t* in, std::uint8_t* out, std::uint32_t length,
                       std::optional<SideThread>& side) {
  const std::uint32_t block = context.block_size;
  const std::uint32_t blocks = length / block;
  if (!side || length < kSplitWorth) {
    return encrypting ? context.EncryptBlocks(mode, in, out, length)
                      : context.DecryptBlocks(mode, in, out, length);
  }
  const std::uint32_t first = blocks / 2 * block;
  // Decryption chains on ciphertext, which is all there before the work starts; ECB not at all.
  std::array<std::uint8_t, kBlockMost> chain{};
  std::memcpy(chain.data(), in + first - block, block);
  side->Start([&] {
    if (encrypting) {
      context.EncryptBlocksAfter(mode, chain.data(), in + first, out + first,
                                 blocks * block - first);
    } else {
      context.DecryptBlocksAfter(mode, chain.data(), in + first, out + first,
                                 blocks * block - first);
    }
  });
  if (encrypting) {
    context.EncryptBlocks(mode, in, out, first);
  } else {
    context.DecryptBlocks(mode, in, out, first);
  }
  side->Wait();
  std::memcpy(context.chain.data(), chain.data(), block);
  return blocks;
}

bool HasMagic(const std::array<std::uint8_t, kHeaderBytes>& header, const char (&magic)[9]) {
  return std::memcmp(header.data(), magic, 9) == 0;  // the terminating 0 included
}

constexpr std::uint32_t kNameOffset = 24;
constexpr std::uint32_t kNameBytes = 1024;

}  // namespace

ContainerHeader ContainerHeader::Decode(const std::array<std::uint8_t, kHeaderBytes>& image) {
  ContainerHeader header;
  std::memcpy(header.magic.data(), image.data(), 8);
  header.terminator = image[8];
  std::memcpy(header.filler.data(), image.data() + 9, 3);
  header.payload_size = LoadLittle32(image.data() + 12);
  header.checksum = LoadLittle32(image.data() + 16);
  header.time = LoadLittle32(image.data() + 20);
  std::memcpy(header.name.data(), image.data() + kNameOffset, kNameBytes);
  return header;
}

std::array<std::uint8_t, kHeaderBytes> ContainerHeader::Encode() const {
  std::array<std::uint8_t, kHeaderBytes> image{};
  std::memcpy(image.data(), magic.data(), 8);
  image[8] = terminator;
  std::memcpy(image.data() + 9, filler.data(), 3);
  StoreLittle32(payload_size, image.data() + 12);
  StoreLittle32(checksum, image.data() + 16);
  StoreLittle32(time, image.data() + 20);
  std::memcpy(image.data() + kNameOffset, name.data(), kNameBytes);
  return image;
}

ContainerExtension ContainerExtension::Decode(
    const std::array<std::uint8_t, kExtensionBytes>& image) {
  ContainerExtension extension;
  extension.compression_word = CompressionWord{LoadLittle32(image.data())};
  extension.uncompressed_size = LoadLittle32(image.data() + 4);
  std::memcpy(extension.filler.data(), image.data() + 8, 16);
  return extension;
}

std::array<std::uint8_t, kExtensionBytes> ContainerExtension::Encode() const {
  std::array<std::uint8_t, kExtensionBytes> image{};
  StoreLittle32(compression_word.value, image.data());
  StoreLittle32(uncompressed_size, image.data() + 4);
  std::memcpy(image.data() + 8, filler.data(), 16);
  return image;
}

// A file too short for its header (and, in format 2, its extension) is no container, whatever
// its first bytes decrypt to: missing bytes would otherwise read as a size and checksum of 0.
FormatVersion HeaderIn(CipherContext& context, const std::uint8_t* bytes, std::uint64_t available,
                       CipherMode mode) {
  const std::uint32_t head = context.PaddedLength(kHeaderBytes);
  const auto have = static_cast<std::uint32_t>(std::min<std::uint64_t>(available, head));
  if (context.DecryptPadded(mode, bytes, have, context.header.data(), kHeaderBytes) != head) {
    return FormatVersion::kNone;
  }
  if (HasMagic(context.header, kMagic)) {
    const std::uint32_t tail = context.PaddedLength(kExtensionBytes);
    const auto rest = static_cast<std::uint32_t>(std::min<std::uint64_t>(available - head, tail));
    const std::uint32_t got =
        context.DecryptPadded(mode, bytes + head, rest, context.extension.data(), kExtensionBytes);
    return got == tail ? FormatVersion::kCurrent : FormatVersion::kNone;
  }
  if (HasMagic(context.header, kLegacyMagic)) {
    // No extension: as if uncompressed.
    ContainerExtension extension;
    extension.uncompressed_size = HeaderOf(context).payload_size;
    context.extension = extension.Encode();
    return FormatVersion::kLegacy;
  }
  return FormatVersion::kNone;
}

FormatVersion PeekHeader(CipherContext& context, DiskFile& file, CipherMode mode) {
  std::array<std::uint8_t, kHeaderBytes + 2 * kBlockMost> bytes{};
  const std::uint32_t got = file.ReadAt(
      0, context.PaddedLength(kHeaderBytes) + context.PaddedLength(kExtensionBytes), bytes.data());
  return HeaderIn(context, bytes.data(), got, mode);
}

// Header and extension come in one read; a format-1 file has its payload right after the
// header, and is put back there.
FormatVersion ReadHeader(CipherContext& context, DiskFile& file, CipherMode mode) {
  file.Seek(0, SeekOrigin::kBegin);
  const std::uint32_t head = context.PaddedLength(kHeaderBytes);
  std::array<std::uint8_t, kHeaderBytes + 2 * kBlockMost> bytes{};
  const std::uint32_t got = file.Read(head + context.PaddedLength(kExtensionBytes), bytes.data());
  const FormatVersion version = HeaderIn(context, bytes.data(), got, mode);
  if (version == FormatVersion::kLegacy && got > head) {
    file.Seek(static_cast<std::int32_t>(head), SeekOrigin::kBegin);
  }
  return version;
}

void FillHeader(CipherContext& context, DiskFile& source) {
  // Sources of 4 GiB or more are refused before they get here.
  FillHeader(context, source.name(), static_cast<std::uint32_t>(source.size()),
             source.Checksum(&context.progress, context.SpareCores()), source.platform().Now());
}

void FillHeader(CipherContext& context, const std::string& name, std::uint32_t size,
                std::uint32_t checksum, std::int64_t now) {
  // Every byte no field takes is filler, the unused end of the name included.
  context.Fill(context.header.data(), context.header.size());
  ContainerHeader header = HeaderOf(context);
  std::memcpy(header.magic.data(), kMagic, header.magic.size());
  header.terminator = 0;
  header.payload_size = size;
  header.checksum = checksum;
  header.time = static_cast<std::uint32_t>(now);
  // File names are far shorter than the field; a longer one keeps its terminator regardless.
  const std::size_t length = std::min<std::size_t>(name.size(), header.name.size() - 1);
  std::memcpy(header.name.data(), name.data(), length);
  header.name[length] = 0;
  context.header = header.Encode();
}

void FillExtension(CipherContext& context, CompressionWord compression_word,
                   std::uint32_t uncompressed_size) {
  context.Fill(context.extension.data(), context.extension.size());
  ContainerExtension extension = ExtensionOf(context);
  extension.compression_word = compression_word;
  extension.uncompressed_size =
      compression_word.value != 0 ? uncompressed_size : HeaderOf(context).payload_size;
  context.extension = extension.Encode();
}

ContainerHeader HeaderOf(const CipherContext& context) {
  return ContainerHeader::Decode(context.header);
}

ContainerExtension ExtensionOf(const CipherContext& context) {
  return ContainerExtension::Decode(context.extension);
}

namespace {

// A source that fits one chunk is read once, and its container written once: the header test,
// the checksum and the encryption all work on that one read. For many small files the calls
// to the system, not the cipher, are the cost.
std::uint64_t EncryptWhole(CipherContext& context, DiskFile& source, DiskFile& output,
                           CipherMode mode, CompressionWord compression_word,
                           std::uint32_t uncompressed_size) {
  WorkBuffer plain(kChunkBytes), cipher(kChunkBytes + 2 * kHeaderBytes);
  const std::uint32_t got = source.ReadAt(0, kChunkBytes, plain.data());
  if (HeaderIn(context, plain.data(), got, mode) != FormatVersion::kNone) {
    throw ErrorHandler(Error::kAlreadyEncrypted, "Already encrypted.");
  }
  // What is encrypted must be exactly what the header describes.
  if (got != source.size()) {
    throw ErrorHandler(Error::kChangedWhileRead, "Unable to encrypt " + source.path() +
                                                     " because it changed while it was read.");
  }
  CCrc32Dynamic crc;
  crc.Init();
  for (std::uint32_t at = 0; at < got; at += kChecksumUnit) {
    context.progress.Step(kScanStep, Verbosity::kHeadline);
    crc.Update(plain.data() + at, std::min(kChecksumUnit, got - at));
  }
  FillHeader(context, source.name(), got, crc.Checksum(), source.platform().Now());
  FillExtension(context, compression_word, uncompressed_size);
  context.ExpandEncryptionKey(context.key.data(), context.key_length, context.iv.data(),
                              context.key_block_size);
  std::uint8_t* out = cipher.data();
  out += context.EncryptPadded(mode, context.header.data(), kHeaderBytes, out);
  out += context.EncryptPadded(mode, context.extension.data(), kExtensionBytes, out);
  std::uint32_t length = got;
  if (length > 0) {
    context.progress.Step(kChunkStep, Verbosity::kHeadline);
    const std::uint32_t block = context.block_size;
    if (length % block != 0) {
      const std::uint32_t padded = (length / block + 1) * block;
      context.Fill(plain.data() + length, padded - length);
      length = padded;
    }
    context.EncryptBlocks(mode, plain.data(), out, length);
    out += length;
  }
  const auto total = static_cast<std::uint32_t>(out - cipher.data());
  output.Write(total, cipher.data());
  output.set_size(total);
  output.set_checksum(0);
  return total;
}

}  // namespace

// The output stands at its start, as the file's transaction opens it.
std::uint64_t EncryptContainer(CipherContext& context, DiskFile& source, DiskFile& output,
                               CipherMode mode, CompressionWord compression_word,
                               std::uint32_t uncompressed_size) {
  if (source.size() < kChunkBytes) {
    return EncryptWhole(context, source, output, mode, compression_word, uncompressed_size);
  }
  if (ReadHeader(context, source, mode) != FormatVersion::kNone) {
    throw ErrorHandler(Error::kAlreadyEncrypted, "Already encrypted.");
  }
  FillHeader(context, source);
  FillExtension(context, compression_word, uncompressed_size);
  context.ExpandEncryptionKey(context.key.data(), context.key_length, context.iv.data(),
                              context.key_block_size);
  std::uint64_t total = context.WriteEncrypted(output, mode, context.header.data(), kHeaderBytes);
  total += context.WriteEncrypted(output, mode, context.extension.data(), kExtensionBytes);

  source.Seek(0, SeekOrigin::kBegin);
  const std::uint32_t block = context.block_size;
  // What is encrypted must be exactly what the header describes: a source written to between
  // the checksum and this pass would give a container that can never be decrypted.
  CCrc32Dynamic crc;
  crc.Init();
  std::uint64_t read = 0;
  const bool large = context.SpareCores() && source.size() >= kPipelineWorth;
  {
    // The source is read ahead, and its checksum taken, on one thread, the container written
    // behind on another, while the chain runs here.
    ChunkPipeline pipeline(
        [&](std::uint8_t* into, std::uint32_t capacity) {
          const std::uint32_t got = source.Read(capacity, into);
          crc.Update(into, got);
          read += got;
          return got;
        },
        [&](const std::uint8_t* from, std::uint32_t count) { output.Write(count, from); },
        kChunkBytes, large);
    std::optional<SideThread> side;
    if (large && context.SplitsBlocks() && SplitsAcrossCores(mode, true)) StartSideThread(side);
    while (ChunkPipeline::Chunk* chunk = pipeline.Next()) {
      context.progress.Step(kChunkStep, Verbosity::kHeadline);
      std::uint32_t length = chunk->length;
      if (length < kChunkBytes && length % block != 0) {
        const std::uint32_t padded = (length / block + 1) * block;
        context.Fill(chunk->in.data() + length, padded - length);
        length = padded;
      }
      RunChunk(context, mode, true, chunk->in.data(), chunk->out.data(), length, side);
      chunk->produced = length;
      pipeline.Put(chunk);
      total += length;
    }
    pipeline.Finish();
  }
  const ContainerHeader header = HeaderOf(context);
  if (read != header.payload_size || crc.Checksum() != header.checksum) {
    throw ErrorHandler(Error::kChangedWhileRead, "Unable to encrypt " + source.path() +
                                                     " because it changed while it was read.");
  }
  output.set_size(total);
  output.set_checksum(0);
  return total;
}

bool StoredName(const CipherContext& context, std::string& name) {
  const ContainerHeader header = HeaderOf(context);
  const auto end = std::find(header.name.begin(), header.name.end(), std::uint8_t{0});
  if (end == header.name.end()) return false;
  name.assign(header.name.begin(), end);
  return true;
}

std::uint32_t DecryptContainer(CipherContext& context, DiskFile& source, DiskFile& output,
                               CipherMode mode) {
  if (ReadHeader(context, source, mode) == FormatVersion::kNone) {
    throw ErrorHandler(Error::kNotAContainer, "Unable to decrypt " + source.path() +
                                                  " (Not Corvalin file or wrong password?)");
  }
  CCrc32Dynamic crc;
  crc.Init();
  const ContainerHeader header = HeaderOf(context);
  const std::uint32_t payload_size = header.payload_size;
  const std::uint32_t stored_checksum = header.checksum;
  // Only the payload's own blocks are read: whatever follows them is never written out, and
  // a container must decrypt whatever its length.
  const std::uint32_t block = context.block_size;
  std::uint64_t left = (static_cast<std::uint64_t>(payload_size) + block - 1) / block * block;
  std::uint32_t written = 0;
  const bool large = context.SpareCores() && left >= kPipelineWorth;
  {
    // The container is read ahead on one thread, the plain file written behind, and its
    // checksum taken, on another, while the blocks are decrypted here (split in two where the
    // chunk is large: decryption needs nothing of the blocks before but their ciphertext).
    ChunkPipeline pipeline(
        [&](std::uint8_t* into, std::uint32_t capacity) {
          const std::uint32_t got = source.Read(
              static_cast<std::uint32_t>(std::min<std::uint64_t>(left, capacity)), into);
          left -= got;
          return got;
        },
        [&](const std::uint8_t* from, std::uint32_t count) {
          output.Write(count, from);
          crc.Update(from, count);
        },
        kChunkBytes, large);
    std::optional<SideThread> side;
    if (large && context.SplitsBlocks() && SplitsAcrossCores(mode, false)) StartSideThread(side);
    while (ChunkPipeline::Chunk* chunk = pipeline.Next()) {
      context.progress.Step(kChunkStep, Verbosity::kHeadline);
      const std::uint32_t length = chunk->length;
      const std::uint32_t whole =
          RunChunk(context, mode, false, chunk->in.data(), chunk->out.data(), length, side) * block;
      // A cut or damaged payload ends in a partial block that is not decrypted: zeros stand
      // there, never bytes of an earlier chunk, and the checksum reports the damage.
      std::fill(chunk->out.data() + whole, chunk->out.data() + length, std::uint8_t{0});
      chunk->produced = std::min(length, payload_size - written);
      written += chunk->produced;
      pipeline.Put(chunk);
    }
    pipeline.Finish();
  }
  if (written != payload_size || crc.Checksum() != stored_checksum) {
    throw ErrorHandler(Error::kChecksumMismatch, "CRC32 mismatch.");
  }
  output.set_size(payload_size);
  output.set_checksum(stored_checksum);
  std::string name;
  StoredName(context, name);
  output.SetName(name);
  return payload_size;
}

}  // namespace corvalin
