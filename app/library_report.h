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
  // Raises -30 to -33 when the file or its version texts cannot be read.
  void Load(const std::string& file);
  // Raises -34 when the key is missing.
  std::string QueryString(const std::string& key) const;

 private:
  Platform& platform_;
  ModuleVersionTexts texts_;
};

void PrintLibraryEntry(Platform& platform, const std::string& file, const std::string& version,
                       const std::string& build, const std::string& description,
                       const std::string& notice);
void ReportLibraryFile(Platform& platform, const std::string& file);
void ReportLibraries(Platform& platform);

}  // namespace corvalin
