#pragma once
#include "sim/sim_drive.h"

namespace kzt::sim {

// The bundled sample: one plausible drive of this family, a 240 GB SSD with 4 channels x 2 CEs
// of one Toshiba 15 nm TLC flash (98 3C 99 B3 7A 51), 2 dies per CE, 1390 blocks per die, a few
// factory and grown bad blocks per bank, erase counts around 200 with "Bad" on every bad block
// and "-" on the spare blocks at the end of each die, and SMART data with a valid checksum.
// Model, serial and firmware are invented. Everything is fixed, so every build produces the same
// dump set.
void buildSampleDrive(SimDrive& drive);

}  // namespace kzt::sim
