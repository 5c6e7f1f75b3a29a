// The list file that separates finding from processing: one absolute path and a line feed per
// found file, read back line by line in the second pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "select/selection.h"
#include "support/work_buffer.h"

namespace corvalin {

class DiskFile;
class MyCFileFind;

// Reads the list's lines from its start, whatever its position, a large piece at a time: one
// pass over the list costs a system call per piece, not three per line.
class ListReader {
 public:
  explicit ListReader(DiskFile& list);
  // Reads one line of any length without its line feed; returns the bytes consumed (length
  // + 1), 0 at the end. Raises "Unable to find EOL in file '...'" for a last line without its
  // line feed.
  std::uint32_t ReadLine(std::string& line);

 private:
  DiskFile& list_;
  WorkBuffer piece_;
  std::uint64_t offset_ = 0;  // of the piece's end in the list
  std::size_t begin_ = 0, end_ = 0;
};

// Reads the whole list once, before anything is processed: one that does not read back as
// `lines` whole lines would leave files unprocessed behind a clean summary. Raises -41.
void CheckList(DiskFile& list, std::size_t lines);

// Hands every listed file that still exists to the finder, in list order, each with what the
// first pass recorded of it in `selection` (when given), so that the processor can refuse a
// file that is no longer the one selected.
void RunList(DiskFile& list, MyCFileFind& finder, const Selection* selection = nullptr);

}  // namespace corvalin
