#include <string>

#include "platform/path.h"
#include "process/compression_filters.h"
#include "process/file_transaction.h"
#include "process/my_object_aes.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/my_stream.h"
#include "support/unreachable_name.h"
#include "support/working_names.h"

namespace corvalin {

// The intermediate <source>.gz or .bz exists only as the folder's second working file; the
// lines and the container still name it as the intermediate, so the stored name and the digest
// of -n are those of <source>.gz or .bz.
std::uint64_t MyObjectAes::CompressStep(FileTransaction& transaction, const char* word,
                                        const char* suffix, const std::string& source,
                                        std::string& out, bool already_encrypted) {
  FileWork& work = transaction.work();
  out = source + suffix;
  work.sink.Write(word + source + " to " + FileNamePart(out) + " ", Verbosity::kStep);
  work.sink.Progress(0, Verbosity::kHeadline);
  if (already_encrypted)
    throw ErrorHandler(Error::kAlreadyEncrypted, source + " is already encrypted.");
  DiskFile& compressed = transaction.OpenWorking(
      WorkingFile::kCompression, ErrorHandler(Error::kStreamOpenFailed, "Unable to open " + out));
  compressed.SetName(FileNamePart(out));
  std::uint64_t read = 0;
  try {
    DiskFile& input = transaction.source();
    read = compression_format == CompressionFormat::kGzip
               ? GzipFile(work.sink, input, compressed, compression_level)
               : Bzip2File(work.sink, input, compressed, compression_level);
    // Every byte of the source must be in the container, as the size it records says.
    if (read != transaction.source_facts().size) {
      throw ErrorHandler(Error::kChangedWhileRead,
                         "Unable to encrypt " + source + " because it changed while it was read.");
    }
  } catch (const ErrorHandler&) {
    transaction.Discard(WorkingFile::kCompression, out);
    throw;
  }
  work.sink.Write("[OK] \r\n", Verbosity::kStep);
  return read;
}

std::uint64_t MyObjectAes::DeflateStep(FileTransaction& transaction, const std::string& source,
                                       std::string& out, bool already_encrypted) {
  return CompressStep(transaction, "Deflate ", ".gz", source, out, already_encrypted);
}

std::uint64_t MyObjectAes::Bzip2Step(FileTransaction& transaction, const std::string& source,
                                     std::string& out, bool already_encrypted) {
  return CompressStep(transaction, "Bzip2 ", ".bz", source, out, already_encrypted);
}

// `source` names the decrypted intermediate, which is still the folder's first working file.
std::uint64_t MyObjectAes::DecompressStep(FileTransaction& transaction, const char* word,
                                          const char* suffix, const std::string& source,
                                          std::string& out) {
  FileWork& work = transaction.work();
  const std::string ending = suffix;
  out = source.substr(0, source.size() - ending.size());
  const std::string folder = FolderPart(source);
  work.sink.Write(word + source + " to " + FileNamePart(out) + " ", Verbosity::kStep);
  work.sink.Progress(0, Verbosity::kHeadline);
  try {
    RefuseUnreachableName(out, "create");
    DiskFile& output = transaction.OpenWorking(
        WorkingFile::kCompression,
        ErrorHandler(Error::kOpenFailed, "Unable to open file " + out + " (write mode)"));
    output.SetName(FileNamePart(out));
    DiskFile& compressed = transaction.working(WorkingFile::kCipher);
    compressed.SetName(FileNamePart(source));
    const std::uint64_t result = ending == ".gz" ? GunzipFile(work.sink, compressed, output)
                                                 : Bunzip2File(work.sink, compressed, output);
    if (result != work.restored_uncompressed_size) {
      throw ErrorHandler(Error::kReadFailed, "Unable to decompress " + source +
                                                 " to the size it had before compression.");
    }
    work.sink.Write("[OK] \r\n", Verbosity::kStep);
    PublishOutput(transaction, WorkingFile::kCompression, FileNamePart(out), out, nullptr);
    transaction.Discard(WorkingFile::kCipher, source);
    return result;
  } catch (const ErrorHandler&) {
    work.sink.Write("\r\n[Rollback] ", Verbosity::kHousekeeping);
    transaction.Discard(WorkingFile::kCompression,
                        folder + transaction.WorkingFileName(WorkingFile::kCompression));
    transaction.Discard(WorkingFile::kCipher, source);
    throw;
  }
}

std::uint64_t MyObjectAes::InflateStep(FileTransaction& transaction, const std::string& source,
                                       std::string& out) {
  return DecompressStep(transaction, "Inflate ", ".gz", source, out);
}

std::uint64_t MyObjectAes::Bunzip2Step(FileTransaction& transaction, const std::string& source,
                                       std::string& out) {
  return DecompressStep(transaction, "Bunzip2 ", ".bz", source, out);
}

}  // namespace corvalin
