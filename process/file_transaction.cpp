#include "process/file_transaction.h"

#include <cstdlib>

#include "process/file_work.h"
#include "process/run_record.h"
#include "support/error_handler.h"
#include "support/interruption.h"
#include "support/my_stream.h"
#include "support/secure_wipe.h"
#include "support/working_names.h"

namespace corvalin {
namespace {

constexpr std::uint32_t kPrivate = 0600;
constexpr std::uint32_t kReadWriteExecute = 0777;

}  // namespace

FileTransaction::FileTransaction(Platform& platform, FileWork& work, const RemovalPolicy& policy,
                                 const Folder& folder)
    : platform_(platform), work_(work), sink_(work.sink), policy_(policy), folder_(folder) {}

std::string FileTransaction::WorkingFileName(WorkingFile which) const {
  return WorkingName(which == WorkingFile::kCompression, work_.tools.worker);
}

FileTransaction::~FileTransaction() {
  for (std::unique_ptr<Held>& held : working_) {
    if (held == nullptr) continue;
    try {
      DeleteAndWipe(*held, folder_.path + held->name, true);
    } catch (const ErrorHandler&) {
      // Left for the next run, which takes working files over.
    }
  }
}

DiskFile& FileTransaction::OpenSource(const std::string& name) {
  source_ = std::make_unique<Held>(platform_);
  source_->name = name;
  source_->file.OpenIn(OpenMode::kRead, folder_, name);
  source_facts_ = source_->file.opened_facts();
  source_->identity = source_facts_.identity;
  return source_->file;
}

DiskFile& FileTransaction::OpenWorking(WorkingFile which, const ErrorHandler& failure) {
  auto held = std::make_unique<Held>(platform_);
  held->name = WorkingFileName(which);
  try {
    held->file.OpenIn(OpenMode::kReadWrite, folder_, held->name);
    const FileFacts facts = held->file.opened_facts();
    // Another user's file, or one with a second name, is never written into or emptied; but
    // one that belongs to the owner of the file in hand (left by a run of root's that gave
    // its output to that user) holds nothing that user may not read.
    const bool sources_owner = source_ != nullptr && facts.owner == source_facts_.owner;
    if ((!facts.owned && !sources_owner) || facts.links != 1) throw failure;
    held->identity = facts.identity;
    if (facts.size > 0) {
      // A killed run's leftover may hold plain text.
      if (policy_.wipe) Wipe(held->file, sink_, policy_.passes);
      if (!held->file.Truncate()) throw failure;
    }
    if ((facts.permissions & kReadWriteExecute) != kPrivate &&
        platform_.SetPermissions(held->file.handle(), kPrivate) != 0) {
      throw failure;
    }
  } catch (const ErrorHandler&) {
    throw failure;
  }
  held->file.WriteBehind();
  working_[Index(which)] = std::move(held);
  return working(which);
}

bool FileTransaction::Describe(const std::string& name, FileFacts& facts) {
  return platform_.DescribeIn(folder_, name, facts) == 0;
}

Published FileTransaction::Publish(WorkingFile which, const std::string& name,
                                   const PublishRules& rules) {
  const ErrorHandler taken =
      rules.altered_from == nullptr
          ? ErrorHandler(Error::kNameExists,
                         "Unable to create " + rules.shown + " because a file of that name exists.")
          : ErrorHandler(Error::kNameExists, "Unable to create " + rules.shown +
                                                 " for the stored name '" + *rules.altered_from +
                                                 "' because a file of that name exists.");
  // Recorded before it takes the name: another file's output meeting it there must find it
  // the run's own from the first moment.
  rules.run.AddMade(working_[Index(which)]->identity);
  Published outcome = Published::kNew;
  FileFacts there;
  if (!TryPublish(which, name, nullptr)) {
    // Whatever has the name now was never meant by the container.
    if (rules.altered_from != nullptr) throw taken;
    if (!Describe(name, there)) {
      // Freed in between: one more try, replacing nothing.
      if (!TryPublish(which, name, nullptr)) throw taken;
    } else {
      std::unique_ptr<Held> replaced;
      if (source_ != nullptr && there.identity == source_->identity) {
        outcome = Published::kInPlace;
      } else if (IsRunsFile(name, there.identity, rules.run)) {
        throw taken;
      } else {
        // Held from here until it is gone: the file comes out under the working name, and no
        // other run may take it over there as a working file of its own.
        replaced = HoldReplaced(name, there.identity);
        if (replaced == nullptr) throw taken;
        if (rules.earlier_container && !rules.earlier_container(replaced->file)) throw taken;
        outcome = rules.earlier_container ? Published::kOverEarlier : Published::kOverUnselected;
      }
      // The name showed yet another file by the time the output was put there: another
      // run's, never this run's to replace.
      if (!TryPublish(which, name, &there.identity, replaced.get())) throw taken;
    }
  }
  return outcome;
}

bool FileTransaction::IsRunsFile(const std::string& name, const FileIdentity& identity,
                                 const RunRecord& run) {
  if (run.Taken(identity)) return true;
  if (!run.knows_paths()) return false;
  // The name may be another spelling of the listed one: a short 8.3 name, another letter case.
  std::string listed = name;
  int error = 0;
  if (auto scan = platform_.StartScan(folder_.path + name, true, error)) {
    DirectoryEntry entry;
    if (scan->Read(entry)) listed = entry.name;
  }
  return run.SelectedAt(folder_.path + listed);
}

// What is read must be the file that may be replaced, not one put under the name since.
std::unique_ptr<FileTransaction::Held> FileTransaction::HoldReplaced(const std::string& name,
                                                                     const FileIdentity& identity) {
  auto held = std::make_unique<Held>(platform_);
  held->name = name;
  try {
    held->file.OpenIn(OpenMode::kRead, folder_, name);
  } catch (const ErrorHandler&) {
    return nullptr;
  }
  if (!(held->file.opened_facts().identity == identity)) return nullptr;
  held->identity = identity;
  return held;
}

bool FileTransaction::TryPublish(WorkingFile which, const std::string& name,
                                 const FileIdentity* replacing, Held* replaced) {
  std::unique_ptr<Held>& slot = working_[Index(which)];
  Held& held = *slot;
  held.file.Flush();
  // The output is dated by the data it holds, not by the run that made it: a container keeps
  // its source's time, and a restored file gets it back. A file system that refuses leaves
  // the output whole all the same.
  platform_.SetTimes(held.file.handle(), source_facts_.accessed, source_facts_.modified);
  const bool in_place =
      replacing != nullptr && source_ != nullptr && *replacing == source_->identity;
  // In place the output takes the source's name, and with it the source: the same test as
  // before a removal, while the source is still there to keep.
  if (in_place) RefuseChangedSource("replace");
  GiveSourcesOwner(held);
  if (!platform_.ReplacesOpenFiles()) {
    ReleaseSourceUnder(name);
    if (replaced != nullptr) replaced->file.Close();
  }
  const std::string working_name = held.name;
  const ErrorHandler move_failed(
      Error::kRenameFailed,
      "Unable to move '" + folder_.path + working_name + "' to '" + folder_.path + name + "'");
  const int error = platform_.RenameIn(folder_, working_name, name, replacing);
  if (error == kNameTaken || error == kOtherFile) return false;
  if (error != 0) throw move_failed;
  // A rename goes by name: should the working name have come to show another file than ours,
  // that file would now stand under the output's name. It goes back, and the file fails.
  FileFacts named;
  if (replacing == nullptr && (!Describe(name, named) || !(named.identity == held.identity))) {
    platform_.RenameIn(folder_, name, working_name, nullptr);
    throw move_failed;
  }
  held.name = name;
  held.replaced_another = replacing != nullptr && !in_place;
  // Only once it has left the working name: a run killed before the rename must leave a
  // working file the next run can still open and take over.
  platform_.SetPermissions(held.file.handle(), source_facts_.permissions & kReadWriteExecute);
  outputs_.push_back(std::move(slot));
  if (const int flushed = platform_.FlushFolder(folder_)) {
    TakeBack(which, working_name, replacing != nullptr);
    throw ErrorHandler(flushed, "Unable to flush folder " + folder_.path + " after naming " + name);
  }
  // What the output replaced has come out under the working name where the platform exchanges
  // names (held all the while, so that no other run takes it over); it goes now that the new
  // name is on stable storage. Should that fail, it is a leftover under a reserved name, which
  // the next run removes.
  if (replacing != nullptr) platform_.RemoveIn(folder_, working_name, *replacing, nullptr);
  return true;
}

// The output's name did not reach stable storage: the name goes back to what it showed before,
// so that nothing is left that depends on it. An output that replaced a file exchanges names
// with it again and is a working file once more; a new one is removed.
void FileTransaction::TakeBack(WorkingFile which, const std::string& working_name, bool replaced) {
  Held& output = *outputs_.back();
  try {
    if (replaced) {
      if (platform_.RenameIn(folder_, working_name, output.name, &output.identity) != 0) return;
      output.name = working_name;
      output.replaced_another = false;
      working_[Index(which)] = std::move(outputs_.back());
    } else {
      DeleteAndWipe(output, folder_.path + output.name, true);
    }
    outputs_.pop_back();
  } catch (const ErrorHandler&) {
    // The flush is what is reported; what could not be taken back stays an output.
  }
}

void FileTransaction::GiveSourcesOwner(Held& held) {
  if (source_ == nullptr) return;
  const FileFacts& made = held.file.opened_facts();
  if (made.owner == source_facts_.owner && made.group == source_facts_.group) return;
  // Where the run may (root, CAP_CHOWN): a user's file stays the user's. Elsewhere the system
  // refuses, and the output stays the run's own, as any file it makes.
  platform_.SetOwner(held.file.handle(), source_facts_.owner, source_facts_.group);
}

void FileTransaction::Discard(WorkingFile which, const std::string& shown, bool quiet) {
  std::unique_ptr<Held>& slot = working_[Index(which)];
  if (slot == nullptr) return;
  DeleteAndWipe(*slot, shown, quiet);
  slot.reset();
}

// What was made of the source describes it as it was read: a source that changed since (a log
// appended to) would lose the change with its name.
void FileTransaction::RefuseChangedSource(std::string_view verb) {
  Held& source = *source_;
  const FileFacts now = source.file.IsOpen() ? source.file.Describe() : released_facts_;
  if (ChangedSince(&source_facts_, now)) throw ChangedWhileRead(verb, source.name);
}

ErrorHandler FileTransaction::ChangedWhileRead(std::string_view verb,
                                               const std::string& name) const {
  return ErrorHandler(Error::kChangedWhileRead, "Unable to " + std::string(verb) + " " +
                                                    folder_.path + name +
                                                    " because it changed while it was read.");
}

void FileTransaction::RemoveSource(std::string_view verb) {
  Held& source = *source_;
  RefuseChangedSource(verb);
  // An output took the name (an encryption in place), or another run did: the source is no
  // longer under it, and nothing of it is left to remove. (A plain removal finds that out
  // itself, by identity, and says nothing then.)
  if (policy_.wipe && !NameShows(source)) {
    source_state_ = SourceState::kGone;
    return;
  }
  source.as_read = source_facts_;
  source.verb = verb;
  DeleteAndWipe(source, folder_.path + source.name, false);
}

void FileTransaction::UndoOutputs() {
  if (!SourceIntact()) return;
  while (!outputs_.empty()) {
    Held& output = *outputs_.back();
    if (!output.replaced_another) DeleteAndWipe(output, folder_.path + output.name, false);
    outputs_.pop_back();
  }
}

DiskFile& FileTransaction::OpenPartner(const std::string& name) {
  partner_ = std::make_unique<Held>(platform_);
  partner_->name = name;
  partner_->file.OpenIn(OpenMode::kRead, folder_, name);
  partner_->identity = partner_->file.opened_facts().identity;
  return partner_->file;
}

void FileTransaction::RemovePartner(std::string_view verb) {
  Held& partner = *partner_;
  const FileFacts& read = partner.file.opened_facts();
  if (ChangedSince(&read, partner.file.Describe())) throw ChangedWhileRead(verb, partner.name);
  partner.as_read = read;
  partner.verb = verb;
  DeleteAndWipe(partner, folder_.path + partner.name, false);
}

void FileTransaction::HoldAlone(bool partner, const std::string& finishing) {
  Held& held = partner ? *partner_ : *source_;
  const FileFacts read = held.file.opened_facts();
  held.file.Close();
  try {
    held.file.OpenIn(OpenMode::kReadAlone, folder_, held.name);
    const FileFacts& now = held.file.opened_facts();
    if (now.identity == held.identity && !ChangedSince(&read, now)) return;
    held.file.Close();
  } catch (const ErrorHandler&) {
    // Held by another open, or gone: as good as changed.
  }
  throw ErrorHandler(Error::kOpenFailed, "Unable to finish " + finishing + " because " +
                                             folder_.path + held.name + " is in use.");
}

FileTransaction::Removal FileTransaction::RemoveLeftover(const std::string& name) {
  // A name a removal moved aside belongs to that process while it runs: it may yet give the
  // file its name back.
  const std::string_view removing = kRemovingPrefix;
  if (name.compare(0, removing.size(), removing) == 0) {
    const unsigned long id = std::strtoul(name.c_str() + removing.size(), nullptr, 10);
    if (platform_.ProcessRunning(static_cast<std::uint32_t>(id))) return Removal::kNone;
  }
  Held leftover(platform_);
  leftover.name = name;
  try {
    // Exclusive and never waiting: a file another run holds is that run's.
    leftover.file.OpenIn(OpenMode::kModify, folder_, name);
  } catch (const ErrorHandler&) {
    return Removal::kNone;
  }
  const FileFacts& facts = leftover.file.opened_facts();
  FileFacts folder;
  const bool folders_owner =
      platform_.DescribeIn(folder_, ".", folder) == 0 && facts.owner == folder.owner;
  if (!facts.owned && !folders_owner) return Removal::kNone;
  leftover.identity = facts.identity;
  return DeleteAndWipe(leftover, folder_.path + name, true);
}

bool FileTransaction::NameShows(const Held& held) {
  FileFacts named;
  return Describe(held.name, named) && named.identity == held.identity;
}

void FileTransaction::ReleaseSourceUnder(const std::string& name) {
  if (source_ == nullptr || !source_->file.IsOpen()) return;
  FileFacts named;
  if (!Describe(name, named) || !(named.identity == source_->identity)) return;
  released_facts_ = source_->file.Describe();
  source_->file.Close();
}

bool FileTransaction::SourceIntact() {
  return source_ != nullptr && source_state_ == SourceState::kIntact && NameShows(*source_);
}

bool FileTransaction::OpenForWipe(Held& held) {
  if (held.file.IsOpen() && held.file.mode() != OpenMode::kRead) return true;
  // The source is held for reading only: it is opened again, to be overwritten.
  held.file.Close();
  held.file.OpenIn(OpenMode::kModify, folder_, held.name);
  if (held.file.opened_facts().identity == held.identity) return true;
  held.file.Close();
  return false;
}

FileTransaction::Removal FileTransaction::DeleteAndWipe(Held& held, const std::string& shown,
                                                        bool quiet) {
  if (policy_.force_normal_attributes && NameShows(held)) {
    platform_.SetNormalAttributesIn(folder_, held.name, held.file.handle());
  }
  const Removal done =
      policy_.wipe ? DeleteThenOverwrite(held, shown, quiet) : Delete(held, shown, quiet);
  held.file.Close();
  return done;
}

FileTransaction::Removal FileTransaction::Delete(Held& held, const std::string& shown, bool quiet) {
  const int error = platform_.RemoveIn(folder_, held.name, held.identity, AsRead(held));
  if (error == kOtherFile) return Removal::kNone;  // another file, or none: not ours to say
  if (error == kFileChanged) throw ChangedWhileRead(held.verb, held.name);
  if (&held == source_.get() && error == 0) source_state_ = SourceState::kGone;
  if (!quiet) sink_.Write("Delete " + shown + " ", Verbosity::kHousekeeping);
  if (error != 0 && error != kOtherFile) {
    throw ErrorHandler(Error::kDeleteFailed, "Unable to delete " + shown + " (Read only file?)");
  }
  if (!quiet) sink_.Write("[OK] \r\n", Verbosity::kHousekeeping);
  return Removal::kRemoved;
}

// The name goes first and the data is overwritten after, through the run's own handle: a file
// that cannot be removed is never overwritten, and a run stopped in the middle leaves nothing
// half overwritten under the user's name.
FileTransaction::Removal FileTransaction::DeleteThenOverwrite(Held& held, const std::string& shown,
                                                              bool quiet) {
  const auto say = [&](const std::string& text, Verbosity level) {
    if (!quiet) sink_.Write(text, level);
  };
  say("Wipe (lev=" + std::to_string(policy_.passes) + ") " + shown + " ", Verbosity::kHousekeeping);
  if (!OpenForWipe(held)) {
    say("[OK] \r\n",
        Verbosity::kHousekeeping);  // another file under the name now: nothing of ours to remove
    return Removal::kNone;
  }
  const FileFacts before = held.file.Describe();
  const int error =
      platform_.RemoveOpenIn(folder_, held.name, held.file.handle(), held.identity, AsRead(held));
  if (error == kFileChanged) throw ChangedWhileRead(held.verb, held.name);
  if (error != 0 && error != kOtherFile) {
    throw ErrorHandler(Error::kDeleteFailed, "Unable to delete " + shown + " (Read only file?)");
  }
  if (error == kOtherFile) {
    say("[OK] \r\n", Verbosity::kHousekeeping);
    return Removal::kNone;
  }
  if (&held == source_.get()) source_state_ = SourceState::kGone;
  if (before.links > 1) {
    sink_.Problem(WarningLine(Error::kOtherLinks,
                              shown + " has other links: removed without being overwritten, "
                                      "since its data stays reachable through them."));
    say("[OK] \r\n", Verbosity::kHousekeeping);
    return Removal::kRemoved;
  }
  held.file.set_size(before.size);
  if (before.size == 0) say("(0 byte) ", Verbosity::kHousekeeping);
  if (!quiet) sink_.Progress(0, Verbosity::kHeadline);
  if (!Overwrite(held, shown)) return Removal::kRemoved;
  say("[OK] \r\n", Verbosity::kHousekeeping);
  return Removal::kOverwritten;
}

// The name is gone, so nothing can be undone: a wipe that fails then (a full disk, a device
// error) leaves the file's own work done, and is said as what it is.
bool FileTransaction::Overwrite(Held& held, const std::string& shown) {
  try {
    Wipe(held.file, sink_, policy_.passes);
    return true;
  } catch (const ErrorHandler& failure) {
    if (IsInterruption(failure)) throw;
    sink_.Problem(WarningLine(Error::kWipeFailed,
                              shown + " is removed, but overwriting its data failed: " +
                                  failure.Message() + " (" + std::to_string(failure.code) + ")"));
    return false;
  }
}

}  // namespace corvalin
