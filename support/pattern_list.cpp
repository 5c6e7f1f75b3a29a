#include "support/pattern_list.h"

#include "support/my_c_string.h"

namespace corvalin {
namespace {
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
}  // namespace

void PatternList::Parse(const std::string& list_text) {
  text_ = list_text;
  patterns_.clear();
  std::size_t at = 0;
  while (at < text_.size()) {
    while (at < text_.size() && IsBlank(text_[at])) ++at;
    const std::size_t start = at;
    while (at < text_.size() && !IsBlank(text_[at])) ++at;
    if (at > start) patterns_.push_back(text_.substr(start, at - start));
  }
}

bool PatternList::Contains(const std::string& name) const {
  const MyCString matcher(name, case_sensitive);
  for (const std::string& pattern : patterns_) {
    if (matcher.Match(pattern.c_str(), name.c_str())) return true;
  }
  return false;
}

}  // namespace corvalin
