#pragma once
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "sim/sim_drive.h"

namespace kzt::sim {

// The drive's side of the controller's answer layouts: what a drive of this family puts where.

// The flash ID bytes of bank n (channel n / 8, CE n % 8) in the "Get FID2" answer.
void setFlashId(SimDrive& drive, unsigned bank, const std::array<uint8_t, 8>& id);

// The geometry fields of the "Get FWI" answer.
struct Geometry {
  uint8_t channelCount = 0;
  uint8_t ceCount = 0;
  uint8_t diesPerCe = 0;
  uint8_t planeCount = 0;
  uint16_t blocksPerDie = 0;
  uint16_t pagesPerBlock = 0;
  uint16_t bankCount = 0;
  uint8_t sectorsPerPage = 0;
  uint8_t gcFreeLimit = 0;
  int64_t maxCapacity = 0;
  uint16_t maxPeCycle = 0;
  uint16_t sharedPages = 0;
  uint16_t fullPageSize = 0;
};
void setGeometry(SimDrive& drive, const Geometry& geometry);

// Kinds of bad-block entries.
constexpr uint8_t kFactory = 0;
constexpr uint8_t kGrown = 4;
// Erase-count values with a meaning of their own.
constexpr uint16_t kNoCount = 0xFFFF;
constexpr uint16_t kBad = 0xFFFE;

struct BadBlock {
  uint8_t kind = kFactory;
  uint16_t block = 0;
};

// A "Get BBEC" answer: the listed entries then the terminator (when `terminated`) in the
// bad-block list, the given erase counts from block 0 on and "no count" after them; the areas
// the host does not read carry a filler pattern.
std::vector<uint8_t> bbecAnswer(const std::vector<BadBlock>& badBlocks,
                                const std::vector<uint16_t>& eraseCounts, bool terminated = true);

// Puts an answer under the bank of channel and CE.
void setBbec(SimDrive& drive, unsigned channel, unsigned ce, std::vector<uint8_t> answer);

}  // namespace kzt::sim
