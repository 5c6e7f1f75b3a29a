#include "process/file_transaction.h"

#include "support/error_handler.h"
#include "support/my_stream.h"
#include "support/secure_wipe.h"
#include "support/working_names.h"

namespace corvalin {
namespace {

constexpr std::uint32_t kPrivate = 0600;
constexpr std::uint32_t kReadWriteExecute = 0777;

const char* WorkingName(WorkingFile which) {
  return which == WorkingFile::kCipher ? kTempFileName : kSecondTempFileName;
}

}  // namespace

FileTransaction::FileTransaction(Platform& platform, MyStream& sink, const RemovalPolicy& policy,
                                 const Folder& folder)
    : platform_(platform), sink_(sink), policy_(policy), folder_(folder) {}

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
  held->name = WorkingName(which);
  try {
    held->file.OpenIn(OpenMode::kReadWrite, folder_, held->name);
    const FileFacts facts = held->file.opened_facts();
    // Another user's file, or one with a second name, is never written into or emptied.
    if (!facts.owned || facts.links != 1) throw failure;
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

std::optional<FileIdentity> FileTransaction::Publish(WorkingFile which, const std::string& name,
                                                     const FileIdentity* replacing) {
  std::unique_ptr<Held>& slot = working_[Index(which)];
  Held& held = *slot;
  held.file.Flush();
  // The output is dated by the data it holds, not by the run that made it: a container keeps
  // its source's time, and a restored file gets it back. A file system that refuses leaves
  // the output whole all the same.
  platform_.SetTimes(held.file.handle(), source_facts_.accessed, source_facts_.modified);
  const bool in_place =
      replacing != nullptr && source_ != nullptr && *replacing == source_->identity;
  held.replaced_another = replacing != nullptr && !in_place;
  // In place the output takes the source's name, and with it the source: the same test as
  // before a removal, while the source is still there to keep.
  if (in_place) RefuseChangedSource("replace");
  if (!platform_.ReplacesOpenFiles()) ReleaseSourceUnder(name);
  const int error = platform_.RenameIn(folder_, held.name, name, replacing);
  if (error == kNameTaken || error == kOtherFile) {
    held.replaced_another = false;
    return std::nullopt;
  }
  if (error != 0) {
    throw ErrorHandler(Error::kRenameFailed, "Unable to move '" + folder_.path + held.name +
                                                 "' to '" + folder_.path + name + "'");
  }
  held.name = name;
  // Only once it has left the working name: a run killed before the rename must leave a
  // working file the next run can still open and take over.
  platform_.SetPermissions(held.file.handle(), source_facts_.permissions & kReadWriteExecute);
  const FileIdentity identity = held.identity;
  outputs_.push_back(std::move(slot));
  if (platform_.FlushFolder(folder_) != 0) {
    throw ErrorHandler(Error::kWriteFailed,
                       "Unable to write file " + folder_.path + name + "(disk full?)");
  }
  return identity;
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
  if (now.size != source_facts_.size || now.modified != source_facts_.modified) {
    throw ErrorHandler(Error::kChangedWhileRead, "Unable to " + std::string(verb) + " " +
                                                     folder_.path + source.name +
                                                     " because it changed while it was read.");
  }
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

void FileTransaction::DeleteAndWipe(Held& held, const std::string& shown, bool quiet) {
  if (policy_.force_normal_attributes && NameShows(held)) {
    platform_.SetNormalAttributesIn(folder_, held.name, held.file.handle());
  }
  if (policy_.wipe) {
    DeleteThenOverwrite(held, shown, quiet);
  } else {
    Delete(held, shown, quiet);
  }
  held.file.Close();
}

void FileTransaction::Delete(Held& held, const std::string& shown, bool quiet) {
  const int error = platform_.RemoveIn(folder_, held.name, held.identity);
  if (error == kOtherFile) return;  // the name shows another file, or none: not ours to say
  if (&held == source_.get() && error == 0) source_state_ = SourceState::kGone;
  if (!quiet) sink_.Write("Delete " + shown + " ", Verbosity::kHousekeeping);
  if (error != 0 && error != kOtherFile) {
    throw ErrorHandler(Error::kDeleteFailed, "Unable to delete " + shown + " (Read only file?)");
  }
  if (!quiet) sink_.Write("[OK] \r\n", Verbosity::kHousekeeping);
}

// The name goes first and the data is overwritten after, through the run's own handle: a file
// that cannot be removed is never overwritten, and a run stopped in the middle leaves nothing
// half overwritten under the user's name.
void FileTransaction::DeleteThenOverwrite(Held& held, const std::string& shown, bool quiet) {
  const auto say = [&](const std::string& text, Verbosity level) {
    if (!quiet) sink_.Write(text, level);
  };
  say("Wipe (lev=" + std::to_string(policy_.passes) + ") " + shown + " ", Verbosity::kHousekeeping);
  if (!OpenForWipe(held)) {
    say("[OK] \r\n",
        Verbosity::kHousekeeping);  // another file under the name now: nothing of ours to remove
    return;
  }
  const FileFacts before = held.file.Describe();
  const int error = platform_.RemoveOpenIn(folder_, held.name, held.file.handle(), held.identity);
  if (error != 0 && error != kOtherFile) {
    throw ErrorHandler(Error::kDeleteFailed, "Unable to delete " + shown + " (Read only file?)");
  }
  if (error == 0) {
    if (&held == source_.get()) source_state_ = SourceState::kGone;
    if (before.links > 1) {
      sink_.Write("\r\n" +
                      WarningLine(Error::kOtherLinks,
                                  shown + " has other links: removed without being overwritten, "
                                          "since its data stays reachable through them.") +
                      "\r\n",
                  Verbosity::kError);
    } else {
      held.file.set_size(before.size);
      if (before.size == 0) say("(0 byte) ", Verbosity::kHousekeeping);
      if (!quiet) sink_.Progress(0, Verbosity::kHeadline);
      Wipe(held.file, sink_, policy_.passes);
    }
  }
  say("[OK] \r\n", Verbosity::kHousekeeping);
}

}  // namespace corvalin
