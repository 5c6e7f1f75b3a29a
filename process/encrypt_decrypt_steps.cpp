#include <functional>
#include <string>

#include "container/cipher_context.h"
#include "container/container_format.h"
#include "container/name_digest.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "process/my_object_aes.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/my_stream.h"

namespace corvalin {
namespace {

// The name stored in a container comes from outside: it must never place or replace a file
// outside the container's folder, nor take the folder's temporary name.
std::string SafeStoredName(const CipherContext& context, const std::string& source) {
  std::string name;
  const bool terminated = StoredName(context, name);
  const std::size_t cut = name.find_last_of(kNameBreakers);
  if (cut != std::string::npos) name.erase(0, cut + 1);
  if (!terminated || name.empty() || name == "." || name == ".." || name == kTempFileName) {
    throw ErrorHandler(-21, "Unable to restore the file name stored in " + source + ".");
  }
  return name;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() > suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

void MyObjectAes::KeySetUp(CipherContext& context) {
  if (cipher_mode == 2) {
    context.SetEncryptionKey(password, key_bytes, block_bytes);
  } else {
    context.SetDecryptionKey(password, key_bytes, block_bytes);
  }
}

void MyObjectAes::ReplaceFile(const std::string& target, const std::string& temp,
                              DiskFile& temp_file) {
  const bool hold_through_rename = platform_.RenamesOpenFiles();
  if (!hold_through_rename) temp_file.Close();
  const int error = platform_.Rename(temp, target);
  temp_file.Close();
  if (error != 0) throw ErrorHandler(-12, "Unable to move '" + temp + "' to '" + target + "'");
}

void MyObjectAes::ThroughTemporary(const std::string& source, const std::string& temp,
                                   std::string& target, const char* filler,
                                   const std::function<void(DiskFile&, DiskFile&)>& work) {
  DiskFile input(platform_), output(platform_);
  bool temp_opened = false;
  try {
    input.Open(0, source);
    output.Open(1, temp);
    temp_opened = true;
    work(input, output);
    platform_.CopyPermissions(source, temp);
    input.Close();
    ReplaceFile(target, temp, output);
    sink.Progress(1, 1);
  } catch (const ErrorHandler&) {
    output.Close();
    input.Close();
    sink.Write(filler, 2);
    sink.Write("\r\n", 4);
    // A temporary file this step could not open belongs to another run.
    if (temp_opened) DeleteAndWipe(temp);
    throw;
  }
}

void MyObjectAes::EncryptStep(const std::string& source, const std::string& temp,
                              std::string& target, std::uint32_t word,
                              std::uint32_t size_before_compression) {
  CipherContext context(provider, sink, filler_);
  KeySetUp(context);
  ThroughTemporary(source, temp, target, "    ", [&](DiskFile& input, DiskFile& output) {
    if (name_mangling) {
      std::string digest = input.path();
      DigestText(digest);
      target += digest + (change_extension ? ".aes" : "." + input.Extension());
    } else {
      target += input.name() + (change_extension ? ".aes" : "");
    }
    sink.Write("Encrypt " + source + " to " + FileNamePart(target) + " ", 3);
    sink.Progress(0, 1);
    provider.init();
    last_result_size =
        EncryptContainer(context, input, output, cipher_mode, word, size_before_compression);
    sink.Write("[OK] \r\n", 3);
  });
}

void MyObjectAes::DecryptStep(const std::string& source, const std::string& temp,
                              std::string& target) {
  CipherContext context(provider, sink, filler_);
  KeySetUp(context);
  ThroughTemporary(source, temp, target, "     ", [&](DiskFile& input, DiskFile& output) {
    sink.Write("Decrypt " + source + " ", 3);
    sink.Progress(0, 1);
    provider.init();
    last_result_size = DecryptContainer(context, input, output, cipher_mode);
    const ContainerExtension extension = ContainerExtension::Decode(context.extension);
    restored_compression_word = extension.compression_word;
    restored_uncompressed_size = extension.uncompressed_size;
    const std::string name = SafeStoredName(context, source);
    const std::string restored = target + name;
    if (restored_compression_word != 0) {
      // The restored file is an intermediate that decompression reads and then deletes: it
      // needs its suffix to name the output, and must not take the place of another file.
      const int format = static_cast<int>(restored_compression_word >> 16);
      const char* suffix = format == 1 ? ".gz" : ".bz";
      if ((format == 1 || format == 2) && !EndsWith(name, suffix)) {
        throw ErrorHandler(-28, "Unable to decompress " + restored +
                                    " because its name lacks the " + suffix + " suffix.");
      }
      if (restored != source && platform_.Exists(restored)) {
        throw ErrorHandler(-24,
                           "Unable to create " + restored + " because a file of that name exists.");
      }
    }
    target = restored;
    sink.Write("to " + FileNamePart(target) + " [OK] \r\n", 3);
  });
}

}  // namespace corvalin
