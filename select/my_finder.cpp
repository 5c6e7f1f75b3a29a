#include "select/my_finder.h"

#include <cerrno>

#include "platform/path.h"
#include "select/file_enumerator.h"
#include "select/my_object.h"
#include "support/error_handler.h"
#include "support/interruption.h"
#include "support/my_c_string.h"
#include "support/unreachable_name.h"
#include "support/working_names.h"

namespace corvalin {

void MyFinder::Found(FileEnumerator& entry) {
  try {
    processor.process(entry);
  } catch (const ErrorHandler&) {
    // Stopped on this file: it counts only if it was done all the same.
    if (processor.succeeded()) Count(entry);
    throw;
  }
  Count(entry);
}

void MyFinder::Count(const FileEnumerator& entry) {
  if (processor.counted_with_another()) return;
  if (processor.succeeded()) {
    bytes_done += processor.result_size();
    ++files_done;
    if (selection != nullptr) {
      selection->Add(entry.EntryIdentity(), entry.EntryPath(), {root_length_, root_});
    }
  } else {
    ++errors;
    processor.error_count = static_cast<std::int32_t>(errors);
  }
}

bool MyFinder::IsFolder(const std::string& name, std::string& path) {
  if (!platform_.FolderExists(name)) return false;
  path = platform_.FullPath(name);
  return true;
}

void MyFinder::Search(const std::string& typed) {
  if (typed.empty()) throw ErrorHandler(Error::kEmptyArgument, "File or folder argument is empty.");
  // Messages quote the argument as the user typed it.
  const std::string argument = WithNativeSeparators(typed);
  if (FirstWildcard(argument) != std::string::npos) {
    // "Z:name" (Windows) names a file in that drive's current folder.
    const std::size_t start = NameStart(argument);
    mask = argument.substr(start);
    Begin(platform_.FullPath(start == 0 ? std::string(".") : argument.substr(0, start)));
    Walk(pattern);
    return;
  }
  std::string folder;
  if (IsFolder(argument, folder)) {
    mask = "*";
    Begin(folder);
    Walk(pattern);
    return;
  }
  // CON, NUL.txt and the like name a device in every folder on Windows, never a file.
  if (ReachOf(argument) == NameReach::kDeviceName) {
    PassOver(*UnreachableName(argument, "process"));
    return;
  }
  const std::uint32_t matched_before = matched, errors_before = errors;
  FileFacts named;
  const int looked = platform_.DescribePath(argument, named);
  // A trailing separator names a folder, and there is none: nothing to walk.
  if (argument.back() != kSeparator) SearchName(argument, typed, looked == 0 ? &named : nullptr);
  // A plain name that selects nothing, and was not said to be left out, is most likely
  // mistyped: it is named, so that a user or a script learns of it.
  if (matched != matched_before || errors != errors_before) return;
  if (looked == 0 && named.regular) {
    // Found, but not taken: a working name (the run's own log and list are not the user's).
    if (IsWorkingName(FileNamePart(argument)) || IsWorkingName(mask)) {
      PassOver(ErrorHandler(Error::kLeftOut, "Unable to process " + typed +
                                                 " because its name is reserved for the "
                                                 "working files of a run."));
    }
    return;
  }
  const int error = looked != 0 ? looked : ENOENT;
  Say(ErrorHandler(error, "Unable to find " + typed + " (" + platform_.ErrorText(error) + ")"),
      kShellConventions);
}

void MyFinder::SearchName(const std::string& argument, const std::string& typed,
                          const FileFacts* named) {
  // Links, FIFOs, sockets and devices are never files to the run; named, they are said.
  if (named != nullptr && !named->regular) {
    PassOver(
        ErrorHandler(Error::kLeftOut, "Unable to process " + typed +
                                          (named->link ? " because it is a symbolic link."
                                                       : " because it is not a regular file.")));
  }
  const std::size_t start = NameStart(argument);
  Begin(platform_.FullPath(start == 0 ? std::string(".") : argument.substr(0, start)));
  // The walk meets names as the folder lists them, and a file may be named otherwise: by its
  // short 8.3 name on Windows. The name it is listed under is the one looked for then, unless
  // the platform could not give it exactly. (Letter case is the mask's to match, -c or not.)
  FileEnumerator file(platform_);
  const bool listed = named != nullptr && named->regular && file.Start(argument, true);
  if (listed) file.Next();
  mask = argument.substr(start);
  if (listed && IsExactName(file.EntryName()) && !SamePath(file.EntryName(), mask)) {
    mask = file.EntryName();
  }
  // A file needs only search permission on its folder: when the folder cannot be listed, the
  // named file is taken as it is, and the folder is said where the walk had more to find in it
  // (a name that may stand for another in letter case, the subfolders of -r) or where the file
  // could not be reached either.
  if (!Walk(pattern, !listed || recursive) && listed) Consider(file);
}

void MyFinder::Begin(std::string folder) {
  if (folder.empty() || folder.back() != kSeparator) folder += kSeparator;
  root_length_ = folder.size();
  pattern = folder + "*";
  // Where the typed path leads now; the second pass must find the same folder there.
  root_ = FileIdentity{};
  if (selection == nullptr) return;
  Folder root;
  if (platform_.OpenFolder(folder, folder.size(), root) == 0) root_ = root.reached;
  platform_.CloseFolder(root);
}

bool MyFinder::Walk(const std::string& folder_pattern, bool say_unlistable) {
  FileEnumerator search(platform_);
  if (!search.Start(folder_pattern)) {
    if (search.StartError() != 0 && say_unlistable) {
      PassOver(FolderPart(folder_pattern), search.StartError());
    }
    return false;
  }
  bool more = true;
  while (more) {
    StopIfInterrupted(platform_);
    more = search.Next();
    if (search.IsDotEntry()) continue;
    const MyCString name(search.EntryName(), case_sensitive);
    const bool matches = name.Match(mask.c_str(), name.c_str());
    if (search.EntryError() != 0) {
      // It may be a file the user asked for, or a folder holding some: say so.
      if (matches || recursive) PassOver(search.EntryPath(), search.EntryError());
      continue;
    }
    if (search.IsFolderEntry()) {
      if (!recursive) continue;
      // A folder reached under another name would be searched in another folder's place.
      if (auto refused = UnreachableName(search.EntryPath(), "search")) {
        PassOver(*refused);
      } else {
        // Deep down, the folders above are let go of: a tree of any depth is walked with a
        // few folders open.
        if (++depth_ > kFoldersHeldOpen) search.Detach();
        Walk(search.EntryPath() + kSeparator + "*");
        --depth_;
      }
      continue;
    }
    // A working name in a folder the run searches is a stopped run's leftover (or another
    // run's working file, which the removal leaves to it), whatever the pattern.
    if (IsWorkingName(search.EntryName())) {
      if (leftovers != nullptr) leftovers->push_back({search.EntryPath(), root_length_, root_});
      continue;
    }
    if (matches) Consider(search);
  }
  // Files may lie beyond the entries that could be read: they would stay as they are unseen.
  if (search.ReadError() != 0) PassOver(FolderPart(folder_pattern), search.ReadError());
  search.End();
  return true;
}

void MyFinder::Consider(FileEnumerator& entry) {
  // The folder's working files and the run's own list and log are the run's, whatever
  // pattern would take them.
  if (IsWorkingName(entry.EntryName()) || IsOwnFile(entry)) return;
  ++matched;
  if (skip_repeats && !found_paths_.insert(entry.EntryPath()).second) return;
  // Never listed: the second pass would find another file under it, or a device, or none.
  if (auto refused = UnreachableName(entry.EntryPath(), "process")) {
    PassOver(*refused);
    return;
  }
  Found(entry);
}

void MyFinder::AddOwnFile(const std::string& path, const FileIdentity& identity) {
  OwnFile own{identity, FileNamePart(path)};
  FileEnumerator entry(platform_);
  if (entry.Start(path, true)) {
    entry.Next();
    own.name = entry.EntryName();
    // Where the search tells no identity, the files it meets are asked by their paths, and so
    // is this one: what a handle tells may differ (wine gives a file renamed while it is held
    // open the volume serial number 0).
    FileFacts facts;
    if (entry.EntryIdentity() == FileIdentity{} && platform_.DescribePath(path, facts) == 0) {
      own.identity = facts.identity;
    }
  }
  own_files_.push_back(std::move(own));
}

bool MyFinder::IsOwnFile(const FileEnumerator& entry) {
  if (!(entry.EntryIdentity() == FileIdentity{})) {
    for (const OwnFile& own : own_files_) {
      if (entry.EntryIdentity() == own.identity) return true;
    }
    return false;
  }
  // The platform's search tells no identity (Windows): a file listed under the name of one of
  // the run's own is asked who it is, whatever path led to it (relative, ".\", another letter
  // case, a short name).
  for (const OwnFile& own : own_files_) {
    FileFacts facts;
    if (SamePath(entry.EntryName(), own.name) &&
        platform_.DescribePath(entry.EntryPath(), facts) == 0 && facts.identity == own.identity) {
      return true;
    }
  }
  return false;
}

void MyFinder::PassOver(const std::string& path, int error) {
  PassOver(
      ErrorHandler(error, "Unable to search " + path + " (" + platform_.ErrorText(error) + ")"));
}

void MyFinder::PassOver(const ErrorHandler& why) {
  Say(why, true);
}

void MyFinder::Say(const ErrorHandler& why, bool counted) {
  if (counted) {
    ++errors;
    processor.error_count = static_cast<std::int32_t>(errors);
  }
  processor.PassedOver(why);
}

}  // namespace corvalin
