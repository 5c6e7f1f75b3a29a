#include <algorithm>
#include <string>

#include "container/cipher_context.h"
#include "container/container_format.h"
#include "container/name_digest.h"
#include "platform/path.h"
#include "process/file_transaction.h"
#include "process/my_object_aes.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/my_stream.h"
#include "support/unreachable_name.h"
#include "support/working_names.h"

namespace corvalin {
namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() > suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

const char* SuffixOf(CompressionFormat format) {
  return format == CompressionFormat::kGzip ? ".gz" : ".bz";
}

// The name stored in a container comes from outside: it must never place or replace a file
// outside the container's folder, nor become one of the folder's working names, either as it
// stands or once decompression has taken its suffix off. A name this platform cannot hold as it
// stands (folders before it, bytes no name may have) is restored as far as it can be, but only
// where it takes nobody's place.
struct RestoredName {
  std::string name;
  std::string stored;  // as the container has it
  bool altered = false;
};

RestoredName SafeStoredName(const CipherContext& context, const std::string& source,
                            CompressionWord word) {
  RestoredName restored_name;
  const bool terminated = StoredName(context, restored_name.stored);
  std::string name = restored_name.stored;
  const std::size_t cut = LastNameBreak(name);
  if (cut != std::string::npos) name.erase(0, cut + 1);
  name = HoldableName(name);
  const std::string restored = word.compressed() && EndsWith(name, SuffixOf(word.format()))
                                   ? name.substr(0, name.size() - 3)
                                   : name;
  if (!terminated || name.empty() || name == "." || name == ".." || IsWorkingName(name) ||
      IsWorkingName(restored) || restored == "." || restored == "..") {
    throw ErrorHandler(Error::kBadStoredName,
                       "Unable to restore the file name stored in " + source + ".");
  }
  restored_name.altered = name != restored_name.stored;
  restored_name.name = std::move(name);
  return restored_name;
}

ErrorHandler TemporaryOpenFailure(FileTransaction& transaction, const std::string& folder) {
  return ErrorHandler(Error::kOpenFailed, "Unable to open file " + folder +
                                              transaction.WorkingFileName(WorkingFile::kCipher) +
                                              " (write mode)");
}

}  // namespace

// A container under the name, readable with the run's key set-up and made of a file of the
// same name compressed alike, is the earlier encryption of this one: replacing it is what
// encrypting again means. (The name alone is not enough: "y.tar" compressed and a plain file
// "y.tar.gz" both store "y.tar.gz".)
bool MyObjectAes::IsContainerOf(DiskFile& file, FileWork& work, const std::string& stored_name,
                                CompressionFormat format) {
  CipherContext context(provider, work.sink, work.tools.filler);
  KeySetUp(context);
  std::string stored;
  if (ReadHeader(context, file, cipher_mode) == FormatVersion::kNone ||
      !StoredName(context, stored)) {
    return false;
  }
  return stored == stored_name && ExtensionOf(context).compression_word.format() == format;
}

Published MyObjectAes::PublishOutput(FileTransaction& transaction, WorkingFile which,
                                     const std::string& name, const std::string& shown,
                                     const ContainerOf* container_of) {
  FileWork& work = transaction.work();
  PublishRules rules{run_, {}, work.name_altered ? &work.stored_name : nullptr, shown};
  if (container_of != nullptr) {
    rules.earlier_container = [this, &work, container_of](DiskFile& file) {
      return IsContainerOf(file, work, container_of->stored_name, container_of->compression_format);
    };
  }
  return transaction.Publish(which, name, rules);
}

// A failed step closes its progress line and leaves no working file of its own.
void MyObjectAes::AbandonStep(FileTransaction& transaction, const std::string& folder,
                              const char* blank) {
  FileWork& work = transaction.work();
  work.sink.Write(blank, Verbosity::kError);
  work.sink.Write("\r\n", Verbosity::kHousekeeping);
  // Said by its role, as a run on one worker says it, whichever worker's file it is.
  transaction.Discard(WorkingFile::kCipher, folder + kTempFileName);
}

