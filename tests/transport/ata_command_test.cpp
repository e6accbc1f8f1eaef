#include "transport/ata_command.h"

#include <gtest/gtest.h>

#include <vector>

#include "frontend/options.h"
#include "sim/sim_platform.h"

namespace kzt {
namespace {

using sim::Command;
using sim::Fault;
using sim::FaultKind;

class AtaCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runOptions = RunOptions{};
    resetTransportState();
    drive.identify.fill(0x11);
    drive.firmwareInfo.assign(4096, 0x22);
    machine.attach(0, &drive);
    setPlatform(&machine);
  }
  void TearDown() override {
    setPlatform(nullptr);
    runOptions = RunOptions{};
    resetTransportState();
  }

  int identify(int32_t number, uint8_t* buffer, uint32_t length = 512) {
    return ataCommandIn(number, 0xEC, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, buffer, length);
  }
  int getFwi(uint8_t* buffer) {
    return ataCommandIn48(0, 0xFA, 0xE0, 0xF0, 0x50, 0x00, 0x08, 0x01, 0x00, 0x00, 0xAF, 0x00,
                          0x00, buffer, 4096);
  }

  sim::SimDrive drive;
  sim::SimPlatform machine;
};

TEST_F(AtaCommandTest, ArgumentsReachTheirRegisters) {
  std::vector<uint8_t> buffer(4096);
  ASSERT_NE(getFwi(buffer.data()), 0);
  ASSERT_NE(ataCommandNoData48(0, 0xFC, 0xE0, 0x00, 0x00, 0x00, 0xFF, 0x50, 0x00, 0x00, 0x00,
                               0xFF, 0x00, nullptr, 0), 0);
  ASSERT_NE(ataCommandNoData(0, 0xB0, 0x40, 0xC2, 0x4F, 0x00, 0x00, 0xD8, nullptr, 0), 0);
  ASSERT_EQ(drive.received.size(), 3u);
  EXPECT_EQ(drive.received[0].command, Command::GetFwi);
  EXPECT_EQ(drive.received[0].operation, AtaOperation::In48);
  EXPECT_EQ(drive.received[0].registers.lbaHigh, 0xF0);
  EXPECT_EQ(drive.received[0].registers.lbaMid, 0x50);
  EXPECT_EQ(drive.received[0].registers.prevLbaLow, 0xAF);
  EXPECT_EQ(drive.received[0].length, 4096u);
  EXPECT_EQ(drive.received[1].command, Command::FidPrefix);
  EXPECT_EQ(drive.received[1].registers.count, 0xFF);
  EXPECT_EQ(drive.received[1].registers.prevCount, 0xFF);
  EXPECT_EQ(drive.received[1].length, 0u);
  EXPECT_EQ(drive.received[2].command, Command::SmartEnable);
  EXPECT_EQ(buffer[0], 0x22);
  EXPECT_EQ(buffer[4095], 0x22);
}

TEST_F(AtaCommandTest, BusKindChoosesTheBackend) {
  uint8_t buffer[512];
  identify(0, buffer);
  busKind = BusKind::Usb;
  identify(0, buffer);
  ASSERT_EQ(drive.received.size(), 2u);
  EXPECT_FALSE(drive.received[0].viaBridge);
  EXPECT_TRUE(drive.received[1].viaBridge);
}

TEST_F(AtaCommandTest, NativeStatusComesFromTheDevice) {
  uint8_t buffer[512];
  drive.setFault(Command::Identify, Fault{FaultKind::DeviceError, 0, 0x51, 0});
  EXPECT_NE(identify(0, buffer), 0);  // the platform completed it; the device said no
  EXPECT_EQ(lastAtaStatus, 0x51);
  EXPECT_EQ(buffer[0], 0x11);  // data that came in is delivered
  drive.setFault(Command::Identify, Fault{});
  identify(0, buffer);
  EXPECT_EQ(lastAtaStatus, 0x50);
}

