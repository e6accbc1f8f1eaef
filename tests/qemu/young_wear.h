// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// The simulated 62-bank drive (bench/maximal_drive) made young, for the collector's two readings
// in the QEMU run, given to the emulated bridge and to the in-process runs alike as the line
// "wear STAGE". Stage 1: every bank with factory bad blocks 100, 200, 300 and 400 and one grown
// bad block (1000 + the bank's number), erase counts 100 to 299, and 1,000 power-on hours
// (SMART attribute 9): a healthy drive. Stage 2, 720 power-on hours later: banks Ch0CE0 and
// Ch0CE1 with 100 more erases on every counted block, and Ch0CE0 with one more grown bad block,
// 5000: still healthy, one new grown bad block.
#include <cstdint>
#include <vector>

#include "maximal_drive.h"
#include "sim/sim_drive.h"

namespace kzt::bench {

inline void applyYoungWear(kzt::sim::SimDrive& drive, unsigned stage) {
  using kzt::sim::kBad, kzt::sim::kFactory, kzt::sim::kGrown;
  for (unsigned bank = 0; bank < kMaximalBanks; ++bank) {
    std::vector<kzt::sim::BadBlock> badBlocks = {{kFactory, 100}, {kFactory, 200}, {kFactory, 300},
                                                 {kFactory, 400},
                                                 {kGrown, static_cast<uint16_t>(1000 + bank)}};
    if (stage >= 2 && bank == 0) badBlocks.push_back({kGrown, 5000});
    const unsigned more = stage >= 2 && bank < 2 ? 100 : 0;
    std::vector<uint16_t> counts(8192);
    for (unsigned block = 0; block < counts.size(); ++block) {
      counts[block] = static_cast<uint16_t>(100 + (7 * block + bank) % 200 + more);
    }
    for (const kzt::sim::BadBlock& bad : badBlocks) counts[bad.block] = kBad;
    kzt::sim::setBbec(drive, bank / 8, bank % 8, kzt::sim::bbecAnswer(badBlocks, counts));
  }
  // SMART attribute 9 in the table's first entry: flags 0x0032, value and worst 100, raw hours.
  const uint32_t hours = stage >= 2 ? 1720 : 1000;
  drive.smartData.fill(0);
  drive.smartData[0] = 0x01;
  const uint8_t entry[12] = {9, 0x32, 0x00, 100, 100, static_cast<uint8_t>(hours),
                             static_cast<uint8_t>(hours >> 8), 0, 0, 0, 0, 0};
  for (unsigned i = 0; i < sizeof entry; ++i) drive.smartData[2 + i] = entry[i];
  drive.sealSmartChecksum();
}

}  // namespace kzt::bench
