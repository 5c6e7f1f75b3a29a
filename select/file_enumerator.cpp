#include "select/file_enumerator.h"

#include "platform/path.h"

namespace corvalin {

bool FileEnumerator::Start(const std::string& pattern, bool single_entry) {
  End();
  scan_ = platform_.StartScan(pattern, single_entry);
  if (scan_ == nullptr || !scan_->Read(next_)) {
    scan_.reset();
    return false;
  }
  folder_ = FolderPart(platform_.FullPath(pattern));
  return true;
}

bool FileEnumerator::Next() {
  current_ = next_;
  return scan_ != nullptr && scan_->Read(next_);
}

void FileEnumerator::End() {
  scan_.reset();
}

}  // namespace corvalin
