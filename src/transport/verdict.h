#pragma once
#include <cstdint>

#include "transport/platform.h"

// The one place where what came back from a request is judged: completed or failed, with a code
// that says why, and the device's status register where one came back. Every path of every
// system (native ATA pass-through, SCSI ATA PASS-THROUGH to a USB bridge; SG_IO, the Windows
// control requests) hands its raw reply here; no step of the run judges a request itself.

namespace kzt {

// Error codes of requests that went out but did not complete. Below 0x10000 a code is the
// system's own (errno, GetLastError) for a platform call that failed.
constexpr uint32_t kHostStatusErrorBase = 0x10000;    // + the adapter's status, e.g. 3 time-out
constexpr uint32_t kDriverStatusErrorBase = 0x20000;  // + the driver's status, e.g. 6 time-out
constexpr uint32_t kScsiStatusErrorBase = 0x30000;    // + a SCSI status other than GOOD, CHECK
                                                      //   CONDITION or CONDITION MET, e.g. 8 BUSY
// A CHECK CONDITION without the device's registers whose sense data names no error: no sense
// data, a format not known, or sense key NO SENSE or RECOVERED ERROR.
constexpr uint32_t kCheckConditionWithoutError = kScsiStatusErrorBase | 0x02;
// Any other CHECK CONDITION without the device's registers: sense key << 16 | ASC << 8 | ASCQ,
// for example 0x52400 ILLEGAL REQUEST / INVALID FIELD IN CDB, 0x62900 UNIT ATTENTION / POWER ON,
// RESET OR BUS DEVICE RESET OCCURRED.
inline uint32_t senseErrorCode(uint8_t senseKey, uint8_t asc, uint8_t ascq) {
  return static_cast<uint32_t>(senseKey) << 16 | static_cast<uint32_t>(asc) << 8 | ascq;
}
// A data-in request that brought fewer bytes than asked: + the number that came in (0 to 0xFFFF).
constexpr uint32_t kShortTransferErrorBase = 0x1000000;

struct RequestVerdict {
  int sent = 0;          // the request went out
  int completed = 0;     // it completed, with all its data for a data-in command
  uint32_t errorCode = 0;
  int statusCame = 0;    // status below holds this request's status register
  uint8_t status = 0;    // the device's status, or the command code where the register block
                         // did not come back (it still holds the request)
};

// A request is completed when the platform call succeeded, the adapter and the driver reported no
// error, the SCSI status (for a SCSI request) was GOOD or CONDITION MET, or CHECK CONDITION with
// sense data that carries the device's registers, and, for a data-in command, every requested
// byte came in where the platform tells how many did (a device that set its error bit owes no
// data). Anything else fails with the code of the first of these that does not hold.
RequestVerdict judgeReply(const AtaRequest& request, const RequestReply& reply);

}  // namespace kzt
