// What the shared test support needs of the operating system; one implementation per platform
// (process_posix.cpp, process_win32.cpp), beside StartedProgram's.
#pragma once

#include <string>

namespace corvalin::testing {

// Creates a new folder of a name no one else has below `parent`; returns its path, without a
// separator at the end.
std::string MakeFreshFolder(const std::string& parent);

}  // namespace corvalin::testing
