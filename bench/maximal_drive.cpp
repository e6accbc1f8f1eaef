#include "maximal_drive.h"

#include <array>
#include <cstdint>
#include <vector>

#include "sim/sim_drive.h"

namespace kzt::bench {

namespace {

using kzt::sim::BadBlock;

constexpr unsigned kChannels = 8;
constexpr unsigned kCes = 8;
constexpr uint16_t kBlocksPerDie = 8192;
constexpr unsigned kListEntries = 512;

struct Sequence {
  uint32_t state;
  uint32_t next() {
    state = state * 1103515245u + 12345u;
    return (state >> 16) & 0x7FFF;
  }
};

std::vector<uint8_t> bankAnswer(unsigned channel, unsigned ce) {
  Sequence random{0xB16Bu + 131u * channel + 17u * ce};
  // Blocks 1000, 1014, 1028, ...: 512 distinct four-digit numbers in block order, factory ones
  // first as the controller keeps them.
  std::vector<BadBlock> badBlocks;
  for (unsigned i = 0; i < kListEntries; ++i) {
    const auto block = static_cast<uint16_t>(1000 + 14 * i + random.next() % 7);
    badBlocks.push_back({i < kListEntries / 2 ? kzt::sim::kFactory : kzt::sim::kGrown, block});
  }
  std::vector<uint16_t> counts(kBlocksPerDie);
  for (auto& count : counts) count = static_cast<uint16_t>(10000 + random.next() % 55000);
  for (const BadBlock& bad : badBlocks) counts[bad.block] = kzt::sim::kBad;
  return kzt::sim::bbecAnswer(badBlocks, counts, /*terminated=*/false);
}

}  // namespace

void buildMaximalDrive(kzt::sim::SimDrive& drive) {
  drive.setIdentity("PELLMORA P9 7680GB", "RTFW0999", "PM7680S00999A0009999", 15002931888,
                    "REALTEK_RL9X43_MAXIMAL");
  drive.smartData.fill(0);
  drive.smartData[0] = 0x01;
  drive.sealSmartChecksum();

  kzt::sim::Geometry g;
  g.channelCount = kChannels;
  g.ceCount = kCes;
  g.diesPerCe = 4;
  g.planeCount = 4;
  g.blocksPerDie = kBlocksPerDie;
  g.pagesPerBlock = 2304;
  g.bankCount = kMaximalBanks;
  g.sectorsPerPage = 32;
  g.gcFreeLimit = 64;
  g.maxCapacity = 7681501126656;
  g.maxPeCycle = 3000;
  g.sharedPages = 3;
  g.fullPageSize = 18592;
  kzt::sim::setGeometry(drive, g);

  // One SK hynix flash on every bank.
  const std::array<uint8_t, 8> id = {0xAD, 0xDE, 0x14, 0xA7, 0x42, 0x8A, 0x00, 0x00};
  for (unsigned bank = 0; bank < kMaximalBanks; ++bank) {
    kzt::sim::setFlashId(drive, bank, id);
    for (unsigned i = 0; i < 8; ++i) drive.flashId[8 * bank + i] = id[i];
    kzt::sim::setBbec(drive, bank / kCes, bank % kCes, bankAnswer(bank / kCes, bank % kCes));
  }
}

}  // namespace kzt::bench
