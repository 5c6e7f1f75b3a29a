// Path texts. The separator is the platform's: '\' on Windows, '/' on POSIX, where '\' is an
// ordinary byte of a name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvalin {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
// Bytes that let a name reach another folder.
inline constexpr const char* kNameBreakers = "/\\";
#else
inline constexpr char kSeparator = '/';
inline constexpr const char* kNameBreakers = "/";
#endif

// A file or pattern argument as the platform's calls and the finder take it: Windows accepts
// '/' as a separator as good as '\', and it becomes '\' (not after "\\?\", where the system
// takes every character as it stands). Unchanged on POSIX.
std::string WithNativeSeparators(std::string_view path);

// Position of the last byte of kNameBreakers in `text`, scanning by characters; npos when
// there is none.
std::size_t LastNameBreak(std::string_view text);

// `name` with every byte a file name cannot hold on this platform made '_': on Windows the
// drive and stream separator ':', the wildcards and quotes '* ? " < > |' and control
// characters; nothing on POSIX, whose names hold every byte but '/' and NUL.
std::string HoldableName(std::string_view name);

// Position of the last separator, scanning by characters of the current code page so that the
// second byte of a double-byte character is never taken for one; npos when there is none.
std::size_t LastSeparator(std::string_view path);

// Position of the first '*' or '?', scanning the same way; npos when there is none. On Windows
// the '?' of a "\\?\" or "\\.\" prefix is part of the path's form, not a wildcard.
std::size_t FirstWildcard(std::string_view path);

// Where the name begins: after the last separator, or on Windows after the drive of a
// drive-relative path ("Z:name"); 0 when the whole text is a name.
std::size_t NameStart(std::string_view path);

// The text from NameStart on.
std::string FileNamePart(std::string_view path);

// The text before NameStart: the folder with its separator (or drive); empty when none.
std::string FolderPart(std::string_view path);

// Position of the first separator at or after `from`; npos when there is none.
std::size_t NextSeparator(std::string_view path, std::size_t from);

// Whether two path texts name one place as the file system compares names (letter case
// ignored on Windows). Where identities are known they decide instead.
bool SamePath(std::string_view a, std::string_view b);
// The path as SamePath compares it: two texts it takes for one place fold alike.
std::string FoldedPath(std::string_view path);
// Whether a name the platform's narrow calls gave is the file's real name, one they can open
// again. On Windows a character the ANSI code page lacks comes back as '?', which no real
// name holds: such a name opens no file, or another one.
bool IsExactName(std::string_view name);

// Whether the platform's narrow file calls reach the file at the absolute `path` under
// exactly that name. Windows takes a trailing dot or space off a name, opens a device for a
// name such as CON, NUL.txt or COM1.log in any folder, and refuses paths of MAX_PATH (260)
// characters or more; POSIX reaches every name.
enum class NameReach { kExact, kTrailingDotOrSpace, kDeviceName, kTooLong };
NameReach ReachOf(std::string_view path);
// The limit of kTooLong.
inline constexpr std::size_t kLongestPath = 259;

}  // namespace corvalin
