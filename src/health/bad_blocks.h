#pragma once
#include <cstdint>

#include "health/bbec_answer.h"
#include "ident/bank_map.h"

namespace kzt {

// The bad-block lists of every bank read, slot index channel * 8 + CE.
struct BadBlockTable {
  static constexpr unsigned kSlots = 64;
  uint8_t slots[kSlots][BbecAnswer::kBadBlockListSize];
};

// Reads "Get BBEC" for bank 0, or with allBanks for every bank of the mask, channel by channel,
// into `answer` (or loads each bank's dump in file mode), and writes the factory and grown
// bad-block lists with their totals to the report. `answer` keeps the last bank's answer.
// Returns the number of banks read.
unsigned readBadBlockLists(const CeMask& mask, uint16_t blocksPerDie, BbecAnswer* answer);

// Number of entries of a bank's list that the walk looks at: the list ends at its terminator,
// after blocksPerDie entries, or at the end of the slot, whichever comes first.
unsigned badBlockWalkLength(uint16_t blocksPerDie);

}  // namespace kzt
