// One directory search as the finder walks it: Start, then Next and the current entry while
// Next said more follow.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace corvalin {

class FileEnumerator {
 public:
  explicit FileEnumerator(Platform& platform) : platform_(platform) {}

  // False when nothing matches. With `single_entry` the pattern is the path of one entry.
  bool Start(const std::string& pattern, bool single_entry = false);
  // Moves to the next entry; returns whether further entries follow it.
  bool Next();
  void End();

  bool IsDotEntry() const { return current_.name == "." || current_.name == ".."; }
  bool IsFolderEntry() const { return current_.is_folder; }
  const std::string& EntryName() const { return current_.name; }
  // The absolute folder of the search pattern and the entry's name.
  std::string EntryPath() const { return folder_ + current_.name; }
  std::uint64_t EntrySize() const { return current_.size; }

 private:
  Platform& platform_;
  std::unique_ptr<DirectoryScan> scan_;
  std::string folder_;
  DirectoryEntry current_, next_;
};

}  // namespace corvalin
