#include "health/smart.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/harness.h"
#include "sim/run_files.h"
#include "sim/small_drive.h"

namespace kzt {
namespace {

using sim::Command;
using sim::FaultKind;

struct Smart : ::testing::Test {
  sim::ScratchDir scratch;
  sim::SimDrive drive;
  sim::SimPlatform machine;
  Smart() {
    sim::buildSmallDrive(drive);
    machine.attach(0, &drive);
  }
  // The console from the drive line up to the identify lines.
  std::string smartPart() {
    const std::string console = sim::runProgramOn(machine, {"0y"}).console;
    const size_t from = console.find("Drive: 0(ATA)\n") + 14;
    return console.substr(from, console.find("Model:") - from);
  }
  std::vector<Command> commands() const {
    std::vector<Command> list;
    for (const auto& c : drive.received) list.push_back(c.command);
    return list;
  }
};

TEST_F(Smart, AValidBlockIsDumpedSilently) {
  EXPECT_EQ(smartPart(), "");
  EXPECT_EQ(sim::readFile("smart.bin"), sim::bytesOf(drive.smartData.data(), 512));
}

TEST_F(Smart, AnyMultipleOf256ButZeroPasses) {
  drive.smartData.fill(0);
  drive.smartData[10] = 0x80;
  drive.smartData[400] = 0x80;
  EXPECT_EQ(smartPart(), "");
  drive.smartData.fill(0);
  EXPECT_EQ(smartPart(), "Smart data checksum error!\n");
  EXPECT_EQ(sim::readFile("smart.bin"), std::string(512, '\0'));
  EXPECT_EQ(sim::reportText().find("checksum"), std::string::npos);
  drive.smartData[0] = 1;
  EXPECT_EQ(smartPart(), "Smart data checksum error!\n");
}

TEST_F(Smart, EnableRejectedStopsBeforeTheRead) {
  sim::writeFile("smart.bin", "older");
  drive.setFault(Command::SmartEnable, {FaultKind::DeviceError, 0, 0x51});
  EXPECT_EQ(smartPart(), "ATA: SmartEnable failed! Error: 0x51\n");
  EXPECT_EQ(commands().at(1), Command::Identify);
  EXPECT_EQ(sim::readFile("smart.bin"), "older");
  EXPECT_EQ(sim::reportText().find("ATA: SmartEnable failed! Error: 0x51\nModel:"),
            sim::reportText().find("OS:") + 22);
}

TEST_F(Smart, EachFailureHasItsOwnMessage) {
  drive.setFault(Command::SmartEnable, {FaultKind::TransportFailure, 0x1F});
  EXPECT_EQ(smartPart(), "IOCtl: SmartEnable failed 0x1f!\n");
  drive = sim::SimDrive{};
  sim::buildSmallDrive(drive);
  drive.setFault(Command::SmartRead, {FaultKind::TransportFailure, 0x37});
  EXPECT_EQ(smartPart(), "IOCtl: GetSmart failed 0x37!\n");
  EXPECT_FALSE(sim::fileExists("smart.bin"));
  drive = sim::SimDrive{};
  sim::buildSmallDrive(drive);
  drive.setFault(Command::SmartRead, {FaultKind::DeviceError, 0, 0x41});
  EXPECT_EQ(smartPart(), "ATA: GetSmart failed! Error: 0x41\n");
  EXPECT_FALSE(sim::fileExists("smart.bin"));
}

}  // namespace
}  // namespace kzt
