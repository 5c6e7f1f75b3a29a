#include <gtest/gtest.h>

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

}  // namespace
}  // namespace corvalin
