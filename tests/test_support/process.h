// What the shared test support needs of the operating system; one implementation per platform
// (process_posix.cpp, process_win32.cpp), beside StartedProgram's.
#pragma once

#include <string>
#include <vector>

namespace corvalin::testing {

// Creates a new folder of a name no one else has below `parent`; returns its path, without a
// separator at the end.
std::string MakeFreshFolder(const std::string& parent);

// Files and folders under exactly the name given, which Windows would otherwise trim (a
// trailing dot or space), take for a device (CON, NUL.txt) or refuse as too long. False, or
// an empty text, on failure.
bool WriteFileExactly(const std::string& path, const std::string& bytes);
std::string ReadFileExactly(const std::string& path);
bool MakeFolderExactly(const std::string& path);
// Removes `path` and everything below it, such names included.
void RemoveTree(const std::string& path);
#ifdef _WIN32
// The short 8.3 form of the path of an existing file, as the file system gives it.
std::string ShortPath(const std::string& path);
#else
// In a forked child: replaces the process with `command` (a program and its arguments, the
// program looked up on PATH when it names no folder); ends the child with 127 if it cannot.
[[noreturn]] void Exec(const std::vector<std::string>& command);
#endif

}  // namespace corvalin::testing
