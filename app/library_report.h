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
  // Looks for the module where the loader does. Raises -30 to -33 when no module is found or
  // its version texts cannot be read.
  void Load(const std::string& file);
  // Raises -34 when the key is missing.
  std::string QueryString(const std::string& key) const;
  // Where the module was found when that is not beside the executable; empty otherwise.
  const std::string& elsewhere() const { return elsewhere_; }

 private:
  Platform& platform_;
  ModuleVersionTexts texts_;
  std::string elsewhere_;
};

// With a `location`, a "Location: " line follows the "File: " line.
void PrintLibraryEntry(Platform& platform, const std::string& file, const std::string& version,
                       const std::string& build, const std::string& description,
                       const std::string& notice, const std::string& location = "");
void ReportLibraryFile(Platform& platform, const std::string& file);
void ReportLibraries(Platform& platform);

}  // namespace corvalin
