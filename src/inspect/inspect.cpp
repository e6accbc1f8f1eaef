// SPDX-License-Identifier: GPL-2.0-or-later
#include "inspect/inspect.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "health/erase_counts.h"
#include "ident/readout.h"
#include "output/json.h"
#include "transport/files.h"

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
  std::FILE* stream = openInput(path, file.unreadable, sizeof file.unreadable);
  if (stream == nullptr) return;
  file.bytesRead = static_cast<uint32_t>(std::fread(buffer, 1, size, stream));
  if (std::ferror(stream)) {
    std::snprintf(file.unreadable, sizeof file.unreadable, "%s", std::strerror(errno));
    std::memset(buffer, fillByte, size);
    file.bytesRead = 0;
  } else {
    file.opened = file.bytesRead > 0;  // an empty dump is an answer that did not arrive
  }
  std::fclose(stream);
}

// Whether the dump read last opened.
int lastOpened(const Inspection& inspection) {
  return inspection.files[inspection.fileCount - 1].opened;
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
  // The median is the value at its place in sorted order: put there without sorting the rest,
  // which leaves the smaller values before it and the larger after it (a 62-bank set reads 62
  // areas of 8192 values).
  uint16_t* middle = counts + (bank->counted - 1) / 2;
  std::nth_element(counts, middle, counts + bank->counted);
  bank->median = *middle;
  bank->min = *std::min_element(counts, middle + 1);
  bank->max = *std::max_element(middle, counts + bank->counted);
  bank->mean = static_cast<double>(sum) / bank->counted;
}

}  // namespace

std::FILE* openInput(const char* path, char* reason, size_t reasonSize) {
  InputProblem problem = InputOk;
  char text[kFileReasonSize];
  std::FILE* stream = openInputFile(path, &problem, text, sizeof text);
  reason[0] = '\0';
  if (stream == nullptr && problem == InputUnreadable) std::snprintf(reason, reasonSize, "%s", text);
  return stream;
}

void writeShown(std::FILE* out, const char* text) {
  for (; *text != '\0'; ++text) std::fputc(shownCharacter(*text), out);
}

void trimText(char* text) {
  const char* start = text;
  while (*start == ' ') ++start;
  size_t length = std::strlen(start);
  while (length > 0 && start[length - 1] == ' ') --length;
  std::memmove(text, start, length);
  text[length] = '\0';
}

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