TEST_F(AtaCommandTest, FailedNativeRequestLeavesTheCommandCodeAndTheBuffer) {
  std::vector<uint8_t> buffer(4096, 0xAA);
  drive.setFault(Command::GetFwi, Fault{FaultKind::TransportFailure, 0x1F, 0, 0});
  EXPECT_EQ(getFwi(buffer.data()), 0);
  EXPECT_EQ(lastAtaStatus, 0xFA);
  EXPECT_EQ(lastTransportError(), 0x1Fu);
  EXPECT_EQ(buffer, std::vector<uint8_t>(4096, 0xAA));
}

TEST_F(AtaCommandTest, NativeDataInWithoutDataShowsTheMarker) {
  std::vector<uint8_t> buffer(4096, 0xAA);
  drive.setFault(Command::GetFwi, Fault{FaultKind::NoData, 0, 0, 0});
  EXPECT_NE(getFwi(buffer.data()), 0);
  std::vector<uint8_t> expected(4096, 0x00);
  expected[0] = 0xCF;
  EXPECT_EQ(buffer, expected);
}

TEST_F(AtaCommandTest, BridgeNeverTouchesTheStatusAndZeroesAfterFailure) {
  busKind = BusKind::Usb;
  std::vector<uint8_t> buffer(4096, 0xAA);
  drive.vendorCommands = false;  // the device rejects it, the bridge completes the request
  EXPECT_NE(getFwi(buffer.data()), 0);
  EXPECT_EQ(lastAtaStatus, 0);
  EXPECT_EQ(buffer, std::vector<uint8_t>(4096, 0x00));  // no marker on the bridge path

  std::fill(buffer.begin(), buffer.end(), 0xAA);
  drive.setFault(Command::GetFwi, Fault{FaultKind::TransportFailure, 0x1F, 0, 0});
  EXPECT_EQ(getFwi(buffer.data()), 0);
  EXPECT_EQ(lastAtaStatus, 0);
  EXPECT_EQ(lastTransportError(), 0x1Fu);
  EXPECT_EQ(buffer, std::vector<uint8_t>(4096, 0x00));
}

TEST_F(AtaCommandTest, MissingDriveSendsNothingAndKeepsTheStatus) {
  uint8_t buffer[512];
  std::fill(buffer, buffer + 512, 0xAA);
  lastAtaStatus = 0x42;
  drive.present = false;
  EXPECT_EQ(identify(0, buffer), 0);
  busKind = BusKind::Usb;
  EXPECT_EQ(identify(0, buffer), 0);
  EXPECT_EQ(lastAtaStatus, 0x42);
  EXPECT_EQ(lastTransportError(), 2u);
  EXPECT_EQ(buffer[0], 0xAA);  // not even the bridge path clears a buffer when nothing was sent
  EXPECT_TRUE(drive.received.empty());
}

TEST_F(AtaCommandTest, NumbersOutsideEightBitsNameNoDrive) {
  uint8_t buffer[512];
  machine.attach(44, &drive);
  EXPECT_EQ(identify(256, buffer), 0);  // must not reach drive 0
  EXPECT_EQ(identify(300, buffer), 0);  // must not reach drive 44
  EXPECT_EQ(identify(-1, buffer), 0);
  EXPECT_EQ(lastTransportError(), 2u);
  EXPECT_TRUE(drive.received.empty());
  EXPECT_NE(identify(44, buffer), 0);
}

TEST_F(AtaCommandTest, TransferLimitIsSixtyFourKibibytes) {
  std::vector<uint8_t> buffer(65537, 0xAA);
  EXPECT_NE(identify(0, buffer.data(), 65536), 0);
  EXPECT_EQ(buffer[511], 0x11);
  EXPECT_EQ(buffer[512], 0x00);  // the rest of the data area as it started
  EXPECT_EQ(buffer[65536], 0xAA);
  lastAtaStatus = 0x42;
  EXPECT_EQ(identify(0, buffer.data(), 65537), 0);
  EXPECT_EQ(lastAtaStatus, 0x42);
  EXPECT_EQ(drive.received.size(), 1u);
}

}  // namespace
}  // namespace kzt
