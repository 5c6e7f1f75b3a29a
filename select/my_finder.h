// Turns the file argument (a file, a folder, or a wildcard name, optionally through every
// subfolder) into found files, each handed to the processor, and counts the outcome.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/platform.h"
#include "select/selection.h"

namespace corvalin {

struct ErrorHandler;

class FileEnumerator;
class MyObject;

class MyCFileFind {
 public:
  virtual ~MyCFileFind() = default;
  virtual void Found(FileEnumerator& entry) = 0;
};

// A file the run itself writes, which no search may select, wherever it lies and however a
// path spells it.
struct OwnFile {
  FileIdentity identity;
  std::string name;  // as its folder lists it
};

class MyFinder : public MyCFileFind {
 public:
  MyFinder(Platform& platform, MyObject& handler) : processor(handler), platform_(platform) {}

  // Selects and hands over every matching file. Raises for an empty argument.
  void Search(const std::string& typed);
  void Found(FileEnumerator& entry) override;
  // Whether `name` is a folder, and its absolute path when it is.
  bool IsFolder(const std::string& name, std::string& path);

  std::string mask;
  std::string pattern;
  bool recursive = true;
  bool case_sensitive = false;
  std::uint32_t files_done = 0;
  std::uint64_t bytes_done = 0;
  // Failed files, and in a search also what could not be searched.
  std::uint32_t errors = 0;
  MyObject& processor;
  // The run's own list and log, by the path the run opened them under.
  void AddOwnFile(const std::string& path, const FileIdentity& identity);
  // Where a search records what it selected, when set.
  Selection* selection = nullptr;
  // Where a search records the reserved working names it meets, when set.
  std::vector<Leftover>* leftovers = nullptr;
  // Several searches into one list (the shell's arguments): a path already found is not
  // handed on again.
  bool skip_repeats = false;
  // Files the searches matched, repeats included.
  std::uint32_t matched = 0;

 private:
  // Starts the walk at `folder`, the folder the argument names as the system resolves it.
  void Begin(std::string folder);
  // A plain name, not a folder: that name in its folder (and with -r in every folder below).
  // `named` is what the name shows itself, when it shows anything; `typed` is the argument as
  // the user gave it, for the messages.
  void SearchName(const std::string& argument, const std::string& typed, const FileFacts* named);
  // False when the folder could not be listed at all; that is said unless `say_unlistable`
  // is off.
  bool Walk(const std::string& folder_pattern, bool say_unlistable = true);
  // A file whose name matches: handed on unless it is the run's own or cannot be reached.
  void Consider(FileEnumerator& entry);
  bool IsOwnFile(const FileEnumerator& entry);
  // Adds the processor's outcome for `entry` to the counts.
  void Count(const FileEnumerator& entry);
  // What the search could not look into, or left out: said, and counted with the errors.
  void PassOver(const std::string& path, int error);
  void PassOver(const ErrorHandler& why);
  void Say(const ErrorHandler& why, bool counted);

  // Folders a walk keeps open on its way down; deeper ones are read whole before it descends.
  static constexpr int kFoldersHeldOpen = 8;

  Platform& platform_;
  int depth_ = 0;
  std::size_t root_length_ = 0;
  FileIdentity root_;
  std::unordered_set<std::string> found_paths_;
  std::vector<OwnFile> own_files_;
};

}  // namespace corvalin
