// The run's list of found files, in the temporary folder. It has no name on disk after it is
// made (POSIX removes the name at once, Windows when it is closed), so it never outlives the
// run, however the run ends, and no other process can open it. Its name stays for the lines
// that report it.
#pragma once

#include <string>

#include "support/disk_file.h"

namespace corvalin {

class MyStream;
class Platform;

class RunListFile {
 public:
  RunListFile(Platform& platform, MyStream& sink)
      : platform_(platform), sink_(sink), file_(platform) {}

  // Makes the list in `folder`, with its lines of level 4.
  void Create(const std::string& folder);
  // Removes the list, overwritten `passes` times first when `wipe`, with its lines of level 4.
  // A failed overwrite is said on the standard error stream; the list is removed all the same.
  // Returns the failure's code, or 0. Does nothing the second time.
  int Remove(bool wipe, int passes);

  DiskFile& file() { return file_; }
  const std::string& name() const { return name_; }

 private:
  Platform& platform_;
  MyStream& sink_;
  DiskFile file_;
  std::string name_;
  bool removed_ = false;
};

}  // namespace corvalin
