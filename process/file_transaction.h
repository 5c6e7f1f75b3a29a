// The life of one file, and the rules that decide which copy of it survives.
//
// Corvalin removes what it encrypted or decrypted, so at every moment of a step one complete
// copy of the user's data must exist under a name the user knows, whatever happens next: a
// failure, a kill, a power cut, another run in the same folder, a file another user planted
// there. One FileTransaction per file is the only code that creates, renames, overwrites or
// removes files; the steps only move bytes between the files it hands them. Its rules:
//
//  1. The source is opened once, for reading, and held (a shared lock) until the file is done.
//     Its identity (device and inode; volume and file index on Windows), size and modification
//     time are taken then.
//  2. Everything a step writes goes into a working file of the folder (~aes.tmp, ~aes2.tmp):
//     a regular file of the run's own user with no other name, private (0600), locked and
//     emptied before use. One that another run holds is an open failure; one a killed run left
//     behind is taken over (overwritten first with -w). Nothing incomplete ever appears under a
//     user's name, and the intermediates of compression never appear at all.
//  3. An output gets its final name only when it is complete: its data is on stable storage,
//     it takes the rwx bits of its source (never setuid, setgid or sticky), one rename puts it
//     in place and the folder's names are flushed. The run keeps it open until the transaction
//     ends, so that it can always overwrite and remove what it made. Windows renames nothing
//     over a file that is held open: an output that takes the name of its own source (in place
//     with -e, or a container renamed in another letter case) lets the source go first, and
//     what rule 4 checks is what the source was at that moment.
//  4. The source is removed only after every output is in place, and only while it is still
//     the file that was read: the same identity under its name, the same size and modification
//     time. A source that changed fails the file (-37); a name that shows another file now is
//     left alone.
//  5. With -w a file is overwritten before it is removed, except one with other hard links:
//     its data stays reachable through them, so it is only removed, with a warning (-38).
//  6. Removal goes by identity, never by name alone: a name that no longer shows the file the
//     transaction read or made is never touched.
//  7. Undoing a file removes its working files and, while the source is intact, the outputs it
//     made. Once the source is gone or partly overwritten, the outputs are the last good copy
//     and stay. So does an output that took the place of another file: what it replaced is
//     gone either way, and it may have been another run's container, whose source that run
//     then removes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "support/disk_file.h"

namespace corvalin {

struct ErrorHandler;
class MyStream;

// How the run removes what it no longer needs (-w, -wl, -a).
struct RemovalPolicy {
  bool wipe = false;
  std::uint32_t passes = 3;
  bool force_normal_attributes = false;
};

enum class WorkingFile { kCipher = 0, kCompression = 1 };

class FileTransaction {
 public:
  FileTransaction(Platform& platform, MyStream& sink, const RemovalPolicy& policy);
  // Removes the working files the steps left (rule 7); outputs stay. Never throws.
  ~FileTransaction();
  FileTransaction(const FileTransaction&) = delete;
  FileTransaction& operator=(const FileTransaction&) = delete;

  // Rule 1: the file to encrypt or decrypt.
  DiskFile& OpenSource(const std::string& path);
  DiskFile& source() { return source_->file; }
  const FileFacts& source_facts() const { return source_facts_; }

  // Rule 2: the working file `which` in `folder`. `failure` is what a step raises when it
  // cannot have it, in that step's own words.
  DiskFile& OpenWorking(const std::string& folder, WorkingFile which, const ErrorHandler& failure);
  DiskFile& working(WorkingFile which) { return working_[Index(which)]->file; }
  // Rule 3: gives a complete working file its final name, replacing what is there.
  void Publish(WorkingFile which, const std::string& target);
  // Removes a working file whose data is of no further use. `shown` names it in the lines of
  // level 4 (the intermediate it stands for); with `quiet` nothing is shown.
  void Discard(WorkingFile which, const std::string& shown, bool quiet = false);
  // Rules 4 and 5. `verb` says what was done to the source ("encrypt", "decrypt").
  void RemoveSource(std::string_view verb);
  // Rule 7, after the source could not be removed.
  void UndoOutputs();

 private:
  struct Held {
    explicit Held(Platform& platform) : file(platform) {}
    DiskFile file;
    std::string path;  // the name it has now
    FileIdentity identity;
    bool replaced_another = false;  // its name showed another file before it took it
  };
  enum class SourceState { kIntact, kOverwritten, kGone };

  static std::size_t Index(WorkingFile which) { return static_cast<std::size_t>(which); }
  bool NameShows(const Held& held);
  // Closes the source when `target` is another name of it, for a platform that cannot replace
  // an open file; its facts are kept for RemoveSource.
  void ReleaseSourceUnder(const std::string& target);
  bool SourceIntact();
  // The delete-and-wipe step: -a, -w and the removal of one held file, with their lines.
  void DeleteAndWipe(Held& held, const std::string& shown, bool quiet);

  Platform& platform_;
  MyStream& sink_;
  RemovalPolicy policy_;
  std::unique_ptr<Held> source_;
  FileFacts source_facts_;
  FileFacts released_facts_;
  SourceState source_state_ = SourceState::kIntact;
  std::array<std::unique_ptr<Held>, 2> working_;
  std::vector<std::unique_ptr<Held>> outputs_;
};

}  // namespace corvalin
