// The options of one run: defaults, then the command line; read-only afterwards.
#pragma once

#include <string>
#include <vector>

#include "container/block_cipher_provider.h"
#include "container/container_format.h"
#include "process/command.h"

namespace corvalin {

class Platform;

inline constexpr const char* kDefaultExclusions = "*.zip *.rar *.gz *.bz *.bz2 *.ace *.aes *.cab";
inline constexpr const char* kLogFileName = "aeslog.txt";

// The key lengths and block sizes -k and -b take, in bits, and what they are in bytes.
struct SizeWord {
  const char* bits;
  int bytes;
};
inline constexpr SizeWord kSizeWords[] = {{"128", 16}, {"192", 24}, {"256", 32}};

inline constexpr int kMostWorkers = 64;
inline constexpr int kWorkerPerProcessor = -1;

struct RunSettings {
  bool recursive = false;
  bool force_normal_attributes = false;
  bool case_sensitive_search = false;
  bool file_logging = true;
  bool show_info = false;
  bool quiet = false;
  bool wipe = false;
  bool delete_source = true;
  bool name_mangling = false;
  bool change_extension = true;
  bool exclusions_case_sensitive = false;
  int verbose_level = 3;
  int log_verbose_level = 2;
  int wipe_passes = 3;
  CompressionFormat compression_format = CompressionFormat::kNone;
  int compression_level = 5;
  std::string file_mask = "*";
  // Every file argument, in the order given. On POSIX each is searched, as the shell hands
  // them over one per file; Windows keeps the last one only, as file_mask does.
  std::vector<std::string> file_masks;
  std::string log_file_name;
  // The run's temporary folder, chosen once, absolute and ending in a separator: the log's
  // default place and the list file's.
  std::string temp_folder;
  std::string password;
  // Where -pf said the password is ("-": standard input), read once the command line is
  // parsed; empty when it came from -p, the prompt or nowhere.
  std::string password_file;
  std::string compression_exclusions = kDefaultExclusions;
  Command command = Command::kDecrypt;
  int key_bytes = 32;
  int block_bytes = 32;
  CipherMode cipher_mode = CipherMode::kCbc;
  // Files handled side by side in the second pass (-j, 1 to kMostWorkers); kWorkerPerProcessor
  // when not given: one per processor the process may run on.
  int workers = kWorkerPerProcessor;
};

// The file arguments to search, in order: file_masks, or file_mask when none was given.
std::vector<std::string> FileArguments(const RunSettings& settings);

// The user's temporary folder, absolute and ending in a separator. Raises the platform's error
// number with "Unable to get %TMP% directory" when it cannot be had.
std::string GetTempDirectory(Platform& platform);

// Stores the defaults; the log goes to the temporary folder.
void InitRunSettings(RunSettings& settings, Platform& platform);

enum class ParseOutcome { kRun, kHelpShown };

// One left-to-right pass over the arguments. Warnings go to standard error; the first fatal
// fault raises an ErrorHandler. -?, -h and --help print the help page, --version its name and
// version line; either stops parsing at once: the caller then ends the process with status 0.
ParseOutcome ParseCommandLine(RunSettings& settings, int argc, const char* const* argv,
                              Platform& platform);

// ParseCommandLine over the process's own argument vector. Every argument taken as a password
// is zeroed in place as soon as it is read: on Linux this memory is what the process list and
// /proc/<pid>/cmdline show. (Windows keeps its own copy of the command line; see the manual.)
ParseOutcome ParseProcessArguments(RunSettings& settings, int argc, char** argv,
                                   Platform& platform);

}  // namespace corvalin
