#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "app/help_page.h"
#include "app/password_prompt.h"
#include "app/run_settings.h"
#include "platform/path.h"
#include "platform/platform.h"
#include "support/error_handler.h"
#include "support/secret_memory.h"
#include "support/text.h"

namespace corvalin {
namespace {

constexpr std::string_view kHelpHint = "\n\nUnable to continue. (Type -? or -h to get help)";

[[noreturn]] void Fatal(Error code, std::string_view text) {
  throw ErrorHandler(code, std::string(text) + std::string(kHelpHint));
}

// Leading decimal digits as atoi reads them, saturating at the largest 32-bit value.
int NumberValue(const std::string& argument, Error code, std::string_view text) {
  if (argument.empty() || argument[0] < '0' || argument[0] > '9') Fatal(code, text);
  std::int64_t value = 0;
  for (const char c : argument) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(value);
}

int BitsToBytes(const std::string& argument, Error code, std::string_view text) {
  for (const SizeWord& size : kSizeWords) {
    if (EqualsIgnoreCase(argument, size.bits)) return size.bytes;
  }
  Fatal(code, text);
}

// The value whose number is the index of `argument` among `words`.
template <typename Value>
Value Keyword(const std::string& argument, const char* const (&words)[3], Error code,
              std::string_view text) {
  for (int i = 0; i < 3; ++i) {
    if (EqualsIgnoreCase(argument, words[i])) return static_cast<Value>(i);
  }
  Fatal(code, text);
}

// Sets the flag of a switch that takes no value; false when the argument is none of them.
bool TakeFlag(RunSettings& s, const std::string& a) {
  struct Flag {
    const char* name;
    bool RunSettings::*field;
    bool value;
  };
  static constexpr Flag kFlags[] = {
      {"-w", &RunSettings::wipe, true},
      {"-e", &RunSettings::change_extension, false},
      {"-n", &RunSettings::name_mangling, true},
      {"-d", &RunSettings::delete_source, false},
      {"-cs", &RunSettings::exclusions_case_sensitive, true},
      {"-i", &RunSettings::show_info, true},
      {"-r", &RunSettings::recursive, true},
      {"-a", &RunSettings::force_normal_attributes, true},
      {"-s", &RunSettings::case_sensitive_search, true},
      {"-q", &RunSettings::quiet, true},
      {"-lx", &RunSettings::file_logging, false},
  };
  for (const Flag& flag : kFlags) {
    if (EqualsIgnoreCase(a, flag.name)) {
      s.*flag.field = flag.value;
      return true;
    }
  }
  return false;
}

// One value switch: its name, and how the argument after it is taken into the settings.
struct ValueSwitch {
  const char* name;
  void (*take)(RunSettings& s, const std::string& a);
};

// The chain of value switches, in its fixed order: each switch name is tested right before the
// pending value of its own switch, so an argument is taken by the first line that wants it.
constexpr ValueSwitch kValueSwitches[] = {
    {"-wl",
     [](RunSettings& s, const std::string& a) {
       s.wipe_passes = NumberValue(a, Error::kMissingWipeLevel, "Missing wiping parameter (-wl).");
     }},
    {"-cl",
     [](RunSettings& s, const std::string& a) {
       s.compression_level = NumberValue(a, Error::kMissingCompressionLevel,
                                         "Missing compression level parameter (-cl).");
     }},
    {"-cx", [](RunSettings& s, const std::string& a) { s.compression_exclusions = a; }},
    {"-p",
     [](RunSettings& s, const std::string& a) {
       WipeString(s.password);  // a longer value would move it, leaving the old bytes behind
       s.password = a;
       s.password_file.clear();  // the later of -p and -pf wins
     }},
    // After -p, so that "-p -pf" still takes "-pf" as the password, as it always did.
    {"-pf",
     [](RunSettings& s, const std::string& a) {
       // An empty argument names no file; it must not come to mean standard input.
       if (a.empty()) Fatal(Error::kMissingPassword, "Missing password file parameter (-pf).");
       WipeString(s.password);
       s.password_file = a;
     }},
    {"-v",
     [](RunSettings& s, const std::string& a) {
       s.verbose_level = NumberValue(a, Error::kMissingVerbose, "Missing verbose parameter (-v).");
     }},
    {"-lv",
     [](RunSettings& s, const std::string& a) {
       s.log_verbose_level =
           NumberValue(a, Error::kMissingLogVerbose, "Missing log verbose parameter (-lv).");
     }},
    {"-lo", [](RunSettings& s, const std::string& a) { s.log_file_name = a; }},
    {"-k",
     [](RunSettings& s, const std::string& a) {
       s.key_bytes = BitsToBytes(a, Error::kBadKeyLength,
                                 "Aes key length parameter (-k) doesn't match any available.");
     }},
    {"-b",
     [](RunSettings& s, const std::string& a) {
       s.block_bytes = BitsToBytes(a, Error::kBadBlockSize,
                                   "Aes block size parameter (-b) doesn't match any available.");
     }},
    {"-m",
     [](RunSettings& s, const std::string& a) {
       s.cipher_mode =
           Keyword<CipherMode>(a, kModeWords, Error::kBadMode,
                               "Aes operation mode parameter (-m) doesn't match any available.");
     }},
    {"-cf",
     [](RunSettings& s, const std::string& a) {
       s.compression_format = Keyword<CompressionFormat>(
           a, kCompressionWords, Error::kBadFormat,
           "Compression format parameter (-cf) doesn't match any available.");
     }},
    {"-j",
     [](RunSettings& s, const std::string& a) {
       s.workers = NumberValue(a, Error::kMissingWorkers, "Missing workers parameter (-j).");
     }},
};
constexpr std::size_t kValueSwitchCount = std::size(kValueSwitches);
constexpr std::size_t kPasswordSwitch = 3;
constexpr std::size_t kPasswordFileSwitch = 4;
constexpr std::size_t kLogNameSwitch = 7;
static_assert(std::string_view(kValueSwitches[kPasswordSwitch].name) == "-p");
static_assert(std::string_view(kValueSwitches[kPasswordFileSwitch].name) == "-pf");
static_assert(std::string_view(kValueSwitches[kLogNameSwitch].name) == "-lo");

// The value switches each wait for an argument of their own; several may wait at once.
struct Pending {
  std::array<bool, kValueSwitchCount> waiting{};
  bool password_given = false;  // -p or -pf appeared, whatever followed it
};

// Returns false when no line of the chain took the argument.
bool TakeValueSwitch(RunSettings& s, Pending& p, const std::string& a) {
  for (std::size_t i = 0; i < kValueSwitchCount; ++i) {
    if (EqualsIgnoreCase(a, kValueSwitches[i].name)) {
      p.password_given |= i == kPasswordSwitch || i == kPasswordFileSwitch;
      p.waiting[i] = true;
      return true;
    }
    if (p.waiting[i]) {
      p.waiting[i] = false;
      kValueSwitches[i].take(s, a);
      return true;
    }
  }
  return false;
}

bool TakeCommand(RunSettings& s, const std::string& a) {
  if (EqualsIgnoreCase(a, "e")) {
    s.command = Command::kEncrypt;
  } else if (EqualsIgnoreCase(a, "d")) {
    s.command = Command::kDecrypt;
  } else if (EqualsIgnoreCase(a, "a")) {
    s.command = Command::kAutomatic;
  } else {
    return false;
  }
  return true;
}

void Warn(Platform& platform, Error code, std::string_view first, std::string_view second,
          const std::string& value) {
  platform.Err("\n");
  platform.Err(">>> WARNING(" + std::to_string(CodeOf(code)) + std::string(first) + "\n");
  platform.Err(std::string(second) + value + "\n");
}

void CheckAfterLoop(RunSettings& s, const Pending& p, Platform& platform) {
  if (p.waiting[kPasswordSwitch])
    Fatal(Error::kMissingPassword, "Missing password parameter (-p).");
  if (p.waiting[kPasswordFileSwitch])
    Fatal(Error::kMissingPassword, "Missing password file parameter (-pf).");
  if (!s.password_file.empty()) ReadPasswordFile(platform, s.password_file, s.password);
  // Someone at a terminal is asked, also when standard input is a pipe (`ls | xargs corvalin
  // e`); a script without one (cron) still gets the error below.
  if (!p.password_given && platform.HasTerminal()) {
    AskPassword(platform, s.command != Command::kDecrypt, s.password);
  }
  const std::string given = s.password_file.empty() ? "(-p)." : "(-pf).";
  if (s.password.empty())
    Fatal(Error::kMissingPassword, "Missing valid password parameter " + given);
  if (s.password.size() > 32) Fatal(Error::kKeyTooLong, "Password exceeds 32 bytes " + given);
  if (s.compression_level < 1 || s.compression_level > 9) {
    s.compression_level = 5;
    Warn(platform, Error::kCompressionOutOfRange,
         "): Compression level parameter (-cl) is out of range.",
         "Force compression level to default, i.e. ", "5");
  }
  if (p.waiting[kLogNameSwitch]) {
    Warn(platform, Error::kMissingLogName, "): Missing log filename parameter (-lo).",
         "Force log filename to default, i.e. ", s.log_file_name);
  }
  if (s.verbose_level < 1 || s.verbose_level > 4) {
    s.verbose_level = 3;
    Warn(platform, Error::kVerboseOutOfRange, "): Verbose level parameter (-v) is out of range.",
         "Force verbose level parameter to default, i.e. ", "3");
  }
  if (s.log_verbose_level < 1 || s.log_verbose_level > 4) {
    s.log_verbose_level = 2;
    Warn(platform, Error::kVerboseOutOfRange,
         "): Verbose log level parameter (-lv) is out of range.",
         "Force log verbose level parameter to default, i.e. ", "2");
  }
  if (s.workers != kWorkerPerProcessor && (s.workers < 1 || s.workers > kMostWorkers)) {
    s.workers = kWorkerPerProcessor;
    Warn(platform, Error::kWorkersOutOfRange, "): Workers parameter (-j) is out of range.",
         "Force workers parameter to default, i.e. ", "one per processor");
  }
  if (s.wipe_passes < 1) {
    s.wipe_passes = 3;
    Warn(platform, Error::kWipeOutOfRange, "): Wiping level parameter (-wl) is out of range.",
         "Force wiping level parameter to default, i.e. ", "3");
  }
  if (!s.file_logging) s.log_file_name.clear();
  // An empty argument names no file and no folder; searching it would select nothing or,
  // worse, be read as the current folder.
  for (const std::string& mask : s.file_masks) {
    if (mask.empty()) Fatal(Error::kEmptyArgument, "File or folder argument is empty.");
  }
}

// With `writable`, the same vector as `argv` that may be written to.
ParseOutcome Parse(RunSettings& s, int argc, const char* const* argv, char** writable,
                   Platform& platform) {
  Pending pending;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    const ScopedWipe forget(a);  // any argument may be the password
    const bool password_pending = pending.waiting[kPasswordSwitch];
    if (TakeCommand(s, a) || TakeFlag(s, a) || TakeValueSwitch(s, pending, a)) {
      if (password_pending && !pending.waiting[kPasswordSwitch] && writable != nullptr) {
        WipeMemory(writable[i], std::strlen(writable[i]));
      }
      continue;
    }
    // The long forms users expect of any command-line tool; they come before the test for
    // unknown switches, exactly like -h.
    if (EqualsIgnoreCase(a, "-?") || EqualsIgnoreCase(a, "-h") || EqualsIgnoreCase(a, "--help")) {
      PrintHelpPage(platform, argv[0]);
      return ParseOutcome::kHelpShown;
    }
    if (EqualsIgnoreCase(a, "--version")) {
      PrintVersionLine(platform);
      return ParseOutcome::kHelpShown;
    }
    if (!a.empty() && a[0] == '-') {
      Fatal(Error::kUnknownSwitch, "Switch " + a + " doesn't match any available one.");
    }
    s.file_mask = a;
    if (!kShellConventions) s.file_masks.clear();
    s.file_masks.push_back(a);
  }
  if (s.file_masks.empty()) s.file_masks.push_back(s.file_mask);
  CheckAfterLoop(s, pending, platform);
  return ParseOutcome::kRun;
}

}  // namespace

std::vector<std::string> FileArguments(const RunSettings& settings) {
  return settings.file_masks.empty() ? std::vector<std::string>{settings.file_mask}
                                     : settings.file_masks;
}

std::string GetTempDirectory(Platform& platform) {
  std::string folder;
  if (const int error = platform.TempDirectory(folder)) {
    throw ErrorHandler(error, "Unable to get %TMP% directory");
  }
  // A relative folder would mean one place for the log and another once the run has moved.
  folder = platform.FullPath(folder);
  if (folder.empty() || folder.back() != kSeparator) folder += kSeparator;
  return folder;
}

void InitRunSettings(RunSettings& settings, Platform& platform) {
  settings = RunSettings{};
  settings.temp_folder = GetTempDirectory(platform);
  settings.log_file_name = settings.temp_folder + kLogFileName;
}

ParseOutcome ParseCommandLine(RunSettings& settings, int argc, const char* const* argv,
                              Platform& platform) {
  return Parse(settings, argc, argv, nullptr, platform);
}

ParseOutcome ParseProcessArguments(RunSettings& settings, int argc, char** argv,
                                   Platform& platform) {
  return Parse(settings, argc, argv, argv, platform);
}

}  // namespace corvalin
