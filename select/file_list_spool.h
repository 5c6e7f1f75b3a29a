// The list file that separates finding from processing: one absolute path and a line feed per
// found file, read back line by line in the second pass.
#pragma once

#include <cstdint>
#include <string>

namespace corvalin {

class DiskFile;
class MyCFileFind;

// The read window, which bounds a line with its line feed. Windows never finds a path longer
// than its 260-byte search limit; POSIX paths reach PATH_MAX, and every one must read back.
#ifdef _WIN32
inline constexpr std::uint32_t kListLineWindow = 1024;
#else
inline constexpr std::uint32_t kListLineWindow = 4096;
#endif

// Reads one line without its line feed; returns the bytes consumed (length + 1), 0 at the end.
// Raises "Unable to find EOL in file '...'" for a line that does not fit the window.
std::uint32_t ReadLine(DiskFile& list, std::string& line);

// Hands every listed file that still exists to the finder, in list order.
void RunList(DiskFile& list, MyCFileFind& finder);

}  // namespace corvalin
