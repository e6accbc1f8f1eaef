#pragma once
// The Win32 side of the platform seam, shared by its three files: windows_platform.cpp carries the
// commands (IOCTL_ATA_PASS_THROUGH with the IDE pass-through fallback, IOCTL_SCSI_PASS_THROUGH to
// USB bridges), windows_probes.cpp opens drives and holds the version, bus-type and drive-list
// probes and the scan's naming of the drives, windows_console.cpp the keyboard, the pause and the
// shell's "open".
#include <windows.h>
#include <winioctl.h>
#include <ntddscsi.h>

#include <cstdint>

#include "transport/platform.h"
#include "transport/windows_requests.h"

namespace kzt {

class WindowsPlatform final : public Platform {
 public:
  void sendNative(uint8_t drive, const AtaRequest& request, RequestReply* reply) override;
  void sendBridge(uint8_t drive, const AtaRequest& request, RequestReply* reply) override;

  void probeOsVersion(OsVersion* version, int* ataPassThroughAvailable) override;
  int queryBusType(uint8_t drive, uint8_t* busType) override;
  void listDrives(DriveListEntry entry, void* context) override;
  // \\.\PhysicalDrive0 to 98, named from the property query; no USB details.
  void nameDrives(DriveNamingEntry entry, void* context) override;
  // Windows error codes (GetLastError).
  SystemCodes systemCodes() override;

  // The keyboard functions read the console itself, not standard input.
  int consoleAvailable() override;
  int keyWaiting() override;
  int readKey() override;
  void sleepMilliseconds(uint32_t milliseconds) override;
  uint32_t shellOpen(const char* fileName) override;

  // GetComputerNameA; \\.\PhysicalDriveN; GetSystemTime with GetTimeZoneInformation's bias.
  void hostName(char* name, size_t size) override;
  void driveNode(uint8_t drive, char* node, size_t size) override;
  int64_t currentTime(int32_t* localOffsetMinutes) override;

 private:
  void sendAtaPassThrough(HANDLE drive, const AtaRequest& request, RequestReply* reply);
  void sendIdePassThrough(HANDLE drive, const AtaRequest& request, RequestReply* reply);
  // The standard query of the device property; non-zero on success, *length the bytes returned.
  int queryDeviceProperty(HANDLE drive, uint32_t* length);
};

namespace win {

// Request layouts of this program's own bitness; windows_platform.cpp checks them against the SDK.
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

}  // namespace win
}  // namespace kzt
