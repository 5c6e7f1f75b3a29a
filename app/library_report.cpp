#include "app/library_report.h"

#include <bzlib.h>
#include <zlib.h>

#include "container/block_cipher_provider.h"
#include "support/error_handler.h"
#include "support/product_identity.h"

namespace corvalin {

void VersionInfo::Load(const std::string& file) {
  const std::vector<std::string> candidates = ProviderModuleCandidates(platform_, file);
  VersionLookup lookup = VersionLookup::kNotFound;
  for (std::size_t i = 0; i < candidates.size() && lookup == VersionLookup::kNotFound; ++i) {
    texts_ = ModuleVersionTexts{};
    lookup = platform_.ReadModuleVersion(candidates[i], texts_);
    // Modules beside the executable are reported as they always were, without a location.
    if (i > 0) elsewhere_ = texts_.location.empty() ? candidates[i] : texts_.location;
  }
  switch (lookup) {
    case VersionLookup::kOk:
      return;
    case VersionLookup::kNotFound:
    case VersionLookup::kNoVersionInfo:
      throw ErrorHandler(Error::kModuleNotLoaded,
                         "Unable to load '" + file + "' or no version resource.");
    case VersionLookup::kUnreadable:
      throw ErrorHandler(Error::kVersionUnreadable,
                         "Unable to load resource information of '" + file + "'.");
    case VersionLookup::kNoLength:
      throw ErrorHandler(Error::kVersionLengthUnreadable,
                         "Unable to get version length from '" + file + "'.");
    case VersionLookup::kNoTranslation:
      throw ErrorHandler(Error::kVersionTranslationUnreadable,
                         "Unable to get version translation from '" + file + "'.");
  }
}

std::string VersionInfo::QueryString(const std::string& key) const {
  const auto found = texts_.strings.find(key);
  if (found == texts_.strings.end()) {
    throw ErrorHandler(Error::kVersionStringMissing, "Unable to find '" + key + "' resource.");
  }
  return found->second.substr(0, found->second.find('\0'));
}

void PrintLibraryEntry(Platform& platform, const std::string& file, const std::string& version,
                       const std::string& build, const std::string& description,
                       const std::string& notice, const std::string& location) {
  platform.Out("[Library]\n");
  platform.Out("File: " + file + "\n");
  if (!location.empty()) platform.Out("Location: " + location + "\n");
  platform.Out("Version: " + version + " (" + build + ") \n");
  platform.Out("Description: " + description + "\n");
  platform.Out(notice + "\n");
  platform.Out("\n");
}

void ReportLibraryFile(Platform& platform, const std::string& file) {
  try {
    VersionInfo info(platform);
    info.Load(file);
    const std::string version = info.QueryString("FileVersion");
    const std::string build = info.QueryString("PrivateBuild");
    const std::string description = info.QueryString("FileDescription");
    const std::string notice = info.QueryString("LegalCopyright");
    PrintLibraryEntry(platform, file, version, build, description, notice, info.elsewhere());
  } catch (const ErrorHandler& error) {
    platform.Err(ErrorLine(error) + "\n");
    platform.Err("\n");
  }
}

// The compression libraries are linked in: their entries name the versions in use.
void ReportLibraries(Platform& platform) {
  for (const int block : {16, 24, 32}) ReportLibraryFile(platform, ProviderModuleName(block));
  try {
    PrintLibraryEntry(platform, "zlib.lib", zlibVersion(), "Build " CORVALIN_BUILD_DATE,
                      "Zlib data compression and Zip file I/O library",
                      "Copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler");
    std::string bzip2_version = BZ2_bzlibVersion();
    bzip2_version = bzip2_version.substr(0, bzip2_version.find(','));
    PrintLibraryEntry(platform, "bzip2.lib", bzip2_version, "Build " CORVALIN_BUILD_DATE,
                      "Bzip 2 Compression library",
                      "Copyright (C) 1996-2019 Julian R Seward. All rights reserved.");
  } catch (const ErrorHandler& error) {
    platform.Err(ErrorLine(error) + "\n");
    platform.Err("\n");
  }
}

}  // namespace corvalin
