#include "output/output.h"

#include <gtest/gtest.h>

#include <string>

namespace kzt {
namespace {

std::string decimal(uint32_t value) {
  char text[kDecimalDigitsMax];
  return std::string(text, putDecimal(text, value));
}

std::string decimalRight(uint32_t value, unsigned width) {
  char text[kDecimalDigitsMax];
  return std::string(text, putDecimalRight(text, value, width));
}

TEST(DecimalText, AsPercentU) {
  EXPECT_EQ(decimal(0), "0");
  EXPECT_EQ(decimal(7), "7");
  EXPECT_EQ(decimal(10), "10");
  EXPECT_EQ(decimal(65535), "65535");
  EXPECT_EQ(decimal(4294967295u), "4294967295");
}

TEST(DecimalText, RightAlignedAsPercentFiveU) {
  EXPECT_EQ(decimalRight(0, 5), "    0");
  EXPECT_EQ(decimalRight(123, 5), "  123");
  EXPECT_EQ(decimalRight(12345, 5), "12345");
  EXPECT_EQ(decimalRight(123456, 5), "123456");  // wider numbers take more room
  EXPECT_EQ(decimalRight(4294967295u, 10), "4294967295");
}

}  // namespace
}  // namespace kzt
