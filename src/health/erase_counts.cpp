#include "health/erase_counts.h"

#include <cstdio>

namespace kzt {

unsigned eraseCountLines(uint16_t blocksPerDie, unsigned banksRead) {
  if (banksRead == 0) return 0;
  return blocksPerDie < BbecAnswer::kEraseCountValues ? blocksPerDie
                                                      : BbecAnswer::kEraseCountValues;
}

void writeEraseCountFile(const BbecAnswer& answer, uint16_t blocksPerDie, unsigned banksRead) {
  std::FILE* file = std::fopen(kEraseCountFileName, "w+b");
  if (file == nullptr) return;
  std::fputs("Block Erase count\n", file);
  const unsigned lines = eraseCountLines(blocksPerDie, banksRead);
  for (unsigned block = 0; block < lines; ++block) {
    const uint16_t value = eraseCountOf(answer, block);
    if (value == kEraseCountNone) {
      std::fprintf(file, "%5u -\n", block);
    } else if (value == kEraseCountBad) {
      std::fprintf(file, "%5u Bad\n", block);
    } else {
      std::fprintf(file, "%5u %u\n", block, static_cast<unsigned>(value));
    }
  }
  std::fclose(file);
}

}  // namespace kzt
