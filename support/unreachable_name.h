// Names a file the platform's narrow calls cannot reach exactly: such a file would be opened
// as another file, as a device, or not at all, so it fails in plain sight instead.
#pragma once

#include <optional>
#include <string>

#include "support/error_handler.h"

namespace corvalin {

// The error for `path` when the platform cannot reach it under exactly that name:
// "Unable to <action> <path> because ..." (-81 a trailing dot or space, -82 a device name,
// -83 a path past the limit). Nothing when it can.
std::optional<ErrorHandler> UnreachableName(const std::string& path, const std::string& action);

// Raises UnreachableName's error, if there is one.
void RefuseUnreachableName(const std::string& path, const std::string& action);

// The same for a name the run makes up itself: a trailing dot is left to Windows to drop (a
// mangled name without an extension ends in one), as the file it then makes is reachable.
void RefuseUnreachableMadeName(const std::string& path, const std::string& action);

}  // namespace corvalin
