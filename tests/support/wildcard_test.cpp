#include <gtest/gtest.h>

#include <random>
#include <string_view>

#include "support/my_c_string.h"
#include "support/pattern_list.h"

namespace corvalin {
namespace {

bool Matches(const char* pattern, const char* text, bool case_sensitive = false) {
  return MyCString(text, case_sensitive).Match(pattern, text);
}

TEST(WildcardTest, StarAndQuestionMark) {
  EXPECT_TRUE(Matches("*", ""));
  EXPECT_TRUE(Matches("*", "anything.at.all"));
  EXPECT_TRUE(Matches("", ""));
  EXPECT_FALSE(Matches("", "a"));
  EXPECT_TRUE(Matches("*.aes", "report.aes"));
  EXPECT_FALSE(Matches("*.aes", "report.aes.bak"));
  EXPECT_TRUE(Matches("abc*", "abc"));
  EXPECT_FALSE(Matches("abc?", "abc"));
  EXPECT_TRUE(Matches("a?c", "abc"));
  EXPECT_FALSE(Matches("*.*", "README"));
  EXPECT_TRUE(Matches("*?", "x"));
  EXPECT_FALSE(Matches("*??", "x"));
}

TEST(WildcardTest, SeveralStarsBacktrack) {
  EXPECT_TRUE(Matches("a*b*c", "aXbYc"));
  EXPECT_TRUE(Matches("a*b*c", "abc"));
  EXPECT_FALSE(Matches("a*b*c", "acb"));
  EXPECT_TRUE(Matches("*ab*ab", "xabyabab"));
  EXPECT_TRUE(Matches("**x**", "aaxaa"));
  EXPECT_FALSE(Matches("*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"));
}

TEST(WildcardTest, CaseFoldsOnlyAsciiLetters) {
  EXPECT_TRUE(Matches("*.ZIP", "archive.zip"));
  EXPECT_TRUE(Matches("*Report*", "annual report.doc"));
  EXPECT_FALSE(Matches("*.ZIP", "archive.zip", true));
  EXPECT_FALSE(Matches("*Report*", "annual report.doc", true));
  EXPECT_FALSE(Matches("caf\xc9", "caf\xe9"));  // bytes above 127 compare exactly
  EXPECT_TRUE(Matches("caf\xe9", "CAF\xe9"));
  EXPECT_FALSE(Matches("[", "{"));  // no folding outside the letters
}

TEST(PatternListTest, WhiteSpaceSeparatesPatterns) {
  PatternList list;
  list.Parse("*.zip *.rar *.gz *.bz *.bz2 *.ace *.aes *.cab");
  EXPECT_EQ(list.count(), 8);
  EXPECT_FALSE(list.Contains("x.bz2x"));
  EXPECT_TRUE(list.Contains("x.bz2"));
  EXPECT_TRUE(list.Contains("A.ZIP"));
  list.case_sensitive = true;
  EXPECT_FALSE(list.Contains("A.ZIP"));

  PatternList spaced;
  spaced.Parse("\t *.zip  \t\r\n*.rar\v\f");
  EXPECT_EQ(spaced.patterns(), (std::vector<std::string>{"*.zip", "*.rar"}));
  spaced.Parse("   ");
  EXPECT_EQ(spaced.count(), 0);
  EXPECT_FALSE(spaced.Contains("a.zip"));
  EXPECT_FALSE(spaced.Contains(""));
}

TEST(PatternListTest, BzPatternDoesNotExcludeBz2) {
  PatternList list;
  list.Parse("*.bz");
  EXPECT_FALSE(list.Contains("x.bz2"));
  EXPECT_TRUE(list.Contains("x.bz"));
}

// The matcher's meaning, written the plainest way: try every split at every star.
bool ReferenceMatch(std::string_view pattern, std::string_view text, bool case_sensitive) {
  const auto fold = [&](char c) {
    return !case_sensitive && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  };
  if (pattern.empty()) return text.empty();
  if (pattern[0] == '*') {
    for (std::size_t skip = 0; skip <= text.size(); ++skip) {
      if (ReferenceMatch(pattern.substr(1), text.substr(skip), case_sensitive)) return true;
    }
    return false;
  }
  if (text.empty()) return false;
  if (pattern[0] != '?' && fold(pattern[0]) != fold(text[0])) return false;
  return ReferenceMatch(pattern.substr(1), text.substr(1), case_sensitive);
}

TEST(WildcardTest, AgreesWithTheReferenceOnRandomPatternsAndNames) {
  std::mt19937 random(20261209);
  const std::string pattern_bytes = "aAb*?.*", text_bytes = "aAbB.";
  const auto draw = [&](const std::string& alphabet, std::size_t most) {
    std::string out(random() % (most + 1), ' ');
    for (char& c : out) c = alphabet[random() % alphabet.size()];
    return out;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string pattern = draw(pattern_bytes, 7), text = draw(text_bytes, 9);
    const bool sensitive = round % 2 == 0;
    ASSERT_EQ(MyCString(text, sensitive).Match(pattern.c_str(), text.c_str()),
              ReferenceMatch(pattern, text, sensitive))
        << "pattern '" << pattern << "' text '" << text << "' case " << sensitive;
  }
}

// A pattern of many stars against a long name that almost matches: a matcher that tries each
// split anew takes exponential time here, and the name and exclusion lists come from outside.
TEST(WildcardTest, ManyStarsAgainstALongNameStayCheap) {
  const std::string name(200, 'a');
  EXPECT_FALSE(Matches("*a*a*a*a*a*b", name.c_str()));
  EXPECT_FALSE(Matches("*a*a*a*a*a*a*a*a*a*a*a*a*?b", name.c_str()));
  EXPECT_TRUE(Matches("*a*a*a*a*a*a*a*a*a*a*a*a*a", name.c_str()));
  PatternList list;
  list.Parse("*a*a*a*a*a*a*a*a*b *.zip");
  EXPECT_FALSE(list.Contains(name));
}

}  // namespace
}  // namespace corvalin
