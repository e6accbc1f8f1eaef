// A whole run through the Linux platform, on a libata disk and on a disk behind a USB bridge:
// every SG_IO request it makes transfers from the device or not at all.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fake_sg_io.h"
#include "output/output.h"
#include "frontend/run_flow.h"
#include "sim/harness.h"
#include "sim/small_drive.h"
#include "transport/linux/linux_platform.h"
#include "transport/platform.h"

namespace kzt::linuxtest {
namespace {

namespace fs = std::filesystem;

class LinuxRunDirections : public ::testing::Test {
 protected:
  void SetUp() override {
    // sda on a libata port, sdb below a USB device.
    const fs::path root = scratch.path() / "sys";
    const fs::path ata = root / "devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0";
    const fs::path usbDevice = root / "devices/pci0000:00/0000:00:02.0/usb2/2-1";
    const fs::path usb = usbDevice / "2-1:1.0/host2/target2:0:0/2:0:0:0";
    writeSysfsFile(ata / "model", "KZT SSD\n");
    writeSysfsFile(usbDevice / "idVendor", "0bda\n");
    writeSysfsFile(usb / "model", "KZT SSD\n");
    for (const auto& [name, target] : {std::pair{"sda", ata}, {"sdb", usb}}) {
      fs::create_directories(root / "block" / name);
      fs::create_directory_symlink(target, root / "block" / name / "device");
    }
    sysfs = root.string();
    savedSysfs = linuxos::sysfsRoot;
    savedDev = linuxos::deviceRoot;
    linuxos::sysfsRoot = sysfs.c_str();
    linuxos::deviceRoot = "/fakedev";
    sim::buildSmallDrive(sataDrive);
    sim::buildSmallDrive(usbDrive);
    kernel.attach("/fakedev/sda", &sataDrive, DiskKind::Libata);
    kernel.attach("/fakedev/sdb", &usbDrive, DiskKind::SatBridge);
  }
  void TearDown() override {
    linuxos::sysfsRoot = savedSysfs;
    linuxos::deviceRoot = savedDev;
  }

  std::string run(const char* argument) {
    std::string storage = argument;
    char program[] = "kzt_fid";
    char* argv[] = {program, storage.data(), nullptr};
    std::FILE* console = std::tmpfile();
    std::FILE* saved = consoleStream;
    consoleStream = console;
    setPlatform(systemPlatform());
    runProgram(2, argv);
    setPlatform(nullptr);
    consoleStream = saved;
    std::rewind(console);
    std::string text;
    char chunk[1024];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, console)) > 0) text.append(chunk, got);
    std::fclose(console);
    return text;
  }

  void expectOnlyInOrNone(const sim::SimDrive& drive) {
    // SMART 2, Identify, Get FWI, FID prefix, Get FID, Get FID2, 4 banks.
    ASSERT_EQ(kernel.sent.size(), 11u);
    for (const SentRequest& r : kernel.sent) {
      ASSERT_GE(r.cdb.size(), 3u);
      const unsigned protocol = (r.cdb[1] >> 1) & 0x0F;
      EXPECT_NE(r.cdb[2] & 0x08, 0) << "T_DIR to the device";
      if (r.direction == SG_DXFER_FROM_DEV) {
        EXPECT_GT(r.length, 0u);
        EXPECT_TRUE(protocol == 4 || protocol == 10) << protocol;
      } else {
        EXPECT_EQ(r.direction, SG_DXFER_NONE);
        EXPECT_EQ(r.length, 0u);
        EXPECT_EQ(protocol, 3u);
      }
    }
    ASSERT_EQ(drive.received.size(), 11u);
    for (const sim::ReceivedCommand& c : drive.received) EXPECT_NE(c.command, sim::Command::Unknown);
  }

  sim::ScratchDir scratch;
  std::string sysfs;
  const char* savedSysfs = nullptr;
  const char* savedDev = nullptr;
  FakeSgIo kernel;
  sim::SimDrive sataDrive;
  sim::SimDrive usbDrive;
};

TEST_F(LinuxRunDirections, LibataDiskGetsOnlyFromDeviceOrNoData) {
  const std::string console = run("0xy");
  EXPECT_NE(console.find("Drive: 0(ATA)\n"), std::string::npos) << console;
  EXPECT_NE(console.find("Flash CE Mask : [++------ ++------]\n"), std::string::npos) << console;
  expectOnlyInOrNone(sataDrive);
}

TEST_F(LinuxRunDirections, UsbBridgeGetsOnlyFromDeviceOrNoData) {
  const std::string console = run("1xy");
  EXPECT_NE(console.find("Drive: 1(USB)\n"), std::string::npos) << console;
  EXPECT_NE(console.find("Flash CE Mask : [++------ ++------]\n"), std::string::npos) << console;
  expectOnlyInOrNone(usbDrive);
}

}  // namespace
}  // namespace kzt::linuxtest