std::string MyObjectAes::ContainerName(const std::string& input_path) const {
  const std::string input_name = FileNamePart(input_path);
  if (!name_mangling) return input_name + (change_extension ? ".aes" : "");
  std::string name = input_path;
  DigestText(name);
  const std::size_t dot = input_name.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : input_name.substr(dot + 1);
  return name + (change_extension ? ".aes" : "." + extension);
}

void MyObjectAes::KeySetUp(CipherContext& context) {
  context.cores = cores;
  // The schedule that reads containers (decryption, and the tests for an existing or earlier
  // container); encryption sets up its forward schedule itself when it writes.
  if (DecryptsForward(cipher_mode)) {
    context.SetEncryptionKey(password, key_bytes, block_bytes);
  } else {
    context.SetDecryptionKey(password, key_bytes, block_bytes);
  }
}

void MyObjectAes::EncryptStep(FileTransaction& transaction, DiskFile& input, std::string& target,
                              CompressionWord word, std::uint32_t size_before_compression) {
  FileWork& work = transaction.work();
  CipherContext context(provider, work.sink, work.tools.filler);
  KeySetUp(context);
  const std::string folder = target;
  const std::string name = ContainerName(input.path());
  target += name;
  // A container that could not be opened again would hold the file's only copy.
  RefuseUnreachableMadeName(target, "create");
  try {
    DiskFile& output =
        transaction.OpenWorking(WorkingFile::kCipher, TemporaryOpenFailure(transaction, folder));
    work.sink.Write("Encrypt " + input.path() + " to " + name + " ", Verbosity::kStep);
    work.sink.Progress(0, Verbosity::kHeadline);
    provider.init();
    work.result_size =
        EncryptContainer(context, input, output, cipher_mode, word, size_before_compression);
    work.sink.Write("[OK] \r\n", Verbosity::kStep);
    const ContainerOf container_of{input.name(), word.format()};
    PublishOutput(transaction, WorkingFile::kCipher, name, target, &container_of);
    work.sink.Progress(1, Verbosity::kHeadline);
  } catch (const ErrorHandler&) {
    AbandonStep(transaction, folder, "    ");
    throw;
  }
}

void MyObjectAes::DecryptStep(FileTransaction& transaction, DiskFile& input, std::string& target) {
  FileWork& work = transaction.work();
  CipherContext context(provider, work.sink, work.tools.filler);
  KeySetUp(context);
  const std::string folder = target;
  try {
    DiskFile& output =
        transaction.OpenWorking(WorkingFile::kCipher, TemporaryOpenFailure(transaction, folder));
    work.sink.Write("Decrypt " + input.path() + " ", Verbosity::kStep);
    work.sink.Progress(0, Verbosity::kHeadline);
    provider.init();
    work.result_size = DecryptContainer(context, input, output, cipher_mode);
    const ContainerExtension extension = ExtensionOf(context);
    work.restored_word = extension.compression_word;
    work.restored_uncompressed_size = extension.uncompressed_size;
    const CompressionWord word = work.restored_word;
    RestoredName restored = SafeStoredName(context, input.path(), word);
    work.name_altered = restored.altered;
    work.stored_name = std::move(restored.stored);
    const std::string& name = restored.name;
    target = folder + name;
    const bool compressed = word.compressed();
    if (compressed && !EndsWith(name, SuffixOf(word.format()))) {
      // Decompression names its output by taking the suffix off.
      throw ErrorHandler(Error::kMissingSuffix, "Unable to decompress " + target +
                                                    " because its name lacks the " +
                                                    SuffixOf(word.format()) + " suffix.");
    }
    if (!compressed) RefuseUnreachableName(target, "create");
    work.sink.Write("to " + name + " [OK] \r\n", Verbosity::kStep);
    // A compressed payload stays a working file: only what decompression makes of it gets
    // the user's name.
    if (!compressed) {
      PublishOutput(transaction, WorkingFile::kCipher, name, target, nullptr);
    }
    work.sink.Progress(1, Verbosity::kHeadline);
  } catch (const ErrorHandler&) {
    AbandonStep(transaction, folder, "     ");
    throw;
  }
}

}  // namespace corvalin
