#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "container/cipher_context.h"
#include "container/container_format.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "process/file_transaction.h"
#include "process/my_object_aes.h"
#include "select/file_enumerator.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/interruption.h"
#include "support/my_stream.h"

namespace corvalin {
namespace {

constexpr std::uint64_t kLargestSource = 0xFFFFFFFFull;

// A name the platform could not give exactly would open no file, or another one; the file
// is still the user's and must be seen to fail, never be passed over.
void RefuseInexactName(const std::string& path, const std::string& name) {
  if (!IsExactName(name)) {
    throw ErrorHandler(Error::kUnrepresentableName,
                       "Unable to process " + path +
                           " because its name has characters the system's code page "
                           "cannot represent.");
  }
}

// Every failed file is named by its path: a message that does not name it already gets the path
// after its own text, so that the fixed texts still read, and match, as they always did.
bool NamesPath(const std::string& message, const std::string& path) {
  for (std::size_t at = message.find(path); at != std::string::npos;
       at = message.find(path, at + 1)) {
    // The path itself, not the start of a longer one ("a.txt" in "a.txt.aes"): what follows
    // it ends the path, as a sentence's full stop does.
    const std::string_view after = std::string_view(message).substr(at + path.size());
    if (after.empty() || std::string_view(" '(").find(after[0]) != std::string_view::npos ||
        after == "." || after.substr(0, 2) == ". ") {
      return true;
    }
  }
  return false;
}

ErrorHandler NamingTheFile(const ErrorHandler& error, const std::string& path) {
  if (NamesPath(error.Message(), path)) return error;
  return ErrorHandler(error.code, error.Message() + " (" + path + ")");
}

void RefuseLargerThanAContainerHolds(const std::string& path, std::uint64_t size) {
  if (size > kLargestSource) {
    throw ErrorHandler(Error::kTooLarge,
                       "Unable to process " + path + " because its size exceeds 4GB.");
  }
}

}  // namespace

bool MyObjectAes::IsEncrypted(DiskFile& file, FileWork& work) {
  CipherContext context(provider, work.sink, work.tools.filler);
  KeySetUp(context);
  return PeekHeader(context, file, cipher_mode) != FormatVersion::kNone;
}

void MyObjectAes::Protect(Selection& selection) {
  run_.Protect(selection);
}

void MyObjectAes::RemoveLeftover(const Leftover& leftover) {
  FileWork work(sink, serial_tools_);
  try {
    const Folder& folder =
        HoldFolder(serial_tools_, leftover.path, leftover.root_length, leftover.root);
    FileTransaction transaction(
        platform_, work,
        RemovalPolicy{wipe, static_cast<std::uint32_t>(wipe_passes), force_normal_attributes},
        folder);
    const FileTransaction::Removal done = transaction.RemoveLeftover(FileNamePart(leftover.path));
    if (done == FileTransaction::Removal::kNone) return;
    const bool wiped = done == FileTransaction::Removal::kOverwritten;
    sink.Write("Remove " + leftover.path + ", left by a stopped run" + (wiped ? " (wiped)" : "") +
                   " [OK] \r\n",
               Verbosity::kStep);
  } catch (const ErrorHandler& error) {
    if (IsInterruption(error)) throw;
    // Still there for the next run; the run's own files are not touched by it.
    sink.Problem(WarningLine(
        Error::kDeleteFailed,
        "Unable to remove " + leftover.path + ", left by a stopped run: " + error.Message()));
  }
}

const Folder& MyObjectAes::HoldFolder(WorkerTools& tools, const std::string& path,
                                      std::size_t trusted, const FileIdentity& root) {
  const std::string folder = FolderPart(path);
  Folder& held = tools.folder;
  // Files of one folder follow each other in the list: one open folder serves them all.
  if (held.handle != kNoFolder && held.path == folder && tools.trusted == trusted &&
      tools.root == root) {
    return held;
  }
  platform_.CloseFolder(held);
  if (const int error = platform_.OpenFolder(folder, trusted, held)) {
    if (error == kFolderBecameLink) {
      throw ErrorHandler(
          Error::kPathNoLongerLeads,
          "Unable to process " + path + " because a folder on its path has become a link.");
    }
    throw ErrorHandler(Error::kOpenFailed, "Unable to open file " + path + " (read mode)");
  }
  // The path the user typed may lead through links, as the system takes it; but it must lead
  // where it led when the file was found, or anyone able to swap that folder could aim the run
  // at files it never selected.
  if (!(root == FileIdentity{}) && !(held.reached == root)) {
    platform_.CloseFolder(held);
    throw ErrorHandler(
        Error::kPathNoLongerLeads,
        "Unable to process " + path + " because a folder on its path has been replaced.");
  }
  tools.trusted = trusted;
  tools.root = root;
  return held;
}

void MyObjectAes::process(FileEnumerator& entry) {
  FileWork work(sink, serial_tools_);
  try {
    Handle(entry, work);
  } catch (const ErrorHandler&) {
    last_result_size = work.result_size;
    last_succeeded = work.succeeded;
    last_settled = work.settled;
    throw;
  }
  last_result_size = work.result_size;
  last_succeeded = work.succeeded;
  last_settled = work.settled;
  uncompressed_size = work.uncompressed_size;
  restored_compression_word = work.restored_word;
}

void MyObjectAes::Handle(FileEnumerator& entry, FileWork& work) {
  const std::string name = entry.EntryName();
  const std::string path = entry.EntryPath();
  const std::string folder = path.substr(0, path.size() - name.size());
  std::optional<FileTransaction> transaction;
  try {
    const SelectedFile* selected = entry.selected();
    const std::size_t trusted = selected != nullptr ? selected->root_length : folder.size();
    RefuseInexactName(path, name);
    transaction.emplace(
        platform_, work,
        RemovalPolicy{wipe, static_cast<std::uint32_t>(wipe_passes), force_normal_attributes},
        HoldFolder(work.tools, path, trusted,
                   selected != nullptr ? selected->root : FileIdentity{}));
    DiskFile& source = transaction->OpenSource(name);
    // The other half of a pair finished already.
    if (run_.Settled(transaction->source_facts().identity, name)) {
      work.settled = true;
      work.sink.Progress(1, Verbosity::kHeadline);
      return;
    }
    const bool detected = IsEncrypted(source, work);
    const Command file_command = command == Command::kAutomatic
                                     ? (detected ? Command::kDecrypt : Command::kEncrypt)
                                     : command;
    if (file_command == Command::kEncrypt) {
      // A container records its payload's size in 32 bits; its own length may exceed them.
      RefuseLargerThanAContainerHolds(path, transaction->source_facts().size);
      if (detected ? FinishFromContainer(*transaction, folder, name)
                   : FinishEncryption(*transaction, folder, name)) {
        return;
      }
      EncryptFile(*transaction, path, name, folder, detected);
    } else {
      if (detected ? FinishDecryption(*transaction, folder, name)
                   : FinishFromPlain(*transaction, folder, name)) {
        return;
      }
      DecryptFile(*transaction, folder);
    }
  } catch (const ErrorHandler& error) {
    work.succeeded = false;
    if (IsInterruption(error)) {
      // A file whose source is gone is done, its wipe cut short; any other goes back to how it
      // was: what was made of it goes while the source is there.
      if (transaction && transaction->SourceRemoved()) {
        work.succeeded = true;
        throw InterruptedPastTheEnd(platform_, path);
      }
      if (transaction) Undo(*transaction, path);
      throw;
    }
    work.sink.Problem(ErrorLine(NamingTheFile(error, path)));
  }
}

void MyObjectAes::EncryptFile(FileTransaction& transaction, const std::string& path,
                              const std::string& name, const std::string& folder, bool detected) {
  FileWork& work = transaction.work();
  std::string target = folder;
  const bool compress = compression_word().compressed();
  if (compression_format != CompressionFormat::kNone && !compress) {
    throw ErrorHandler(Error::kUnsupported, path + " was processed using an unknown filter.");
  }
  if (!compress || compression_exclusions.Contains(name)) {
    EncryptStep(transaction, transaction.source(), target, CompressionWord{}, 0);
  } else {
    std::string intermediate;
    const std::uint64_t read = compression_format == CompressionFormat::kGzip
                                   ? DeflateStep(transaction, path, intermediate, detected)
                                   : Bzip2Step(transaction, path, intermediate, detected);
    work.uncompressed_size = static_cast<std::uint32_t>(read);
    try {
      DiskFile& compressed = transaction.working(WorkingFile::kCompression);
      RefuseLargerThanAContainerHolds(intermediate, compressed.size());
      EncryptStep(transaction, compressed, target, compression_word(), work.uncompressed_size);
    } catch (const ErrorHandler&) {
      transaction.Discard(WorkingFile::kCompression, intermediate);
      throw;
    }
    // A container that took the intermediate's own name replaced it, as far as anyone sees.
    transaction.Discard(WorkingFile::kCompression, intermediate, intermediate == target);
  }
  work.succeeded = true;
  if (!delete_source) return;
  try {
    transaction.RemoveSource("encrypt");
  } catch (const ErrorHandler& error) {
    // An interruption is no failure to remove: it stops the run, and `process` says how far
    // the file got.
    if (IsInterruption(error)) throw;
    RollBack(error, transaction, path);
  }
}

void MyObjectAes::Undo(FileTransaction& transaction, const std::string& path) {
  FileWork& work = transaction.work();
  try {
    transaction.UndoOutputs();
  } catch (const ErrorHandler& failure) {
    work.sink.Problem(ErrorLine(NamingTheFile(failure, path)));
  }
}

void MyObjectAes::RollBack(const ErrorHandler& error, FileTransaction& transaction,
                           const std::string& path) {
  FileWork& work = transaction.work();
  work.succeeded = false;
  work.sink.Problem(ErrorLine(NamingTheFile(error, path)), "     \r\n");
  work.sink.Write("[Rollback]", Verbosity::kHousekeeping);
  Undo(transaction, path);
}

void MyObjectAes::DecryptFile(FileTransaction& transaction, const std::string& folder) {
  FileWork& work = transaction.work();
  std::string target = folder;
  DecryptStep(transaction, transaction.source(), target);
  if (work.restored_word.compressed()) {
    std::string out;
    work.result_size = work.restored_word.format() == CompressionFormat::kGzip
                           ? InflateStep(transaction, target, out)
                           : Bunzip2Step(transaction, target, out);
    target = out;
  }
  if (change_extension && delete_source) transaction.RemoveSource("decrypt");
  work.succeeded = true;
}

}  // namespace corvalin
