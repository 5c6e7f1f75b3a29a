// The version texts a cipher module exports on POSIX, where there are no version resources.
// The module defines the table under the name in kModuleVersionSymbol.
#pragma once

#include <cstdint>

extern "C" {

struct CorvalinVersionEntry {
  const char* key;
  const char* value;
};

struct CorvalinVersionTable {
  std::uint32_t translation;  // language in the low 16 bits, code page in the high 16 bits
  std::uint32_t count;
  const CorvalinVersionEntry* entries;
};

}  // extern "C"

namespace corvalin {
inline constexpr const char* kModuleVersionSymbol = "corvalin_version_info";
}
