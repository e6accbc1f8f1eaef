#pragma once
#include "sim/sim_drive.h"

namespace kzt::bench {

// The largest dump set a drive of this family can give the program: all 62 banks populated with
// one flash (so every bank is in the CE mask and read with x), 8192 blocks per die (the whole
// erase-count area is listed), and every bank's bad-block list full to its 512 entries with no
// terminator, half factory and half grown, with four-digit block numbers. Erase counts are five
// digits, except on the listed bad blocks, which read "Bad". Fixed, so every build gives the same
// bytes.
void buildMaximalDrive(kzt::sim::SimDrive& drive);

// Number of banks and of commands of one live run with x against that drive.
constexpr unsigned kMaximalBanks = 62;
constexpr unsigned kLiveRunCommands = 2 /* SMART */ + 1 /* Identify */ + 4 /* FWI, FID, FID2 */ +
                                      kMaximalBanks;

// Bytes the replay reads: Identify, FWI, FID, FID2 and one BBEC answer per bank.
constexpr unsigned long kReplayDumpBytes = 512 + 4096 + 512 + 512 + kMaximalBanks * 32768ul;

}  // namespace kzt::bench
