// What a stopped run left is finished by the next one: a complete container beside the file it
// was made of (the run stopped before it removed the source), or a restored file beside its
// container. Only a proof makes such a pair: the container decrypts under the run's key, stores
// the name and compression this run would give it, and restores to exactly the bytes of the
// other file. Then the container is the result, the source goes as the run would remove it,
// and the pair counts once; anything less leaves the files to the steps, which refuse as they
// always did. The copy that stays is held alone while the other goes: two workers or runs may
// prove one pair from its two sides at once, and each would remove its own side.
#include <cstring>
#include <optional>
#include <string>

#include "container/cipher_context.h"
#include "container/container_format.h"
#include "platform/path.h"
#include "process/compression_filters.h"
#include "process/file_transaction.h"
#include "process/my_object_aes.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/interruption.h"
#include "support/my_stream.h"
#include "support/work_buffer.h"
#include "support/working_names.h"

namespace corvalin {
namespace {

const char* SuffixOf(CompressionFormat format) {
  return format == CompressionFormat::kGzip ? ".gz" : ".bz";
}

// A name a container may stand for in its own folder: one component, never a working name.
bool PlainName(const std::string& name) {
  return !name.empty() && LastNameBreak(name) == std::string::npos && !IsWorkingName(name);
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() > suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool SameContents(DiskFile& a, DiskFile& b) {
  const std::uint64_t size = a.Describe().size;
  if (b.Describe().size != size) return false;
  WorkBuffer left(kChunkBytes), right(kChunkBytes);
  for (std::uint64_t at = 0; at < size;) {
    const std::uint32_t got = a.ReadAt(at, kChunkBytes, left.data());
    if (got == 0 || b.ReadAt(at, got, right.data()) != got ||
        std::memcmp(left.data(), right.data(), got) != 0) {
      return false;
    }
    at += got;
  }
  return true;
}

}  // namespace

bool MyObjectAes::RestoresTo(FileTransaction& transaction, DiskFile& container, DiskFile& plain) {
  FileWork& work = transaction.work();
  const ErrorHandler unavailable(Error::kOpenFailed, "working file");
  bool same = false;
  try {
    CipherContext context(provider, work.sink, work.tools.filler);
    KeySetUp(context);
    DiskFile& payload = transaction.OpenWorking(WorkingFile::kCipher, unavailable);
    DecryptContainer(context, container, payload, cipher_mode);  // checks the CRC-32
    const ContainerExtension extension = ExtensionOf(context);
    DiskFile* restored = &payload;
    if (extension.compression_word.compressed()) {
      DiskFile& out = transaction.OpenWorking(WorkingFile::kCompression, unavailable);
      const std::uint64_t size = extension.compression_word.format() == CompressionFormat::kGzip
                                     ? GunzipFile(work.sink, payload, out)
                                     : Bunzip2File(work.sink, payload, out);
      if (size != extension.uncompressed_size) throw unavailable;
      restored = &out;
    }
    same = SameContents(*restored, plain);
  } catch (const ErrorHandler& error) {
    if (IsInterruption(error)) throw;
  }
  transaction.Discard(WorkingFile::kCompression, "", true);
  transaction.Discard(WorkingFile::kCipher, "", true);
  return same;
}

// Opens `name` as the pair's other file and proves the pair; false when there is none.
bool MyObjectAes::ProvePair(FileTransaction& transaction, const std::string& name,
                            bool partner_is_container, const std::string& stored_name,
                            CompressionFormat format) {
  FileFacts there;
  if (!transaction.Describe(name, there) || !there.regular ||
      there.identity == transaction.source_facts().identity) {
    return false;
  }
  try {
    DiskFile& partner = transaction.OpenPartner(name);
    DiskFile& container = partner_is_container ? partner : transaction.source();
    DiskFile& plain = partner_is_container ? transaction.source() : partner;
    if (IsContainerOf(container, transaction.work(), stored_name, format) &&
        RestoresTo(transaction, container, plain)) {
      return true;
    }
  } catch (const ErrorHandler& error) {
    if (IsInterruption(error)) throw;
  }
  transaction.ReleasePartner();
  return false;
}

// The compression this run gives the file `name`, when it encrypts.
CompressionFormat MyObjectAes::FormatFor(const std::string& name) const {
  return compression_word().compressed() && !compression_exclusions.Contains(name)
             ? compression_format
             : CompressionFormat::kNone;
}

void MyObjectAes::SayDoneEarlier(FileWork& work, const char* verb, const std::string& from,
                                 const std::string& to, std::uint64_t size) {
  work.sink.Write(std::string(verb) + from + " to " + to + " (made earlier) [OK] \r\n",
                  Verbosity::kStep);
  work.sink.Progress(1, Verbosity::kHeadline);
  work.result_size = size;
  work.succeeded = true;
}

bool MyObjectAes::FinishEncryption(FileTransaction& transaction, const std::string& folder,
                                   const std::string& name) {
  const CompressionFormat format = FormatFor(name);
  const std::string stored = format == CompressionFormat::kNone ? name : name + SuffixOf(format);
  const std::string container = ContainerName(folder + stored);
  if (container == name || !ProvePair(transaction, container, true, stored, format)) return false;
  if (delete_source) transaction.HoldAlone(true, folder + name);
  const FileFacts& made = transaction.partner().opened_facts();
  run_.AddMade(made.identity);
  run_.Settle(made.identity, container);
  SayDoneEarlier(transaction.work(), "Encrypt ", folder + name, container, made.size);
  if (!delete_source) return true;
  try {
    transaction.RemoveSource("encrypt");
  } catch (const ErrorHandler& error) {
    if (IsInterruption(error)) throw;
    RollBack(error, transaction, folder + name);
  }
  return true;
}

// What the source, a container, stands for: its stored name, its compression, and the name of
// the plain file it restores to; nothing when it is not a container of a name in its folder.
std::optional<MyObjectAes::StandsFor> MyObjectAes::WhatContainerStandsFor(
    FileTransaction& transaction) {
  FileWork& work = transaction.work();
  CipherContext context(provider, work.sink, work.tools.filler);
  KeySetUp(context);
  StandsFor what;
  if (ReadHeader(context, transaction.source(), cipher_mode) == FormatVersion::kNone ||
      !StoredName(context, what.stored) || !PlainName(what.stored)) {
    return std::nullopt;
  }
  what.format = ExtensionOf(context).compression_word.format();
  what.plain = what.stored;
  if (what.format != CompressionFormat::kNone) {
    if (!EndsWith(what.stored, SuffixOf(what.format))) return std::nullopt;
    what.plain.resize(what.stored.size() - 3);
  }
  if (!PlainName(what.plain)) return std::nullopt;
  return what;
}

bool MyObjectAes::FinishFromContainer(FileTransaction& transaction, const std::string& folder,
                                      const std::string& name) {
  FileWork& work = transaction.work();
  const std::optional<StandsFor> what = WhatContainerStandsFor(transaction);
  if (!what) return false;
  const std::string& plain = what->plain;
  const std::string& stored = what->stored;
  const CompressionFormat format = what->format;
  if (plain == name || FormatFor(plain) != format || ContainerName(folder + stored) != name ||
      !ProvePair(transaction, plain, false, stored, format)) {
    return false;
  }
  if (delete_source) transaction.HoldAlone(false, folder + name);
  const FileFacts& source = transaction.source_facts();
  run_.AddMade(source.identity);
  run_.Settle(transaction.partner().opened_facts().identity, plain);
  SayDoneEarlier(transaction.work(), "Encrypt ", folder + plain, name, source.size);
  if (!delete_source) return true;
  try {
    transaction.RemovePartner("encrypt");
  } catch (const ErrorHandler& error) {
    if (IsInterruption(error)) throw;
    work.succeeded = false;
    work.sink.Problem(ErrorLine(error), "     \r\n");
  }
  return true;
}

bool MyObjectAes::FinishDecryption(FileTransaction& transaction, const std::string& folder,
                                   const std::string& name) {
  const std::optional<StandsFor> what = WhatContainerStandsFor(transaction);
  if (!what) return false;
  const std::string& restored = what->plain;
  if (restored == name || !ProvePair(transaction, restored, false, what->stored, what->format)) {
    return false;
  }
  if (change_extension && delete_source) transaction.HoldAlone(true, folder + name);
  const FileFacts& plain = transaction.partner().opened_facts();
  run_.AddMade(plain.identity);
  run_.Settle(plain.identity, restored);
  SayDoneEarlier(transaction.work(), "Decrypt ", folder + name, restored, plain.size);
  if (change_extension && delete_source) transaction.RemoveSource("decrypt");
  return true;
}

bool MyObjectAes::FinishFromPlain(FileTransaction& transaction, const std::string& folder,
                                  const std::string& name) {
  // Where the encryption of this file would have put its container, plain or compressed.
  for (const CompressionFormat format :
       {CompressionFormat::kNone, CompressionFormat::kGzip, CompressionFormat::kBzip2}) {
    const std::string stored = format == CompressionFormat::kNone ? name : name + SuffixOf(format);
    const std::string container = ContainerName(folder + stored);
    if (container == name || !ProvePair(transaction, container, true, stored, format)) continue;
    if (change_extension && delete_source) transaction.HoldAlone(false, folder + name);
    const FileFacts& source = transaction.source_facts();
    run_.AddMade(source.identity);
    run_.Settle(transaction.partner().opened_facts().identity, container);
    SayDoneEarlier(transaction.work(), "Decrypt ", folder + container, name, source.size);
    if (change_extension && delete_source) transaction.RemovePartner("decrypt");
    return true;
  }
  return false;
}

}  // namespace corvalin
