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

std::size_t NextSeparator(std::string_view path, std::size_t from) {
  for (std::size_t i = 0; i < path.size(); i += CharacterLength(path, i)) {
    if (i >= from && path[i] == kSeparator) return i;
  }
  return std::string_view::npos;
}

bool SamePath(std::string_view a, std::string_view b) {
#ifdef _WIN32
  const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
#else
  return a == b;
#endif
}

bool IsExactName([[maybe_unused]] std::string_view name) {
#ifdef _WIN32
  return name.find_first_of("?*") == std::string_view::npos;
#else
  return true;
#endif
}

}  // namespace corvalin
