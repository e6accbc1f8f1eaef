#include "ident/geometry_report.h"

#include "frontend/output.h"

namespace kzt {

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
