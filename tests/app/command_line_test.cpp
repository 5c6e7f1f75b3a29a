#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/run_settings.h"
#include "support/error_handler.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

constexpr const char* kHint = "\n\nUnable to continue. (Type -? or -h to get help)";

class CommandLineTest : public ::testing::Test {
 protected:
  CommandLineTest() : platform_(*system_) {
    platform_.CaptureConsole();
    platform_.ScriptTerminal(false);  // however the tests are started
    InitRunSettings(settings_, platform_);
  }

  ParseOutcome Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "corvalin");
    return ParseCommandLine(settings_, static_cast<int>(args.size()), args.data(), platform_);
  }

  ErrorHandler ParseError(std::vector<const char*> args) {
    try {
      Parse(std::move(args));
    } catch (const ErrorHandler& error) {
      return error;
    }
    ADD_FAILURE() << "no error raised";
    return ErrorHandler(0, "");
  }

  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  FaultInjectingPlatform platform_;
  RunSettings settings_;
};

TEST_F(CommandLineTest, DefaultsAfterAPasswordAlone) {
  Parse({"-p", "secret"});
  EXPECT_EQ(settings_.command, Command::kDecrypt);
  EXPECT_EQ(settings_.key_bytes, 32);
  EXPECT_EQ(settings_.block_bytes, 32);
  EXPECT_EQ(settings_.cipher_mode, CipherMode::kCbc);
  EXPECT_EQ(settings_.file_mask, "*");
  EXPECT_EQ(settings_.compression_exclusions, kDefaultExclusions);
  EXPECT_EQ(settings_.log_file_name, GetTempDirectory(platform_) + "aeslog.txt");
  EXPECT_TRUE(settings_.delete_source);
  EXPECT_TRUE(settings_.change_extension);
  EXPECT_EQ(platform_.err(), "");
}

TEST_F(CommandLineTest, MissingOrEmptyPasswordIsFatal) {
  const ErrorHandler none = ParseError({});
  EXPECT_EQ(none.code, -26);
  EXPECT_EQ(none.Message(), std::string("Missing valid password parameter (-p).") + kHint);
  EXPECT_EQ(ParseError({"-p"}).Message(), std::string("Missing password parameter (-p).") + kHint);
  EXPECT_EQ(ParseError({"-p", ""}).Message(),
            std::string("Missing valid password parameter (-p).") + kHint);
}

TEST_F(CommandLineTest, CommandLettersAndEarlierSwitchesAreNeverTakenAsPendingValues) {
  // e selects encrypt while -p waits; -p is still pending at the end.
  const ErrorHandler error = ParseError({"-p", "e"});
  EXPECT_EQ(error.Message(), std::string("Missing password parameter (-p).") + kHint);
  EXPECT_EQ(settings_.command, Command::kEncrypt);

  settings_ = RunSettings{};
  Parse({"-p", "-r", "pw"});
  EXPECT_TRUE(settings_.recursive);
  EXPECT_EQ(settings_.password, "pw");
}

TEST_F(CommandLineTest, LaterSwitchesFeedAPendingValueOrFailItsTest) {
  Parse({"-p", "-k"});  // -k lies later in the chain than -p
  EXPECT_EQ(settings_.password, "-k");
  EXPECT_EQ(settings_.key_bytes, 32);  // -k never became pending

  EXPECT_EQ(ParseError({"-p", "x", "-v", "-k"}).code, -63);
  EXPECT_EQ(ParseError({"-p", "x", "-m", "-cf"}).code, -52);
}

TEST_F(CommandLineTest, SeveralSwitchesMayWaitAtOnce) {
  // Values go to the pending switches in chain order, not in the order they were given.
  Parse({"-m", "-k", "-p", "pw", "128", "ecb"});
  EXPECT_EQ(settings_.password, "pw");
  EXPECT_EQ(settings_.key_bytes, 16);
  EXPECT_EQ(settings_.cipher_mode, CipherMode::kEcb);
  EXPECT_EQ(ParseError({"-m", "-k", "-p", "pw", "ecb"}).code, -50);
}

TEST_F(CommandLineTest, KeywordsAndCommandsIgnoreLetterCase) {
  Parse({"-P", "pw", "E", "-K", "128", "-B", "192", "-M", "CFB", "-CF", "Gzip", "-LX"});
  EXPECT_EQ(settings_.command, Command::kEncrypt);
  EXPECT_EQ(settings_.key_bytes, 16);
  EXPECT_EQ(settings_.block_bytes, 24);
  EXPECT_EQ(settings_.cipher_mode, CipherMode::kCfb);
  EXPECT_EQ(settings_.compression_format, CompressionFormat::kGzip);
  EXPECT_FALSE(settings_.file_logging);
  EXPECT_EQ(settings_.log_file_name, "");
}

