#include "select/file_enumerator.h"

#include "platform/path.h"

namespace corvalin {

bool FileEnumerator::Start(const std::string& pattern, bool single_entry) {
  End();
  read_error_ = 0;
  scan_ = platform_.StartScan(pattern, single_entry, start_error_);
  if (scan_ == nullptr) return false;
  if (!ReadAhead()) {
    // A folder that fails at its first read cannot be searched at all.
    start_error_ = read_error_;
    read_error_ = 0;
    return false;
  }
  folder_ = FolderPart(platform_.FullPath(pattern));
  return true;
}

bool FileEnumerator::ReadAhead() {
  ahead_.reset();
  if (!detached_.empty()) {
    ahead_ = std::move(detached_.front());
    detached_.pop_front();
    return true;
  }
  if (scan_ == nullptr) return false;
  DirectoryEntry entry;
  if (scan_->Read(entry)) {
    ahead_ = std::move(entry);
    return true;
  }
  read_error_ = scan_->Error();
  scan_.reset();
  return false;
}

void FileEnumerator::Detach() {
  if (scan_ == nullptr) return;
  for (DirectoryEntry entry; scan_->Read(entry);) detached_.push_back(std::move(entry));
  read_error_ = scan_->Error();
  scan_.reset();
}

bool FileEnumerator::Next() {
  if (!ahead_) return false;
  current_ = std::move(*ahead_);
  return ReadAhead();
}

void FileEnumerator::End() {
  scan_.reset();
  detached_.clear();
  ahead_.reset();
}

}  // namespace corvalin
