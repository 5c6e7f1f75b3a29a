#include "support/my_c_string.h"

namespace corvalin {
namespace {
char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
}  // namespace

bool MyCString::Equal(char a, char b) const {
  return case_sensitive ? a == b : Upper(a) == Upper(b);
}

bool MyCString::Match(const char* pattern, const char* text) const {
  while (*pattern != '\0' && *text != '\0') {
    if (*pattern == '*') return MatchStar(pattern, text);
    if (*pattern != '?' && !Equal(*pattern, *text)) return false;
    ++pattern, ++text;
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0' && *text == '\0';
}

bool MyCString::MatchStar(const char*& pattern, const char*& text) const {
  ++pattern;
  while (*text != '\0' && (*pattern == '?' || *pattern == '*')) {
    if (*pattern == '?') ++text;
    ++pattern;
  }
  while (*pattern == '*') ++pattern;
  if (*text == '\0') return *pattern == '\0';
  if (*pattern == '\0') {  // only the end of the text can match an empty remainder
    while (*text != '\0') ++text;
    return true;
  }
  for (const char* attempt = text; *attempt != '\0'; ++attempt) {
    if (attempt != text && !Equal(*attempt, *pattern)) continue;
    if (Match(pattern, attempt)) {
      text = attempt;
      return true;
    }
  }
  return false;
}

}  // namespace corvalin
