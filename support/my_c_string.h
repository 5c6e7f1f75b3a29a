// Wildcard matching of whole names, byte by byte: "?" is one byte, "*" any run of bytes. Without
// case sensitivity only the ASCII letters fold; every other byte compares exactly.
#pragma once

#include <string>

namespace corvalin {

class MyCString : public std::string {
 public:
  MyCString() = default;
  explicit MyCString(std::string text, bool case_sensitive_match = false)
      : std::string(std::move(text)), case_sensitive(case_sensitive_match) {}
  virtual ~MyCString() = default;
  MyCString(const MyCString&) = default;
  MyCString& operator=(const MyCString&) = default;

  virtual bool Match(const char* pattern, const char* text) const;
  // The rest of a match from a "*" on: on success both positions stand at their ends.
  virtual bool MatchStar(const char*& pattern, const char*& text) const;

  bool case_sensitive = false;

 private:
  bool Equal(char a, char b) const;
};

}  // namespace corvalin
