// Drive access: the N-th SCSI disk through its SCSI generic node (or its disk node), one SG_IO
// request per command.
#include "transport/linux/linux_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "transport/sat.h"

namespace kzt {

namespace linuxos {

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

namespace {

// The disk's SCSI generic node ("sg2"), from <sysfs>/block/<disk>/device/scsi_generic. Non-zero
// when there is one.
int genericNodeName(const char* disk, char* name, size_t size) {
  char path[256];
  const int written = std::snprintf(path, sizeof path, "%s/block/%s/device/scsi_generic", sysfsRoot, disk);
  if (written < 0 || static_cast<size_t>(written) >= sizeof path) return 0;
  DIR* folder = opendir(path);
  if (folder == nullptr) return 0;
  int found = 0;
  while (const dirent* entry = readdir(folder)) {
    if (std::strncmp(entry->d_name, "sg", 2) != 0 || std::strlen(entry->d_name) >= size) continue;
    std::snprintf(name, size, "%s", entry->d_name);
    found = 1;
    break;
  }
  closedir(folder);
  return found;
}

}  // namespace

// SG_IO goes to the disk's SCSI generic node where the sg driver gives one: on the disk node
// itself the block layer raises every time-out below 7 seconds to 7, on the sg node the request
// keeps its 2 seconds. Without an sg node the disk node carries the request all the same.
int openDisk(unsigned drive) {
  char disk[16];
  char node[32];
  char path[256];
  if (!diskName(drive, disk, sizeof disk)) {
    errno = ENOENT;
    return -1;
  }
  if (!genericNodeName(disk, node, sizeof node)) std::snprintf(node, sizeof node, "%s", disk);
  const int written = std::snprintf(path, sizeof path, "%s/%s", deviceRoot, node);
  if (written < 0 || static_cast<size_t>(written) >= sizeof path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

void closeDisk(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace linuxos

// Opens the node, sends the request's SAT block through SG_IO with a 2-second time-out, closes the
// node and reports what the kernel handed back. The sg driver transfers through a buffer of its
// own, zero-filled, and copies the whole of it back, so where the device sent nothing the data
// area holds zeros. The residue tells how many bytes came, where the driver below reports one
// (USB storage does; libata does not).
void LinuxPlatform::carry(uint8_t drive, const AtaRequest& request, bool native,
                          RequestReply* reply) {
  const int fd = linuxos::openDisk(drive);
  if (fd < 0) {
    reply->systemError = static_cast<uint32_t>(errno);
    return;
  }
  SatCdbOptions options;
  options.extend48 = native && is48Bit(request.operation);
  options.checkCondition = native;
  uint8_t cdb[kSatCdb16Length];
  const int cdbLength = buildSatCdb(request, options, cdb);
  const uint32_t length = isDataIn(request.operation) ? request.length : 0;

  sg_io_hdr_t header;
  std::memset(&header, 0, sizeof header);
  header.interface_id = 'S';
  header.dxfer_direction = length > 0 ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
  header.cmd_len = static_cast<unsigned char>(cdbLength);
  header.mx_sb_len = static_cast<unsigned char>(kReplySenseSize);
  header.dxfer_len = length;
  header.dxferp = length > 0 ? request.dataArea : nullptr;
  header.cmdp = cdb;
  header.sbp = reply->sense;
  header.timeout = kRequestTimeOutSeconds * 1000;

  const int answered = ::ioctl(fd, SG_IO, &header);
  const int ioctlError = errno;
  linuxos::closeDisk(fd);

  reply->sent = true;
  if (answered < 0) {
    reply->systemError = ioctlError != 0 ? static_cast<uint32_t>(ioctlError) : EIO;
    return;
  }
  reply->hostStatus = static_cast<uint8_t>(header.host_status);
  reply->driverStatus = static_cast<uint8_t>(header.driver_status);
  reply->scsi = true;
  reply->scsiStatus = header.status;
  reply->senseLength = header.sb_len_wr < kReplySenseSize ? header.sb_len_wr : kReplySenseSize;
  reply->transferKnown = true;
  const int residue = header.resid;
  reply->transferred = residue <= 0 ? length
                       : static_cast<uint32_t>(residue) >= length ? 0
                                                                  : length - static_cast<uint32_t>(residue);
}

void LinuxPlatform::sendNative(uint8_t drive, const AtaRequest& request, RequestReply* reply) {
  carry(drive, request, true, reply);
}

void LinuxPlatform::sendBridge(uint8_t drive, const AtaRequest& request, RequestReply* reply) {
  carry(drive, request, false, reply);
}

Platform* systemPlatform() {
  static LinuxPlatform instance;
  return &instance;
}

}  // namespace kzt
