#pragma once
#include <cstdint>

#include "transport/platform.h"

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

}  // namespace kzt
