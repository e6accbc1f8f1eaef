#pragma once
#include <cstdint>

#include "ident/interrogation.h"

namespace kzt {

constexpr uint32_t kIdentifySize = 512;

// What the IDENTIFY DEVICE answer tells about the drive. Texts are exactly as the drive fills
// them, spaces included, each NUL-terminated.
struct DriveIdentity {
  char model[41] = {};
  char firmwareRevision[9] = {};
  char serialNumber[21] = {};
  uint64_t sectorCount = 0;  // 48-bit count of user-addressable sectors
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

// Non-zero when the controller's string marks a drive this tool serves.
int isRealtekController(const DriveIdentity& identity);

// The opening stage of the interrogation: IDENTIFY (or its dump), the identity lines, the
// controller check. Served when the sequence may go on.
InterrogationVerdict identifyDrive(uint8_t* answer, DriveIdentity* identity);

}  // namespace kzt
