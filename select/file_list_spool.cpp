#include "select/file_list_spool.h"

#include <algorithm>

#include "select/file_enumerator.h"
#include "select/my_finder.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/interruption.h"
#include "support/work_buffer.h"

namespace corvalin {

std::uint32_t ReadLine(DiskFile& list, std::string& line) {
  const std::uint32_t start = list.Seek(0, 1);
  line.clear();
  WorkBuffer window(kListLineWindow);
  for (;;) {
    const std::uint32_t got = list.Read(kListLineWindow, window.chars());
    if (got == 0) {
      if (line.empty()) return 0;
      throw ErrorHandler(0, "Unable to find EOL in file '" + list.path() + "'");
    }
    const char* begin = window.chars();
    const char* feed = std::find(begin, begin + got, '\n');
    line.append(begin, feed);
    if (feed != begin + got) break;
  }
  const auto length = static_cast<std::uint32_t>(line.size());
  list.Seek(static_cast<std::int32_t>(start + length + 1), 0);
  return length + 1;
}

void CheckList(DiskFile& list, std::size_t lines) {
  list.Seek(0, 0);
  std::size_t count = 0;
  try {
    std::string line;
    while (ReadLine(list, line) != 0) ++count;
  } catch (const ErrorHandler&) {
    count = lines + 1;
  }
  if (count != lines) {
    throw ErrorHandler(-41, "Unable to read the list file " + list.path() + " back whole.");
  }
  list.Seek(0, 0);
}

void RunList(DiskFile& list, MyCFileFind& finder, const Selection* selection) {
  std::string line;
  for (std::size_t index = 0; ReadLine(list, line) != 0; ++index) {
    StopIfInterrupted(list.platform());
    FileEnumerator entry(list.platform());
    // A file that is gone, or is no longer a file, is passed over without a word.
    if (!entry.Start(line, true)) continue;
    entry.Next();
    if (entry.IsFolderEntry()) continue;
    if (selection != nullptr && index < selection->size()) entry.set_selected(&(*selection)[index]);
    finder.Found(entry);
  }
}

}  // namespace corvalin
