#include "transport/linux/sg_io.h"

#include <scsi/sg.h>

#include <cerrno>
#include <cstring>

#include "transport/linux/device_access.h"
#include "transport/sat_sense.h"

namespace kzt::linuxos {

namespace {

// The low three bits of the driver status name a driver error; bit 3 only says that sense data
// came back.
constexpr uint16_t kDriverErrorMask = 0x07;

bool completedScsiStatus(uint8_t status) {
  return status == kScsiStatusGood || status == kScsiStatusCheckCondition ||
         status == kScsiStatusConditionMet;
}

}  // namespace

ScsiOutcome sendScsiCommand(unsigned drive, const ScsiCommand& command, ScsiResult* result) {
  *result = ScsiResult{};
  const int fd = openDisk(drive);
  if (fd < 0) {
    result->errorCode = static_cast<uint32_t>(errno);
    return ScsiOutcome::NotOpened;
  }

  sg_io_hdr_t header;
  std::memset(&header, 0, sizeof header);
  header.interface_id = 'S';
  header.dxfer_direction = command.length > 0 ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
  header.cmd_len = command.cdbLength;
  header.mx_sb_len = static_cast<unsigned char>(kSenseBufferLength);
  header.dxfer_len = command.length;
  header.dxferp = command.length > 0 ? command.data : nullptr;
  header.cmdp = const_cast<unsigned char*>(command.cdb);
  header.sbp = result->sense;
  header.timeout = command.timeoutMilliseconds;

  const int answered = deviceAccess.sgIo(fd, &header);
  const int ioctlError = errno;
  closeDisk(fd);
  if (answered < 0) {
    result->errorCode = ioctlError != 0 ? static_cast<uint32_t>(ioctlError) : EIO;
    return ScsiOutcome::Failed;
  }

  result->scsiStatus = header.status;
  result->hostStatus = header.host_status;
  result->driverStatus = header.driver_status;
  result->senseLength = header.sb_len_wr < kSenseBufferLength ? header.sb_len_wr : kSenseBufferLength;
  if (result->hostStatus != 0) {
    result->errorCode = kHostStatusErrorBase | (result->hostStatus & 0xFFu);
    return ScsiOutcome::Failed;
  }
  if ((result->driverStatus & kDriverErrorMask) != 0) {
    result->errorCode = kDriverStatusErrorBase | (result->driverStatus & 0xFFu);
    return ScsiOutcome::Failed;
  }
  if (!completedScsiStatus(result->scsiStatus)) {
    result->errorCode = kScsiStatusErrorBase | result->scsiStatus;
    return ScsiOutcome::Failed;
  }
  return ScsiOutcome::Completed;
}

}  // namespace kzt::linuxos
