#include "health/erase_counts.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/harness.h"
#include "sim/run_files.h"
#include "sim/small_drive.h"
#include "sim/vendor_answers.h"

namespace kzt {
namespace {

TEST(EraseCountLines, BoundedByTheAreaAndNoneWithoutABank) {
  EXPECT_EQ(eraseCountLines(12, 1), 12u);
  EXPECT_EQ(eraseCountLines(8192, 4), 8192u);
  EXPECT_EQ(eraseCountLines(9000, 1), 8192u);
  EXPECT_EQ(eraseCountLines(65535, 1), 8192u);
  EXPECT_EQ(eraseCountLines(12, 0), 0u);
}

bool startsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}
bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void putCount(BbecAnswer& a, unsigned block, uint16_t value) {
  a.bytes[16384 + 2 * block] = static_cast<uint8_t>(value);
  a.bytes[16384 + 2 * block + 1] = static_cast<uint8_t>(value >> 8);
}

TEST(EraseCountFile, MarksBadBlocksAndBlocksWithoutACount) {
  sim::ScratchDir scratch;
  auto answer = std::make_unique<BbecAnswer>();
  for (unsigned b = 0; b < 8192; ++b) putCount(*answer, b, static_cast<uint16_t>(b));
  putCount(*answer, 0, 65533);
  putCount(*answer, 1, 0xFFFE);
  putCount(*answer, 2, 0xFFFF);
  putCount(*answer, 7, 12);
  putCount(*answer, 123, 0xFFFE);
  writeEraseCountFile(*answer, 124, 1);
  const std::string text = sim::eraseCountText();
  EXPECT_TRUE(startsWith(text, "Block Erase count\n    0 65533\n    1 Bad\n    2 -\n    3 3\n    4 4\n")) << text;
  EXPECT_NE(text.find("\n    7 12\n    8 8\n"), std::string::npos);
  EXPECT_TRUE(endsWith(text, "\n  122 122\n  123 Bad\n"));

  writeEraseCountFile(*answer, 9000, 1);
  const std::string capped = sim::eraseCountText();
  EXPECT_TRUE(endsWith(capped, "\n 8190 8190\n 8191 8191\n"));
  EXPECT_EQ(capped.find('\r'), std::string::npos);
  size_t lines = 0;
  for (char c : capped) lines += c == '\n';
  EXPECT_EQ(lines, 8193u);

  writeEraseCountFile(*answer, 124, 0);
  EXPECT_EQ(sim::eraseCountText(), "Block Erase count\n");
}

TEST(EraseCountFile, ComesFromBankZeroWithoutXAndTheLastBankWithX) {
  sim::ScratchDir scratch;
  sim::SimDrive drive;
  sim::buildSmallDrive(drive);
  sim::SimPlatform machine;
  machine.attach(0, &drive);
  sim::runProgramOn(machine, {"0y"});
  EXPECT_EQ(sim::eraseCountText(),
            "Block Erase count\n    0 12\n    1 15\n    2 9\n    3 Bad\n    4 20\n    5 65533\n"
            "    6 0\n    7 Bad\n    8 14\n    9 -\n   10 13\n   11 Bad\n");
  sim::runProgramOn(machine, {"0xy"});
  EXPECT_TRUE(startsWith(sim::eraseCountText(), "Block Erase count\n    0 Bad\n    1 8\n    2 Bad\n"));
}

}  // namespace
}  // namespace kzt
