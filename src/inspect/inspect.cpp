// SPDX-License-Identifier: GPL-2.0-or-later
#include "inspect/inspect.h"

#include <algorithm>
#include <cstring>

#include "health/erase_counts.h"
#include "ident/readout.h"

namespace kzt {

namespace {

// The folder, a separator, the longest dump name.
constexpr unsigned kPathSize = kFolderNameMax + 1 + kBbecDumpNameSize;

// Fills `buffer` as the step of file mode does, then reads up to `size` bytes of the dump over
// it, opened for reading only, and notes how the file was read.
void readDump(Inspection* inspection, const char* folder, const char* name, uint8_t* buffer,
              uint32_t size, uint8_t fillByte) {
  DumpFile& file = inspection->files[inspection->fileCount++];
  file = DumpFile{};
  std::snprintf(file.name, sizeof file.name, "%s", name);
  file.size = size;
  std::memset(buffer, fillByte, size);
  char path[kPathSize];
  std::snprintf(path, sizeof path, "%s/%s", folder, name);
  std::FILE* stream = std::fopen(path, "rb");
  if (stream == nullptr) return;
  file.opened = true;
  file.bytesRead = static_cast<uint32_t>(std::fread(buffer, 1, size, stream));
  std::fclose(stream);
}

// The wear figures of values 0 to blocks - 1 of a bank's erase-count area.
void measureWear(const BbecAnswer& answer, unsigned blocks, BankWear* bank) {
  static uint16_t counts[BbecAnswer::kEraseCountValues];
  uint64_t sum = 0;
  bank->blocks = blocks;
  for (unsigned block = 0; block < blocks; ++block) {
    const uint16_t value = eraseCountOf(answer, block);
    if (value == kEraseCountBad) {
      ++bank->bad;
    } else if (value == kEraseCountNone) {
      ++bank->noCount;
    } else {
      counts[bank->counted++] = value;
      sum += value;
    }
  }
  if (bank->counted == 0) return;
  std::sort(counts, counts + bank->counted);
  bank->min = counts[0];
  bank->max = counts[bank->counted - 1];
  bank->median = counts[(bank->counted - 1) / 2];
  bank->mean = static_cast<double>(sum) / bank->counted;
}

}  // namespace

unsigned listBadBlocks(const BbecAnswer& answer, uint16_t blocksPerDie, uint8_t kind,
                       uint16_t* blocks) {
  const uint8_t* list = answer.bytes + BbecAnswer::kBadBlockListOffset;
  const unsigned walk = badBlockWalkLength(blocksPerDie);
  unsigned count = 0;
  for (unsigned i = 0; i < walk; ++i) {
    const BadBlockEntry entry = readBadBlockEntry(list, i);
    if (entry.endsList) break;
    if (entry.kind == kind) blocks[count++] = entry.blockNumber;
  }
  return count;
}

void inspectFolder(const char* folder, Inspection* inspection) {
  inspection->fileCount = 0;
  readDump(inspection, folder, kIdentifyDumpName, inspection->identify, kIdentifySize, 0x00);
  inspection->identity = DriveIdentity{};
  readDriveIdentity(inspection->identify, &inspection->identity);

  readDump(inspection, folder, kFirmwareInfoDumpName, inspection->firmwareInfoAnswer,
           kFirmwareInfoSize, 0x00);
  parseFirmwareInfo(inspection->firmwareInfoAnswer, &inspection->firmwareInfo);
  inspection->geometryPresent = firmwareInfoCarriesData(inspection->firmwareInfoAnswer);

  readDump(inspection, folder, kFlashIdTableDumpName, inspection->flashIdTableAnswer,
           kFlashIdAnswerSize, 0x00);
  parseFlashIdTable(inspection->flashIdTableAnswer, &inspection->flashIdTable);
  inspection->ceMask = buildCeMask(inspection->flashIdTable);

  // Every bank of the mask, as a run with x reads them; the erase counts as far as the
  // erase-count file would list them.
  const uint16_t blocksPerDie = inspection->firmwareInfo.blocksPerDie;
  const unsigned blocks = eraseCountLines(blocksPerDie, 1);
  inspection->bankCount = 0;
  for (unsigned channel = 0; channel < kChannelCount; ++channel) {
    for (unsigned ce = 0; ce < kCesPerChannel; ++ce) {
      if (!isBankMarked(inspection->ceMask, channel, ce)) continue;
      char name[kBbecDumpNameSize];
      formatBbecDumpName(name, channel, ce);
      BbecAnswer& answer = inspection->bbec[channel * kCesPerChannel + ce];
      readDump(inspection, folder, name, answer.bytes, BbecAnswer::kSize, kBbecUnansweredByte);
      if (!inspection->files[inspection->fileCount - 1].opened) continue;
      BankWear& bank = inspection->banks[inspection->bankCount++];
      bank = BankWear{};
      bank.channel = channel;
      bank.ce = ce;
      uint16_t numbers[BbecAnswer::kBadBlockEntries];
      bank.factoryBadBlocks = listBadBlocks(answer, blocksPerDie, kFactoryBadBlock, numbers);
      bank.grownBadBlocks = listBadBlocks(answer, blocksPerDie, kGrownBadBlock, numbers);
      measureWear(answer, blocks, &bank);
    }
  }

  readDump(inspection, folder, kSmartDumpName, inspection->smart, kSmartDataSize, 0x00);
  inspection->smartPresent = inspection->files[inspection->fileCount - 1].opened;
}

}  // namespace kzt
