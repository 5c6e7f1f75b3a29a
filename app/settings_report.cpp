#include "app/settings_report.h"

#include <string>

#include "app/library_report.h"
#include "app/run_settings.h"
#include "platform/platform.h"

namespace corvalin {
namespace {

const char* OnOff(bool flag) {
  return flag ? "on" : "off";
}

constexpr const char* kCommandWords[3] = {"Encryption", "Decryption", "Automatic"};

// The word of `value` among `words`, by its number.
template <typename Value>
const char* Named(Value value, const char* const (&words)[3]) {
  const auto index = static_cast<unsigned>(value);
  return index < 3 ? words[index] : "Unknown";
}

const char* Bits(int bytes) {
  for (const SizeWord& size : kSizeWords) {
    if (size.bytes == bytes) return size.bits;
  }
  return "Unknown";
}

}  // namespace

void PrintSettingsReport(Platform& platform, const RunSettings& s) {
  const auto line = [&platform](const std::string& label, const std::string& value) {
    platform.Out(label + value + "\n");
  };
  platform.Out("\n[Settings]\n");
  line("Corvalin modality = ", Named(s.command, kCommandWords));
  line("Aes keylen = ", Bits(s.key_bytes));
  line("Aes block size = ", Bits(s.block_bytes));
  line("Aes operation mode = ", Named(s.cipher_mode, kModeWords));
  line("Wiping = ", OnOff(s.wipe));
  line("Wiping number of passes = ", std::to_string(s.wipe_passes));
  line("Name mangling = ", OnOff(s.name_mangling));
  line("Change filename extention = ", OnOff(s.change_extension));
  line("Delete original file = ", OnOff(s.delete_source));
  line("Compression engine = ", Named(s.compression_format, kCompressionWords));
  line("Compression level = ", std::to_string(s.compression_level));
  line("Compression exclusion list = ", s.compression_exclusions);
  line("Compression case sensitive search modality = ", OnOff(s.exclusions_case_sensitive));
  for (const std::string& mask : FileArguments(s)) line("Filename = ", mask);
  line("Recursive subdirectories = ", OnOff(s.recursive));
  line("Case sensitive search modality = ", OnOff(s.case_sensitive_search));
  line("Force file attribute to normal = ", OnOff(s.force_normal_attributes));
  line("Logging = ", OnOff(s.file_logging));
  line("Log filename = ", s.log_file_name);
  line("Log verbose level = ", std::to_string(s.log_verbose_level));
  line("Verbose = ", OnOff(!s.quiet));
  line("Verbose level = ", std::to_string(s.verbose_level));
  platform.Out("\n");
  ReportLibraries(platform);
}

}  // namespace corvalin
