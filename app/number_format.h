// The texts of counts, byte totals and dates in the log header and the summary.
#pragma once

#include <cstdint>
#include <string>

namespace corvalin {

class Platform;

// Apostrophes between groups of three digits counted from the units; a fraction is kept whole.
std::string GroupDigits(const std::string& number);
std::string FormatCount(std::uint32_t count);
std::string FormatByteCount(std::uint64_t bytes);
std::string FormatLocalDateTime(Platform& platform, std::int64_t seconds);

}  // namespace corvalin
