#include "frontend/options.h"

#include <gtest/gtest.h>

namespace kzt {
namespace {

TEST(DriveNumberText, ReadsTheLeadingDecimalNumber) {
  EXPECT_EQ(parseDriveNumber(""), 0);
  EXPECT_EQ(parseDriveNumber("b1"), 0);  // the number is read only from the start
  EXPECT_EQ(parseDriveNumber("  12xy"), 12);
  EXPECT_EQ(parseDriveNumber("-1"), -1);
  EXPECT_EQ(parseDriveNumber("+7"), 7);
  EXPECT_EQ(parseDriveNumber("- 7"), 0);
}

TEST(DriveNumberText, SaturatesBeyondThirtyTwoBits) {
  bool overflowed = false;
  EXPECT_EQ(parseDriveNumber("2147483647", &overflowed), 2147483647);
  EXPECT_FALSE(overflowed);
  EXPECT_EQ(parseDriveNumber("2147483648", &overflowed), 2147483647);
  EXPECT_TRUE(overflowed);
  EXPECT_EQ(parseDriveNumber("-2147483648", &overflowed), INT32_MIN);
  EXPECT_FALSE(overflowed);
  EXPECT_EQ(parseDriveNumber("99999999999999999999999999", &overflowed), 2147483647);
  EXPECT_TRUE(overflowed);
}

TEST(OptionLetters, AreFoundAnywhereInEitherCase) {
  RunOptions options;
  applyOptionLetters("0ny", &options);
  EXPECT_TRUE(options.serialInReport);
  EXPECT_TRUE(options.noPrompt);
  EXPECT_FALSE(options.fileMode);
  EXPECT_FALSE(options.allBanks);
  applyOptionLetters("1XF", &options);
  EXPECT_TRUE(options.allBanks);
  EXPECT_TRUE(options.fileMode);
  EXPECT_TRUE(options.saveDumps);
}

}  // namespace
}  // namespace kzt
