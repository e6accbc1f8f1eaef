#pragma once
#include <cstdint>

namespace kzt {

constexpr uint32_t kFirmwareInfoSize = 4096;

// The first byte of an answer that carried no data: the value the native data-in path puts into
// the data area before the transfer.
constexpr uint8_t kFirmwareInfoNoData = 0xCF;

// The fields of the "Get FWI" answer that the program reads; the rest stays in the dump.
struct FirmwareInfo {
  uint8_t validityMarker = 0;  // byte 0
  uint8_t channelCount = 0;
  uint8_t ceCount = 0;
  uint8_t diesPerCe = 0;
  uint8_t planeCount = 0;
  uint16_t blocksPerDie = 0;  // also the length of the bad-block lists and erase-count lines
  uint16_t pagesPerBlock = 0;
  uint16_t bankCount = 0;
  uint8_t sectorsPerPage = 0;
  uint8_t gcFreeLimit = 0;
  int64_t maxCapacity = 0;
  uint16_t maxPeCycle = 0;
  uint16_t sharedPages = 0;
  uint16_t fullPageSize = 0;
};

// Reads the fields out of a 4096-byte answer at their offsets, little-endian.
void parseFirmwareInfo(const uint8_t* answer, FirmwareInfo* info);

}  // namespace kzt
