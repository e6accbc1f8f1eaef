#include "ident/bank_map.h"

#include "nandid/flash_id.h"
#include "output/output.h"

namespace kzt {

void printBankList(const FlashIdTable& table) {
  for (unsigned n = 0; n < kFlashIdRecordCount; ++n) {
    if (!isBankPopulated(table.records[n])) continue;
    const uint8_t* id = table.records[n].id;
    char description[kDescriptionSize] = {};
    DecodeFlashId(id, description);
    printBoth("Bank%02u: 0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x - %s\n", n, id[0], id[1], id[2],
              id[3], id[4], id[5], id[6], id[7], description);
  }
}

void printCeMask(const CeMask& mask) {
  char marks[kCeMaskTextSize];
  formatCeMask(mask, marks);
  printBoth("Flash CE Mask : [%s]\n", marks);
}

void printGeometry(const FirmwareInfo& info) {
  printBoth("Banks       : %u\n", static_cast<unsigned>(info.bankCount));
  printBoth("Channel     : %u\n", static_cast<unsigned>(info.channelCount));
  printBoth("CE          : %u\n", static_cast<unsigned>(info.ceCount));
  printBoth("Die/CE      : %u\n", static_cast<unsigned>(info.diesPerCe));
  printBoth("Plane       : %u\n", static_cast<unsigned>(info.planeCount));
  printBoth("Block/Die   : %u\n", static_cast<unsigned>(info.blocksPerDie));
  printBoth("Page/Block  : %u\n", static_cast<unsigned>(info.pagesPerBlock));
  printBoth("Sect/Page   : %u\n", static_cast<unsigned>(info.sectorsPerPage));
  printBoth("FullPageSize: %u\n", static_cast<unsigned>(info.fullPageSize));
  printReport("MaxCapacity : %1.0f\n", static_cast<double>(info.maxCapacity));
  printReport("MaxPECycle  : %u\n", static_cast<unsigned>(info.maxPeCycle));
  printReport("SharedPages : %u\n", static_cast<unsigned>(info.sharedPages));
  printReport("GCFreeLimit : %u\n", static_cast<unsigned>(info.gcFreeLimit));
}

}  // namespace kzt
