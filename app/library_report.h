// The report of the libraries Corvalin works with: the three cipher modules, described from
// the version texts they carry, and the two compression libraries.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace corvalin {

class VersionInfo {
 public:
  explicit VersionInfo(Platform& platform) : platform_(platform) {}
  // Reads the version texts of the module at `path`, which the report calls `file`. Raises -30
  // to -33 when they cannot be read.
  void Load(const std::string& path, const std::string& file);
  // Raises -34 when the key is missing.
  std::string QueryString(const std::string& key) const;

 private:
  Platform& platform_;
  ModuleVersionTexts texts_;
};

// With a `location`, a "Location: " line follows the "File: " line.
void PrintLibraryEntry(Platform& platform, const std::string& file, const std::string& version,
                       const std::string& build, const std::string& description,
                       const std::string& notice, const std::string& location = "");
// The entry of the cipher module for `block_size`, taken from where the run would load it. A
// module beside the program has the entry's usual lines; one from anywhere else also shows the
// path it came from. Raises nothing: an error is printed instead of the entry.
void ReportLibraryFile(Platform& platform, int block_size);
void ReportLibraries(Platform& platform);

}  // namespace corvalin
