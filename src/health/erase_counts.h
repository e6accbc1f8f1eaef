#pragma once
#include <cstdint>

#include "health/bad_blocks.h"

namespace kzt {

constexpr const char* kEraseCountFileName = "kzt_flash_id_ec.txt";

// Number of block lines the erase-count file gets: blocksPerDie, but no more than the erase-count
// area holds, and none when no bank was read.
inline unsigned eraseCountLines(uint16_t blocksPerDie, unsigned banksRead) {
  if (banksRead == 0) return 0;
  return blocksPerDie < BbecAnswer::kEraseCountValues ? blocksPerDie
                                                      : BbecAnswer::kEraseCountValues;
}

// Writes "kzt_flash_id_ec.txt" from the erase-count area of the last bank's answer: a heading
// line, then "%5u %u" per block, "-" for a block without a count, "Bad" for a bad block. LF line
// ends. Silently skipped when the file cannot be created; a failed write is reported on the
// console as "kzt_flash_id_ec.txt: Write File Error".
void writeEraseCountFile(const BbecAnswer& answer, uint16_t blocksPerDie, unsigned banksRead);

}  // namespace kzt
