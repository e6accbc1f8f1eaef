#pragma once
#include <cstdint>

#include "transport/platform.h"

namespace kzt::linuxos {

// Both bus kinds reach the drive with SCSI ATA PASS-THROUGH blocks through SG_IO, with a
// 2-second time-out. *errorCode receives the failure code whenever the result is not Completed.

// Native: the kernel's own SAT layer (libata) carries the command. 48-bit commands carry the
// EXTEND bit, which libata needs to send the high-order registers, and CK_COND, so that the
// device's registers come back in the sense data; *status receives the status register.
SendOutcome sendNativeAta(uint8_t drive, const AtaRequest& request, uint8_t* status,
                          uint32_t* errorCode);

// USB bridge: exactly the bridge blocks, no status asked for; the request's own verdict.
SendOutcome sendBridgeAta(uint8_t drive, const AtaRequest& request, uint32_t* errorCode);

}  // namespace kzt::linuxos
