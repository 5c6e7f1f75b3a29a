// The file processor: everything the processing steps need for one run (cipher library and
// parameters, file options, exclusion list, sink), and the steps themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/my_object.h"
#include "container/block_cipher_provider.h"
#include "container/filler.h"
#include "support/pattern_list.h"

namespace corvalin {

class CipherContext;
struct ErrorHandler;
class DiskFile;
class MyStream;
class Platform;

inline constexpr const char* kTempFileName = "~aes.tmp";

class MyObjectAes : public MyObject {
 public:
  MyObjectAes(Platform& platform, MyStream& output);
  ~MyObjectAes() override;
  MyObjectAes(const MyObjectAes&) = delete;
  MyObjectAes& operator=(const MyObjectAes&) = delete;

  void SetCipherParameters(const std::string& text, int key_length, int block_length);
  std::uint32_t compression_word() const {
    return (std::uint32_t{compression_format} << 16) | compression_level;
  }

  // One found file: decide, refuse 4 GiB, run the steps; never lets an error escape.
  void process(FileEnumerator& entry) override;
  std::uint64_t result_size() override { return last_result_size; }
  bool succeeded() override { return last_succeeded; }

  bool IsEncrypted(const std::string& path);
  void DeleteIfDifferent(const std::string& candidate, const std::string& keep);
  void DeleteAndWipe(const std::string& path);

  void EncryptStep(const std::string& source, const std::string& temp, std::string& target,
                   std::uint32_t word, std::uint32_t size_before_compression);
  void DecryptStep(const std::string& source, const std::string& temp, std::string& target);
  // Moves the finished temporary file over `target` in one atomic rename, closing it after
  // the rename where the platform allows, so that no other run can take it in between.
  void ReplaceFile(const std::string& target, const std::string& temp, DiskFile& temp_file);

  std::uint32_t DeflateStep(const std::string& source, std::string& out, bool already_encrypted);
  std::uint32_t Bzip2Step(const std::string& source, std::string& out, bool already_encrypted);
  std::uint32_t InflateStep(const std::string& source, std::string& out);
  std::uint32_t Bunzip2Step(const std::string& source, std::string& out);

  ModuleHandle provider_library = nullptr;
  BlockCipherProvider provider;
  std::uint64_t last_result_size = 0;
  // The run's -cl and -cf; decrypted containers never change them.
  std::uint16_t compression_level = 0;
  std::uint16_t compression_format = 0;
  std::uint32_t uncompressed_size = 0;
  std::int32_t command = 1;
  std::int32_t key_bytes = 32;
  std::int32_t block_bytes = 32;
  std::int32_t cipher_mode = 1;
  std::int32_t wipe_passes = 3;
  bool wipe = false;
  bool name_mangling = false;
  bool change_extension = false;
  bool delete_source = true;
  bool last_succeeded = false;
  bool force_normal_attributes = false;
  std::string password = "secret";
  PatternList compression_exclusions;
  MyStream& sink;

  // What the last decrypted container recorded: its compression word and size before
  // compression, read back by `process` to choose the decompressor.
  std::uint32_t restored_compression_word = 0;
  std::uint32_t restored_uncompressed_size = 0;

 private:
  void KeySetUp(CipherContext& context);
  // One pass from `source` into the folder's temporary file, which then replaces `target`;
  // on failure the step's filler is written and the temporary removed if this step opened it.
  void ThroughTemporary(const std::string& source, const std::string& temp, std::string& target,
                        const char* filler, const std::function<void(DiskFile&, DiskFile&)>& work);
  void EncryptFile(const std::string& path, const std::string& name, const std::string& folder,
                   bool detected);
  void DecryptFile(const std::string& path, const std::string& folder);
  std::uint32_t CompressStep(const char* word, const char* suffix, const std::string& source,
                             std::string& out, bool already_encrypted);
  std::uint32_t DecompressStep(const char* word, const char* suffix, const std::string& source,
                               std::string& out);
  // The source's deletion failed: remove the new container only while the source is still
  // there untouched, so that one good copy always remains.
  void RollBack(const ErrorHandler& error, const std::string& path, const std::string& target);

  Platform& platform_;
  TimeSeededFiller filler_;
  // Set by DeleteAndWipe once a wipe has begun to overwrite the file it is removing.
  bool wipe_began_ = false;
  // The decrypted intermediate replaced its own container: it is the last copy, keep it.
  bool intermediate_is_last_copy_ = false;
};

}  // namespace corvalin
