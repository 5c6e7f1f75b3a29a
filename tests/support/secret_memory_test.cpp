#include <gtest/gtest.h>

#include <string>

#include "support/secret_memory.h"

namespace corvalin {
namespace {

bool AllZero(const char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

TEST(SecretMemoryTest, StringWipeReachesTheBytesALongerEarlierValueLeft) {
  std::string text(40, 'x');
  text = "ab";  // the buffer keeps its size; 38 old bytes lie past the new end
  const char* buffer = text.data();
  const std::size_t capacity = text.capacity();
  WipeString(text);
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(text.data(), buffer);
  EXPECT_TRUE(AllZero(buffer, capacity));
}

TEST(SecretMemoryTest, ShortStringsHeldInsideTheObjectAreWipedToo) {
  std::string text = "pw";
  const char* buffer = text.data();
  WipeString(text);
  EXPECT_TRUE(AllZero(buffer, text.capacity()));
}

}  // namespace
}  // namespace corvalin
