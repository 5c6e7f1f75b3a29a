#include "select/my_finder.h"

#include "app/my_object.h"
#include "platform/path.h"
#include "select/file_enumerator.h"
#include "support/error_handler.h"
#include "support/my_c_string.h"
#include "support/working_names.h"

namespace corvalin {

void MyFinder::Found(FileEnumerator& entry) {
  processor.process(entry);
  if (processor.succeeded()) {
    bytes_done += processor.result_size();
    ++files_done;
  } else {
    ++errors;
    processor.error_count = static_cast<std::int32_t>(errors);
  }
}

bool MyFinder::IsFolder(const std::string& name, std::string& path) {
  if (name == "." || name == "..") {
    path = name;
    return true;
  }
  FileEnumerator search(platform_);
  if (!search.Start(name, true)) return false;
  search.Next();
  if (!search.IsFolderEntry()) return false;
  path = search.EntryPath();
  return true;
}

void MyFinder::Search(const std::string& argument) {
  if (argument.empty()) throw ErrorHandler(-27, "File or folder argument is empty.");
  if (FirstWildcard(argument) == std::string::npos) {
    std::string folder;
    const std::string candidate = IsFolder(argument, folder) ? folder + kSeparator : argument;
    if (candidate.back() == kSeparator) {
      pattern = candidate + "*";
      mask = "*";
      Walk(pattern);
      return;
    }
  }
  const std::size_t last = LastSeparator(argument);
  if (last == std::string::npos) {
    pattern = "*";
    mask = argument;
  } else {
    pattern = argument.substr(0, last + 1) + "*";
    mask = argument.substr(last + 1);
  }
  Walk(pattern);
}

void MyFinder::Walk(const std::string& folder_pattern) {
  FileEnumerator search(platform_);
  if (!search.Start(folder_pattern)) return;
  bool more = true;
  while (more) {
    more = search.Next();
    if (search.IsDotEntry()) continue;
    if (search.IsFolderEntry()) {
      if (recursive) Walk(search.EntryPath() + kSeparator + "*");
      continue;
    }
    // The folder's working files are the run's own, whatever pattern would take them.
    if (IsWorkingName(search.EntryName())) continue;
    const MyCString name(search.EntryName(), case_sensitive);
    if (name.Match(mask.c_str(), name.c_str())) Found(search);
  }
  search.End();
}

}  // namespace corvalin
