#include <string>

#include "platform/path.h"
#include "platform/platform.h"
#include "process/compression_filters.h"
#include "process/my_object_aes.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/my_stream.h"

namespace corvalin {

std::uint32_t MyObjectAes::CompressStep(const char* word, const char* suffix,
                                        const std::string& source, std::string& out,
                                        bool already_encrypted) {
  out = source + suffix;
  sink.Write(word + source + " to " + FileNamePart(out) + " ", 3);
  sink.Progress(0, 1);
  if (already_encrypted) throw ErrorHandler(-25, source + " is already encrypted.");
  // The intermediate is created here, new and private, so that a file already under its name
  // is never overwritten or later deleted, and the plain text is never readable by others.
  if (platform_.CreateNewFile(out) != 0) {
    throw ErrorHandler(-24, "Unable to create " + out + " because a file of that name exists.");
  }
  std::uint32_t result = 0;
  try {
    result = compression_format == 1 ? GzipFile(platform_, sink, source, out, compression_level)
                                     : Bzip2File(platform_, sink, source, out, compression_level);
  } catch (const ErrorHandler&) {
    DeleteAndWipe(out);
    throw;
  }
  platform_.CopyPermissions(source, out);
  sink.Write("[OK] \r\n", 3);
  return result;
}

std::uint32_t MyObjectAes::DeflateStep(const std::string& source, std::string& out,
                                       bool already_encrypted) {
  return CompressStep("Deflate ", ".gz", source, out, already_encrypted);
}

std::uint32_t MyObjectAes::Bzip2Step(const std::string& source, std::string& out,
                                     bool already_encrypted) {
  return CompressStep("Bzip2 ", ".bz", source, out, already_encrypted);
}

std::uint32_t MyObjectAes::DecompressStep(const char* word, const char* suffix,
                                          const std::string& source, std::string& out) {
  const std::string ending = suffix;
  const bool has_suffix = source.size() > ending.size() &&
                          source.compare(source.size() - ending.size(), ending.size(), ending) == 0;
  if (!has_suffix) {
    throw ErrorHandler(-28, "Unable to decompress " + source + " because its name lacks the " +
                                ending + " suffix.");
  }
  out = source.substr(0, source.size() - ending.size());
  const std::string temp = FolderPart(source) + kTempFileName;
  sink.Write(word + source + " to " + FileNamePart(out) + " ", 3);
  sink.Progress(0, 1);
  DiskFile output(platform_);
  bool temp_is_ours = false;
  try {
    // Decompressed data goes under the temporary name and reaches its own name only whole.
    output.Open(1, temp);
    temp_is_ours = true;
    const std::uint32_t result =
        ending == ".gz" ? GunzipFile(sink, source, output) : Bunzip2File(sink, source, output);
    sink.Write("[OK] \r\n", 3);
    platform_.CopyPermissions(source, temp);
    ReplaceFile(out, temp, output);
    temp_is_ours = false;
    DeleteAndWipe(source);
    return result;
  } catch (const ErrorHandler&) {
    output.Close();
    sink.Write("\r\n[Rollback] ", 4);
    if (temp_is_ours) DeleteAndWipe(temp);
    if (!intermediate_is_last_copy_) DeleteAndWipe(source);
    throw;
  }
}

std::uint32_t MyObjectAes::InflateStep(const std::string& source, std::string& out) {
  return DecompressStep("Inflate ", ".gz", source, out);
}

std::uint32_t MyObjectAes::Bunzip2Step(const std::string& source, std::string& out) {
  return DecompressStep("Bunzip2 ", ".bz", source, out);
}

}  // namespace corvalin
