#pragma once
#include "sim/sim_drive.h"

namespace kzt::sim {

// A small drive of the family for tests: 2 channels x 2 CEs of one Toshiba TLC flash
// (98 3C 99 B3 7A 51 08 04) in banks 0, 1, 8 and 9, 12 blocks per die, a few factory and grown
// bad blocks per bank, and valid SMART data.
//   ch0 CE0: factory 3 and 11, grown 7
//   ch0 CE1: factory 5 (and an entry of kind 1 for block 6)
//   ch1 CE0: none
//   ch1 CE1: factory 0, grown 2 and 10; erase counts
//            Bad 8 Bad 9 10 11 - 12 100 1000 Bad 65533
void buildSmallDrive(SimDrive& drive);

}  // namespace kzt::sim
