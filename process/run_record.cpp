#include "process/run_record.h"

#include <algorithm>

namespace corvalin {

void RunRecord::Protect(const Selection& selection) {
  const std::lock_guard<std::mutex> hold(lock_);
  selected_.clear();
  for (const SelectedFile& file : selection) {
    if (!(file.identity == FileIdentity{})) selected_.push_back(file.identity);
  }
  std::sort(selected_.begin(), selected_.end());
}

bool RunRecord::Taken(const FileIdentity& identity) const {
  const std::lock_guard<std::mutex> hold(lock_);
  return std::binary_search(selected_.begin(), selected_.end(), identity) ||
         made_.count(identity) != 0;
}

void RunRecord::AddMade(const FileIdentity& identity) {
  const std::lock_guard<std::mutex> hold(lock_);
  made_.insert(identity);
}

void RunRecord::Settle(const FileIdentity& identity) {
  const std::lock_guard<std::mutex> hold(lock_);
  settled_.insert(identity);
}

bool RunRecord::Settled(const FileIdentity& identity) const {
  const std::lock_guard<std::mutex> hold(lock_);
  return settled_.count(identity) != 0;
}

}  // namespace corvalin
