#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_settings.h"
#include "support/error_handler.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

class PasswordPromptTest : public ::testing::Test {
 protected:
  PasswordPromptTest() : platform_(*system_) { platform_.CaptureConsole(); }

  // Parses `args` afresh; returns the error code or 0.
  int Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "corvalin");
    return testing::ErrorCodeOf([&] {
      InitRunSettings(settings_, platform_);
      ParseCommandLine(settings_, static_cast<int>(args.size()), args.data(), platform_);
    });
  }
  // The same with a terminal that types `answers`.
  int ParseAt(std::vector<const char*> args, std::vector<std::string> answers) {
    platform_.ScriptTerminal(true, std::move(answers));
    return Parse(std::move(args));
  }

  using Prompts = std::vector<std::string>;
  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  FaultInjectingPlatform platform_;
  RunSettings settings_;
};

TEST_F(PasswordPromptTest, EncryptingAsksTwiceAndDecryptingOnce) {
  for (const char* command : {"e", "a"}) {
    EXPECT_EQ(ParseAt({command, "file"}, {"typed secret", "typed secret"}), 0);
    EXPECT_EQ(settings_.password, "typed secret");
    EXPECT_EQ(platform_.prompts(), (Prompts{"Password: ", "Repeat password: "})) << command;
  }
  EXPECT_EQ(ParseAt({"d", "file"}, {"typed secret"}), 0);
  EXPECT_EQ(platform_.prompts(), Prompts{"Password: "});
  EXPECT_EQ(ParseAt({"file"}, {"x"}), 0);  // decryption is the default command
  EXPECT_EQ(platform_.prompts().size(), 1u);
  EXPECT_EQ(platform_.out() + platform_.err(), "");
}

TEST_F(PasswordPromptTest, AnswersThatCannotBeUsedEndTheRunWithTheirOwnCodes) {
  EXPECT_EQ(ParseAt({"e"}, {"one", "two"}), -71);
  EXPECT_EQ(ParseAt({"e"}, {"same", "same "}), -71);  // a trailing blank is part of it
  EXPECT_EQ(ParseAt({"e"}, {std::string(32, 'k'), std::string(40, 'k')}), -71);
  EXPECT_EQ(ParseAt({"d"}, {""}), -70);
  EXPECT_EQ(ParseAt({"e"}, {std::string(33, 'k')}), -72);
  EXPECT_EQ(platform_.prompts().size(), 1u);  // refused before the second question
  EXPECT_EQ(ParseAt({"d"}, {std::string(32, 'k')}), 0);
  EXPECT_EQ(ParseAt({"e"}, {"only one"}), -73);  // the terminal fails on the second read
}

TEST_F(PasswordPromptTest, AnyMentionOfDashPOrNoTerminalKeepsTheOldErrors) {
  EXPECT_EQ(ParseAt({"e", "-p"}, {"unused"}), -26);
  EXPECT_EQ(ParseAt({"e", "-p", ""}, {"unused"}), -26);
  EXPECT_EQ(ParseAt({"-p", "given"}, {"unused"}), 0);
  EXPECT_EQ(settings_.password, "given");
  EXPECT_TRUE(platform_.prompts().empty());
  EXPECT_EQ(ParseAt({"--help"}, {}), 0);
  EXPECT_TRUE(platform_.prompts().empty());

  platform_.ScriptTerminal(false);
  EXPECT_EQ(Parse({"e"}), -26);
}

}  // namespace
}  // namespace corvalin
