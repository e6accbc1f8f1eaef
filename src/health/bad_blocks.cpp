#include "health/bad_blocks.h"

#include <cstring>

#include "ident/commands.h"
#include "ident/step.h"
#include "output/output.h"

namespace kzt {

namespace {

BadBlockTable badBlockTable;

void readBank(unsigned channel, unsigned ce, BbecAnswer* answer) {
  if (runOptions.allBanks) printConsole("Read BB %u/%u\r", channel, ce);
  char dumpName[kBbecDumpNameSize];
  formatBbecDumpName(dumpName, channel, ce);
  runStep("Get BBEC", getBbecCommand(bankSelector(channel, ce)), answer->bytes, BbecAnswer::kSize,
          dumpName, kBbecUnansweredByte);
  std::memcpy(badBlockTable.slots[channel * kCesPerChannel + ce],
              answer->bytes + BbecAnswer::kBadBlockListOffset, BbecAnswer::kBadBlockListSize);
}

// The block numbers of a bank line, gathered and handed to the report a chunk at a time rather
// than with a printf call per number (a full list has 512 of them). A chunk stays well below the
// longest text one report call takes (511 characters).
struct BlockNumberText {
  static constexpr unsigned kSize = 256;
  char text[kSize];
  unsigned length = 0;
};

void flushBlockNumbers(BlockNumberText* numbers) {
  if (numbers->length == 0) return;
  numbers->text[numbers->length] = '\0';
  printReport("%s", numbers->text);
  numbers->length = 0;
}

// Appends " %u" with the block number.
void addBlockNumber(BlockNumberText* numbers, uint16_t blockNumber) {
  if (numbers->length + 1 + kDecimalDigitsMax + 1 > BlockNumberText::kSize) {
    flushBlockNumbers(numbers);
  }
  numbers->text[numbers->length++] = ' ';
  numbers->length += putDecimal(numbers->text + numbers->length, blockNumber);
}

// One line per marked bank with the blocks of the given kind; returns the number listed.
uint32_t listKind(const CeMask& mask, uint16_t blocksPerDie, uint8_t kind) {
  uint32_t total = 0;
  const unsigned walk = badBlockWalkLength(blocksPerDie);
  for (unsigned channel = 0; channel < kChannelCount; ++channel) {
    for (unsigned ce = 0; ce < kCesPerChannel; ++ce) {
      if (!isBankMarked(mask, channel, ce)) continue;
      printReport("Ch%uCE%u:", channel, ce);
      const uint8_t* slot = badBlockTable.slots[channel * kCesPerChannel + ce];
      uint32_t count = 0;
      BlockNumberText numbers;
      for (unsigned i = 0; i < walk; ++i) {
        const BadBlockEntry entry = readBadBlockEntry(slot, i);
        if (entry.endsList) break;
        if (entry.kind != kind) continue;
        ++count;
        addBlockNumber(&numbers, entry.blockNumber);
      }
      flushBlockNumbers(&numbers);
      printReport(" =%u\n", count);
      total += count;
    }
  }
  return total;
}

}  // namespace

uint8_t bankSelector(unsigned channel, unsigned ce) {
  return static_cast<uint8_t>((channel << 4) | (ce & 0x0F));
}

unsigned readBadBlockLists(const CeMask& fullMask, uint16_t blocksPerDie, BbecAnswer* answer) {
  operationName = "Get BBEC";
  const bool all = runOptions.allBanks;
  printReport(all ? "\nFabric Bad block list:\n" : "\nFabric Bad block list (bank0 only):\n");

  CeMask mask = fullMask;
  if (!all) {
    mask = CeMask{};
    mask.channels[0] = fullMask.channels[0] & 0x01;
  }

  unsigned banksRead = 0;
  for (unsigned channel = 0; channel < kChannelCount; ++channel) {
    for (unsigned ce = 0; ce < kCesPerChannel; ++ce) {
      if (!isBankMarked(mask, channel, ce)) continue;
      readBank(channel, ce, answer);
      ++banksRead;
    }
  }

  const uint32_t factoryTotal = listKind(mask, blocksPerDie, kFactoryBadBlock);
  printReport(all ? "\nLater Bad block list:\n" : "\nLater Bad block list (bank0 only):\n");
  const uint32_t grownTotal = listKind(mask, blocksPerDie, kGrownBadBlock);
  printReport(all ? "All BB (Fabric+Later): %u (%u+%u)\n" : "Bank0 BB (Fabric+Later): %u (%u+%u)\n",
              factoryTotal + grownTotal, factoryTotal, grownTotal);
  return banksRead;
}

}  // namespace kzt