TEST_F(CommandLineTest, BadKeywordValuesAreFatal) {
  const ErrorHandler key = ParseError({"-p", "x", "-k", "512"});
  EXPECT_EQ(key.code, -50);
  EXPECT_EQ(key.Message(),
            std::string("Aes key length parameter (-k) doesn't match any available.") + kHint);
  EXPECT_EQ(ParseError({"-p", "x", "-b", "64"}).code, -51);
  EXPECT_EQ(ParseError({"-p", "x", "-cf", "zip"}).code, -53);
}

TEST_F(CommandLineTest, TrailingValueSwitchesOtherThanPasswordAreDropped) {
  Parse({"-p", "x", "-k"});
  EXPECT_EQ(settings_.key_bytes, 32);
}

TEST_F(CommandLineTest, UnknownSwitchNamesTheArgumentAsTyped) {
  const ErrorHandler error = ParseError({"-p", "x", "-X"});
  EXPECT_EQ(error.code, -60);
  EXPECT_EQ(error.Message(), std::string("Switch -X doesn't match any available one.") + kHint);
}

TEST_F(CommandLineTest, NumbersNeedALeadingDigitAndReadLikeAtoi) {
  Parse({"-p", "x", "-cl", "9x", "-wl", "99999999999999"});
  EXPECT_EQ(settings_.compression_level, 9);
  EXPECT_EQ(settings_.wipe_passes, 2147483647);
  EXPECT_EQ(ParseError({"-p", "x", "-cl", "x"}).code, -62);
  EXPECT_EQ(ParseError({"-p", "x", "-cl", "-1"}).code, -62);
  EXPECT_EQ(ParseError({"-p", "x", "-wl", "y"}).code, -61);
  EXPECT_EQ(ParseError({"-p", "x", "-lv", ""}).code, -64);
}

TEST_F(CommandLineTest, PasswordLengthLimitIs32Bytes) {
  Parse({"-p", "0123456789abcdef0123456789abcdef"});
  const ErrorHandler error = ParseError({"-p", "0123456789abcdef0123456789abcdef!"});
  EXPECT_EQ(error.code, -22);
  EXPECT_EQ(error.Message(), std::string("Password exceeds 32 bytes (-p).") + kHint);
}

TEST_F(CommandLineTest, PasswordFileHasTheLimitsOfPAndTheLaterOfThemWins) {
  testing::TempFolder folder;
  const std::string file = folder / "pw";
  const char* path = file.c_str();
  testing::WriteFile(file, std::string(32, 'k') + "\r\nsecond line");
  Parse({"-p", "typed", "-pf", path});
  EXPECT_EQ(settings_.password, std::string(32, 'k'));  // a CR LF line end is no part of it
  Parse({"-pf", path, "-p", "typed"});
  EXPECT_EQ(settings_.password, "typed");
  Parse({"-p", "-pf", "x"});  // -pf lies later in the chain than -p, like -k
  EXPECT_EQ(settings_.password, "-pf");

  testing::WriteFile(file, std::string(33, 'k') + "\n");
  EXPECT_EQ(ParseError({"-pf", path}).Message(),
            std::string("Password exceeds 32 bytes (-pf).") + kHint);
  testing::WriteFile(file, "\nsecond line");
  EXPECT_EQ(ParseError({"-pf", path}).Message(),
            std::string("Missing valid password parameter (-pf).") + kHint);
  for (const std::vector<const char*>& args :
       {std::vector<const char*>{"-pf"}, {"-pf", ""}, {"-pf", "-p", "x"}}) {
    const ErrorHandler error = ParseError(args);
    EXPECT_EQ(error.code, -26);
    EXPECT_EQ(error.Message(), std::string("Missing password file parameter (-pf).") + kHint);
  }
  const ErrorHandler unreadable = ParseError({"-pf", (folder / "none").c_str()});
  EXPECT_EQ(unreadable.code, -74);
  EXPECT_EQ(unreadable.Message().rfind("Unable to read the password from " + (folder / "none"), 0),
            0u);
}

