#pragma once
#include <cstdint>

#include "transport/platform.h"

namespace kzt {

// Process-wide values written by the probes and read by the run flow and the native backend.
extern OsVersion osVersion;
extern int ataPassThroughAvailable;
extern uint8_t busType;  // low byte of the drive's reported bus type; 7 means USB

constexpr uint8_t kBusTypeUsb = 7;

void probeOsVersion();
// Updates busType when the drive answers; leaves it unchanged otherwise.
void queryBusType(int32_t drive);
// Prints "%2u: %s%s\n" on the console for every drive 0 to 98 that opens and answers.
void listDrives();

// Whether a Windows version allows IOCTL_ATA_PASS_THROUGH: 6.x and later, 5.2, or 5.1 with
// service pack 2 or later read from the service-pack text at index 13.
int windowsAtaPassThroughAvailable(uint32_t major, uint32_t minor, const char* csdVersion);

void resetProbeState();

}  // namespace kzt
