#pragma once
#include <cstdint>

namespace kzt::linuxos {

// One SCSI command sent through SG_IO, with a data-in phase or none.
struct ScsiCommand {
  const uint8_t* cdb = nullptr;
  uint8_t cdbLength = 0;
  uint8_t* data = nullptr;  // data-in area, `length` bytes; null and 0 for a non-data command
  uint32_t length = 0;
  uint32_t timeoutMilliseconds = 0;
};

constexpr uint32_t kSenseBufferLength = 64;

struct ScsiResult {
  uint8_t scsiStatus = 0;
  uint16_t hostStatus = 0;
  uint16_t driverStatus = 0;
  uint8_t sense[kSenseBufferLength] = {};
  uint32_t senseLength = 0;  // bytes of `sense` the kernel wrote
  // When the command did not complete: the errno of the failed open or ioctl, or one of the
  // codes below for a request that the kernel reports as not completed.
  uint32_t errorCode = 0;
};

// Error codes for requests that went out but did not complete; the low byte is the status the
// kernel reported.
constexpr uint32_t kHostStatusErrorBase = 0x10000;    // host (adapter) status, e.g. 3 time-out
constexpr uint32_t kDriverStatusErrorBase = 0x20000;  // driver status, e.g. 6 time-out
constexpr uint32_t kScsiStatusErrorBase = 0x30000;    // SCSI status other than GOOD, CHECK
                                                      // CONDITION or CONDITION MET, e.g. 8 BUSY

enum class ScsiOutcome : uint8_t {
  NotOpened,  // the disk node did not open: nothing was sent
  Failed,     // the ioctl failed, or the kernel reports that the request did not complete
  Completed,  // the request completed; a CHECK CONDITION with its sense data is a completion
};

// Opens the drive's disk node, sends the one command and closes the node again.
ScsiOutcome sendScsiCommand(unsigned drive, const ScsiCommand& command, ScsiResult* result);

}  // namespace kzt::linuxos
