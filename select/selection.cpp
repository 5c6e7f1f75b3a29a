#include "select/selection.h"

#include <algorithm>

#include "platform/path.h"

namespace corvalin {

std::uint64_t IdentityKey(const FileIdentity& identity) {
  // The device in the high bits, spread; the inode or file index as it is, which tells files of
  // one device apart exactly.
  return (identity.device * 0x9E3779B97F4A7C15ull) ^ identity.index;
}

std::uint64_t PathKey(const std::string& path) {
  // FNV-1a over the folded path.
  std::uint64_t key = 0xCBF29CE484222325ull;
  for (const char c : FoldedPath(path)) {
    key = (key ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
  }
  return key;
}

void Selection::Add(const FileIdentity& identity, const std::string& path,
                    const SelectedFile& search) {
  if (runs_.empty() || runs_.back().search.root_length != search.root_length ||
      !(runs_.back().search.root == search.root)) {
    runs_.push_back({count_, search});
  }
  if (identity == FileIdentity{}) {
    keys_.push_back(PathKey(path));
    by_path_ = true;
  } else {
    keys_.push_back(IdentityKey(identity));
  }
  ++count_;
}

SelectedFile Selection::At(std::size_t index) const {
  const auto after =
      std::upper_bound(runs_.begin(), runs_.end(), index,
                       [](std::size_t at, const Run& run) { return at < run.first; });
  return after == runs_.begin() ? SelectedFile{} : std::prev(after)->search;
}

}  // namespace corvalin
