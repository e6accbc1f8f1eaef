#include "ident/answers.h"

#include <cstring>

#include "transport/ata_command.h"
#include "transport/byte_order.h"

namespace kzt {

namespace {

// IDENTIFY: byte offsets and lengths of the fields taken.
constexpr uint32_t kSerialOffset = 20, kSerialLength = 20;
constexpr uint32_t kFirmwareOffset = 46, kFirmwareLength = 8;
constexpr uint32_t kModelOffset = 54, kModelLength = 40;
constexpr uint32_t kSectorCountOffset = 200;
constexpr uint32_t kVendorAreaOffset = 258, kVendorAreaLength = 62;
constexpr uint32_t kVendorStringLength = 36;

constexpr char kRealtekPrefix[] = "REALTEK_";
constexpr uint32_t kRealtekPrefixLength = 8;

// "Get FWI": offsets of the geometry fields.
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

// "Get FID2": where the first record starts.
constexpr uint32_t kFirstRecordOffset = 16;

// Copies up to `maxLength` characters, stopping at the first zero byte; `text` holds maxLength+1.
void copyText(char* text, const uint8_t* field, uint32_t maxLength) {
  std::memset(text, 0, maxLength + 1);
  for (uint32_t i = 0; i < maxLength && field[i] != 0; ++i) text[i] = static_cast<char>(field[i]);
}

void markBank(CeMask* mask, unsigned bank) {
  mask->channels[bank / kCesPerChannel] |= static_cast<uint8_t>(1u << (bank % kCesPerChannel));
}

unsigned ceMaskWidth(const CeMask& mask) {
  for (unsigned h = 4; h < kChannelCount; ++h) {
    if (mask.channels[h] != 0) return 64;
  }
  if (mask.channels[2] != 0 || mask.channels[3] != 0) return 32;
  return 16;
}

}  // namespace

void SwapBytePairs(uint8_t* buffer, uint32_t length) {
  for (uint32_t i = 0; i + 1 < length; i += 2) {
    const uint8_t first = buffer[i];
    buffer[i] = buffer[i + 1];
    buffer[i + 1] = first;
  }
}

void readDriveIdentity(uint8_t* answer, DriveIdentity* identity) {
  SwapBytePairs(answer + kFirmwareOffset, kFirmwareLength);
  SwapBytePairs(answer + kModelOffset, kModelLength);
  SwapBytePairs(answer + kVendorAreaOffset, kVendorAreaLength);
  SwapBytePairs(answer + kSerialOffset, kSerialLength);
  copyText(identity->model, answer + kModelOffset, kModelLength);
  copyText(identity->firmwareRevision, answer + kFirmwareOffset, kFirmwareLength);
  copyText(identity->serialNumber, answer + kSerialOffset, kSerialLength);
  identity->sectorCount = readLe64(answer + kSectorCountOffset);

  uint8_t* vendor = answer + kVendorAreaOffset;
  for (uint32_t i = 0; i < kVendorStringLength; ++i) {
    if (vendor[i] < 0x20 || vendor[i] >= 0x80) vendor[i] = 0;
  }
  copyText(identity->vendorString, vendor, kVendorStringLength);
}

uint32_t driveSizeMegabytes(uint64_t sectorCount) {
  return static_cast<uint32_t>(sectorCount >> 11);
}

double driveSizeGigabytes(uint64_t sectorCount) {
  return static_cast<double>(static_cast<int64_t>(sectorCount)) * 5.12e-7;
}

int isRealtekController(const DriveIdentity& identity) {
  return std::strncmp(identity.vendorString, kRealtekPrefix, kRealtekPrefixLength) == 0;
}

void parseFirmwareInfo(const uint8_t* answer, FirmwareInfo* info) {
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

int firmwareInfoCarriesData(const uint8_t* answer) { return answer[0] != kNoDataMarker; }

void parseFlashIdTable(const uint8_t* answer, FlashIdTable* table) {
  for (unsigned n = 0; n < kFlashIdRecordCount; ++n) {
    const uint8_t* record = answer + kFirstRecordOffset + kFlashIdLength * n;
    for (unsigned i = 0; i < kFlashIdLength; ++i) table->records[n].id[i] = record[i];
  }
}

int isBankPopulated(const FlashIdRecord& record) {
  for (unsigned i = 0; i < kFlashIdLength; ++i) {
    if (record.id[i] != 0) return 1;
  }
  return 0;
}

int isBankMarked(const CeMask& mask, unsigned channel, unsigned ce) {
  return (mask.channels[channel] >> ce) & 1;
}

CeMask buildCeMask(const FlashIdTable& table) {
  CeMask mask;
  uint32_t referenceId = 0;
  for (unsigned n = 0; n < kFlashIdRecordCount; ++n) {
    if (!isBankPopulated(table.records[n])) continue;
    const uint32_t firstFour = readLe32(table.records[n].id);
    if (referenceId == 0) referenceId = firstFour;
    if (firstFour == referenceId) markBank(&mask, n);
  }
  return mask;
}

void formatCeMask(const CeMask& mask, char* text) {
  unsigned length = 0;
  const unsigned width = ceMaskWidth(mask);
  for (unsigned i = 0; i < width; ++i) {
    if (i != 0 && i % kCesPerChannel == 0) text[length++] = ' ';
    text[length++] = isBankMarked(mask, i / kCesPerChannel, i % kCesPerChannel) ? '+' : '-';
  }
  text[length] = '\0';
}

}  // namespace kzt
