#pragma once
#include <scsi/sg.h>

#include <cstddef>
#include <cstdint>

namespace kzt::linuxos {

// The system calls behind every drive access, in one replaceable table so that tests can put a
// simulated drive behind the SCSI generic interface. Each call reports failure as the system
// does: -1 with errno set.
struct DeviceAccess {
  int (*openNode)(const char* path);
  int (*sgIo)(int fd, sg_io_hdr_t* header);
  int (*closeNode)(int fd);
};

// The real system calls.
extern const DeviceAccess kSystemDeviceAccess;
// The table in use; kSystemDeviceAccess unless a test installs its own.
extern DeviceAccess deviceAccess;

// Where the disk nodes and the kernel's sysfs tree are; "/dev" and "/sys" unless a test moves them.
extern const char* deviceRoot;
extern const char* sysfsRoot;

// Name of the kernel's N-th SCSI disk, "sd" and letters counted as the kernel does (0 "sda",
// 25 "sdz", 26 "sdaa", 701 "sdzz", 702 "sdaaa"). Non-zero when it fits in `size`.
int diskName(unsigned drive, char* name, size_t size);

// Opens the drive's disk node for one request (read-only, non-blocking: enough for SG_IO with the
// rights to send raw commands). The descriptor, or -1 with errno set.
int openDisk(unsigned drive);
void closeDisk(int fd);

}  // namespace kzt::linuxos
