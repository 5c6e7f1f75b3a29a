#include "select/file_enumerator.h"

#include "platform/path.h"

namespace corvalin {

bool FileEnumerator::Start(const std::string& pattern, bool single_entry) {
  End();
  read_error_ = 0;
  std::unique_ptr<DirectoryScan> scan = platform_.StartScan(pattern, single_entry, start_error_);
  if (scan == nullptr) return false;
  for (DirectoryEntry entry; scan->Read(entry);) entries_.push_back(std::move(entry));
  read_error_ = scan->Error();
  scan.reset();
  if (entries_.empty()) {
    // A folder that fails at its first read cannot be searched at all.
    start_error_ = read_error_;
    read_error_ = 0;
    return false;
  }
  folder_ = FolderPart(platform_.FullPath(pattern));
  return true;
}

bool FileEnumerator::Next() {
  if (position_ >= entries_.size()) return false;
  current_ = entries_[position_++];
  return position_ < entries_.size();
}

void FileEnumerator::End() {
  entries_.clear();
  position_ = 0;
}

}  // namespace corvalin
