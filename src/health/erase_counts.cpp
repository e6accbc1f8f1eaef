#include "health/erase_counts.h"

#include <cstdio>

#include "output/output.h"

namespace kzt {

namespace {

// The lines are gathered in a chunk and written a chunk at a time: up to 8192 lines a run.
constexpr unsigned kChunkSize = 4096;
// Longest line: "%5u" of a 16-bit block number, a space, a count of up to 5 digits, the LF.
constexpr unsigned kLongestLine = 5 + 1 + 5 + 1;

// One line "%5u -\n", "%5u Bad\n" or "%5u %u\n" at `out`; returns its length.
unsigned putEraseCountLine(char* out, unsigned block, uint16_t value) {
  unsigned at = putDecimalRight(out, block, 5);
  out[at++] = ' ';
  if (value == kEraseCountNone) {
    out[at++] = '-';
  } else if (value == kEraseCountBad) {
    out[at++] = 'B';
    out[at++] = 'a';
    out[at++] = 'd';
  } else {
    at += putDecimal(out + at, value);
  }
  out[at++] = '\n';
  return at;
}

}  // namespace

void writeEraseCountFile(const BbecAnswer& answer, uint16_t blocksPerDie, unsigned banksRead) {
  std::FILE* file = std::fopen(kEraseCountFileName, "w+b");
  if (file == nullptr) return;
  bool written = std::fputs("Block Erase count\n", file) >= 0;
  const unsigned lines = eraseCountLines(blocksPerDie, banksRead);
  char chunk[kChunkSize];
  unsigned used = 0;
  for (unsigned block = 0; block < lines; ++block) {
    if (used + kLongestLine > kChunkSize) {
      written = std::fwrite(chunk, 1, used, file) == used && written;
      used = 0;
    }
    used += putEraseCountLine(chunk + used, block, eraseCountOf(answer, block));
  }
  written = std::fwrite(chunk, 1, used, file) == used && written;
  // A write error can also surface only when the buffered rest is flushed at close.
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) printConsole("%s: Write File Error\n", kEraseCountFileName);
}

}  // namespace kzt
