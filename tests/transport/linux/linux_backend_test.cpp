#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "fake_sg_io.h"
#include "frontend/options.h"
#include "sim/sim_drive.h"
#include "transport/ata_command.h"
#include "transport/linux/linux_platform.h"
#include "transport/platform.h"

namespace kzt::linuxtest {
namespace {

using Bytes = std::vector<uint8_t>;

class LinuxBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    resetTransportState();
    runOptions = RunOptions{};
    setPlatform(systemPlatform());
    drive.setIdentity("QEMU HARDDISK", "2.5+", "QM00001", 2097152, "");
    for (size_t i = 0; i < drive.firmwareInfo.size(); ++i) drive.firmwareInfo[i] = static_cast<uint8_t>(i * 7);
  }
  void TearDown() override {
    setPlatform(nullptr);
    runOptions = RunOptions{};
  }
  void useBridge() { busKind = BusKind::Usb; }

  int identify(uint8_t* buffer, int32_t number = 0) {
    return ataCommandIn(number, 0xEC, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, buffer, 512);
  }
  int getFwi(uint8_t* buffer) {
    return ataCommandIn48(0, 0xFA, 0xE0, 0xF0, 0x50, 0x00, 0x08, 0x01, 0x00, 0x00, 0xAF, 0x00,
                          0x00, buffer, 4096);
  }
  int fidPrefix() {
    return ataCommandNoData48(0, 0xFC, 0xE0, 0x00, 0x00, 0x00, 0xFF, 0x50, 0x00, 0x00, 0x00,
                              0xFF, 0x00, nullptr, 0);
  }

  FakeSgIo kernel;
  sim::SimDrive drive;
};

TEST(LinuxDiskNames, CountLettersLikeTheKernel) {
  char name[16];
  const std::pair<unsigned, const char*> cases[] = {
      {0, "sda"}, {25, "sdz"}, {26, "sdaa"}, {27, "sdab"}, {51, "sdaz"}, {52, "sdba"},
      {98, "sdcu"}, {255, "sdiv"}, {701, "sdzz"}, {702, "sdaaa"}};
  for (const auto& [drive, expected] : cases) {
    ASSERT_EQ(linuxos::diskName(drive, name, sizeof name), 1);
    EXPECT_STREQ(name, expected) << drive;
  }
  EXPECT_EQ(linuxos::diskName(26, name, 4), 0);  // "sdaa" needs five bytes
}

