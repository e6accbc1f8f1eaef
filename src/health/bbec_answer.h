#pragma once
#include <cstdint>

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

constexpr uint8_t kFactoryBadBlock = 0;  // "Fabric"
constexpr uint8_t kGrownBadBlock = 4;    // "Later"

// One entry of a bad-block list: byte 0 kind, byte 1 not read, bytes 2-3 block number. An entry
// of four 0xFF bytes ends the list.
struct BadBlockEntry {
  uint8_t kind = 0;
  uint16_t blockNumber = 0;
  bool endsList = false;
};

// Entry `index` (0 to 511) of a 2048-byte bad-block list.
BadBlockEntry readBadBlockEntry(const uint8_t* list, unsigned index);

// Value `block` (0 to 8191) of the erase-count area.
uint16_t eraseCountOf(const BbecAnswer& answer, unsigned block);

constexpr uint16_t kEraseCountNone = 0xFFFF;  // a block without a count
constexpr uint16_t kEraseCountBad = 0xFFFE;   // a bad block

}  // namespace kzt
