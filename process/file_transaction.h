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
//     time are taken then. It must be reached without a link below the folder the user named
//     (-39): the second pass never leaves the tree the first one searched.
//  2. Everything a step writes goes into a working file of the folder (~aes.tmp, ~aes2.tmp):
//     a regular file of the run's own user with no other name, private (0600), locked and
//     emptied before use. One that another run holds is an open failure; one a killed run left
//     behind is taken over (overwritten first with -w). Nothing incomplete ever appears under a
//     user's name, and the intermediates of compression never appear at all.
//  3. An output gets its final name only when it is complete: its data is on stable storage,
//     it takes its source's modification and access times and rwx bits (never setuid, setgid
//     or sticky), one rename puts it in place and the folder's names are flushed. The run
//     keeps it open until the transaction ends, so that it can always overwrite and remove
//     what it made. Windows renames nothing over a file that is held open: an output that
//     takes the name of its own source (in place with -e, or a container renamed in another
//     letter case) lets the source go first, and what rule 4 checks is what the source was
//     at that moment.
//  4. The source is removed only after every output is in place, and only while it is still
//     the file that was read: the same identity under its name, the same size and modification
//     time. A source that changed fails the file (-40); a name that shows another file now is
//     left alone.
//  5. With -w a file's name is removed first and its data overwritten after, through the run's
//     own handle: a run stopped in the middle leaves no half-overwritten file under a user's
//     name, and a file that cannot be removed is never overwritten. A file with other hard
//     links is only removed, with a warning (-38): its data stays reachable through them.
//  6. Every name is looked up in the one folder the processor holds open, never again along
//     the path that led there, and removal goes by identity, never by name alone: a name that
//     no longer shows the file the transaction read or made is never touched.
//  7. Undoing a file removes its working files and, while the source is intact, the outputs it
//     made. Once the source is gone, the outputs are the last good copy and stay. So does an output
//     that took the place of another file: what it replaced is gone either way, and it may have
//     been another run's container, whose source that run then removes.
//  8. (Kept by the processor, which knows the run.) An output never takes the place of a file
//     the run selected or made, other than its own source replaced in place; and an encryption
//     replaces nothing but an earlier container of the same file under the run's key (-24).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "support/disk_file.h"

namespace corvalin {

struct ErrorHandler;
class MyStream;
struct SelectedFile;

// How the run removes what it no longer needs (-w, -wl, -a).
struct RemovalPolicy {
  bool wipe = false;
  std::uint32_t passes = 3;
  bool force_normal_attributes = false;
};

enum class WorkingFile { kCipher = 0, kCompression = 1 };

class FileTransaction {
 public:
  // Every name the transaction handles lies in `folder`, which the processor holds open.
  FileTransaction(Platform& platform, MyStream& sink, const RemovalPolicy& policy,
                  const Folder& folder);
  // Removes the working files the steps left (rule 7); outputs stay. Never throws.
  ~FileTransaction();
  FileTransaction(const FileTransaction&) = delete;
  FileTransaction& operator=(const FileTransaction&) = delete;

  // Rule 1: the file to encrypt or decrypt.
  DiskFile& OpenSource(const std::string& name);
  DiskFile& source() { return source_->file; }
  const FileFacts& source_facts() const { return source_facts_; }

  // Rule 2: the working file `which`. `failure` is what a step raises when it cannot have it,
  // in that step's own words.
  DiskFile& OpenWorking(WorkingFile which, const ErrorHandler& failure);
  DiskFile& working(WorkingFile which) { return working_[Index(which)]->file; }
  // What `name` shows in the folder now; false when it shows nothing.
  bool Describe(const std::string& name, FileFacts& facts);
  // Rule 3: gives a complete working file its final name and returns the output's identity.
  // Without `replacing` a name already taken leaves the working file as it is, and the
  // answer is empty; with it, the file it names is replaced, and no other: the answer is
  // empty too when the name shows another file by then.
  std::optional<FileIdentity> Publish(WorkingFile which, const std::string& name,
                                      const FileIdentity* replacing);
  // Removes a working file whose data is of no further use. `shown` names it in the lines of
  // level 4 (the intermediate it stands for); with `quiet` nothing is shown.
  void Discard(WorkingFile which, const std::string& shown, bool quiet = false);
  // Rules 4 and 5. `verb` says what was done to the source ("encrypt", "decrypt").
  void RemoveSource(std::string_view verb);
  // -40 when the source no longer is what was read; `verb` says what it was about to undergo.
  void RefuseChangedSource(std::string_view verb);
  // Rule 7, after the source could not be removed.
  void UndoOutputs();

 private:
  struct Held {
    explicit Held(Platform& platform) : file(platform) {}
    DiskFile file;
    std::string name;  // its name in the folder now
    FileIdentity identity;
    bool replaced_another = false;  // its name showed another file before it took it
  };
  enum class SourceState { kIntact, kGone };

  static std::size_t Index(WorkingFile which) { return static_cast<std::size_t>(which); }
  bool NameShows(const Held& held);
  // Closes the source when `name` shows it, for a platform that cannot replace
  // an open file; its facts are kept for RemoveSource.
  void ReleaseSourceUnder(const std::string& name);
  bool SourceIntact();
  // The delete-and-wipe step: -a, -w and the removal of one held file, with their lines.
  void DeleteAndWipe(Held& held, const std::string& shown, bool quiet);
  void Delete(Held& held, const std::string& shown, bool quiet);
  void DeleteThenOverwrite(Held& held, const std::string& shown, bool quiet);
  // Opens a held file for overwriting; false when its name shows another file now.
  bool OpenForWipe(Held& held);

  Platform& platform_;
  MyStream& sink_;
  RemovalPolicy policy_;
  const Folder& folder_;
  std::unique_ptr<Held> source_;
  FileFacts source_facts_;
  FileFacts released_facts_;
  SourceState source_state_ = SourceState::kIntact;
  std::array<std::unique_ptr<Held>, 2> working_;
  std::vector<std::unique_ptr<Held>> outputs_;
};

}  // namespace corvalin