TEST_F(LinuxBackend, NativeIdentifyAsksForRegistersAndTakesStatusFromSense) {
  kernel.attach("/dev/sda", &drive, DiskKind::Libata);
  uint8_t buffer[512];
  ASSERT_EQ(identify(buffer), 1);
  ASSERT_EQ(kernel.sent.size(), 1u);
  const SentRequest& sent = kernel.sent[0];
  EXPECT_EQ(sent.cdb, (Bytes{0xA1, 0x08, 0x2E, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xEC, 0x00, 0x00}));
  EXPECT_EQ(sent.direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(sent.length, 512u);
  EXPECT_EQ(sent.timeout, 2000u);
  EXPECT_EQ(lastAtaStatus, 0x50);
  EXPECT_EQ(Bytes(buffer, buffer + 512), Bytes(drive.identify.begin(), drive.identify.end()));
  EXPECT_EQ(kernel.openCount, 1);
  EXPECT_EQ(kernel.closeCount, 1);
}

TEST_F(LinuxBackend, NativeFortyEightBitCommandsCarryExtendSoLibataSendsHighRegisters) {
  kernel.attach("/dev/sda", &drive, DiskKind::Libata);
  std::vector<uint8_t> buffer(4096);
  ASSERT_EQ(getFwi(buffer.data()), 1);
  ASSERT_EQ(fidPrefix(), 1);
  ASSERT_EQ(kernel.sent.size(), 2u);
  EXPECT_EQ(kernel.sent[0].cdb, (Bytes{0x85, 0x15, 0x2E, 0x00, 0x01, 0x00, 0x08, 0xAF, 0x00, 0x00,
                                       0x50, 0x00, 0xF0, 0xE0, 0xFA, 0x00}));
  EXPECT_EQ(kernel.sent[0].length, 4096u);
  EXPECT_EQ(kernel.sent[1].cdb, (Bytes{0x85, 0x07, 0x2C, 0x00, 0x50, 0xFF, 0xFF, 0x00, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0xE0, 0xFC, 0x00}));
  EXPECT_EQ(kernel.sent[1].direction, SG_DXFER_NONE);
  EXPECT_EQ(kernel.sent[1].length, 0u);
  // The drive recognised both commands, so the high-order registers reached it.
  ASSERT_EQ(drive.received.size(), 2u);
  EXPECT_EQ(drive.received[0].command, sim::Command::GetFwi);
  EXPECT_EQ(drive.received[1].command, sim::Command::FidPrefix);
  EXPECT_EQ(buffer, drive.firmwareInfo);
  EXPECT_EQ(lastAtaStatus, 0x50);
}

TEST_F(LinuxBackend, NativeDeviceErrorInEitherSenseFormatSetsErrorBitAndKeepsMarker) {
  kernel.attach("/dev/sda", &drive, DiskKind::Libata);
  drive.vendorCommands = false;  // aborts FA with status 51
  for (bool descriptor : {false, true}) {
    kernel.descriptorErrors = descriptor;
    lastAtaStatus = 0;
    std::vector<uint8_t> buffer(4096, 0x11);
    ASSERT_EQ(getFwi(buffer.data()), 1) << descriptor;  // a CHECK CONDITION completes
    EXPECT_EQ(lastAtaStatus, 0x51) << descriptor;
    // No data came: the caller sees the marker and the zeros of the data area.
    EXPECT_EQ(buffer[0], 0xCF);
    EXPECT_EQ(std::count(buffer.begin() + 1, buffer.end(), 0), 4095);
  }
}

TEST_F(LinuxBackend, NativeErrorWithDataKeepsTheData) {
  kernel.attach("/dev/sda", &drive, DiskKind::Libata);
  sim::Fault fault;
  fault.kind = sim::FaultKind::DeviceError;
  fault.status = 0x41;
  drive.setFault(sim::Command::Identify, fault);
  uint8_t buffer[512];
  ASSERT_EQ(identify(buffer), 1);
  EXPECT_EQ(lastAtaStatus, 0x41);
  EXPECT_EQ(Bytes(buffer, buffer + 512), Bytes(drive.identify.begin(), drive.identify.end()));
}

TEST_F(LinuxBackend, NativeFailuresGiveTheirCodesAndLeaveTheBufferAlone) {
  kernel.attach("/dev/sda", &drive, DiskKind::Libata);
  struct Case {
    ForcedResult forced;
    uint32_t code;
  };
  const Case cases[] = {
      {{EIO, 0, 0, -1}, 0x5},         // the ioctl failed
      {{0, 0x03, 0, -1}, 0x10003},    // host status: time-out
      {{0, 0, 0x06, -1}, 0x20006},    // driver status: time-out
      {{0, 0, 0, 0x08}, 0x30008},     // SCSI status BUSY
      {{0, 0, 0x08, 0x18}, 0x30018},  // RESERVATION CONFLICT, sense flag alone is no failure
  };
  for (const Case& c : cases) {
    kernel.forced = c.forced;
    uint8_t buffer[512];
    std::memset(buffer, 0x11, sizeof buffer);
    EXPECT_EQ(identify(buffer), 0);
    EXPECT_EQ(lastTransportError(), c.code);
    EXPECT_EQ(lastAtaStatus, 0xEC);  // no registers came back: the command code that was sent
    EXPECT_EQ(std::count(buffer, buffer + 512, 0x11), 512);
  }
  EXPECT_EQ(kernel.openCount, kernel.closeCount);

  // A failure of the simulated transport itself comes back as a failed ioctl.
  kernel.forced = ForcedResult{};
  sim::Fault fault;
  fault.kind = sim::FaultKind::TransportFailure;
  fault.errorCode = 0x1F;
  drive.setFault(sim::Command::Identify, fault);
  uint8_t buffer[512];
  EXPECT_EQ(identify(buffer), 0);
  EXPECT_EQ(lastTransportError(), 0x1Fu);
}

TEST_F(LinuxBackend, DriveThatDoesNotOpenSendsNothing) {
  kernel.attach("/dev/sdaa", &drive, DiskKind::Libata);
  lastAtaStatus = 0x77;
  uint8_t buffer[512];
  EXPECT_EQ(identify(buffer, 1), 0);
  EXPECT_EQ(lastTransportError(), static_cast<uint32_t>(ENOENT));
  EXPECT_EQ(lastAtaStatus, 0x77);
  EXPECT_TRUE(kernel.sent.empty());
  // Drive 26 is the 27th disk node.
  EXPECT_EQ(identify(buffer, 26), 1);
  EXPECT_EQ(kernel.sent.size(), 1u);
}

TEST_F(LinuxBackend, BridgeSendsExactBridgeBlocksAndLeavesStatusAlone) {
  useBridge();
  kernel.attach("/dev/sda", &drive, DiskKind::SatBridge);
  uint8_t buffer[512];
  std::vector<uint8_t> fwi(4096);
  ASSERT_EQ(identify(buffer), 1);
  ASSERT_EQ(getFwi(fwi.data()), 1);
  ASSERT_EQ(fidPrefix(), 1);
  ASSERT_EQ(kernel.sent.size(), 3u);
  EXPECT_EQ(kernel.sent[0].cdb, (Bytes{0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xEC, 0x00, 0x00}));
  EXPECT_EQ(kernel.sent[1].cdb, (Bytes{0x85, 0x14, 0x0E, 0x00, 0x01, 0x00, 0x08, 0xAF, 0x00, 0x00,
                                       0x50, 0x00, 0xF0, 0xE0, 0xFA, 0x00}));
  EXPECT_EQ(kernel.sent[2].cdb, (Bytes{0x85, 0x06, 0x0C, 0x00, 0x50, 0xFF, 0xFF, 0x00, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0xE0, 0xFC, 0x00}));
  for (const SentRequest& sent : kernel.sent) EXPECT_EQ(sent.timeout, 2000u);
  EXPECT_EQ(Bytes(buffer, buffer + 512), Bytes(drive.identify.begin(), drive.identify.end()));
  EXPECT_EQ(fwi, drive.firmwareInfo);
  EXPECT_TRUE(drive.received[1].viaBridge);
  EXPECT_EQ(lastAtaStatus, 0);

  // A device error on the bridge is not looked at: the request completed.
  drive.vendorCommands = false;
  EXPECT_EQ(getFwi(fwi.data()), 1);
  EXPECT_EQ(lastAtaStatus, 0);
}

TEST_F(LinuxBackend, BridgeRejectionCompletesWithZerosAndFailureZeroesToo) {
  useBridge();
  kernel.attach("/dev/sda", &drive, DiskKind::UsbStick);
  uint8_t buffer[512];
  std::memset(buffer, 0x11, sizeof buffer);
  EXPECT_EQ(identify(buffer), 1);  // ILLEGAL REQUEST is a completed SCSI request
  EXPECT_EQ(std::count(buffer, buffer + 512, 0), 512);
  EXPECT_EQ(lastAtaStatus, 0);
  EXPECT_TRUE(drive.received.empty());

  kernel.forced.ioctlErrno = EIO;
  std::memset(buffer, 0x11, sizeof buffer);
  EXPECT_EQ(identify(buffer), 0);
  EXPECT_EQ(lastTransportError(), static_cast<uint32_t>(EIO));
  EXPECT_EQ(std::count(buffer, buffer + 512, 0), 512);
  EXPECT_EQ(lastAtaStatus, 0);
}

}  // namespace
}  // namespace kzt::linuxtest
