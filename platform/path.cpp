#include "platform/path.h"

#include <algorithm>

#include "platform/text_scan.h"

namespace corvalin {

std::size_t LastSeparator(std::string_view path) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += CharacterLength(path, i)) {
    if (path[i] == kSeparator) found = i;
  }
  return found;
}

namespace {

// The "\\?\" and "\\.\" prefixes of Windows paths.
std::size_t PrefixLength([[maybe_unused]] std::string_view path) {
#ifdef _WIN32
  if (path.size() >= 4 && path[0] == '\\' && path[1] == '\\' &&
      (path[2] == '?' || path[2] == '.') && path[3] == '\\') {
    return 4;
  }
#endif
  return 0;
}

[[maybe_unused]] char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::size_t FirstWildcard(std::string_view path) {
  for (std::size_t i = PrefixLength(path); i < path.size(); i += CharacterLength(path, i)) {
    if (path[i] == '*' || path[i] == '?') return i;
  }
  return std::string_view::npos;
}

std::size_t NameStart(std::string_view path) {
  const std::size_t at = LastSeparator(path);
  if (at != std::string_view::npos) return at + 1;
#ifdef _WIN32
  const bool drive =
      path.size() >= 2 && path[1] == ':' && Upper(path[0]) >= 'A' && Upper(path[0]) <= 'Z';
  if (drive) return 2;
#endif
  return 0;
}

std::string FileNamePart(std::string_view path) {
  return std::string(path.substr(NameStart(path)));
}

std::string FolderPart(std::string_view path) {
  return std::string(path.substr(0, NameStart(path)));
}

std::size_t NextSeparator(std::string_view path, std::size_t from) {
  for (std::size_t i = 0; i < path.size(); i += CharacterLength(path, i)) {
    if (i >= from && path[i] == kSeparator) return i;
  }
  return std::string_view::npos;
}

std::string FoldedPath(std::string_view path) {
  std::string folded(path);
#ifdef _WIN32
  // By characters: the second byte of a double-byte character may look like a letter.
  for (std::size_t i = 0; i < folded.size(); i += CharacterLength(folded, i)) {
    folded[i] = Upper(folded[i]);
  }
#endif
  return folded;
}

bool SamePath(std::string_view a, std::string_view b) {
  return a.size() == b.size() && FoldedPath(a) == FoldedPath(b);
}

std::string WithNativeSeparators(std::string_view path) {
  std::string native(path);
#ifdef _WIN32
  if (PrefixLength(path) == 4 && path[2] == '?') return native;
  // '/' is never the second byte of a double-byte character in the code pages Windows uses.
  std::replace(native.begin(), native.end(), '/', '\\');
#endif
  return native;
}

std::size_t LastNameBreak(std::string_view text) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); i += CharacterLength(text, i)) {
    if (std::string_view(kNameBreakers).find(text[i]) != std::string_view::npos) found = i;
  }
  return found;
}

std::string HoldableName(std::string_view name) {
  std::string held(name);
#ifdef _WIN32
  // By characters: the second byte of a double-byte character may look like '|'.
  for (std::size_t i = 0; i < held.size(); i += CharacterLength(held, i)) {
    const auto byte = static_cast<unsigned char>(held[i]);
    if (byte < 0x20 || std::string_view(":*?\"<>|").find(held[i]) != std::string_view::npos) {
      held[i] = '_';
    }
  }
#endif
  return held;
}

bool IsExactName([[maybe_unused]] std::string_view name) {
#ifdef _WIN32
  return name.find_first_of("?*") == std::string_view::npos;
#else
  return true;
#endif
}

}  // namespace corvalin

namespace corvalin {

#ifdef _WIN32
namespace {

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9, in any case, with any extension and with spaces
// before it: Windows opens the device for each, in every folder.
bool IsDeviceName(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = Upper(c);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace
#endif

NameReach ReachOf([[maybe_unused]] std::string_view path) {
#ifdef _WIN32
  // The narrow calls stop at MAX_PATH even after "\\?\", which only spares a name the
  // trimming and the device names.
  if (path.size() > kLongestPath) return NameReach::kTooLong;
  if (PrefixLength(path) == 0) {
    const std::string_view name = path.substr(NameStart(path));
    if (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
      return NameReach::kTrailingDotOrSpace;
    }
    if (IsDeviceName(name)) return NameReach::kDeviceName;
  }
#endif
  return NameReach::kExact;
}

}  // namespace corvalin
