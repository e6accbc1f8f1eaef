#pragma once
#include <cstdint>

#include "transport/platform.h"

namespace kzt::linuxos {

// Bus types as the Windows storage descriptor numbers them, for the values this side reports.
constexpr uint8_t kBusTypeScsi = 1;
constexpr uint8_t kBusTypeUsb = 7;
constexpr uint8_t kBusTypeSata = 11;

// Major, minor and third number of a kernel release text such as "6.1.0-57-amd64"; numbers that
// are missing read as 0.
void parseKernelRelease(const char* release, uint32_t* major, uint32_t* minor, uint32_t* third);

// Version numbers from uname, the release text in the service-pack slot; SG_IO pass-through is
// always there.
void probeOsVersion(OsVersion* version, int* ataPassThroughAvailable);

// From sysfs: 7 when the disk sits below a USB device (an ancestor of its device directory has
// idVendor), 11 when it hangs off a libata port, 1 for any other SCSI disk. 0 and *busType
// untouched when the disk is not there.
int queryBusType(uint8_t drive, uint8_t* busType);

// Every drive number 0 to 98 whose disk node opens and whose sysfs entry is there, with the
// vendor and model texts of that entry.
void listDrives(DriveListEntry entry, void* context);

}  // namespace kzt::linuxos
