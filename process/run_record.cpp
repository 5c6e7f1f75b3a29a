#include "process/run_record.h"

#include <algorithm>

namespace corvalin {
namespace {

constexpr std::size_t kLongestTail = 256;

std::uint64_t SettledKey(const FileIdentity& identity, const std::string& name) {
  return IdentityKey(identity) ^ (PathKey(name) * 0xC2B2AE3D27D4EB4Full);
}

}  // namespace

void RunRecord::KeySet::Assign(std::vector<std::uint64_t> keys) {
  std::sort(keys.begin(), keys.end());
  sorted_ = std::move(keys);
  tail_.clear();
}

void RunRecord::KeySet::Insert(std::uint64_t key) {
  tail_.push_back(key);
  if (tail_.size() < kLongestTail) return;
  std::sort(tail_.begin(), tail_.end());
  const std::size_t middle = sorted_.size();
  sorted_.insert(sorted_.end(), tail_.begin(), tail_.end());
  std::inplace_merge(sorted_.begin(), sorted_.begin() + static_cast<std::ptrdiff_t>(middle),
                     sorted_.end());
  tail_.clear();
}

bool RunRecord::KeySet::Contains(std::uint64_t key) const {
  return std::binary_search(sorted_.begin(), sorted_.end(), key) ||
         std::find(tail_.begin(), tail_.end(), key) != tail_.end();
}

void RunRecord::Protect(Selection& selection) {
  const std::lock_guard<std::mutex> hold(lock_);
  selected_.Assign(selection.TakeKeys());
  by_path_ = selection.by_path();
}

bool RunRecord::Taken(const FileIdentity& identity) const {
  const std::uint64_t key = IdentityKey(identity);
  const std::lock_guard<std::mutex> hold(lock_);
  return selected_.Contains(key) || made_.Contains(key);
}

bool RunRecord::SelectedAt(const std::string& path) const {
  const std::uint64_t key = PathKey(path);
  const std::lock_guard<std::mutex> hold(lock_);
  return selected_.Contains(key);
}

void RunRecord::AddMade(const FileIdentity& identity) {
  const std::lock_guard<std::mutex> hold(lock_);
  made_.Insert(IdentityKey(identity));
}

void RunRecord::Settle(const FileIdentity& identity, const std::string& name) {
  const std::lock_guard<std::mutex> hold(lock_);
  settled_.Insert(SettledKey(identity, name));
}

bool RunRecord::Settled(const FileIdentity& identity, const std::string& name) const {
  const std::lock_guard<std::mutex> hold(lock_);
  return settled_.Contains(SettledKey(identity, name));
}

}  // namespace corvalin
