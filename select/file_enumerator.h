// One directory search as the finder walks it: Start, then Next and the current entry while
// Next said more follow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "select/selection.h"

namespace corvalin {

class FileEnumerator {
 public:
  explicit FileEnumerator(Platform& platform) : platform_(platform) {}

  // False when nothing matches; then StartError() tells why, 0 for a reason not worth a word
  // (gone). With `single_entry` the pattern is the path of one entry. A folder is read as the
  // walk goes, one entry ahead, so that a folder of any size costs the memory of one entry.
  bool Start(const std::string& pattern, bool single_entry = false);
  // Reads the folder's remaining entries into memory and closes it: a walk that goes deeper
  // than a few folders lets go of the ones above, so that it holds a few folders open however
  // deep the tree.
  void Detach();
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
  const SelectedFile* selected() const { return selected_ ? &*selected_ : nullptr; }
  void set_selected(const SelectedFile& selected) { selected_ = selected; }

 private:
  // Reads the entry after the current one into `ahead_`; false at the end.
  bool ReadAhead();

  Platform& platform_;
  std::unique_ptr<DirectoryScan> scan_;
  std::deque<DirectoryEntry> detached_;  // what Detach read of the folder, in order
  std::optional<DirectoryEntry> ahead_;
  int start_error_ = 0;
  int read_error_ = 0;
  std::string folder_;
  DirectoryEntry current_;
  std::optional<SelectedFile> selected_;
};

}  // namespace corvalin
