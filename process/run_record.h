// What the run as a whole knows of the files it selected and made. Every file's transaction
// asks it before an output takes a name, so that no output of the run ever takes the place of
// another file the run selected or made; it is the one record the files of a run share.
#pragma once

#include <mutex>
#include <set>
#include <vector>

#include "platform/platform.h"
#include "select/selection.h"

namespace corvalin {

class RunRecord {
 public:
  // The files of the first pass, before any file is handled.
  void Protect(const Selection& selection);

  // Whether the file is one the run selected or made: never to be replaced.
  bool Taken(const FileIdentity& identity) const;
  void AddMade(const FileIdentity& identity);

  // A file the run found already done by an earlier run (a complete container beside its
  // source, or a restored file beside its container): the other of the pair, met later in
  // the list, is accounted for and counts no more.
  void Settle(const FileIdentity& identity);
  bool Settled(const FileIdentity& identity) const;

 private:
  mutable std::mutex lock_;
  std::vector<FileIdentity> selected_;  // sorted; fixed after Protect
  std::set<FileIdentity> made_;
  std::set<FileIdentity> settled_;
};

}  // namespace corvalin
