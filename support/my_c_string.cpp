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

// One pass with a single remembered star: on a mismatch the last star takes one more byte and
// the walk resumes after it. Earlier stars never need to take more, since whatever they could
// take the last one can take too; so the time is at most the product of the two lengths,
// where trying every split anew is exponential in the number of stars.
bool MyCString::Match(const char* pattern, const char* text) const {
  const char* star = nullptr;    // just after the last star met
  const char* resume = nullptr;  // where the text resumes when that star takes one more byte
  while (*text != '\0') {
    if (*pattern == '*') {
      star = ++pattern;
      resume = text;
    } else if (*pattern != '\0' && (*pattern == '?' || Equal(*pattern, *text))) {
      ++pattern, ++text;
    } else if (star != nullptr) {
      pattern = star;
      text = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool MyCString::MatchStar(const char*& pattern, const char*& text) const {
  if (!Match(pattern, text)) return false;
  while (*pattern != '\0') ++pattern;
  while (*text != '\0') ++text;
  return true;
}

}  // namespace corvalin
