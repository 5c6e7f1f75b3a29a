// One directory search as the finder walks it: Start, then Next and the current entry while
// Next said more follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace corvalin {

struct SelectedFile;

class FileEnumerator {
 public:
  explicit FileEnumerator(Platform& platform) : platform_(platform) {}

  // False when nothing matches; then StartError() tells why, 0 for a reason not worth a word
  // (gone, or closed to this user). With `single_entry` the pattern is the path of one entry.
  // A folder is read whole and closed at once, so that a walk holds one folder open at a time
  // however deep it goes.
  bool Start(const std::string& pattern, bool single_entry = false);
  int StartError() const { return start_error_; }
  // Not 0 when the folder could be read only in part: the entries before the failure are
  // there, the rest are not.
  int ReadError() const { return read_error_; }
  // Moves to the next entry; returns whether further entries follow it.
  bool Next();
  void End();

  bool IsDotEntry() const { return current_.name == "." || current_.name == ".."; }
  bool IsFolderEntry() const { return current_.is_folder; }
  const std::string& EntryName() const { return current_.name; }
  // The absolute folder of the search pattern and the entry's name.
  std::string EntryPath() const { return folder_ + current_.name; }
  std::uint64_t EntrySize() const { return current_.size; }
  const FileIdentity& EntryIdentity() const { return current_.identity; }
  // Not 0 when the entry exists but could not be examined.
  int EntryError() const { return current_.error; }

  // In the second pass, what the first one recorded of the file; null otherwise.
  const SelectedFile* selected() const { return selected_; }
  void set_selected(const SelectedFile* selected) { selected_ = selected; }

 private:
  Platform& platform_;
  std::vector<DirectoryEntry> entries_;
  std::size_t position_ = 0;
  int start_error_ = 0;
  int read_error_ = 0;
  std::string folder_;
  DirectoryEntry current_;
  const SelectedFile* selected_ = nullptr;
};

}  // namespace corvalin
