#include "app/library_report.h"

#include <bzlib.h>
#include <zlib.h>

#include "container/block_cipher_provider.h"
#include "support/error_handler.h"
#include "support/product_identity.h"

namespace corvalin {

namespace {

// The module the run would load, and from where. Raises -30 when nothing loads, -29 when what
// loads lacks a module's entry points: it ran, so it is named with the place it came from.
LoadedModule LocateModule(Platform& platform, const std::string& file, int block_size) {
  const LoadedModule module = LoadProviderModule(platform, file);
  if (module.handle == nullptr) {
    throw ErrorHandler(Error::kModuleNotLoaded,
                       "Unable to load '" + file + "' or no version resource.");
  }
  const bool complete = HasProviderEntryPoints(platform, module.handle, block_size);
  platform.UnloadModule(module.handle);
  if (!complete) {
    throw ErrorHandler(Error::kMissingEntryPoint, module.path + " is not a Corvalin module.");
  }
  return module;
}

}  // namespace

void VersionInfo::Load(const std::string& path, const std::string& file) {
  texts_ = ModuleVersionTexts{};
  switch (platform_.ReadModuleVersion(path, texts_)) {
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

void ReportLibraryFile(Platform& platform, int block_size) {
  const std::string file = ProviderModuleName(block_size);
  try {
    const LoadedModule module = LocateModule(platform, file, block_size);
    VersionInfo info(platform);
    info.Load(module.path, file);
    const std::string version = info.QueryString("FileVersion");
    const std::string build = info.QueryString("PrivateBuild");
    const std::string description = info.QueryString("FileDescription");
    const std::string notice = info.QueryString("LegalCopyright");
    // Beside the program, the entry keeps the lines it always had.
    PrintLibraryEntry(platform, file, version, build, description, notice,
                      module.beside_program ? "" : module.path);
  } catch (const ErrorHandler& error) {
    platform.Err(ErrorLine(error) + "\n");
    platform.Err("\n");
  }
}

// The compression libraries are linked in: their entries name the versions in use.
void ReportLibraries(Platform& platform) {
  for (const int block : {16, 24, 32}) ReportLibraryFile(platform, block);
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
