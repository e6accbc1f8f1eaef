#include "sim/vendor_answers.h"

namespace kzt::sim {

namespace {

void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

void setFlashId(SimDrive& drive, unsigned bank, const std::array<uint8_t, 8>& id) {
  for (unsigned i = 0; i < 8; ++i) drive.flashId2[16 + 8 * bank + i] = id[i];
}

void setGeometry(SimDrive& drive, const Geometry& g) {
  uint8_t* f = drive.firmwareInfo.data();
  f[0xC50] = g.channelCount;
  f[0xC51] = g.ceCount;
  f[0xC52] = g.diesPerCe;
  f[0xC53] = g.planeCount;
  put16(f + 0xC54, g.blocksPerDie);
  put16(f + 0xC56, g.pagesPerBlock);
  put16(f + 0xC58, g.bankCount);
  f[0xC64] = g.sectorsPerPage;
  f[0xC67] = g.gcFreeLimit;
  for (int i = 0; i < 8; ++i) {
    f[0xC70 + i] = static_cast<uint8_t>(static_cast<uint64_t>(g.maxCapacity) >> (8 * i));
  }
  put16(f + 0xC7C, g.maxPeCycle);
  put16(f + 0xC9A, g.sharedPages);
  put16(f + 0xCBC, g.fullPageSize);
}

std::vector<uint8_t> bbecAnswer(const std::vector<BadBlock>& badBlocks,
                                const std::vector<uint16_t>& eraseCounts, bool terminated) {
  std::vector<uint8_t> a(32768, 0xFF);
  for (size_t i = 0; i < 2048; ++i) a[i] = static_cast<uint8_t>(i * 7);
  for (size_t i = 4096; i < 16384; ++i) a[i] = static_cast<uint8_t>(i * 13);
  for (size_t i = 0; i < badBlocks.size() && i < 512; ++i) {
    uint8_t* entry = &a[2048 + 4 * i];
    entry[0] = badBlocks[i].kind;
    entry[1] = 0x00;
    put16(entry + 2, badBlocks[i].block);
  }
  if (!terminated) {
    // No terminator: the rest of the list holds entries of no listed kind.
    for (size_t i = badBlocks.size(); i < 512; ++i) a[2048 + 4 * i] = 0x02;
  }
  for (size_t i = 0; i < eraseCounts.size() && i < 8192; ++i) put16(&a[16384 + 2 * i], eraseCounts[i]);
  return a;
}

void setBbec(SimDrive& drive, unsigned channel, unsigned ce, std::vector<uint8_t> answer) {
  drive.bbec[static_cast<uint8_t>((channel << 4) | ce)] = std::move(answer);
}

}  // namespace kzt::sim
