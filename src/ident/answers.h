#pragma once
#include <cstdint>

// The layouts of the answers that identify the drive and its flash, and what the program reads
// out of them: the IDENTIFY DEVICE data, the controller's firmware information block ("Get FWI"),
// the flash ID records ("Get FID2") and the chip-enable map built from them. Plain procedures on
// the answer bytes, no input or output: the run and kzt_inspect read dumps with the same rules.

namespace kzt {

// IDENTIFY DEVICE: 512 bytes; the texts are ATA strings (two characters a word, first in the high
// byte), the 48-bit sector count in words 100-103, the controller's string in words 129 onward.
constexpr uint32_t kIdentifySize = 512;

// What the IDENTIFY answer tells about the drive. Texts are exactly as the drive fills them,
// spaces included, each NUL-terminated.
struct DriveIdentity {
  char model[41] = {};
  char firmwareRevision[9] = {};
  char serialNumber[21] = {};
  uint64_t sectorCount = 0;    // 48-bit count of user-addressable sectors
  char vendorString[37] = {};  // the controller's firmware string
};

// Exchanges bytes 0 and 1, 2 and 3, ... in place; an odd last byte stays.
void SwapBytePairs(uint8_t* buffer, uint32_t length);

// Brings the character fields of an IDENTIFY answer into reading order (in place) and takes the
// identity out of it. Bytes of the vendor string's area that are not printable become zero.
void readDriveIdentity(uint8_t* answer, DriveIdentity* identity);

// Size in units of 2^20 bytes, and in units of 10^9 bytes.
uint32_t driveSizeMegabytes(uint64_t sectorCount);
double driveSizeGigabytes(uint64_t sectorCount);

// Non-zero when the controller's string begins with "REALTEK_": a drive this tool serves.
int isRealtekController(const DriveIdentity& identity);

// "Get FWI": 4096 bytes, read only at the offsets of the geometry fields (little-endian).
constexpr uint32_t kFirmwareInfoSize = 4096;

struct FirmwareInfo {
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

void parseFirmwareInfo(const uint8_t* answer, FirmwareInfo* info);

// Non-zero when a "Get FWI" answer carries data: its byte 0 is not the no-data marker (0xCF) that
// the native data-in path puts there before the transfer. The geometry is reported only then.
int firmwareInfoCarriesData(const uint8_t* answer);

// "Get FID2": 512 bytes; record n of the 62 flash ID records at byte 16 + 8n.
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

void parseFlashIdTable(const uint8_t* answer, FlashIdTable* table);

// Non-zero when any of the record's 8 bytes is set, i.e. a flash sits at that position.
int isBankPopulated(const FlashIdRecord& record);

constexpr unsigned kChannelCount = 8;
constexpr unsigned kCesPerChannel = 8;

// The banks that carry the same flash as the first populated one: byte h for channel h, bit c
// for CE c, so bank n is bit n % 8 of byte n / 8.
struct CeMask {
  uint8_t channels[kChannelCount] = {};
};

int isBankMarked(const CeMask& mask, unsigned channel, unsigned ce);

// Marks every populated bank whose first four ID bytes equal those of the reference, the first
// populated bank. While the reference is zero (a first bank whose first four bytes are zero)
// every populated bank sets it anew and is marked.
CeMask buildCeMask(const FlashIdTable& table);

// The marks between the brackets of the "Flash CE Mask" line: 16 positions, 32 with a mark in
// banks 16-31, 64 with a mark in banks 32-63; a group of eight per channel, CE 0 on the left,
// groups parted by a blank. `text` holds at least kCeMaskTextSize bytes.
constexpr unsigned kCeMaskTextSize = 64 + 7 + 1;
void formatCeMask(const CeMask& mask, char* text);

}  // namespace kzt
