#include "select/my_finder.h"

#include "app/my_object.h"
#include "platform/path.h"
#include "select/file_enumerator.h"
#include "support/error_handler.h"
#include "support/interruption.h"
#include "support/my_c_string.h"
#include "support/working_names.h"

namespace corvalin {

void MyFinder::Found(FileEnumerator& entry) {
  processor.process(entry);
  if (processor.succeeded()) {
    bytes_done += processor.result_size();
    ++files_done;
    if (selection != nullptr) selection->push_back({entry.EntryIdentity(), root_length_});
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
  if (argument.empty()) throw ErrorHandler(-27, "File or folder argument is empty.");
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
  const std::size_t last = LastSeparator(argument);
  const std::string typed =
      last == std::string::npos ? std::string(".") : argument.substr(0, last + 1);
  mask = last == std::string::npos ? argument : argument.substr(last + 1);
  Begin(platform_.FullPath(typed));
  Walk(pattern);
}

void MyFinder::Begin(std::string folder) {
  if (folder.empty() || folder.back() != kSeparator) folder += kSeparator;
  root_length_ = folder.size();
  pattern = folder + "*";
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
      if (recursive) Walk(search.EntryPath() + kSeparator + "*");
      continue;
    }
    // The folder's working files and the run's own list and log are the run's, whatever
    // pattern would take them.
    if (IsWorkingName(search.EntryName()) || IsOwnFile(search)) continue;
    if (!matches) continue;
    ++matched;
    if (!skip_repeats || found_paths_.insert(search.EntryPath()).second) Found(search);
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
  ++errors;
  processor.error_count = static_cast<std::int32_t>(errors);
  processor.PassedOver(ErrorHandler(error, "Unable to search " + path));
}

}  // namespace corvalin
