#include "ident/readout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "frontend/run_flow.h"
#include "sim/harness.h"
#include "sim/run_files.h"
#include "sim/small_drive.h"

namespace kzt {
namespace {

using sim::Command;

TEST(SwapBytePairs, ExchangesCompletePairsOnly) {
  uint8_t bytes[5] = {1, 2, 3, 4, 5};
  SwapBytePairs(bytes, 5);
  EXPECT_EQ(std::string(bytes, bytes + 5), std::string({2, 1, 4, 3, 5}));
  SwapBytePairs(bytes, 1);
  EXPECT_EQ(bytes[0], 2);
  SwapBytePairs(bytes, 0);
  EXPECT_EQ(bytes[0], 2);
}

// An IDENTIFY answer whose vendor area holds `text` in ATA order, the rest of the area zero.
std::string vendorStringOf(const std::string& text) {
  uint8_t answer[kIdentifySize] = {};
  for (size_t i = 0; i < text.size() && i < 62; ++i) answer[258 + (i ^ 1)] = static_cast<uint8_t>(text[i]);
  DriveIdentity identity;
  readDriveIdentity(answer, &identity);
  return identity.vendorString;
}

TEST(VendorString, EndsAtTheFirstUnprintableByteAndHoldsAtMost36Characters) {
  EXPECT_EQ(vendorStringOf("REALTEK_RTS\nTAIL"), "REALTEK_RTS");
  EXPECT_EQ(vendorStringOf(std::string("REALTEK_\xFFXY")), "REALTEK_");
  EXPECT_EQ(vendorStringOf(std::string("\x7F") + "ABC"), "\x7F" "ABC");  // 0x7F is below 0x80
  EXPECT_EQ(vendorStringOf(std::string(1, '\0') + "REALTEK_"), "");
  const std::string printable = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  EXPECT_EQ(vendorStringOf(printable), printable.substr(0, 36));
}

TEST(VendorString, OnlyTheExactPrefixMarksTheController) {
  DriveIdentity identity;
  std::strcpy(identity.vendorString, "REALTEK_");
  EXPECT_TRUE(isRealtekController(identity));
  std::strcpy(identity.vendorString, "REALTEK_ anything at all");
  EXPECT_TRUE(isRealtekController(identity));
  std::strcpy(identity.vendorString, "Realtek_RTS");
  EXPECT_FALSE(isRealtekController(identity));
  std::strcpy(identity.vendorString, "REALTEK");
  EXPECT_FALSE(isRealtekController(identity));
  identity.vendorString[0] = '\0';
  EXPECT_FALSE(isRealtekController(identity));
}

struct IdentifyRun : ::testing::Test {
  sim::ScratchDir scratch;
  sim::SimDrive drive;
  sim::SimPlatform machine;
  IdentifyRun() {
    sim::buildSmallDrive(drive);
    machine.attach(0, &drive);
  }
  sim::RunOutcome run(const std::string& arg) { return sim::runProgramOn(machine, {arg}); }
  std::vector<Command> commands() const {
    std::vector<Command> list;
    for (const auto& c : drive.received) list.push_back(c.command);
    return list;
  }
};

TEST_F(IdentifyRun, AnotherControllerEndsTheSequenceWithoutVendorCommands) {
  drive.setIdentity("OTHER SSD", "1.0", "S1", 1000215216, "SM2259XT");
  sim::writeFile("kzt_flash_id_ec.txt", "from an earlier run\n");
  const sim::RunOutcome out = run("0y");
  EXPECT_EQ(out.exitStatus, kExitNotServed);
  EXPECT_NE(out.console.find("Model: OTHER SSD" + std::string(31, ' ') + "\nFw   : 1.0     \n"
                             "Size : 488386 MB [512.1 GB]\nFwStr: [SM2259XT]\n"
                             "Realtek based SSD not found - Exit!\n"),
            std::string::npos)
      << out.console;
  EXPECT_EQ(commands(), (std::vector<Command>{Command::SmartEnable, Command::SmartRead, Command::Identify}));
  EXPECT_EQ(sim::eraseCountText(), "from an earlier run\n");
  EXPECT_FALSE(sim::fileExists("kzt_fwi.bin"));
}

TEST_F(IdentifyRun, SevenLettersWithoutTheUnderscoreFail) {
  drive.setIdentity("M", "F", "S", 500118192, "REALTEK");
  const sim::RunOutcome out = run("0y");
  EXPECT_EQ(out.exitStatus, kExitNotServed);
  EXPECT_NE(out.console.find("Size : 244198 MB [256.1 GB]\nFwStr: [REALTEK]\nRealtek based"),
            std::string::npos);
}

TEST_F(IdentifyRun, AnEmptyVendorAreaPrintsNoFirmwareStringLine) {
  drive.setIdentity("M", "F", "S", 0, "");
  const sim::RunOutcome out = run("0y");
  EXPECT_EQ(out.exitStatus, kExitNotServed);
  EXPECT_EQ(out.console.find("FwStr"), std::string::npos);
  EXPECT_NE(out.console.find("Size : 0 MB [0.0 GB]\nRealtek based SSD not found - Exit!\n"),
            std::string::npos);
}

TEST_F(IdentifyRun, SerialNumberReachesOnlyTheReportAndOnlyWithN) {
  run("0ny");
  const std::string report = sim::reportText();
  EXPECT_NE(report.find("Size : 122104 MB [128.0 GB]\nS/N  : GLD0000000001       \nFwStr"),
            std::string::npos);
  const sim::RunOutcome plain = run("0y");
  EXPECT_EQ(plain.console.find("GLD0000000001"), std::string::npos);
  EXPECT_EQ(sim::reportText().find("GLD0000000001"), std::string::npos);
}

TEST_F(IdentifyRun, SerialGoesNowhereWhenTheReportCannotBeCreated) {
  std::filesystem::create_directory("kzt_flash_id.txt");  // the report's name is taken
  const sim::RunOutcome out = run("0ny");
  EXPECT_NE(out.console.find("Create log file error\n"), std::string::npos);
  EXPECT_EQ(out.console.find("GLD0000000001"), std::string::npos);
  EXPECT_EQ(out.exitStatus, kExitServed);
}

TEST_F(IdentifyRun, FailedIdentifyStillDumpsZerosAndFailsTheCheck) {
  drive.setFault(Command::Identify, {sim::FaultKind::TransportFailure, 0x1F});
  const sim::RunOutcome out = run("0y");
  EXPECT_EQ(out.exitStatus, kExitIdentifyFailed);
  EXPECT_NE(out.console.find("IOCtl: Identify failed 0x1f!\nModel: \nFw   : \n"
                             "Size : 0 MB [0.0 GB]\nRealtek based SSD not found - Exit!\n"),
            std::string::npos)
      << out.console;
  EXPECT_EQ(sim::readFile("id.bin"), std::string(512, '\0'));
  EXPECT_NE(sim::reportText().find("IOCtl: Identify failed 0x1f!\n"), std::string::npos);
}

TEST_F(IdentifyRun, DeviceErrorWithDataIsReportedAndTheDataUsed) {
  drive.setFault(Command::Identify, {sim::FaultKind::DeviceError, 0, 0x51});
  const sim::RunOutcome out = run("0y");
  EXPECT_EQ(out.exitStatus, kExitServed);
  EXPECT_NE(out.console.find("ATA: Identify failed! Error: 0x51\nModel: KZT GOLDEN"),
            std::string::npos);
}

TEST_F(IdentifyRun, FileModeLoadsIdBinWithoutSendingOrRewritingIt) {
  const sim::RunOutcome missing = run("0fy");
  EXPECT_EQ(missing.exitStatus, kExitIdentifyFailed);
  EXPECT_NE(missing.console.find("id.bin: Open File Error\nModel: \n"), std::string::npos);
  EXPECT_TRUE(drive.received.empty());

  // The first 100 bytes of a live answer: the strings are there, the sector count is not.
  std::string head = sim::bytesOf(drive.identify.data(), 100);
  sim::writeFile("id.bin", head);
  const sim::RunOutcome replay = run("0fy");
  EXPECT_NE(replay.console.find("Model: KZT GOLDEN SSD 128GB"), std::string::npos);
  EXPECT_NE(replay.console.find("Size : 0 MB [0.0 GB]\nRealtek based SSD not found"), std::string::npos);
  EXPECT_EQ(replay.exitStatus, kExitNotServed);
  EXPECT_TRUE(drive.received.empty());
  EXPECT_EQ(sim::readFile("id.bin"), head);
}

}  // namespace
}  // namespace kzt
