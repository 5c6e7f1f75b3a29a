#include <gtest/gtest.h>

#include "app/library_report.h"
#include "app/run_settings.h"
#include "app/settings_report.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

// Version texts as a test sets them, instead of the modules'.
class VersionTextsPlatform : public FaultInjectingPlatform {
 public:
  using FaultInjectingPlatform::FaultInjectingPlatform;
  VersionLookup ReadModuleVersion(const std::string&, ModuleVersionTexts& texts) override {
    texts = texts_;
    return lookup;
  }
  VersionLookup lookup = VersionLookup::kOk;
  ModuleVersionTexts texts_;
};

class ReportsTest : public ::testing::Test {
 protected:
  ReportsTest() : platform_(*system_) {
    platform_.CaptureConsole();
    platform_.texts_.strings = {{"FileVersion", "9.9"},
                                {"PrivateBuild", ""},
                                {"FileDescription", "desc"},
                                {"LegalCopyright", "notice"}};
  }
  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  VersionTextsPlatform platform_;
};

TEST_F(ReportsTest, EntryShowsAnEmptyBuildInItsParentheses) {
  ReportLibraryFile(platform_, 16);  // the module beside the test program
  EXPECT_EQ(platform_.out(), "[Library]\nFile: " + testing::ModuleFile("aes") +
                                 "\nVersion: 9.9 () \nDescription: desc\nnotice\n\n");
}

TEST_F(ReportsTest, MissingTextShowsOnlyTheError) {
  platform_.texts_.strings.erase("PrivateBuild");
  ReportLibraryFile(platform_, 16);
  EXPECT_EQ(platform_.out(), "");
  EXPECT_EQ(platform_.err(), ">>> ERROR(-34): Unable to find 'PrivateBuild' resource.\n\n");
}

// Loads `module` only at the `found_at`-th place the report asks about.
class SearchingPlatform : public VersionTextsPlatform {
 public:
  using VersionTextsPlatform::VersionTextsPlatform;
  ModuleHandle LoadModule(const std::string& path) override {
    asked.push_back(path);
    return asked.size() == found_at ? VersionTextsPlatform::LoadModule(module) : nullptr;
  }
  std::vector<std::string> asked;
  std::size_t found_at = 0;
  std::string module = BuiltModule(testing::ModuleFile("aes"));

  static std::string BuiltModule(const std::string& file) {
    return CORVALIN_BIN_DIR + std::string(1, testing::kSep) + file;
  }
};

TEST_F(ReportsTest, ModuleFoundOutsideTheExecutablesFolderShowsWhere) {
#ifdef _WIN32
  const std::string root = "C:\\opt\\x\\";
#else
  const std::string root = "/opt/x/";
#endif
  const std::string aes = testing::ModuleFile("aes");
  const std::string installed = root + testing::Native("lib/corvalin/") + aes;
  SearchingPlatform platform(*system_);
  platform.CaptureConsole();
  platform.texts_ = platform_.texts_;
  platform.SetExecutableDirectory(root + testing::Native("bin/"));
  platform.found_at = 2;
  ReportLibraryFile(platform, 16);
  EXPECT_EQ(platform.asked,
            (std::vector<std::string>{root + testing::Native("bin/") + aes, installed}));
  EXPECT_EQ(platform.out(), "[Library]\nFile: " + aes + "\nLocation: " + installed +
                                "\nVersion: 9.9 () \nDescription: desc\nnotice\n\n");

  // A library that loads but lacks the entry points has run all the same: where it came from
  // is what the user needs to know.
  platform.ClearConsole();
  platform.asked.clear();
  platform.module = SearchingPlatform::BuiltModule(testing::Native("../test_modules/") +
                                                   testing::ModuleFile("incomplete_provider"));
  ReportLibraryFile(platform, 16);
  EXPECT_EQ(platform.out(), "");
  EXPECT_EQ(platform.err(), ">>> ERROR(-29): " + installed + " is not a Corvalin module.\n\n");

  platform.ClearConsole();
  platform.asked.clear();
  platform.found_at = 0;  // nowhere
  ReportLibraryFile(platform, 16);
  EXPECT_EQ(platform.asked.size(), 2u);  // and never by its plain name
  EXPECT_EQ(platform.err(),
            ">>> ERROR(-30): Unable to load '" + aes + "' or no version resource.\n\n");
}

TEST_F(ReportsTest, EachLookupFailureHasItsCode) {
  const std::string m = "'" + testing::ModuleFile("rijndael24") + "'";
  const std::pair<VersionLookup, std::string> cases[] = {
      {VersionLookup::kNoVersionInfo,
       ">>> ERROR(-30): Unable to load " + m + " or no version resource."},
      {VersionLookup::kUnreadable,
       ">>> ERROR(-31): Unable to load resource information of " + m + "."},
      {VersionLookup::kNoLength, ">>> ERROR(-32): Unable to get version length from " + m + "."},
      {VersionLookup::kNoTranslation,
       ">>> ERROR(-33): Unable to get version translation from " + m + "."}};
  for (const auto& [lookup, line] : cases) {
    platform_.ClearConsole();
    platform_.lookup = lookup;
    ReportLibraryFile(platform_, 24);
    EXPECT_EQ(platform_.err(), line + "\n\n");
  }
}

TEST_F(ReportsTest, SettingsReportShowsTheDefaultsAndNeverThePassword) {
  RunSettings settings;
  InitRunSettings(settings, platform_);
  settings.password = "hidden words";
  PrintSettingsReport(platform_, settings);
  const std::string expected =
      "\n[Settings]\nCorvalin modality = Decryption\nAes keylen = 256\nAes block size = 256\n"
      "Aes operation mode = cbc\nWiping = off\nWiping number of passes = 3\n"
      "Name mangling = off\nChange filename extention = on\nDelete original file = on\n"
      "Compression engine = null\nCompression level = 5\n"
      "Compression exclusion list = *.zip *.rar *.gz *.bz *.bz2 *.ace *.aes *.cab\n"
      "Compression case sensitive search modality = off\nFilename = *\n"
      "Recursive subdirectories = off\nCase sensitive search modality = off\n"
      "Force file attribute to normal = off\nLogging = on\nLog filename = " +
      settings.log_file_name +
      "\nLog verbose level = 2\nVerbose = on\nVerbose level = 3\n\n[Library]\nFile: " +
      testing::ModuleFile("aes") + "\n";
  EXPECT_EQ(platform_.out().substr(0, expected.size()), expected);
  EXPECT_EQ(platform_.out().find("hidden"), std::string::npos);
  EXPECT_NE(platform_.out().find("File: zlib.lib\nVersion: 1."), std::string::npos);
}

}  // namespace
}  // namespace corvalin
