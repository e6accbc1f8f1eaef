#include "sim/small_drive.h"

#include "sim/sim_drive.h"

namespace kzt::sim {

void buildSmallDrive(SimDrive& drive) {
  drive.setIdentity("KZT GOLDEN SSD 128GB", "RLT10P03", "GLD0000000001", 250069680,
                    "REALTEK_RL6X43 FWTEST");
  for (int i = 0; i < 511; ++i) drive.smartData[i] = static_cast<uint8_t>(i * 3 + 1);
  drive.sealSmartChecksum();

  Geometry g;
  g.channelCount = 2;
  g.ceCount = 2;
  g.diesPerCe = 2;
  g.planeCount = 2;
  g.blocksPerDie = 12;
  g.pagesPerBlock = 384;
  g.bankCount = 4;
  g.sectorsPerPage = 32;
  g.gcFreeLimit = 6;
  g.maxCapacity = 128035676160;
  g.maxPeCycle = 3000;
  g.sharedPages = 3;
  g.fullPageSize = 18336;
  setGeometry(drive, g);
  for (int i = 0; i < 512; ++i) drive.flashId[i] = static_cast<uint8_t>(0xA5 ^ i);

  const std::array<uint8_t, 8> toshiba = {0x98, 0x3C, 0x99, 0xB3, 0x7A, 0x51, 0x08, 0x04};
  for (unsigned bank : {0u, 1u, 8u, 9u}) setFlashId(drive, bank, toshiba);

  setBbec(drive, 0, 0,
          bbecAnswer({{kFactory, 3}, {kGrown, 7}, {kFactory, 11}},
                     {12, 15, 9, kBad, 20, 65533, 0, kBad, 14, kNoCount, 13, kBad}));
  setBbec(drive, 0, 1, bbecAnswer({{kFactory, 5}, {1, 6}}, {1, 2, 3, 4, 5, kBad, 7, 8, 9, 10, 11, 12}));
  setBbec(drive, 1, 0, bbecAnswer({}, {30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41}));
  setBbec(drive, 1, 1,
          bbecAnswer({{kGrown, 2}, {kGrown, 10}, {kFactory, 0}},
                     {kBad, 8, kBad, 9, 10, 11, kNoCount, 12, 100, 1000, kBad, 65533}));
}

}  // namespace kzt::sim
