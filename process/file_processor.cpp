#include <string>

#include "container/cipher_context.h"
#include "container/container_format.h"
#include "platform/platform.h"
#include "process/my_object_aes.h"
#include "select/file_enumerator.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/my_stream.h"

namespace corvalin {

bool MyObjectAes::IsEncrypted(const std::string& path) {
  CipherContext context(provider, sink, filler_);
  KeySetUp(context);
  DiskFile file(platform_);
  file.Open(0, path);
  const int version = ReadHeader(context, file, cipher_mode);
  file.Close();
  return version != -1;
}

void MyObjectAes::process(FileEnumerator& entry) {
  last_succeeded = false;
  const std::uint64_t size = entry.EntrySize();
  const std::string name = entry.EntryName();
  const std::string path = entry.EntryPath();
  const std::string folder = path.substr(0, path.size() - name.size());
  try {
    const bool detected = IsEncrypted(path);
    const int file_command = command == 2 ? (detected ? 1 : 0) : command;
    if (size > 0xFFFFFFFFull) {
      throw ErrorHandler(-36, "Unable to process " + path + " because its size exceeds 4GB.");
    }
    if (file_command == 0) {
      EncryptFile(path, name, folder, detected);
    } else {
      DecryptFile(path, folder);
    }
  } catch (const ErrorHandler& error) {
    last_succeeded = false;
    sink.Write("\r\n" + ErrorLine(error) + "\r\n", 2);
  }
}

void MyObjectAes::EncryptFile(const std::string& path, const std::string& name,
                              const std::string& folder, bool detected) {
  const std::string temp = folder + kTempFileName;
  std::string target = folder;
  const bool compress = compression_format == 1 || compression_format == 2;
  if (compression_format != 0 && !compress) {
    throw ErrorHandler(-35, path + " was processed using an unknown filter.");
  }
  if (!compress || compression_exclusions.Contains(name)) {
    EncryptStep(path, temp, target, 0, 0);
  } else {
    std::string intermediate;
    uncompressed_size = compression_format == 1 ? DeflateStep(path, intermediate, detected)
                                                : Bzip2Step(path, intermediate, detected);
    try {
      EncryptStep(intermediate, temp, target, compression_word(), uncompressed_size);
    } catch (const ErrorHandler&) {
      DeleteAndWipe(intermediate);  // made by this run, and of no use now
      throw;
    }
    DeleteIfDifferent(intermediate, target);
  }
  last_succeeded = true;
  if (!delete_source) return;
  try {
    DeleteIfDifferent(path, target);
  } catch (const ErrorHandler& error) {
    RollBack(error, path, target);
  }
}

void MyObjectAes::RollBack(const ErrorHandler& error, const std::string& path,
                           const std::string& target) {
  last_succeeded = false;
  sink.Write("     \r\n" + ErrorLine(error) + "\r\n", 2);
  sink.Write("[Rollback]", 4);
  // A wipe that began has destroyed the source, and a source another run removed is gone:
  // then the container is the only copy left, and it stays.
  if (wipe_began_ || !platform_.Exists(path)) return;
  try {
    DeleteAndWipe(target);
  } catch (const ErrorHandler& failure) {
    sink.Write("\r\n" + ErrorLine(failure) + "\r\n", 2);
  }
}

void MyObjectAes::DecryptFile(const std::string& path, const std::string& folder) {
  const std::string temp = folder + kTempFileName;
  std::string target = folder;
  DecryptStep(path, temp, target);
  const int format = static_cast<int>(restored_compression_word >> 16);
  if (format == 1 || format == 2) {
    intermediate_is_last_copy_ = target == path;
    std::string out;
    last_result_size = format == 1 ? InflateStep(target, out) : Bunzip2Step(target, out);
    target = out;
  }
  if (change_extension && delete_source) DeleteIfDifferent(path, target);
  last_succeeded = true;
}

}  // namespace corvalin
