#include "ident/interrogation.h"

#include "health/bad_blocks.h"
#include "health/erase_counts.h"
#include "ident/bank_map.h"
#include "ident/firmware_info.h"
#include "ident/flash_id_table.h"
#include "ident/geometry_report.h"
#include "ident/identify.h"
#include "ident/vendor_readout.h"

namespace kzt {

namespace {

// The answers of one pass. Every step fills its buffer before use, so nothing carries over from
// one run to the next.
struct Answers {
  uint8_t identify[kIdentifySize];
  uint8_t firmwareInfo[kFirmwareInfoSize];
  uint8_t flashId[kFlashIdAnswerSize];
  uint8_t flashIdTable[kFlashIdAnswerSize];
  BbecAnswer badBlocks;
};

Answers answers;

}  // namespace

InterrogationVerdict runInterrogation() {
  DriveIdentity identity;
  const InterrogationVerdict verdict = identifyDrive(answers.identify, &identity);
  if (verdict != InterrogationVerdict::Served) return verdict;

  const int geometryValid = readFirmwareInfoBlock(answers.firmwareInfo);
  readFlashIdBlock(answers.flashId);
  readFlashIdTableBlock(answers.flashIdTable);

  FirmwareInfo firmwareInfo;
  parseFirmwareInfo(answers.firmwareInfo, &firmwareInfo);
  FlashIdTable flashIdTable;
  parseFlashIdTable(answers.flashIdTable, &flashIdTable);

  CeMask ceMask;
  listBanks(flashIdTable, &ceMask);
  printCeMask(ceMask);
  if (geometryValid) printGeometry(firmwareInfo);

  const unsigned banksRead =
      readBadBlockLists(ceMask, firmwareInfo.blocksPerDie, &answers.badBlocks);
  writeEraseCountFile(answers.badBlocks, firmwareInfo.blocksPerDie, banksRead);
  return InterrogationVerdict::Served;
}

}  // namespace kzt
