#pragma once
#include <cstdint>
#include <cstdio>

#include "ident/answers.h"
#include "transport/byte_order.h"

namespace kzt {

// The 32768-byte answer of "Get BBEC" for one bank, little-endian:
//   bytes     0 -  2047  not read (kept in the dump)
//   bytes  2048 -  4095  bad-block list: up to 512 four-byte entries
//   bytes  4096 - 16383  not read (kept in the dump)
//   bytes 16384 - 32767  erase-count area: 8192 16-bit values, one per block
struct BbecAnswer {
  static constexpr uint32_t kSize = 32768;
  static constexpr uint32_t kBadBlockListOffset = 2048;
  static constexpr uint32_t kBadBlockListSize = 2048;
  static constexpr unsigned kBadBlockEntries = 512;
  static constexpr uint32_t kEraseCountAreaOffset = 16384;
  static constexpr unsigned kEraseCountValues = 8192;

  uint8_t bytes[kSize];
};

// Names a bank in the command: channel in bits 7..4, CE in bits 3..0.
uint8_t bankSelector(unsigned channel, unsigned ce);

// The bank's dump: "kzt_bbec_%1X_%1X.bin" with single-digit channel and CE. `name` holds
// kBbecDumpNameSize bytes.
constexpr unsigned kBbecDumpNameSize = 20;
inline void formatBbecDumpName(char* name, unsigned channel, unsigned ce) {
  std::snprintf(name, kBbecDumpNameSize, "kzt_bbec_%1X_%1X.bin", channel, ce);
}

// Each bank's answer starts as all 0xFF, the answer's own "end of list" and "no count": a bank
// whose command fails without touching the buffer, or whose dump is missing or short, then lists
// no bad blocks and no erase counts (in the unread part) instead of those of the bank read before.
constexpr uint8_t kBbecUnansweredByte = 0xFF;

constexpr uint8_t kFactoryBadBlock = 0;  // "Fabric"
constexpr uint8_t kGrownBadBlock = 4;    // "Later"

// One entry of a bad-block list: byte 0 kind, byte 1 not read, bytes 2-3 block number. An entry
// of four 0xFF bytes ends the list.
struct BadBlockEntry {
  uint8_t kind = 0;
  uint16_t blockNumber = 0;
  bool endsList = false;
};

// Entry `index` (0 to 511) of a 2048-byte bad-block list. Inline: the lists are walked entry by
// entry, up to 63488 entries a run, and a call returning the record through memory costs more
// than the reading itself.
constexpr unsigned kBadBlockEntrySize = 4;
constexpr uint32_t kBadBlockListEnd = 0xFFFFFFFF;
inline BadBlockEntry readBadBlockEntry(const uint8_t* list, unsigned index) {
  const uint8_t* entry = list + kBadBlockEntrySize * index;
  BadBlockEntry result;
  result.kind = entry[0];
  result.blockNumber = readLe16(entry + 2);
  result.endsList = readLe32(entry) == kBadBlockListEnd;
  return result;
}

// Value `block` (0 to 8191) of the erase-count area.
inline uint16_t eraseCountOf(const BbecAnswer& answer, unsigned block) {
  return readLe16(answer.bytes + BbecAnswer::kEraseCountAreaOffset + 2 * block);
}

constexpr uint16_t kEraseCountNone = 0xFFFF;  // a block without a count
constexpr uint16_t kEraseCountBad = 0xFFFE;   // a bad block

// The bad-block lists of every bank read, slot index channel * 8 + CE.
struct BadBlockTable {
  static constexpr unsigned kSlots = 64;
  uint8_t slots[kSlots][BbecAnswer::kBadBlockListSize];
};

// Reads "Get BBEC" for bank 0 (when the mask marks it), or with allBanks for every bank of the mask, channel by channel,
// into `answer` (or loads each bank's dump in file mode), and writes the factory and grown
// bad-block lists with their totals to the report. `answer` keeps the last bank's answer.
// Returns the number of banks read.
unsigned readBadBlockLists(const CeMask& mask, uint16_t blocksPerDie, BbecAnswer* answer);

// Number of entries of a bank's list that the walk looks at: the list ends at its terminator,
// after blocksPerDie entries, or at the end of the slot, whichever comes first.
inline unsigned badBlockWalkLength(uint16_t blocksPerDie) {
  return blocksPerDie < BbecAnswer::kBadBlockEntries ? blocksPerDie : BbecAnswer::kBadBlockEntries;
}

}  // namespace kzt
