#include "select/file_list_spool.h"

#include <algorithm>

#include "select/file_enumerator.h"
#include "select/my_finder.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/work_buffer.h"

namespace corvalin {

std::uint32_t ReadLine(DiskFile& list, std::string& line) {
  const std::uint32_t start = list.Seek(0, 1);
  WorkBuffer window(kListLineWindow);
  const std::uint32_t got = list.Read(kListLineWindow, window.chars());
  if (got == 0) {
    line.clear();
    return 0;
  }
  const char* begin = window.chars();
  const char* end = begin + got;
  const char* feed = std::find(begin, end, '\n');
  if (feed == end) throw ErrorHandler(0, "Unable to find EOL in file '" + list.path() + "'");
  line.assign(begin, feed);
  const auto length = static_cast<std::uint32_t>(line.size());
  list.Seek(static_cast<std::int32_t>(start + length + 1), 0);
  return length + 1;
}

void RunList(DiskFile& list, MyCFileFind& finder) {
  std::string line;
  while (ReadLine(list, line) != 0) {
    FileEnumerator entry(list.platform());
    // A file that is gone, or is no longer a file, is passed over without a word.
    if (!entry.Start(line, true)) continue;
    entry.Next();
    if (!entry.IsFolderEntry()) finder.Found(entry);
    entry.End();
  }
}

}  // namespace corvalin
