#pragma once
#include <cstdint>

namespace kzt {

constexpr uint32_t kFlashIdAnswerSize = 512;
constexpr unsigned kFlashIdRecordCount = 62;
constexpr unsigned kFlashIdLength = 8;

// The 8 ID bytes of one bank as the flash returns them, maker code first.
struct FlashIdRecord {
  uint8_t id[kFlashIdLength] = {};
};

// One record per bank; bank n is channel n / 8, CE n % 8.
struct FlashIdTable {
  FlashIdRecord records[kFlashIdRecordCount];
};

// Takes the records out of a 512-byte "Get FID2" answer: record n at byte 16 + 8n.
void parseFlashIdTable(const uint8_t* answer, FlashIdTable* table);

// Non-zero when any of the record's 8 bytes is set, i.e. a flash sits at that position.
int isBankPopulated(const FlashIdRecord& record);

}  // namespace kzt
