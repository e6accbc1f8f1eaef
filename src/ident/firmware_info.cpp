#include "ident/firmware_info.h"

#include "transport/byte_order.h"

namespace kzt {

namespace {

constexpr uint32_t kChannelCountOffset = 0xC50;
constexpr uint32_t kCeCountOffset = 0xC51;
constexpr uint32_t kDiesPerCeOffset = 0xC52;
constexpr uint32_t kPlaneCountOffset = 0xC53;
constexpr uint32_t kBlocksPerDieOffset = 0xC54;
constexpr uint32_t kPagesPerBlockOffset = 0xC56;
constexpr uint32_t kBankCountOffset = 0xC58;
constexpr uint32_t kSectorsPerPageOffset = 0xC64;
constexpr uint32_t kGcFreeLimitOffset = 0xC67;
constexpr uint32_t kMaxCapacityOffset = 0xC70;
constexpr uint32_t kMaxPeCycleOffset = 0xC7C;
constexpr uint32_t kSharedPagesOffset = 0xC9A;
constexpr uint32_t kFullPageSizeOffset = 0xCBC;

}  // namespace

void parseFirmwareInfo(const uint8_t* answer, FirmwareInfo* info) {
  info->validityMarker = answer[0];
  info->channelCount = answer[kChannelCountOffset];
  info->ceCount = answer[kCeCountOffset];
  info->diesPerCe = answer[kDiesPerCeOffset];
  info->planeCount = answer[kPlaneCountOffset];
  info->blocksPerDie = readLe16(answer + kBlocksPerDieOffset);
  info->pagesPerBlock = readLe16(answer + kPagesPerBlockOffset);
  info->bankCount = readLe16(answer + kBankCountOffset);
  info->sectorsPerPage = answer[kSectorsPerPageOffset];
  info->gcFreeLimit = answer[kGcFreeLimitOffset];
  info->maxCapacity = static_cast<int64_t>(readLe64(answer + kMaxCapacityOffset));
  info->maxPeCycle = readLe16(answer + kMaxPeCycleOffset);
  info->sharedPages = readLe16(answer + kSharedPagesOffset);
  info->fullPageSize = readLe16(answer + kFullPageSizeOffset);
}

}  // namespace kzt
