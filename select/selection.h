// What the first pass knew of each file it listed, kept in list order for the second pass, which
// must never leave the tree the first one searched.
#pragma once

#include <cstddef>
#include <vector>

namespace corvalin {

struct SelectedFile {
  std::size_t root_length = 0;  // bytes of the path that the user's argument named
};

using Selection = std::vector<SelectedFile>;

}  // namespace corvalin
