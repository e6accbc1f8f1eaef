#include "health/bad_blocks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "sim/harness.h"
#include "sim/run_files.h"
#include "sim/small_drive.h"
#include "sim/vendor_answers.h"

namespace kzt {
namespace {

using sim::BadBlock;
using sim::kFactory;
using sim::kGrown;

TEST(BbecLayout, BankSelectorPutsChannelHighAndCeLow) {
  EXPECT_EQ(bankSelector(0, 0), 0x00);
  EXPECT_EQ(bankSelector(1, 3), 0x13);
  EXPECT_EQ(bankSelector(7, 5), 0x75);
}

TEST(BbecLayout, EntryIsKindUnreadByteAndBlockNumber) {
  const uint8_t list[16] = {0x04, 0x99, 0x34, 0x12, 0xFF, 0x00, 0xFF, 0xFF,
                            0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};
  const BadBlockEntry grown = readBadBlockEntry(list, 0);
  EXPECT_EQ(grown.kind, 4);
  EXPECT_EQ(grown.blockNumber, 0x1234);
  EXPECT_FALSE(grown.endsList);
  EXPECT_FALSE(readBadBlockEntry(list, 1).endsList);  // kind 0xFF alone does not end the list
  EXPECT_TRUE(readBadBlockEntry(list, 2).endsList);
  EXPECT_EQ(badBlockWalkLength(12), 12u);
  EXPECT_EQ(badBlockWalkLength(512), 512u);
  EXPECT_EQ(badBlockWalkLength(4096), 512u);
}

struct BadBlockLists : ::testing::Test {
  sim::ScratchDir scratch;
  sim::SimDrive drive;
  sim::SimPlatform machine;
  BadBlockLists() {
    sim::buildSmallDrive(drive);
    machine.attach(0, &drive);
  }
  std::string lists(const std::string& arg = "0y") {
    sim::runProgramOn(machine, {arg});
    const std::string report = sim::reportText();
    const size_t at = report.find("\nFabric Bad block list");
    return at == std::string::npos ? report : report.substr(at);
  }
  void setBlocksPerDie(uint16_t blocks) {
    drive.firmwareInfo[0xC54] = static_cast<uint8_t>(blocks);
    drive.firmwareInfo[0xC55] = static_cast<uint8_t>(blocks >> 8);
  }
};

TEST_F(BadBlockLists, WithoutXOnlyBankZeroIsListed) {
  EXPECT_EQ(lists(), "\nFabric Bad block list (bank0 only):\nCh0CE0: 3 11 =2\n"
                     "\nLater Bad block list (bank0 only):\nCh0CE0: 7 =1\n"
                     "Bank0 BB (Fabric+Later): 3 (2+1)\n");
}

TEST_F(BadBlockLists, WithoutBankZeroInTheMaskNothingIsReadAndOnlyTheHeadingIsWritten) {
  sim::setFlashId(drive, 0, {});
  sim::writeFile("kzt_flash_id_ec.txt", "older\n");
  EXPECT_EQ(lists(), "\nFabric Bad block list (bank0 only):\n\nLater Bad block list (bank0 only):\n"
                     "Bank0 BB (Fabric+Later): 0 (0+0)\n");
  for (const auto& c : drive.received) EXPECT_NE(c.command, sim::Command::GetBbec);
  EXPECT_EQ(sim::eraseCountText(), "Block Erase count\n");
}

TEST_F(BadBlockLists, TerminatorEndsTheListAndOnlyKinds0And4Count) {
  sim::setBbec(drive, 0, 0,
               sim::bbecAnswer({{kFactory, 1}, {0xFF, 2}, {1, 3}, {kGrown, 4}, {kFactory, 5}}, {}));
  // An entry of four 0xFF bytes in the middle of the list; the factory entry after it is ignored.
  std::vector<uint8_t> stopped = sim::bbecAnswer({{kGrown, 6}, {kFactory, 0xFFFF}, {kFactory, 8}}, {});
  for (int i = 0; i < 4; ++i) stopped[2048 + 4 + i] = 0xFF;
  sim::setBbec(drive, 0, 1, stopped);
  EXPECT_EQ(lists("0xy"), "\nFabric Bad block list:\nCh0CE0: 1 5 =2\nCh0CE1: =0\nCh1CE0: =0\nCh1CE1: 0 =1\n"
                          "\nLater Bad block list:\nCh0CE0: 4 =1\nCh0CE1: 6 =1\nCh1CE0: =0\nCh1CE1: 2 10 =2\n"
                          "All BB (Fabric+Later): 7 (3+4)\n");
}

TEST_F(BadBlockLists, WalkStopsAfterBlocksPerDieEntries) {
  setBlocksPerDie(2);
  sim::setBbec(drive, 0, 0, sim::bbecAnswer({{kFactory, 3}, {kGrown, 5}, {kFactory, 7}}, {}));
  EXPECT_EQ(lists(), "\nFabric Bad block list (bank0 only):\nCh0CE0: 3 =1\n"
                     "\nLater Bad block list (bank0 only):\nCh0CE0: 5 =1\n"
                     "Bank0 BB (Fabric+Later): 2 (1+1)\n");
}

TEST_F(BadBlockLists, WalkStopsAtTheEndOfTheSlotWithoutTerminator) {
  setBlocksPerDie(4000);
  std::vector<BadBlock> full;
  std::string expected = "Ch0CE0:";
  for (uint16_t b = 0; b < 512; ++b) {
    full.push_back({kFactory, static_cast<uint16_t>(b * 3)});
    expected += ' ';
    expected += std::to_string(b * 3);
  }
  sim::setBbec(drive, 0, 0, sim::bbecAnswer(full, {}, false));
  sim::setBbec(drive, 0, 1, sim::bbecAnswer({{kFactory, 9000}, {kFactory, 9001}}, {}));
  const std::string text = lists("0xy");
  EXPECT_NE(text.find("\n" + expected + " =512\nCh0CE1: 9000 9001 =2\n"), std::string::npos) << text;
  EXPECT_NE(text.find("All BB (Fabric+Later): 517 (515+2)\n"), std::string::npos);
}

TEST_F(BadBlockLists, BlocksPerDieZeroListsNothingButStillReads) {
  setBlocksPerDie(0);
  EXPECT_EQ(lists("0xy"), "\nFabric Bad block list:\nCh0CE0: =0\nCh0CE1: =0\nCh1CE0: =0\nCh1CE1: =0\n"
                          "\nLater Bad block list:\nCh0CE0: =0\nCh0CE1: =0\nCh1CE0: =0\nCh1CE1: =0\n"
                          "All BB (Fabric+Later): 0 (0+0)\n");
  EXPECT_TRUE(sim::fileExists("kzt_bbec_1_1.bin"));
  EXPECT_EQ(sim::eraseCountText(), "Block Erase count\n");
}

TEST_F(BadBlockLists, AFailedBankListsNothingRatherThanThePreviousBanksBlocks) {
  drive.setFault(sim::Command::GetBbec, {sim::FaultKind::TransportFailure, 0x1F}, 1);  // ch0 CE1
  drive.setFault(sim::Command::GetBbec, {sim::FaultKind::TransportFailure, 0x1F}, 3);  // ch1 CE1
  const sim::RunOutcome out = sim::runProgramOn(machine, {"0xy"});
  EXPECT_NE(out.console.find("Read BB 0/1\rIOCtl: Get BBEC failed 0x1f!\nRead BB 1/0\r"), std::string::npos);
  const std::string report = sim::reportText();
  // The failure lines reach the report while the banks are read, after the first heading.
  EXPECT_NE(report.find("\nFabric Bad block list:\nIOCtl: Get BBEC failed 0x1f!\nIOCtl: Get BBEC failed 0x1f!\n"
                        "Ch0CE0: 3 11 =2\nCh0CE1: =0\nCh1CE0: =0\nCh1CE1: =0\n"
                        "\nLater Bad block list:\nCh0CE0: 7 =1\nCh0CE1: =0\nCh1CE0: =0\nCh1CE1: =0\n"
                        "All BB (Fabric+Later): 3 (2+1)\n"),
            std::string::npos)
      << report;
  EXPECT_EQ(sim::readFile("kzt_bbec_0_1.bin"), std::string(32768, '\xFF'));
  // The last bank read failed: its blocks have no count.
  std::string expected = "Block Erase count\n";
  for (int b = 0; b < 12; ++b) {
    char line[16];
    std::snprintf(line, sizeof line, "%5d -\n", b);
    expected += line;
  }
  EXPECT_EQ(sim::eraseCountText(), expected);
}

TEST_F(BadBlockLists, AMissingDumpInFileModeListsNothingForThatBank) {
  sim::runProgramOn(machine, {"0xy"});
  std::filesystem::remove("kzt_bbec_0_1.bin");
  const sim::RunOutcome replay = sim::runProgramOn(machine, {"0fxy"});
  EXPECT_NE(replay.console.find("Read BB 0/1\rkzt_bbec_0_1.bin: Open File Error\nRead BB 1/0\r"),
            std::string::npos);
  EXPECT_NE(sim::reportText().find("\nFabric Bad block list:\nCh0CE0: 3 11 =2\nCh0CE1: =0\nCh1CE0: =0\n"),
            std::string::npos);
  EXPECT_FALSE(sim::fileExists("kzt_bbec_0_1.bin"));
}

}  // namespace
}  // namespace kzt
