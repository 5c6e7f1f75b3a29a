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
//     it takes its source's modification and access times, and its owner and group where the
//     run may give them (root), one rename puts it in place, it takes the rwx bits of its
//     source (never setuid, setgid or sticky) and the folder's names are flushed; a flush that
//     fails takes the name back. The run keeps it open until the transaction ends, so that it
//     can always overwrite and remove what it made. Windows renames nothing over a file that
//     is held open: an output that takes the name of its own source (in place with -e, or a
//     container renamed in another letter case) lets the source go first, and what rule 4
//     checks is what the source was at that moment.
//  4. The source is removed only after every output is in place, and only while it is still
//     the file that was read: the same identity under its name, the same size and modification
//     time, looked at last when no one can open it by that name any more (moved aside, POSIX).
//     A source that changed fails the file (-40); a name that shows another file now is left
//     alone. A file moved aside that is not removed goes back under its name or, should another
//     file have taken the name meanwhile, under one of its own beside it
//     (<name>.kept-<pid>-<n>) unless it is working data of a run's own.
//  5. With -w a file's name is removed first and its data overwritten after, through the run's
//     own handle: a run stopped in the middle leaves no half-overwritten file under a user's
//     name, and a file that cannot be removed is never overwritten. A file with other hard
//     links is only removed, with a warning (-38): its data stays reachable through them. Only
//     data is overwritten, never a sparse file's holes; an overwrite that fails once the name is
//     gone is a warning (-45), since the file's work is done and nothing can be undone.
//  6. Every name is looked up in the one folder the processor holds open, never again along
//     the path that led there, and removal goes by identity, never by name alone: a name that
//     no longer shows the file the transaction read or made is never touched.
//  7. Undoing a file removes its working files and, while the source is intact, the outputs it
//     made. Once the source is gone, the outputs are the last good copy and stay. So does an output
//     that took the place of another file: what it replaced is gone either way, and it may have
//     been another run's container, whose source that run then removes.
//  8. An output never takes the place of a file the run selected or made (the run's record,
//     which knows a selected file by the path it was listed under where the platform's search
//     tells no identity, Windows), other than its own source replaced in place; an encryption
//     replaces nothing but an earlier container of the same file under the run's key; a name read
//     from a container otherwise than it was stored replaces nothing at all (-24). A file replaced
//     leaves its name only once the new name is on stable storage: until then both exist, so a
//     failed flush gives the old file its name back.
//  9. What a stopped run left is finished by the next one. A file under a reserved name
//     (~aes.tmp, ~aes2.tmp, ~aes-removing-<pid>-<n> once that process has ended) that no
//     running run holds is removed, overwritten first with -w. A container beside the file it
//     was made of, or a restored file beside its container, is a pair only when the container
//     decrypts under the run's key to exactly that file's bytes; then the container is the
//     result, the other half goes as the run would remove it, and the pair counts once. The
//     half that stays is first opened again so that no other open holds it: another worker or
//     run proving the same pair from its other side would remove that half while this one
//     removes its own. When it cannot be held alone, the file fails (-5) and both halves stay.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
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

class RunRecord;
struct FileWork;

// What an output may find under its name, and so what became of that name.
enum class Published {
  kNew,             // the name was free
  kInPlace,         // the output took its own source's name
  kOverEarlier,     // it replaced an earlier container of the same file
  kOverUnselected,  // it replaced a file the run neither selected nor made (decryption)
};

// The rules of rule 8 for one output.
struct PublishRules {
  RunRecord& run;
  // Encryption: whether the file open for reading is an earlier container of the same file.
  // Empty for decryption, where any file the run neither selected nor made may be replaced.
  std::function<bool(DiskFile&)> earlier_container;
  // A stored name read otherwise than it was stored ('../b' read as 'b'): the output takes only
  // a free name, and a refusal quotes what was stored.
  const std::string* altered_from = nullptr;
  std::string shown;  // the output's path, as messages name it
};

// How the run removes what it no longer needs (-w, -wl, -a).
struct RemovalPolicy {
  bool wipe = false;
  std::uint32_t passes = 3;
  bool force_normal_attributes = false;
};

enum class WorkingFile { kCipher = 0, kCompression = 1 };

