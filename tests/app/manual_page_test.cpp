#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "app/help_page.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

std::vector<std::string> Words(std::string text, const std::string& separators) {
  for (char& c : text) c = separators.find(c) == std::string::npos ? c : ' ';
  std::istringstream split(text);
  std::vector<std::string> words;
  for (std::string word; split >> word;) words.push_back(word);
  return words;
}

// The text of the manual page's tagged paragraph (.TP) whose tag names `name`, up to the next
// paragraph; empty when there is none. "\-" in the source reads as a hyphen.
std::string ManualEntry(const std::string& name) {
  std::string source = testing::ReadFile(CORVALIN_MANUAL_PAGE);
  for (std::size_t at = 0; (at = source.find("\\-", at)) != std::string::npos;) source.erase(at, 1);
  std::istringstream lines(source);
  std::string text;
  bool tag_next = false, inside = false;
  for (std::string line; std::getline(lines, line);) {
    const bool paragraph =
        line == ".TP" || line == ".PP" || line.rfind(".SH", 0) == 0 || line.rfind(".IP", 0) == 0;
    if (inside && paragraph) break;
    if (inside) text += line + "\n";
    if (tag_next) {
      const std::vector<std::string> tags = Words(line.substr(line.find(' ') + 1), "\",|");
      inside = std::find(tags.begin(), tags.end(), name) != tags.end();
      if (inside) text = line + "\n";
    }
    tag_next = line == ".TP";
  }
  return text;
}

// Each switch line of the help page with its continuation lines, which hold some defaults.
std::vector<std::string> HelpSwitchTexts() {
  std::unique_ptr<Platform> system = MakeSystemPlatform();
  FaultInjectingPlatform platform(*system);
  platform.CaptureConsole();
  PrintHelpPage(platform, "corvalin");
  std::vector<std::string> texts;
  std::istringstream lines(platform.out());
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("   -", 0) == 0) texts.push_back(line);
    if (line.rfind("                 ", 0) == 0 && !texts.empty()) texts.back() += line;
  }
  return texts;
}

TEST(ManualPageTest, EverySwitchOfTheHelpPageHasAnEntryWithItsDefault) {
  const std::vector<std::string> texts = HelpSwitchTexts();
  ASSERT_EQ(texts.size(), 23u);
  for (const std::string& text : texts) {
    const std::size_t open = text.rfind('['), close = text.rfind(']');
    // The manual names the platform's own log folder instead of %TMP%.
    const bool shown = open != std::string::npos && text.compare(open, 6, "[%TMP%") != 0;
    for (const std::string& name : Words(text.substr(3, text.find(' ', 3) - 3), "|")) {
      const std::string entry = ManualEntry(name);
      EXPECT_NE(entry, "") << name << " has no entry of its own";
      if (!shown) continue;
      const std::string value = text.substr(open + 1, close - open - 1);
      EXPECT_NE(entry.find("Default: " + value), std::string::npos)
          << name << " should show its default " << value << "\n"
          << entry;
    }
  }
  EXPECT_NE(ManualEntry("--help"), "");
  EXPECT_NE(ManualEntry("--version"), "");
}

}  // namespace
}  // namespace corvalin