void inspectFolder(const char* folder, Inspection* inspection, bool banks) {
  inspection->fileCount = 0;
  {
    char path[kPathSize];
    std::snprintf(path, sizeof path, "%s/%s", folder, kManifestName);
    readManifest(path, &inspection->manifest);
  }
  readDump(inspection, folder, kIdentifyDumpName, inspection->identify, kIdentifySize, 0x00);
  inspection->identityPresent = lastOpened(*inspection);
  inspection->identity = DriveIdentity{};
  if (inspection->identityPresent) {
    readDriveIdentity(inspection->identify, &inspection->identity);
    trimText(inspection->identity.model);
    trimText(inspection->identity.firmwareRevision);
    trimText(inspection->identity.serialNumber);
    trimText(inspection->identity.vendorString);
  }

  readDump(inspection, folder, kFirmwareInfoDumpName, inspection->firmwareInfoAnswer,
           kFirmwareInfoSize, 0x00);
  inspection->firmwareInfoPresent = lastOpened(*inspection);
  inspection->geometryPresent =
      inspection->firmwareInfoPresent && firmwareInfoCarriesData(inspection->firmwareInfoAnswer);
  inspection->firmwareInfo = FirmwareInfo{};
  if (inspection->geometryPresent) {
    parseFirmwareInfo(inspection->firmwareInfoAnswer, &inspection->firmwareInfo);
  }

  readDump(inspection, folder, kFlashIdTableDumpName, inspection->flashIdTableAnswer,
           kFlashIdAnswerSize, 0x00);
  inspection->flashIdTablePresent = lastOpened(*inspection);
  inspection->flashIdTable = FlashIdTable{};
  if (inspection->flashIdTablePresent) {
    parseFlashIdTable(inspection->flashIdTableAnswer, &inspection->flashIdTable);
  }
  inspection->ceMask = buildCeMask(inspection->flashIdTable);

  // Every bank of the mask, as a run with x reads them; the erase counts as far as the
  // erase-count file would list them (none while Block/Die is unknown).
  const uint16_t blocksPerDie = inspection->firmwareInfo.blocksPerDie;
  const unsigned blocks = eraseCountLines(blocksPerDie, 1);
  inspection->bankCount = 0;
  for (unsigned channel = 0; banks && channel < kChannelCount; ++channel) {
    for (unsigned ce = 0; ce < kCesPerChannel; ++ce) {
      if (!isBankMarked(inspection->ceMask, channel, ce)) continue;
      char name[kBbecDumpNameSize];
      formatBbecDumpName(name, channel, ce);
      BbecAnswer& answer = inspection->bbec[channel * kCesPerChannel + ce];
      readDump(inspection, folder, name, answer.bytes, BbecAnswer::kSize, kBbecUnansweredByte);
      if (!lastOpened(*inspection)) continue;
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
  inspection->smartPresent = lastOpened(*inspection);
}

BlockChange compareBlock(uint16_t before, uint16_t after) {
  const bool countedBefore = before < kEraseCountBad;
  if (countedBefore && after < kEraseCountBad) {
    return after > before ? kRose : after == before ? kStayed : kFell;
  }
  if (after == kEraseCountBad) return countedBefore ? kTurnedBad : kStillBad;
  return kNotCompared;
}

void compareInspections(const Inspection& before, const Inspection& after,
                        Comparison* comparison) {
  comparison->before = &before;
  comparison->after = &after;
  comparison->bankCount = comparison->onlyBeforeCount = comparison->onlyAfterCount = 0;
  // Both lists of banks are channel-major: walk them side by side.
  unsigned i = 0, j = 0;
  while (i < before.bankCount || j < after.bankCount) {
    const BankWear* old = i < before.bankCount ? &before.banks[i] : nullptr;
    const BankWear* now = j < after.bankCount ? &after.banks[j] : nullptr;
    const unsigned oldSlot = old ? old->channel * kCesPerChannel + old->ce : kBankSlots;
    const unsigned newSlot = now ? now->channel * kCesPerChannel + now->ce : kBankSlots;
    if (oldSlot < newSlot) {
      comparison->onlyBefore[comparison->onlyBeforeCount++] = old;
      ++i;
      continue;
    }
    if (newSlot < oldSlot) {
      comparison->onlyAfter[comparison->onlyAfterCount++] = now;
      ++j;
      continue;
    }
    ++i;
    ++j;
    BankChange& bank = comparison->banks[comparison->bankCount++];
    bank = BankChange{};
    bank.before = old;
    bank.after = now;
    bank.blocks = std::min(old->blocks, now->blocks);
    const BbecAnswer& oldAnswer = bankAnswer(before, *old);
    const BbecAnswer& newAnswer = bankAnswer(after, *now);
    uint64_t sumBefore = 0, sumAfter = 0;
    for (unsigned block = 0; block < bank.blocks; ++block) {
      const uint16_t then = eraseCountOf(oldAnswer, block);
      const uint16_t value = eraseCountOf(newAnswer, block);
      const BlockChange change = compareBlock(then, value);
      ++bank.changes[change];
      bank.turnedCounted += then == kEraseCountBad && value < kEraseCountBad;
      if (change != kRose && change != kStayed && change != kFell) continue;
      ++bank.compared;
      sumBefore += then;
      sumAfter += value;
      bank.maxBefore = std::max(bank.maxBefore, then);
      bank.maxAfter = std::max(bank.maxAfter, value);
    }
    if (bank.compared != 0) {
      bank.meanBefore = static_cast<double>(sumBefore) / bank.compared;
      bank.meanAfter = static_cast<double>(sumAfter) / bank.compared;
    }
    if (!before.geometryPresent || !after.geometryPresent) continue;  // no lists walked
    uint16_t numbers[BbecAnswer::kBadBlockEntries];
    bank.newlyGrown = listEntriesNotIn(after, *now, before, *old, kGrownBadBlock, numbers);
    bank.grownLeft = listEntriesNotIn(before, *old, after, *now, kGrownBadBlock, numbers);
    bank.factoryAdded = listEntriesNotIn(after, *now, before, *old, kFactoryBadBlock, numbers);
    bank.factoryRemoved = listEntriesNotIn(before, *old, after, *now, kFactoryBadBlock, numbers);
  }
}

unsigned listChangedBlocks(const Comparison& comparison, const BankChange& bank, BlockChange kind,
                           uint16_t* blocks) {
  const BbecAnswer& oldAnswer = bankAnswer(*comparison.before, *bank.before);
  const BbecAnswer& newAnswer = bankAnswer(*comparison.after, *bank.after);
  unsigned count = 0;
  for (unsigned block = 0; block < bank.blocks; ++block) {
    if (compareBlock(eraseCountOf(oldAnswer, block), eraseCountOf(newAnswer, block)) == kind) {
      blocks[count++] = static_cast<uint16_t>(block);
    }
  }
  return count;
}

unsigned listEntriesNotIn(const Inspection& from, const BankWear& fromBank,
                          const Inspection& other, const BankWear& otherBank, uint8_t kind,
                          uint16_t* blocks) {
  uint16_t others[BbecAnswer::kBadBlockEntries];
  const unsigned otherCount = listBadBlocks(bankAnswer(other, otherBank),
                                            other.firmwareInfo.blocksPerDie, kind, others);
  const unsigned count =
      listBadBlocks(bankAnswer(from, fromBank), from.firmwareInfo.blocksPerDie, kind, blocks);
  unsigned kept = 0;
  for (unsigned k = 0; k < count; ++k) {
    if (std::find(others, others + otherCount, blocks[k]) == others + otherCount) {
      blocks[kept++] = blocks[k];
    }
  }
  return kept;
}

}  // namespace kzt