class FileTransaction {
 public:
  // Every name the transaction handles lies in `folder`, which the processor holds open; the
  // lines go to the file's own sink, `work.sink`.
  FileTransaction(Platform& platform, FileWork& work, const RemovalPolicy& policy,
                  const Folder& folder);
  FileWork& work() { return work_; }
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
  // The name of the working file `which` in this file's folder, for this file's worker.
  std::string WorkingFileName(WorkingFile which) const;
  // What `name` shows in the folder now; false when it shows nothing.
  bool Describe(const std::string& name, FileFacts& facts);
  // Rules 3 and 8: gives a complete working file its final name, and records it as made by the
  // run. Raises -24 when the name shows a file the output may not replace.
  Published Publish(WorkingFile which, const std::string& name, const PublishRules& rules);
  // Removes a working file whose data is of no further use. `shown` names it in the lines of
  // level 4 (the intermediate it stands for); with `quiet` nothing is shown.
  void Discard(WorkingFile which, const std::string& shown, bool quiet = false);
  // Rules 4 and 5. `verb` says what was done to the source ("encrypt", "decrypt").
  void RemoveSource(std::string_view verb);
  // -40 when the source no longer is what was read; `verb` says what it was about to undergo.
  void RefuseChangedSource(std::string_view verb);
  // Rule 7, after the source could not be removed.
  void UndoOutputs();
  // The other file of a pair a stopped run left (a complete container beside its source): held
  // for reading from the moment it is compared until it is removed, which follows rules 4 and 5
  // as the source's removal does.
  DiskFile& OpenPartner(const std::string& name);
  DiskFile& partner() { return partner_->file; }
  // Lets go of a file that turned out to be no partner: Windows replaces no file held open.
  void ReleasePartner() { partner_.reset(); }
  // What a removal did with a file.
  enum class Removal {
    kNone,         // nothing: the name shows another file now, or none
    kRemoved,      // removed; with -w, not overwritten, since its data stays reachable through
                   // another link, or overwriting it failed (each said as a warning)
    kOverwritten,  // overwritten (-w) and removed
  };
  // Finishes the removal of a file a stopped run left under a reserved name (overwritten first
  // with -w). Nothing when it is no leftover of a stopped run: held by a run that goes on,
  // moved aside by one, gone, or another user's.
  Removal RemoveLeftover(const std::string& name);
  void RemovePartner(std::string_view verb);
  // Before one file of a proved pair is removed, the one that stays (the partner, or the
  // source) is opened again so that no other open holds it, unchanged since it was compared:
  // another worker or run proving the same pair from its other side holds it too, and would
  // remove it while this one removes the other. -5 when that cannot be had.
  void HoldAlone(bool partner, const std::string& finishing);
  // Whether the source has been removed: the outputs are then all that is left of the file.
  bool SourceRemoved() const { return source_state_ == SourceState::kGone; }

 private:
  struct Held {
    explicit Held(Platform& platform) : file(platform) {}
    DiskFile file;
    std::string name;  // its name in the folder now
    FileIdentity identity;
    bool replaced_another = false;  // its name showed another file before it took it
    // Where its removal must find it as it was read: those facts, and what it underwent.
    std::optional<FileFacts> as_read;
    std::string verb;
  };
  static const FileFacts* AsRead(const Held& held) {
    return held.as_read ? &*held.as_read : nullptr;
  }
  enum class SourceState { kIntact, kGone };

  static std::size_t Index(WorkingFile which) { return static_cast<std::size_t>(which); }
  // Rule 3 for one try: false when the name was taken (without `replacing`) or shows another
  // file than `replacing` by then.
  // `replaced` holds the file `replacing` names, open, where there is one.
  bool TryPublish(WorkingFile which, const std::string& name, const FileIdentity* replacing,
                  Held* replaced = nullptr);
  // A publish whose folder flush failed is taken back (rule 8).
  void TakeBack(WorkingFile which, const std::string& working_name, bool replaced);
  // The output takes its source's owner and group, where the run may give them.
  void GiveSourcesOwner(Held& held);
  // Whether the file `identity` under `name` is one the run selected or made.
  bool IsRunsFile(const std::string& name, const FileIdentity& identity, const RunRecord& run);
  // The file under `name`, held open for reading, when it is still `identity`; null otherwise.
  std::unique_ptr<Held> HoldReplaced(const std::string& name, const FileIdentity& identity);
  bool NameShows(const Held& held);
  // -40 for the file `name`, which was to undergo `verb`.
  ErrorHandler ChangedWhileRead(std::string_view verb, const std::string& name) const;
  // Closes the source when `name` shows it, for a platform that cannot replace
  // an open file; its facts are kept for RemoveSource.
  void ReleaseSourceUnder(const std::string& name);
  bool SourceIntact();
  // The delete-and-wipe step: -a, -w and the removal of one held file, with their lines.
  Removal DeleteAndWipe(Held& held, const std::string& shown, bool quiet);
  Removal Delete(Held& held, const std::string& shown, bool quiet);
  Removal DeleteThenOverwrite(Held& held, const std::string& shown, bool quiet);
  // Overwrites a held file whose name is gone; false, with a warning, when that fails.
  bool Overwrite(Held& held, const std::string& shown);
  // Opens a held file for overwriting; false when its name shows another file now.
  bool OpenForWipe(Held& held);

  Platform& platform_;
  FileWork& work_;
  MyStream& sink_;
  RemovalPolicy policy_;
  const Folder& folder_;
  std::unique_ptr<Held> source_;
  std::unique_ptr<Held> partner_;
  FileFacts source_facts_;
  FileFacts released_facts_;
  SourceState source_state_ = SourceState::kIntact;
  std::array<std::unique_ptr<Held>, 2> working_;
  std::vector<std::unique_ptr<Held>> outputs_;
};

}  // namespace corvalin
