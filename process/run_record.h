// What the run as a whole knows of the files it selected and made. Every file's transaction
// asks it before an output takes a name, so that no output of the run ever takes the place of
// another file the run selected or made; it is the one record the files of a run share, behind
// one lock. Files are known by 64-bit keys of their identities (or paths, see Selection): a
// few bytes a file, for runs of hundreds of thousands.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "select/selection.h"

namespace corvalin {

class RunRecord {
 public:
  // The files of the first pass, before any file is handled.
  void Protect(Selection& selection);

  // Whether the file is one the run selected or made: never to be replaced.
  bool Taken(const FileIdentity& identity) const;
  // Where the platform's search told no identity, the run's files are also known by the full
  // path each was listed under: whether `path`, spelled as its folder lists it, is one of them.
  bool knows_paths() const { return by_path_; }
  bool SelectedAt(const std::string& path) const;
  void AddMade(const FileIdentity& identity);

  // A file the run found already done by an earlier run (a complete container beside its
  // source, or a restored file beside its container): the other of the pair, met later in
  // the list, is accounted for and counts no more. It is known by its identity and its name:
  // another name of the same file (a hard link) is a file of its own to handle.
  void Settle(const FileIdentity& identity, const std::string& name);
  bool Settled(const FileIdentity& identity, const std::string& name) const;

 private:
  // Sorted keys with a short unsorted tail, merged in when it grows: a look is a binary search
  // and a few comparisons, an insertion rarely moves the sorted part.
  class KeySet {
   public:
    void Assign(std::vector<std::uint64_t> keys);
    void Insert(std::uint64_t key);
    bool Contains(std::uint64_t key) const;

   private:
    std::vector<std::uint64_t> sorted_, tail_;
  };

  mutable std::mutex lock_;
  KeySet selected_, made_, settled_;
  bool by_path_ = false;  // set before the files are handled, read only after
};

}  // namespace corvalin
