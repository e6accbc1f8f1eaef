#pragma once
#include <cstdint>

#include "transport/platform.h"

// SCSI / ATA Translation: the ATA PASS-THROUGH command blocks that carry a command to a SAT layer
// (a USB bridge, or the kernel's own), and the sense data that such a layer hands back.

namespace kzt {

// How a SCSI ATA PASS-THROUGH block is to be marked beyond the registers.
struct SatCdbOptions {
  // EXTEND bit for 48-bit commands. USB bridges get blocks without it (the high-order registers
  // still travel in their bytes); a host's own SAT layer needs it to send those registers.
  bool extend48 = false;
  // CK_COND: ask for the ATA registers back in the sense data after the command.
  bool checkCondition = false;
};

constexpr int kSatCdb12Length = 12;
constexpr int kSatCdb16Length = 16;

// Builds the ATA PASS-THROUGH (12) block (operation A1) for a 28-bit command or the
// ATA PASS-THROUGH (16) block (operation 85) for a 48-bit one into cdb[0..15] (unused bytes
// zero). Returns the block's length, 12 or 16.
int buildSatCdb(const AtaRequest& request, const SatCdbOptions& options, uint8_t cdb[16]);


// What a SCSI ATA Translation layer handed back after an ATA PASS-THROUGH command: the sense
// key and additional sense code, and the device's ATA registers when the sense data carried them.
struct SatSense {
  uint8_t responseCode = 0;  // 0x70/0x71 fixed format, 0x72/0x73 descriptor format
  uint8_t senseKey = 0;
  uint8_t asc = 0;
  uint8_t ascq = 0;
  int hasRegisters = 0;  // non-zero when the device's registers came back: its status below
  uint8_t status = 0;
};

// SCSI status bytes that matter to the pass-through paths.
constexpr uint8_t kScsiStatusGood = 0x00;
constexpr uint8_t kScsiStatusCheckCondition = 0x02;
constexpr uint8_t kScsiStatusConditionMet = 0x04;

// The status of a command that a translation layer reports as done without error (GOOD) and
// without the device's registers: ready, no error.
constexpr uint8_t kSatStatusNoError = 0x50;

// Reads the first `length` bytes of a sense buffer. Understands descriptor sense (0x72/0x73,
// registers from the ATA Status Return descriptor, code 0x09) and fixed sense (0x70/0x71), which
// carries registers in one of two layouts only: SAT's, with ASC/ASCQ 00/1D ("ATA pass-through
// information available") and error, status, device and count in the INFORMATION field (bytes 3
// to 6); or libata's for a command the device failed, with them in bytes 8 to 11 and a status
// that shows the failure (error, device fault, data request or busy bit). Any other fixed sense,
// such as a UNIT ATTENTION after a reset, carries none. Never reads past `length` nor past the
// additional sense length the data declares. Non-zero when the buffer holds sense data of a known
// format.
int parseSatSense(const uint8_t* sense, uint32_t length, SatSense* out);

}  // namespace kzt
