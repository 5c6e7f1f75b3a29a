// The file processor: everything the processing steps need for one run (cipher library and
// parameters, file options, exclusion list, sink), and the steps themselves. What happens to
// the files of one file's steps is decided by its FileTransaction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "container/block_cipher_provider.h"
#include "container/container_format.h"
#include "platform/platform.h"
#include "process/command.h"
#include "process/file_work.h"
#include "process/run_record.h"
#include "select/my_object.h"
#include "select/selection.h"
#include "support/filler.h"
#include "support/pattern_list.h"

namespace corvalin {

class CipherContext;
class DiskFile;
class FileTransaction;
enum class WorkingFile;
enum class Published;
struct ErrorHandler;
class MyStream;
class Platform;

class MyObjectAes : public MyObject {
 public:
  MyObjectAes(Platform& platform, MyStream& output);
  ~MyObjectAes() override;
  MyObjectAes(const MyObjectAes&) = delete;
  MyObjectAes& operator=(const MyObjectAes&) = delete;

  void SetCipherParameters(const std::string& text, int key_length, int block_length);
  CompressionWord compression_word() const {
    return CompressionWord::Of(compression_format, compression_level);
  }

  // One found file: decide, refuse 4 GiB, run the steps. Lets no error escape but an
  // interruption, after the file is put back as it was.
  void process(FileEnumerator& entry) override;
  std::uint64_t result_size() override { return last_result_size; }
  bool succeeded() override { return last_succeeded; }
  bool counted_with_another() override { return last_settled; }
  // The same for a file in flight beside others: its lines go to `work.sink`, its outcome into
  // `work`. Safe to call from several threads at once, each with its own work and tools.
  void Handle(FileEnumerator& entry, FileWork& work);

  // Whether the open file's header decrypts under the run's key set-up.
  bool IsEncrypted(DiskFile& file, FileWork& work);
  // The files the run selected: no output of the run may take the place of one of them.
  void Protect(Selection& selection);
  // Finishes the removal of what a stopped run left under a reserved name, and says so.
  void RemoveLeftover(const Leftover& leftover);

  // The steps of one file. Each works inside the file's transaction, which owns every file
  // they create, rename and remove; `input` is the file a step reads.
  void EncryptStep(FileTransaction& transaction, DiskFile& input, std::string& target,
                   CompressionWord word, std::uint32_t size_before_compression);
  void DecryptStep(FileTransaction& transaction, DiskFile& input, std::string& target);
  std::uint64_t DeflateStep(FileTransaction& transaction, const std::string& source,
                            std::string& out, bool already_encrypted);
  std::uint64_t Bzip2Step(FileTransaction& transaction, const std::string& source, std::string& out,
                          bool already_encrypted);
  std::uint64_t InflateStep(FileTransaction& transaction, const std::string& source,
                            std::string& out);
  std::uint64_t Bunzip2Step(FileTransaction& transaction, const std::string& source,
                            std::string& out);

  // The name the run gives the container of the file at `input_path` (the compressed
  // intermediate's path where the file is compressed first).
  std::string ContainerName(const std::string& input_path) const;

  ModuleHandle provider_library = nullptr;
  BlockCipherProvider provider;
  std::uint64_t last_result_size = 0;
  // The run's -cl and -cf; decrypted containers never change them.
  std::uint16_t compression_level = 0;
  CompressionFormat compression_format = CompressionFormat::kNone;
  std::uint32_t uncompressed_size = 0;
  Command command = Command::kDecrypt;
  std::int32_t key_bytes = 32;
  std::int32_t block_bytes = 32;
  CipherMode cipher_mode = CipherMode::kCbc;
  std::int32_t wipe_passes = 3;
  bool wipe = false;
  bool name_mangling = false;
  bool change_extension = false;
  bool delete_source = true;
  bool last_succeeded = false;
  // The last file was the other half of a pair already finished: it counts no more.
  bool last_settled = false;
  bool force_normal_attributes = false;
  // The run's workers: with more than one, large files may take more threads (see
  // CipherContext).
  unsigned cores = 1;
  std::string password = "secret";
  PatternList compression_exclusions;
  MyStream& sink;
  // What the last file handled by `process` restored from its container (its compression word),
  // for a caller that looks.
  CompressionWord restored_compression_word;

