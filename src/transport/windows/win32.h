#pragma once
// The Windows headers and the pieces of the Win32 side that its files share.
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstdint>

#include "transport/platform.h"
#include "transport/windows_requests.h"

namespace kzt::win {

// Request layouts of this program's own bitness; sdk_layout.cpp checks them against the SDK.
inline constexpr const AtaPassThroughLayout& kNativeLayout =
    sizeof(void*) == 8 ? kAtaPassThroughX64 : kAtaPassThroughX86;
inline constexpr const ScsiPassThroughLayout& kBridgeLayout =
    sizeof(void*) == 8 ? kScsiPassThroughX64 : kScsiPassThroughX86;

// The IDE pass-through block, which the MinGW headers lack: the register block, the data length,
// then the data.
struct IdePassThroughBlock {
  IDEREGS registers;
  ULONG dataBufferSize;
  UCHAR dataBuffer[1];
};

// Opens "\\.\PhysicalDriveN" for reading and writing; INVALID_HANDLE_VALUE when it does not open.
HANDLE openDrive(uint8_t drive);

// The error code of the last failure, kept from right after the failing call.
void recordError(DWORD code);
uint32_t recordedError();

SendOutcome sendNative(uint8_t drive, const AtaRequest& request, uint8_t* status);
SendOutcome sendBridge(uint8_t drive, const AtaRequest& request);

void probeOsVersion(OsVersion* version, int* ataPassThroughAvailable);
int queryBusType(uint8_t drive, uint8_t* busType);
void listDrives(DriveListEntry entry, void* context);

int consoleAvailable();
int keyWaiting();
int readKey();
void sleepMilliseconds(uint32_t milliseconds);
uint32_t shellOpen(const char* fileName);

}  // namespace kzt::win
