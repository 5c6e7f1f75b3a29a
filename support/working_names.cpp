#include "support/working_names.h"

#include "platform/platform.h"
#include "support/text.h"

namespace corvalin {

std::string WorkingName(bool second, unsigned worker) {
  if (worker == 0) return second ? kSecondTempFileName : kTempFileName;
  return (second ? "~aes2-" : "~aes-") + std::to_string(worker) + ".tmp";
}

namespace {

bool Same(std::string_view a, std::string_view b) {
#ifdef _WIN32
  return EqualsIgnoreCase(a, b);
#else
  return a == b;
#endif
}

// "~aes-<digits>.tmp" or "~aes2-<digits>.tmp".
bool IsWorkersName(std::string_view name) {
  for (const std::string_view stem : {std::string_view("~aes-"), std::string_view("~aes2-")}) {
    if (name.size() <= stem.size() + 4 || !Same(name.substr(0, stem.size()), stem) ||
        !Same(name.substr(name.size() - 4), ".tmp")) {
      continue;
    }
    const std::string_view digits = name.substr(stem.size(), name.size() - stem.size() - 4);
    if (digits.find_first_not_of("0123456789") == std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

bool IsWorkingName(std::string_view name) {
  const std::string_view removing = kRemovingPrefix;
  return Same(name, kTempFileName) || Same(name, kSecondTempFileName) ||
         Same(name.substr(0, removing.size()), removing) || IsWorkersName(name);
}

}  // namespace corvalin
