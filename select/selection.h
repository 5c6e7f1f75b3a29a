// What the first pass knew of each file it listed, kept in list order for the second pass: it
// must never leave the tree the first one searched, nor let one file's output take the place of
// another file the run selected.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace corvalin {

struct SelectedFile {
  FileIdentity identity;        // all zero where the platform's scan does not tell it
  std::size_t root_length = 0;  // bytes of the path that the user's argument named
  FileIdentity root;            // the folder those bytes led to; all zero where unknown
};

using Selection = std::vector<SelectedFile>;

// A file under a reserved working name the first pass met: what a stopped run left, for this
// run to finish removing.
struct Leftover {
  std::string path;
  std::size_t root_length = 0;
  FileIdentity root;
};

}  // namespace corvalin
