#include "app/configure_processor.h"

#include "app/run_settings.h"
#include "process/my_object_aes.h"

namespace corvalin {

void ConfigureProcessor(const RunSettings& settings, MyObjectAes& processor) {
  processor.command = settings.command;
  processor.SetCipherParameters(settings.password, settings.key_bytes, settings.block_bytes);
  processor.wipe = settings.wipe;
  processor.wipe_passes = settings.wipe_passes;
  processor.cipher_mode = settings.cipher_mode;
  processor.delete_source = settings.delete_source;
  processor.name_mangling = settings.name_mangling;
  processor.change_extension = settings.change_extension;
  processor.compression_format = settings.compression_format;
  processor.compression_level = static_cast<std::uint16_t>(settings.compression_level);
  processor.compression_exclusions.case_sensitive = settings.exclusions_case_sensitive;
  processor.compression_exclusions.Parse(settings.compression_exclusions);
  processor.force_normal_attributes = settings.force_normal_attributes;
}

}  // namespace corvalin
