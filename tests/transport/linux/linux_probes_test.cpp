#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "fake_sg_io.h"
#include "sim/harness.h"
#include "transport/linux/linux_platform.h"
#include "transport/linux/linux_platform.h"
#include "transport/linux/linux_platform.h"

namespace kzt::linuxtest {
namespace {

namespace fs = std::filesystem;

// A sysfs tree with a libata disk (sda), a disk below a USB device (sdb), a disk on another
// SCSI host (sdc), and a disk node without a sysfs entry (sdd).
class SysfsTree : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path root = scratch.path() / "sys";
    const fs::path ata = root / "devices/pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0";
    writeSysfsFile(ata / "vendor", "ATA     \n");
    writeSysfsFile(ata / "model", "QEMU HARDDISK   \n");
    const fs::path usbDevice = root / "devices/pci0000:00/0000:00:02.0/usb2/2-1";
    writeSysfsFile(usbDevice / "idVendor", "46f4\n");
    const fs::path usb = usbDevice / "2-1:1.0/host2/target2:0:0/2:0:0:0";
    writeSysfsFile(usb / "vendor", "QEMU    \n");
    writeSysfsFile(usb / "model", "QEMU HARDDISK   \n");
    const fs::path other = root / "devices/pci0000:00/0000:00:03.0/virtio1/host3/target3:0:0/3:0:0:0";
    writeSysfsFile(other / "model", "QEMU HARDDISK   \n");  // no vendor attribute
    for (const auto& [name, target] : {std::pair{"sda", ata}, {"sdb", usb}, {"sdc", other}}) {
      fs::create_directories(root / "block" / name);
      fs::create_directory_symlink(target, root / "block" / name / "device");
    }
    sysfs = root.string();
    savedSysfs = linuxos::sysfsRoot;
    savedDev = linuxos::deviceRoot;
    linuxos::sysfsRoot = sysfs.c_str();
    linuxos::deviceRoot = "/fakedev";
  }
  void TearDown() override {
    linuxos::sysfsRoot = savedSysfs;
    linuxos::deviceRoot = savedDev;
  }

  sim::ScratchDir scratch;
  std::string sysfs;
  const char* savedSysfs = nullptr;
  const char* savedDev = nullptr;
};

TEST_F(SysfsTree, BusTypeFromTheDevicePath) {
  uint8_t type = 0x55;
  ASSERT_EQ(LinuxPlatform().queryBusType(0, &type), 1);
  EXPECT_EQ(type, 11);
  ASSERT_EQ(LinuxPlatform().queryBusType(1, &type), 1);
  EXPECT_EQ(type, 7);
  ASSERT_EQ(LinuxPlatform().queryBusType(2, &type), 1);
  EXPECT_EQ(type, 1);
  type = 0x55;
  EXPECT_EQ(LinuxPlatform().queryBusType(3, &type), 0);  // no such disk: unchanged
  EXPECT_EQ(type, 0x55);
}

void collect(void* context, unsigned drive, const char* vendor, const char* product) {
  static_cast<std::vector<std::tuple<unsigned, std::string, std::string>>*>(context)->emplace_back(
      drive, vendor, product);
}

TEST_F(SysfsTree, ListedDrivesAreNodesThatOpenWithTheirSysfsTexts) {
  FakeSgIo kernel;
  sim::SimDrive a, b, d;
  kernel.attach("/fakedev/sda", &a, DiskKind::Libata);
  kernel.attach("/fakedev/sdb", &b, DiskKind::UsbStick);
  kernel.attach("/fakedev/sdd", &d, DiskKind::Libata);  // node without sysfs entry
  std::vector<std::tuple<unsigned, std::string, std::string>> listed;
  LinuxPlatform().listDrives(collect, &listed);
  ASSERT_EQ(listed.size(), 2u);  // sdc has no node that opens, sdd no sysfs entry
  EXPECT_EQ(listed[0], std::make_tuple(0u, std::string("ATA     "), std::string("QEMU HARDDISK   ")));
  EXPECT_EQ(listed[1], std::make_tuple(1u, std::string("QEMU    "), std::string("QEMU HARDDISK   ")));
  EXPECT_EQ(kernel.openCount, kernel.closeCount);
  EXPECT_TRUE(kernel.sent.empty());
}

TEST(LinuxOsVersion, ReleaseNumbers) {
  struct Case {
    const char* release;
    uint32_t major, minor, third;
  };
  const Case cases[] = {{"6.1.0-57-amd64", 6, 1, 0}, {"6.18.44-fc-v1272", 6, 18, 44},
                        {"5.10", 5, 10, 0},           {"4.19rc1", 4, 19, 0},
                        {"abc", 0, 0, 0},             {"", 0, 0, 0}};
  for (const Case& c : cases) {
    uint32_t major = 9, minor = 9, third = 9;
    linuxos::parseKernelRelease(c.release, &major, &minor, &third);
    EXPECT_EQ(major, c.major) << c.release;
    EXPECT_EQ(minor, c.minor) << c.release;
    EXPECT_EQ(third, c.third) << c.release;
  }
}

// xdg-open replaced by a script that records its argument and exits with a chosen status.
class ShellOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("PATH");
    savedPath = path != nullptr ? path : "";
    tools = scratch.path() / "tools";
    fs::create_directories(tools);
  }
  void TearDown() override { setenv("PATH", savedPath.c_str(), 1); }
  void fakeXdgOpen(int status) {
    const fs::path script = tools / "xdg-open";
    writeSysfsFile(script, "#!/bin/sh\necho \"$1\" > \"" + (scratch.path() / "opened").string() +
                    "\"\nexit " + std::to_string(status) + "\n");
    fs::permissions(script, fs::perms::owner_all);
    setenv("PATH", (tools.string() + ":/usr/bin:/bin").c_str(), 1);
  }

  sim::ScratchDir scratch;
  fs::path tools;
  std::string savedPath;
};

TEST_F(ShellOpen, ExitStatusMapsOntoTheAboveThirtyTwoRule) {
  fakeXdgOpen(0);
  EXPECT_GT(LinuxPlatform().shellOpen("kzt_flash_id.txt"), 32u);
  EXPECT_EQ(sim::readFile("opened"), "kzt_flash_id.txt\n");
  fakeXdgOpen(2);
  EXPECT_EQ(LinuxPlatform().shellOpen("kzt_flash_id.txt"), 2u);
  fakeXdgOpen(77);
  EXPECT_EQ(LinuxPlatform().shellOpen("kzt_flash_id.txt"), 32u);
  setenv("PATH", tools.string().c_str(), 1);
  fs::remove(tools / "xdg-open");
  EXPECT_EQ(LinuxPlatform().shellOpen("kzt_flash_id.txt"), 3u);  // no xdg-open at all
}

}  // namespace
}  // namespace kzt::linuxtest
