#include "select/my_finder.h"

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
  processor.process(entry);
  if (processor.succeeded()) {
    bytes_done += processor.result_size();
    ++files_done;
    if (selection != nullptr) selection->push_back({entry.EntryIdentity(), root_length_, root_});
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

void MyFinder::Search(const std::string& argument) {
  if (argument.empty())
    throw ErrorHandler(Error::kEmptyArgument, "File or folder argument is empty.");
  if (FirstWildcard(argument) == std::string::npos) {
    std::string folder;
    if (IsFolder(argument, folder)) {
      mask = "*";
      Begin(folder);
      Walk(pattern);
      return;
    }
    if (argument.back() == kSeparator) return;  // it names a folder, and there is none
  }
  // "Z:name" (Windows) names a file in that drive's current folder.
  const std::size_t start = NameStart(argument);
  const std::string typed = start == 0 ? std::string(".") : argument.substr(0, start);
  mask = argument.substr(start);
  Begin(platform_.FullPath(typed));
  Walk(pattern);
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

void MyFinder::Walk(const std::string& folder_pattern) {
  FileEnumerator search(platform_);
  if (!search.Start(folder_pattern)) {
    if (search.StartError() != 0) PassOver(FolderPart(folder_pattern), search.StartError());
    return;
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
        Walk(search.EntryPath() + kSeparator + "*");
      }
      continue;
    }
    // The folder's working files and the run's own list and log are the run's, whatever
    // pattern would take them.
    if (IsWorkingName(search.EntryName()) || IsOwnFile(search)) continue;
    if (!matches) continue;
    ++matched;
    if (skip_repeats && !found_paths_.insert(search.EntryPath()).second) continue;
    // Never listed: the second pass would find another file under it, or a device, or none.
    if (auto refused = UnreachableName(search.EntryPath(), "process")) {
      PassOver(*refused);
      continue;
    }
    Found(search);
  }
  // Files may lie beyond the entries that could be read: they would stay as they are unseen.
  if (search.ReadError() != 0) PassOver(FolderPart(folder_pattern), search.ReadError());
  search.End();
}

bool MyFinder::IsOwnFile(const FileEnumerator& entry) const {
  const bool known = !(entry.EntryIdentity() == FileIdentity{});
  for (const OwnFile& own : own_files) {
    if (known ? entry.EntryIdentity() == own.identity : SamePath(entry.EntryPath(), own.path)) {
      return true;
    }
  }
  return false;
}

void MyFinder::PassOver(const std::string& path, int error) {
  PassOver(ErrorHandler(error, "Unable to search " + path));
}

void MyFinder::PassOver(const ErrorHandler& why) {
  ++errors;
  processor.error_count = static_cast<std::int32_t>(errors);
  processor.PassedOver(why);
}

}  // namespace corvalin
