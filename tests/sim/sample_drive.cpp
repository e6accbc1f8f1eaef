#include "sim/sample_drive.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "sim/vendor_answers.h"

namespace kzt::sim {

namespace {

constexpr unsigned kChannels = 4;
constexpr unsigned kCes = 2;
constexpr uint16_t kBlocksPerDie = 1390;
constexpr uint16_t kSpareBlocks = 6;  // the last blocks of a die carry no count

// A small fixed pseudo-random sequence, so the sample is the same on every machine.
struct Sequence {
  uint32_t state;
  uint32_t next() {
    state = state * 1103515245u + 12345u;
    return (state >> 16) & 0x7FFF;
  }
};

void putSmartAttribute(SimDrive& drive, int slot, uint8_t id, uint16_t flags, uint8_t value,
                       uint8_t worst, uint64_t raw) {
  uint8_t* a = &drive.smartData[2 + 12 * slot];
  a[0] = id;
  a[1] = static_cast<uint8_t>(flags);
  a[2] = static_cast<uint8_t>(flags >> 8);
  a[3] = value;
  a[4] = worst;
  for (int i = 0; i < 6; ++i) a[5 + i] = static_cast<uint8_t>(raw >> (8 * i));
}

void buildSmart(SimDrive& drive) {
  drive.smartData.fill(0);
  drive.smartData[0] = 0x01;  // data structure revision
  putSmartAttribute(drive, 0, 1, 0x0032, 100, 100, 0);        // raw read error rate
  putSmartAttribute(drive, 1, 5, 0x0032, 100, 100, 16);       // reallocated sectors
  putSmartAttribute(drive, 2, 9, 0x0032, 100, 100, 4127);     // power-on hours
  putSmartAttribute(drive, 3, 12, 0x0032, 100, 100, 1312);    // power cycles
  putSmartAttribute(drive, 4, 171, 0x0032, 100, 100, 0);      // program fail count
  putSmartAttribute(drive, 5, 172, 0x0032, 100, 100, 0);      // erase fail count
  putSmartAttribute(drive, 6, 173, 0x0032, 100, 100, 203);    // average erase count
  putSmartAttribute(drive, 7, 174, 0x0032, 100, 100, 57);     // unexpected power loss
  putSmartAttribute(drive, 8, 194, 0x0022, 67, 49, 33);       // temperature
  putSmartAttribute(drive, 9, 241, 0x0032, 100, 100, 28416);  // host writes, GiB units
  putSmartAttribute(drive, 10, 242, 0x0032, 100, 100, 30562); // host reads, GiB units
  drive.smartData[362] = 0x00;  // offline data collection never started
  drive.smartData[368] = 0x03;  // offline capabilities
  drive.smartData[370] = 0x03;  // SMART capabilities
  drive.smartData[372] = 0x01;  // error logging supported
  drive.sealSmartChecksum();
}

std::vector<uint8_t> bankAnswer(unsigned channel, unsigned ce) {
  Sequence random{0x5A17u + 97u * channel + 13u * ce};
  std::vector<BadBlock> badBlocks;
  std::vector<uint16_t> counts(kBlocksPerDie);
  for (uint16_t b = 0; b < kBlocksPerDie; ++b) {
    counts[b] = static_cast<uint16_t>(170 + random.next() % 70);
  }
  for (uint16_t b = kBlocksPerDie - kSpareBlocks; b < kBlocksPerDie; ++b) counts[b] = kNoCount;

  const unsigned factory = 2 + random.next() % 5;
  const unsigned grown = random.next() % 4;
  for (unsigned i = 0; i < factory + grown; ++i) {
    const auto block = static_cast<uint16_t>(random.next() % (kBlocksPerDie - kSpareBlocks));
    if (counts[block] == kBad) continue;
    counts[block] = kBad;
    badBlocks.push_back({i < factory ? kFactory : kGrown, block});
  }
  // The controller keeps its lists in block order, factory bad blocks first.
  std::sort(badBlocks.begin(), badBlocks.end(), [](const BadBlock& a, const BadBlock& b) {
    return a.kind != b.kind ? a.kind < b.kind : a.block < b.block;
  });
  return bbecAnswer(badBlocks, counts);
}

}  // namespace

void buildSampleDrive(SimDrive& drive) {
  drive.setIdentity("PELLMORA P3 240GB", "RTFW0315", "PM240S00193A0001734", 468862128,
                    "REALTEK_RL9X43_SAMPLE");
  buildSmart(drive);

  Geometry g;
  g.channelCount = kChannels;
  g.ceCount = kCes;
  g.diesPerCe = 2;
  g.planeCount = 2;
  g.blocksPerDie = kBlocksPerDie;
  g.pagesPerBlock = 768;
  g.bankCount = kChannels * kCes;
  g.sectorsPerPage = 32;
  g.gcFreeLimit = 24;
  g.maxCapacity = 240057409536;
  g.maxPeCycle = 1500;
  g.sharedPages = 3;
  g.fullPageSize = 18336;
  setGeometry(drive, g);
  const char version[] = "RTFW0315";
  for (unsigned i = 0; i < 8; ++i) drive.firmwareInfo[16 + i] = static_cast<uint8_t>(version[i]);

  const std::array<uint8_t, 8> toshiba = {0x98, 0x3C, 0x99, 0xB3, 0x7A, 0x51, 0x00, 0x00};
  for (unsigned channel = 0; channel < kChannels; ++channel) {
    for (unsigned ce = 0; ce < kCes; ++ce) {
      setFlashId(drive, channel * 8 + ce, toshiba);
      for (unsigned i = 0; i < 8; ++i) drive.flashId[8 * (channel * 8 + ce) + i] = toshiba[i];
      setBbec(drive, channel, ce, bankAnswer(channel, ce));
    }
  }
}

}  // namespace kzt::sim
