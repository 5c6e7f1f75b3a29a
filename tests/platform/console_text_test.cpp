// The console's line end on Windows: bare line feeds become CR LF, nothing is doubled.
#include <gtest/gtest.h>

#include "platform/console_text.h"

namespace corvalin {
namespace {

std::string Converted(std::string_view text) {
  bool after_cr = false;
  return WithCarriageReturns(text, after_cr);
}

TEST(ConsoleTextTest, BareLineFeedsGetACarriageReturnAndCrLfStaysAsItIs) {
  EXPECT_EQ(Converted("\nA\n\nB"), "\r\nA\r\n\r\nB");
  EXPECT_EQ(Converted("\r\nFound 1 file(s)\r\n\n"), "\r\nFound 1 file(s)\r\n\r\n");
  EXPECT_EQ(Converted("000%\b\b\b\b\r"), "000%\b\b\b\b\r");
}

TEST(ConsoleTextTest, ACrLfSplitOverTwoWritesIsNotDoubled) {
  bool after_cr = false;
  EXPECT_EQ(WithCarriageReturns("[OK] \r", after_cr), "[OK] \r");
  EXPECT_EQ(WithCarriageReturns("\nnext\n", after_cr), "\nnext\r\n");
  EXPECT_FALSE(after_cr);
  EXPECT_EQ(WithCarriageReturns("\n", after_cr), "\r\n");
}

}  // namespace
}  // namespace corvalin
