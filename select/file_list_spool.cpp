#include "select/file_list_spool.h"

#include <algorithm>

#include "select/file_enumerator.h"
#include "select/my_finder.h"
#include "support/disk_file.h"
#include "support/error_handler.h"
#include "support/interruption.h"
#include "support/work_buffer.h"

namespace corvalin {

namespace {

constexpr std::size_t kListPiece = 65536;

}  // namespace

ListReader::ListReader(DiskFile& list) : list_(list), piece_(kListPiece) {}

std::uint32_t ListReader::ReadLine(std::string& line) {
  line.clear();
  for (;;) {
    if (begin_ == end_) {
      begin_ = 0;
      end_ = list_.ReadAt(offset_, static_cast<std::uint32_t>(piece_.size()), piece_.data());
      offset_ += end_;
      if (end_ == 0) {
        if (line.empty()) return 0;
        throw ErrorHandler(0, "Unable to find EOL in file '" + list_.path() + "'");
      }
    }
    const char* begin = piece_.chars() + begin_;
    const char* end = piece_.chars() + end_;
    const char* feed = std::find(begin, end, '\n');
    line.append(begin, feed);
    begin_ = static_cast<std::size_t>(feed - piece_.chars());
    if (feed != end) {
      ++begin_;
      return static_cast<std::uint32_t>(line.size() + 1);
    }
  }
}

void CheckList(DiskFile& list, std::size_t lines) {
  std::size_t count = 0;
  try {
    ListReader reader(list);
    std::string line;
    while (reader.ReadLine(line) != 0) ++count;
  } catch (const ErrorHandler&) {
    count = lines + 1;
  }
  if (count != lines) {
    throw ErrorHandler(Error::kListNotWhole,
                       "Unable to read the list file " + list.path() + " back whole.");
  }
}

void RunList(DiskFile& list, MyCFileFind& finder, const Selection* selection) {
  ListReader reader(list);
  std::string line;
  for (std::size_t index = 0; reader.ReadLine(line) != 0; ++index) {
    StopIfInterrupted(list.platform());
    FileEnumerator entry(list.platform());
    // A file that is gone, or is no longer a file, is passed over without a word.
    if (!entry.Start(line, true)) continue;
    entry.Next();
    if (entry.IsFolderEntry()) continue;
    if (selection != nullptr && index < selection->size()) entry.set_selected(selection->At(index));
    finder.Found(entry);
  }
}

}  // namespace corvalin
