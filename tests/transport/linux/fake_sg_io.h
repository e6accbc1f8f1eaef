#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_drive.h"
#include "transport/linux/linux_platform.h"

namespace kzt::linuxtest {

// Writes one file of a fake sysfs tree, making its folders.
inline void writeSysfsFile(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << text;
}

// How the disk behind a node answers SCSI ATA PASS-THROUGH blocks.
enum class DiskKind : uint8_t {
  Libata,     // a SATA disk under the kernel's own SAT layer
  SatBridge,  // a USB bridge that translates the blocks as they come
  UsbStick,   // a USB device without ATA pass-through: ILLEGAL REQUEST for both opcodes
};

// What the kernel reports for the next request, whatever the drive does.
struct ForcedResult {
  int ioctlErrno = 0;  // non-zero: the ioctl fails with this errno
  uint8_t hostStatus = 0;
  uint8_t driverStatus = 0;
  int scsiStatus = -1;  // >= 0: this SCSI status without sense data
};

// One SG_IO header as the code under test filled it.
struct SentRequest {
  std::vector<uint8_t> cdb;
  int direction = 0;
  uint32_t length = 0;
  uint32_t timeout = 0;
  uint32_t senseRoom = 0;
  bool openedWithFd = false;
};

// The kernel side of SG_IO for simulated disks, installed into deviceAccess for its lifetime.
// The libata disk follows that layer's rules: the high-order registers of a 16-byte block only
// travel with EXTEND; with CK_COND (or after a device error) the registers come back in the
// sense data, as a descriptor after success and in the older fixed layout (bytes 8 to 11) after
// an error, unless `descriptorErrors` is set.
class FakeSgIo {
 public:
  FakeSgIo();
  ~FakeSgIo();
  FakeSgIo(const FakeSgIo&) = delete;
  FakeSgIo& operator=(const FakeSgIo&) = delete;

  void attach(const std::string& path, sim::SimDrive* drive, DiskKind kind);

  ForcedResult forced;
  bool descriptorErrors = false;
  std::vector<SentRequest> sent;
  int openCount = 0;
  int closeCount = 0;

  static int open(const char* path);
  static int sgIo(int fd, sg_io_hdr_t* header);
  static int close(int fd);

 private:
  struct Node {
    sim::SimDrive* drive = nullptr;
    DiskKind kind = DiskKind::Libata;
  };
  int answer(const Node& node, sg_io_hdr_t* header);
  std::map<std::string, Node> nodes_;
  std::map<int, std::string> open_;
  int nextFd_ = 100;
  linuxos::DeviceAccess previous_;
};

}  // namespace kzt::linuxtest
