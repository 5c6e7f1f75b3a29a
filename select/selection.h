// What the first pass knew of each file it listed, kept in list order for the second pass: it
// must never leave the tree the first one searched, nor let one file's output take the place of
// another file the run selected. A run may list hundreds of thousands of files, so the record
// costs a few bytes a file: where each file's search began is kept once for every run of files
// that share it, and who each file is as a 64-bit key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace corvalin {

struct SelectedFile {
  std::size_t root_length = 0;  // bytes of the path that the user's argument named
  FileIdentity root;            // the folder those bytes led to; all zero where unknown
};

// A file's identity folded into 64 bits: two files whose keys differ are different files (two
// keys alike are taken as one file, which errs on the side of refusing).
std::uint64_t IdentityKey(const FileIdentity& identity);
// The same for a file whose identity the platform's search does not tell (Windows): its full
// path as the folder lists it, letter case folded as the file system folds it.
std::uint64_t PathKey(const std::string& path);

class Selection {
 public:
  // The next file of the list, at `path`; an identity all zero is unknown (the platform's scan
  // does not tell it), and the file is known by its path instead.
  void Add(const FileIdentity& identity, const std::string& path, const SelectedFile& search);
  std::size_t size() const { return count_; }
  // What was recorded of file `index` of the list.
  SelectedFile At(std::size_t index) const;
  // The keys of the files, in no order, handed over once.
  std::vector<std::uint64_t> TakeKeys() { return std::move(keys_); }
  // Whether some files are known by their PathKey rather than their identity.
  bool by_path() const { return by_path_; }

 private:
  struct Run {
    std::size_t first;  // the list index where files of this search begin
    SelectedFile search;
  };
  std::vector<Run> runs_;
  std::vector<std::uint64_t> keys_;
  std::size_t count_ = 0;
  bool by_path_ = false;
};

// A file under a reserved working name the first pass met: what a stopped run left, for this
// run to finish removing.
struct Leftover {
  std::string path;
  std::size_t root_length = 0;
  FileIdentity root;
};

}  // namespace corvalin
