// The list file that separates finding from processing: one absolute path and a line feed per
// found file, read back line by line in the second pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "select/selection.h"

namespace corvalin {

class DiskFile;
class MyCFileFind;

// How much of the list one read takes; a longer line takes several.
#ifdef _WIN32
inline constexpr std::uint32_t kListLineWindow = 1024;
#else
inline constexpr std::uint32_t kListLineWindow = 4096;
#endif

// Reads one line of any length without its line feed, and leaves the list right after that
// line feed; returns the bytes consumed (length + 1), 0 at the end. Raises "Unable to find EOL
// in file '...'" for a last line without its line feed.
std::uint32_t ReadLine(DiskFile& list, std::string& line);

// Reads the whole list once, before anything is processed: one that does not read back as
// `lines` whole lines would leave files unprocessed behind a clean summary. Raises -41.
void CheckList(DiskFile& list, std::size_t lines);

// Hands every listed file that still exists to the finder, in list order, each with what the
// first pass recorded of it in `selection` (when given), so that the processor can refuse a
// file that is no longer the one selected.
void RunList(DiskFile& list, MyCFileFind& finder, const Selection* selection = nullptr);

}  // namespace corvalin
