#include "app/number_format.h"

#include <algorithm>

#include "platform/platform.h"

namespace corvalin {

std::string GroupDigits(const std::string& number) {
  std::string reversed(number.rbegin(), number.rend());
  const std::size_t point = reversed.find('.');
  const long fraction_limit = point == std::string::npos ? -1 : static_cast<long>(point);
  std::string out;
  int group = 0;
  for (std::size_t i = 0; i < reversed.size(); ++i) {
    out += reversed[i];
    if (static_cast<long>(i) <= fraction_limit) continue;
    group = (group + 1) % 3;
    if (group == 0 && i + 1 != reversed.size()) out += '\'';
  }
  std::reverse(out.begin(), out.end());
  return out;
}

std::string FormatCount(std::uint32_t count) {
  return GroupDigits(std::to_string(count));
}

std::string FormatByteCount(std::uint64_t bytes) {
  return GroupDigits(std::to_string(static_cast<std::int64_t>(bytes)));
}

std::string FormatLocalDateTime(Platform& platform, std::int64_t seconds) {
  return platform.FormatLocalTime(seconds);
}

}  // namespace corvalin
