#include "transport/linux/device_access.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace kzt::linuxos {

namespace {

int systemOpen(const char* path) { return ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC); }
int systemSgIo(int fd, sg_io_hdr_t* header) { return ::ioctl(fd, SG_IO, header); }
int systemClose(int fd) { return ::close(fd); }

}  // namespace

const DeviceAccess kSystemDeviceAccess = {systemOpen, systemSgIo, systemClose};
DeviceAccess deviceAccess = kSystemDeviceAccess;

const char* deviceRoot = "/dev";
const char* sysfsRoot = "/sys";

int diskName(unsigned drive, char* name, size_t size) {
  // Letters in bijective base 26, least significant first, then reversed.
  char letters[8];
  size_t count = 0;
  long value = static_cast<long>(drive);
  do {
    letters[count++] = static_cast<char>('a' + value % 26);
    value = value / 26 - 1;
  } while (value >= 0 && count < sizeof letters);
  if (size < count + 3) return 0;
  name[0] = 's';
  name[1] = 'd';
  for (size_t i = 0; i < count; ++i) name[2 + i] = letters[count - 1 - i];
  name[2 + count] = '\0';
  return 1;
}

int openDisk(unsigned drive) {
  char name[16];
  char path[256];
  if (!diskName(drive, name, sizeof name)) {
    errno = ENOENT;
    return -1;
  }
  const int written = std::snprintf(path, sizeof path, "%s/%s", deviceRoot, name);
  if (written < 0 || static_cast<size_t>(written) >= sizeof path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return deviceAccess.openNode(path);
}

void closeDisk(int fd) {
  if (fd >= 0) deviceAccess.closeNode(fd);
}

}  // namespace kzt::linuxos