TEST_F(CommandLineTest, OutOfRangeNumbersWarnInOrderAndFallBack) {
  Parse({"-p", "x", "-wl", "0", "-lv", "0", "-v", "5", "-cl", "10"});
  EXPECT_EQ(settings_.compression_level, 5);
  EXPECT_EQ(settings_.verbose_level, 3);
  EXPECT_EQ(settings_.log_verbose_level, 2);
  EXPECT_EQ(settings_.wipe_passes, 3);
  EXPECT_EQ(platform_.err(),
            "\n>>> WARNING(-11): Compression level parameter (-cl) is out of range.\n"
            "Force compression level to default, i.e. 5\n"
            "\n>>> WARNING(-10): Verbose level parameter (-v) is out of range.\n"
            "Force verbose level parameter to default, i.e. 3\n"
            "\n>>> WARNING(-10): Verbose log level parameter (-lv) is out of range.\n"
            "Force log verbose level parameter to default, i.e. 2\n"
            "\n>>> WARNING(-13): Wiping level parameter (-wl) is out of range.\n"
            "Force wiping level parameter to default, i.e. 3\n");
}

TEST_F(CommandLineTest, PasswordErrorsComeBeforeRangeWarnings) {
  EXPECT_EQ(ParseError({"-cl", "0"}).code, -26);
  EXPECT_EQ(platform_.err(), "");
}

TEST_F(CommandLineTest, TrailingLogNameWarnsWithTheNameInForce) {
  Parse({"-p", "x", "-lo"});
  EXPECT_EQ(platform_.err(),
            "\n>>> WARNING(-8): Missing log filename parameter (-lo).\n"
            "Force log filename to default, i.e. " +
                settings_.log_file_name + "\n");
  platform_.ClearConsole();
  Parse({"-p", "x", "-lx", "-lo"});
  EXPECT_EQ(settings_.log_file_name, "");
  EXPECT_NE(platform_.err().find("i.e. " + GetTempDirectory(platform_) + "aeslog.txt\n"),
            std::string::npos);
}

TEST_F(CommandLineTest, RepeatedSwitchesAndFileArgumentsKeepTheLast) {
  Parse({"-p", "a", "-p", "b", "one", "two", "-v", "1", "-v", "4", "enc"});
  EXPECT_EQ(settings_.password, "b");
  EXPECT_EQ(settings_.verbose_level, 4);
  EXPECT_EQ(settings_.file_mask, "enc");  // a command letter counts only as a whole argument
  // A POSIX shell hands one argument per file, and each is searched; a Windows console hands
  // patterns over as typed, and the last file argument counts, as it always has.
  const std::vector<std::string> searched = kShellConventions
                                                ? std::vector<std::string>{"one", "two", "enc"}
                                                : std::vector<std::string>{"enc"};
  EXPECT_EQ(FileArguments(settings_), searched);
}

TEST_F(CommandLineTest, HelpStopsParsingWhereItStands) {
  EXPECT_EQ(Parse({"-h", "-X", "-k", "1"}), ParseOutcome::kHelpShown);
  EXPECT_EQ(platform_.out().substr(0, 38), "\nCorvalin 1.2.296 (Build May 27 2011)\n");
  EXPECT_EQ(ParseError({"-X", "-?"}).code, -60);
}

TEST_F(CommandLineTest, LongHelpAndVersionAreKnownBeforeUnknownSwitchesFail) {
  EXPECT_EQ(Parse({"--HELP", "--bogus"}), ParseOutcome::kHelpShown);
  const std::string page = platform_.out();
  platform_.ClearConsole();
  Parse({"-h"});
  EXPECT_EQ(platform_.out(), page);

  platform_.ClearConsole();
  EXPECT_EQ(Parse({"--version", "-X"}), ParseOutcome::kHelpShown);
  EXPECT_EQ(platform_.out(), "Corvalin 1.2.296 (Build May 27 2011)\n");
  // Later in the chain than -p, so it is taken as a pending password like any other text.
  Parse({"-p", "--version"});
  EXPECT_EQ(settings_.password, "--version");
  EXPECT_EQ(ParseError({"--versions"}).code, -60);
}

TEST_F(CommandLineTest, PasswordArgumentsAloneAreZeroedInTheProcessArguments) {
  // "-p e" leaves e a command letter; both later values become the password in turn.
  std::vector<std::string> texts = {"corvalin", "-p", "e", "first", "-p", "second", "file"};
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  ParseProcessArguments(settings_, static_cast<int>(argv.size()), argv.data(), platform_);
  EXPECT_EQ(settings_.password, "second");
  EXPECT_EQ(settings_.file_mask, "file");
  const std::vector<std::string> expected = {
      "corvalin", "-p", "e", std::string(5, '\0'), "-p", std::string(6, '\0'), "file"};
  EXPECT_EQ(texts, expected);
}

}  // namespace
}  // namespace corvalin
