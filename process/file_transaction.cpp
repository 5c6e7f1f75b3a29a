#include "process/file_transaction.h"

#include "platform/path.h"
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

FileTransaction::FileTransaction(Platform& platform, MyStream& sink, const RemovalPolicy& policy)
    : platform_(platform), sink_(sink), policy_(policy) {}

FileTransaction::~FileTransaction() {
  for (std::unique_ptr<Held>& held : working_) {
    if (held == nullptr) continue;
    try {
      DeleteAndWipe(*held, held->path, true);
    } catch (const ErrorHandler&) {
      // Left for the next run, which takes working files over.
    }
  }
}

DiskFile& FileTransaction::OpenSource(const std::string& path) {
  source_ = std::make_unique<Held>(platform_);
  source_->path = path;
  source_->file.Open(0, path);
  source_facts_ = source_->file.Describe();
  source_->identity = source_facts_.identity;
  return source_->file;
}

DiskFile& FileTransaction::OpenWorking(const std::string& folder, WorkingFile which,
                                       const ErrorHandler& failure) {
  auto held = std::make_unique<Held>(platform_);
  held->path = folder + WorkingName(which);
  try {
    held->file.Open(2, held->path);
    const FileFacts facts = held->file.Describe();
    // Another user's file, or one with a second name, is never written into or emptied.
    if (!facts.owned || facts.links != 1) throw failure;
    held->identity = facts.identity;
    if (facts.size > 0) {
      // A killed run's leftover may hold plain text.
      if (policy_.wipe) Wipe(held->file, sink_, policy_.passes);
      if (platform_.Truncate(held->file.handle()) != 0) throw failure;
      held->file.set_size(0);
    }
    if ((facts.permissions & kReadWriteExecute) != kPrivate &&
        platform_.SetPermissions(held->file.handle(), kPrivate) != 0) {
      throw failure;
    }
  } catch (const ErrorHandler&) {
    throw failure;
  }
  working_[Index(which)] = std::move(held);
  return working(which);
}

void FileTransaction::Publish(WorkingFile which, const std::string& target) {
  std::unique_ptr<Held>& slot = working_[Index(which)];
  Held& held = *slot;
  held.file.Flush();
  FileFacts there;
  held.replaced_another = platform_.DescribePath(target, there) == 0 &&
                          !(source_ != nullptr && there.identity == source_->identity);
  if (!platform_.ReplacesOpenFiles()) ReleaseSourceUnder(target);
  if (platform_.Rename(held.path, target) != 0) {
    throw ErrorHandler(-12, "Unable to move '" + held.path + "' to '" + target + "'");
  }
  held.path = target;
  // Only once it has left the working name: a run killed before the rename must leave a
  // working file the next run can still open and take over.
  platform_.SetPermissions(held.file.handle(), source_facts_.permissions & kReadWriteExecute);
  outputs_.push_back(std::move(slot));
  if (platform_.FlushFolder(FolderPart(target)) != 0) {
    throw ErrorHandler(-2, "Unable to write file " + target + "(disk full?)");
  }
}

void FileTransaction::Discard(WorkingFile which, const std::string& shown, bool quiet) {
  std::unique_ptr<Held>& slot = working_[Index(which)];
  if (slot == nullptr) return;
  DeleteAndWipe(*slot, shown, quiet);
  slot.reset();
}

void FileTransaction::RemoveSource(std::string_view verb) {
  Held& source = *source_;
  const FileFacts now = source.file.IsOpen() ? source.file.Describe() : released_facts_;
  if (now.size != source_facts_.size || now.modified != source_facts_.modified) {
    throw ErrorHandler(-37, "Unable to " + std::string(verb) + " " + source.path +
                                " because it changed while it was read.");
  }
  // An output took the name (an encryption in place), or another run did: the source is no
  // longer under it, and nothing of it is left to remove.
  if (!NameShows(source)) {
    source_state_ = SourceState::kGone;
    return;
  }
  DeleteAndWipe(source, source.path, false);
  source_state_ = SourceState::kGone;
}

void FileTransaction::UndoOutputs() {
  if (!SourceIntact()) return;
  while (!outputs_.empty()) {
    Held& output = *outputs_.back();
    if (!output.replaced_another) DeleteAndWipe(output, output.path, false);
    outputs_.pop_back();
  }
}

bool FileTransaction::NameShows(const Held& held) {
  FileFacts named;
  return platform_.DescribePath(held.path, named) == 0 && named.identity == held.identity;
}

void FileTransaction::ReleaseSourceUnder(const std::string& target) {
  if (source_ == nullptr || !source_->file.IsOpen()) return;
  FileFacts named;
  if (platform_.DescribePath(target, named) != 0 || !(named.identity == source_->identity)) return;
  released_facts_ = source_->file.Describe();
  source_->file.Close();
}

bool FileTransaction::SourceIntact() {
  return source_ != nullptr && source_state_ == SourceState::kIntact && NameShows(*source_);
}

void FileTransaction::DeleteAndWipe(Held& held, const std::string& shown, bool quiet) {
  const auto say = [&](const std::string& text, int level) {
    if (!quiet) sink_.Write(text, level);
  };
  if (policy_.force_normal_attributes && NameShows(held)) platform_.SetNormalAttributes(held.path);
  if (policy_.wipe) {
    say("Wipe (lev=" + std::to_string(policy_.passes) + ") " + shown + " ", 4);
    // The source is held for reading only: it is opened again to be overwritten.
    if (!held.file.IsOpen() || held.file.mode() == 0) {
      held.file.Close();
      held.file.Open(3, held.path);
    }
    const FileFacts facts = held.file.Describe();
    if (!(facts.identity == held.identity)) {
      held.file.Close();  // another file under the name now: not ours to overwrite
    } else if (facts.links > 1) {
      sink_.Write("\r\n>>> WARNING(-38): " + shown +
                      " has other links: removed without being overwritten, since its data "
                      "stays reachable through them.\r\n",
                  2);
    } else {
      held.file.set_size(facts.size);
      if (facts.size == 0) say("(0 byte) ", 4);
      if (!quiet) sink_.Progress(0, 1);
      if (&held == source_.get()) source_state_ = SourceState::kOverwritten;
      Wipe(held.file, sink_, policy_.passes);
    }
  } else {
    say("Delete " + shown + " ", 4);
  }
  // Still held: closed first, an overwritten file could be opened by another run in between,
  // fail the removal, and stay under the user's name with nothing but the wipe patterns in it.
  const int error = platform_.RemoveIfSame(held.path, held.identity);
  if (error != 0 && error != kOtherFile) {
    throw ErrorHandler(-4, "Unable to delete " + shown + " (Read only file?)");
  }
  held.file.Close();
  say("[OK] \r\n", 4);
}

}  // namespace corvalin
