// White-space separated wildcard patterns, such as the compression exclusion list.
#pragma once

#include <string>
#include <vector>

namespace corvalin {

class PatternList {
 public:
  // Replaces the list by the patterns of `list_text`.
  void Parse(const std::string& list_text);
  // Whether any pattern matches the whole name; false for an empty list.
  bool Contains(const std::string& name) const;

  const std::vector<std::string>& patterns() const { return patterns_; }
  int count() const { return static_cast<int>(patterns_.size()); }

  bool case_sensitive = false;

 private:
  std::string text_;
  std::vector<std::string> patterns_;
};

}  // namespace corvalin
