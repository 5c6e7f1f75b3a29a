#include "support/working_names.h"

#include "support/text.h"

namespace corvalin {

bool IsWorkingName(std::string_view name) {
#ifdef _WIN32
  return EqualsIgnoreCase(name, kTempFileName) || EqualsIgnoreCase(name, kSecondTempFileName);
#else
  return name == kTempFileName || name == kSecondTempFileName;
#endif
}

}  // namespace corvalin
