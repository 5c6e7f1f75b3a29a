#include "platform/path.h"

#include "platform/text_scan.h"

namespace corvalin {

std::size_t LastSeparator(std::string_view path) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += CharacterLength(path, i)) {
    if (path[i] == kSeparator) found = i;
  }
  return found;
}

std::size_t FirstWildcard(std::string_view path) {
  for (std::size_t i = 0; i < path.size(); i += CharacterLength(path, i)) {
    if (path[i] == '*' || path[i] == '?') return i;
  }
  return std::string_view::npos;
}

std::string FileNamePart(std::string_view path) {
  const std::size_t at = LastSeparator(path);
  return std::string(at == std::string_view::npos ? path : path.substr(at + 1));
}

std::string FolderPart(std::string_view path) {
  const std::size_t at = LastSeparator(path);
  return at == std::string_view::npos ? std::string() : std::string(path.substr(0, at + 1));
}

bool IsExactName([[maybe_unused]] std::string_view name) {
#ifdef _WIN32
  return name.find_first_of("?*") == std::string_view::npos;
#else
  return true;
#endif
}

}  // namespace corvalin
