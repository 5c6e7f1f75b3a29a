#include "support/working_names.h"

#include "platform/platform.h"
#include "support/text.h"

namespace corvalin {

bool IsWorkingName(std::string_view name) {
  const std::string_view removing = kRemovingPrefix;
  const std::string_view prefix = name.substr(0, removing.size());
#ifdef _WIN32
  return EqualsIgnoreCase(name, kTempFileName) || EqualsIgnoreCase(name, kSecondTempFileName) ||
         EqualsIgnoreCase(prefix, removing);
#else
  return name == kTempFileName || name == kSecondTempFileName || prefix == removing;
#endif
}

}  // namespace corvalin