 private:
  void KeySetUp(CipherContext& context);
  void AbandonStep(FileTransaction& transaction, const std::string& folder, const char* blank);
  // The folder of the file at `path`, held open for every step on the file; reached without a
  // link below its first `trusted` bytes, which must lead to `root` when it is known (-39).
  const Folder& HoldFolder(WorkerTools& tools, const std::string& path, std::size_t trusted,
                           const FileIdentity& root);
  // What an encryption puts in its container: the file's name and whether it was compressed,
  // and how. An earlier container of the same file stores both alike.
  struct ContainerOf {
    const std::string& stored_name;
    CompressionFormat compression_format;
  };
  // Gives a working file its final name `name` (shown as `shown`) under the run's rules: an
  // encryption (`container_of` given) replaces nothing but an earlier container of that same
  // file under the run's key.
  Published PublishOutput(FileTransaction& transaction, WorkingFile which, const std::string& name,
                          const std::string& shown, const ContainerOf* container_of);
  // Whether the open file is a container, under the run's key, of a file that stored
  // `stored_name` compressed with `format`.
  bool IsContainerOf(DiskFile& file, FileWork& work, const std::string& stored_name,
                     CompressionFormat format);
  // A pair a stopped run left (earlier_run.cpp): each returns whether it finished the file.
  // An encryption whose container is complete beside it, or met from that container; a
  // decryption whose restored file is complete beside it, or met from that file.
  bool FinishEncryption(FileTransaction& transaction, const std::string& folder,
                        const std::string& name);
  bool FinishFromContainer(FileTransaction& transaction, const std::string& folder,
                           const std::string& name);
  bool FinishDecryption(FileTransaction& transaction, const std::string& folder,
                        const std::string& name);
  bool FinishFromPlain(FileTransaction& transaction, const std::string& folder,
                       const std::string& name);
  struct StandsFor {
    std::string stored, plain;
    CompressionFormat format = CompressionFormat::kNone;
  };
  std::optional<StandsFor> WhatContainerStandsFor(FileTransaction& transaction);
  bool ProvePair(FileTransaction& transaction, const std::string& name, bool partner_is_container,
                 const std::string& stored_name, CompressionFormat format);
  // Whether the container restores, as a decryption would, to exactly the bytes of `plain`.
  bool RestoresTo(FileTransaction& transaction, DiskFile& container, DiskFile& plain);
  CompressionFormat FormatFor(const std::string& name) const;
  void SayDoneEarlier(FileWork& work, const char* verb, const std::string& from,
                      const std::string& to, std::uint64_t size);
  void EncryptFile(FileTransaction& transaction, const std::string& path, const std::string& name,
                   const std::string& folder, bool detected);
  void DecryptFile(FileTransaction& transaction, const std::string& folder);
  std::uint64_t CompressStep(FileTransaction& transaction, const char* word, const char* suffix,
                             const std::string& source, std::string& out, bool already_encrypted);
  std::uint64_t DecompressStep(FileTransaction& transaction, const char* word, const char* suffix,
                               const std::string& source, std::string& out);
  // The source could not be removed after its encryption: the new container goes, as long as
  // the source is still there untouched, so that one good copy always remains.
  void RollBack(const ErrorHandler& error, FileTransaction& transaction, const std::string& path);
  // Takes back the outputs of the file at `path` while its source is intact; a failure is said.
  void Undo(FileTransaction& transaction, const std::string& path);

  Platform& platform_;
  WorkerTools serial_tools_;  // for files handled one at a time (process)
  RunRecord run_;
};

}  // namespace corvalin
