#include "health/erase_counts.h"

#include <cstdio>

#include "output/output.h"
#include "transport/files.h"

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
  WholeFile file;
  if (!beginWholeFile(kEraseCountFileName, &file)) {
    reportFileNotWritten(kEraseCountFileName, 0, file.reason);
    return;
  }
  std::fputs("Block Erase count\n", file.stream);
  const unsigned lines = eraseCountLines(blocksPerDie, banksRead);
  char chunk[kChunkSize];
  unsigned used = 0;
  for (unsigned block = 0; block < lines && checkWholeFile(&file); ++block) {
    if (used + kLongestLine > kChunkSize) {
      std::fwrite(chunk, 1, used, file.stream);
      used = 0;
    }
    used += putEraseCountLine(chunk + used, block, eraseCountOf(answer, block));
  }
  std::fwrite(chunk, 1, used, file.stream);
  // The file reaches its name only whole: a failed write, flush or rename leaves none.
  if (!finishWholeFile(&file)) reportFileNotWritten(kEraseCountFileName, 1, file.reason);
}

}  // namespace kzt
