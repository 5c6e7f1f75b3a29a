#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/help_page.h"
#include "platform/fault_injection.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

// One tagged paragraph of the manual page: the words of its tag line and the text below it.
struct Entry {
  std::vector<std::string> tags;
  std::string text;
};

// The page's source with "\-" read as a hyphen, cut into its tagged paragraphs.
std::vector<Entry> ManualEntries() {
  std::string source = testing::ReadFile(CORVALIN_MANUAL_PAGE);
  for (std::size_t at = 0; (at = source.find("\\-", at)) != std::string::npos;) {
    source.erase(at, 1);
  }
  std::vector<Entry> entries;
  std::istringstream lines(source);
  bool tag_next = false, in_entry = false;
  for (std::string line; std::getline(lines, line);) {
    const bool macro = line.rfind('.', 0) == 0;
    if (tag_next) {
      std::string words = macro ? line.substr(line.find(' ') + 1) : line;
      for (char& c : words) c = (c == '"' || c == ',' || c == '|') ? ' ' : c;
      Entry entry;
      std::istringstream split(words);
      for (std::string word; split >> word;) entry.tags.push_back(word);
      entries.push_back(entry);
      tag_next = false, in_entry = true;
    } else if (line == ".TP") {
      tag_next = true;
    } else if (macro && (line.rfind(".SH", 0) == 0 || line == ".PP" || line.rfind(".IP", 0) == 0)) {
      in_entry = false;
    } else if (in_entry) {
      entries.back().text += line + "\n";
    }
  }
  return entries;
}

const Entry* EntryFor(const std::vector<Entry>& entries, const std::string& name) {
  for (const Entry& entry : entries) {
    for (const std::string& tag : entry.tags) {
      if (tag == name) return &entry;
    }
  }
  return nullptr;
}

struct HelpSwitch {
  std::vector<std::string> names;
  std::string default_value;  // empty when the page shows none
};

// The switches of the help page with the default each shows, continuation lines included.
std::vector<HelpSwitch> HelpPageSwitches() {
  std::unique_ptr<Platform> system = MakeSystemPlatform();
  FaultInjectingPlatform platform(*system);
  platform.CaptureConsole();
  PrintHelpPage(platform, "corvalin");
  std::vector<HelpSwitch> switches;
  std::string text;
  std::istringstream lines(platform.out());
  const auto finish = [&] {
    const std::size_t open = text.rfind('['), close = text.rfind(']');
    if (!switches.empty() && open != std::string::npos && close > open) {
      switches.back().default_value = text.substr(open + 1, close - open - 1);
    }
    text.clear();
  };
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("   -", 0) == 0) {
      finish();
      HelpSwitch entry;
      std::istringstream names(line.substr(3, line.find(' ', 3) - 3));
      for (std::string name; std::getline(names, name, '|');) entry.names.push_back(name);
      switches.push_back(entry);
      text = line;
    } else if (line.rfind("                 ", 0) == 0) {
      text += line;
    } else {
      finish();
    }
  }
  finish();
  return switches;
}

TEST(ManualPageTest, EverySwitchOfTheHelpPageHasAnEntryWithItsDefault) {
  const std::vector<Entry> entries = ManualEntries();
  const std::vector<HelpSwitch> switches = HelpPageSwitches();
  ASSERT_EQ(switches.size(), 23u);
  for (const HelpSwitch& help : switches) {
    for (const std::string& name : help.names) {
      const Entry* entry = EntryFor(entries, name);
      ASSERT_NE(entry, nullptr) << name << " has no entry of its own";
      // The manual names the platform's own log folder instead of %TMP%.
      if (help.default_value.empty() || help.default_value.find("%TMP%") == 0) continue;
      EXPECT_NE(entry->text.find("Default: " + help.default_value), std::string::npos)
          << name << " should show its default " << help.default_value << "\n"
          << entry->text;
    }
  }
  EXPECT_NE(EntryFor(entries, "--help"), nullptr);
  EXPECT_NE(EntryFor(entries, "--version"), nullptr);
}

}  // namespace
}  // namespace corvalin
