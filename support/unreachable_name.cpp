#include "support/unreachable_name.h"

#include "platform/path.h"

namespace corvalin {

std::optional<ErrorHandler> UnreachableName(const std::string& path, const std::string& action) {
  const std::string start = "Unable to " + action + " " + path + " because ";
  switch (ReachOf(path)) {
    case NameReach::kExact:
      return std::nullopt;
    case NameReach::kTrailingDotOrSpace:
      return ErrorHandler(Error::kTrailingDotOrSpace,
                          start + "Windows drops the dot or space at the end of its name.");
    case NameReach::kDeviceName:
      return ErrorHandler(Error::kDeviceName, start + "its name is that of a device.");
    case NameReach::kTooLong:
      return ErrorHandler(Error::kPathTooLong, start + "its path is longer than " +
                                                   std::to_string(kLongestPath) + " characters.");
  }
  return std::nullopt;
}

void RefuseUnreachableName(const std::string& path, const std::string& action) {
  if (std::optional<ErrorHandler> error = UnreachableName(path, action)) throw *error;
}

void RefuseUnreachableMadeName(const std::string& path, const std::string& action) {
  if (ReachOf(path) == NameReach::kTrailingDotOrSpace) return;
  RefuseUnreachableName(path, action);
}

}  // namespace corvalin
