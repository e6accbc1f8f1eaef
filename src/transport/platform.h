#pragma once
#include <cstddef>
#include <cstdint>

#include "transport/ata_command.h"

namespace kzt {

// The operating system's version as the banner prints it.
struct OsVersion {
  uint32_t dwMajorVersion = 0;
  uint32_t dwMinorVersion = 0;
  uint32_t dwBuildNumber = 0;
  char szCSDVersion[128] = {};  // service-pack text, NUL-terminated
};

// One ATA command as a backend carries it to the drive.
struct AtaRequest {
  AtaOperation operation = AtaOperation::NoData28;
  AtaRegisters registers;
  // The request's data area, `length` bytes (0 for a non-data command): the transport's one
  // transfer buffer, aligned to a page. On entry it holds the bytes the data area starts with;
  // after a completed request it holds what the data area held when the request came back (data
  // from the device, or the starting bytes where none came). A path with a block of its own (the
  // Windows requests) copies it in and hands back what its block held.
  uint8_t* dataArea = nullptr;
  uint32_t length = 0;
};

// What the platform reported about one request, as raw as it came: filled by the platform, judged
// in one place by judgeReply (transport/verdict.h), the same way for every path and system.
constexpr uint32_t kReplySenseSize = 64;
struct RequestReply {
  bool sent = false;            // the request went out; false: the drive did not open, or no path
                                // of this system can carry the command (systemError says why)
  uint32_t systemError = 0;     // the platform call failed with this code (errno, GetLastError)
  uint8_t hostStatus = 0;       // the adapter's status (Linux SG_IO); 0 where none is reported
  uint8_t driverStatus = 0;     // the driver's status (Linux SG_IO)
  bool scsi = false;            // a SCSI request: its status and sense data below count
  uint8_t scsiStatus = 0;
  uint8_t sense[kReplySenseSize] = {};
  uint32_t senseLength = 0;     // sense bytes that came back
  bool registersBack = false;   // a native register block came back: its status register below
  uint8_t registerStatus = 0;
  bool transferKnown = false;   // the platform tells how many data bytes came in
  uint32_t transferred = 0;
};

// Receives one line of the drive list: a drive that opened and answered the property query.
using DriveListEntry = void (*)(void* context, unsigned drive, const char* vendor, const char* product);

// What the platform names of one drive for a scan. Texts are NUL-terminated and cut to the size of
// their field, as the system holds them (padding included).
constexpr uint32_t kDriveTextSize = 128;
struct DriveNaming {
  uint8_t number = 0;                // the drive number a run takes
  char node[kDriveTextSize] = {};    // "/dev/sda", "\\.\PhysicalDrive0"
  char vendor[kDriveTextSize] = {};  // the vendor and product texts the system holds for it
  char product[kDriveTextSize] = {};
  // Linux, a disk below a USB device: that device's identity, the driver bound to the interface
  // the disk hangs off ("usb-storage", "uas"; empty when none is), and the entry of usb-storage's
  // quirks parameter for its VID:PID (transport/usb_quirks.h). All zero elsewhere.
  int usbKnown = 0;
  uint16_t usbVendorId = 0;
  uint16_t usbProductId = 0;
  uint16_t usbBcdDevice = 0;
  char usbDriver[kDriveTextSize] = {};
  int usbQuirksNamed = 0;                 // the parameter has an entry for this VID:PID
  char usbQuirks[kDriveTextSize] = {};    // its letters, as given
};
using DriveNamingEntry = void (*)(void* context, const DriveNaming& drive);

// Whose numbers the system error codes (below 0x10000) are: errno values, or Windows error codes.
enum class SystemCodes : uint8_t { Errno, Windows };

// Everything the program needs from the operating system. The build links exactly one
// implementation (transport/linux or transport/windows); tests install their own.
class Platform {
 public:
  virtual ~Platform() = default;

  // Native ATA pass-through, and SCSI ATA PASS-THROUGH to a drive behind a USB bridge: carry the
  // request (data into request.dataArea) and report what came back in *reply, which starts
  // cleared. Neither judges the outcome.
  virtual void sendNative(uint8_t drive, const AtaRequest& request, RequestReply* reply) = 0;
  virtual void sendBridge(uint8_t drive, const AtaRequest& request, RequestReply* reply) = 0;

  // Fills *version and decides whether native ATA pass-through may be used.
  virtual void probeOsVersion(OsVersion* version, int* ataPassThroughAvailable) = 0;
  // Non-zero and *busType set when the drive answered; 0 and *busType untouched otherwise.
  virtual int queryBusType(uint8_t drive, uint8_t* busType) = 0;
  // Calls `entry` for every drive number 0 to 98, in order, that opens and answers.
  virtual void listDrives(DriveListEntry entry, void* context) = 0;
  // The scan's list: calls `entry`, in order of the number, for every drive the system names,
  // whether or not this process may open it for commands. Opens nothing for commands.
  virtual void nameDrives(DriveNamingEntry entry, void* context) = 0;
  virtual SystemCodes systemCodes() = 0;

  // Console keyboard, on the console itself rather than on standard input.
  virtual int consoleAvailable() = 0;  // 0 where no interactive console can give a key
  virtual int keyWaiting() = 0;
  virtual int readKey() = 0;
  virtual void sleepMilliseconds(uint32_t milliseconds) = 0;

  // The shell's "open" verb on a file in the current directory, show mode 5. Above 32 is success.
  virtual uint32_t shellOpen(const char* fileName) = 0;

  // What a reading's manifest records of the machine: the host's name, the node of a drive number
  // ("/dev/sdb", "\\.\PhysicalDrive1"), each NUL-terminated within `size` and empty where the
  // system does not tell; and the time, in seconds since 1970-01-01 UTC, with the local time's
  // offset from UTC in minutes.
  virtual void hostName(char* name, size_t size) = 0;
  virtual void driveNode(uint8_t drive, char* node, size_t size) = 0;
  virtual int64_t currentTime(int32_t* localOffsetMinutes) = 0;
};

// The platform in use. The program's entry installs the system's one; tests install a fake.
Platform& platform();
void setPlatform(Platform* implementation);

// The system's implementation, defined by the platform library the build links.
Platform* systemPlatform();

// Non-zero when `path` names a folder whose entries can be listed. Defined by the platform too,
// in the files library (kzt_files), so that a program can take it without the drive access.
int folderCanBeRead(const char* path);

// The probes and the process-wide values they leave: the version record (banner, native
// backend), whether native ATA pass-through may be used (native backend), and the low byte of
// the selected drive's bus type (the run flow's choice of backend; 7 means USB).
extern OsVersion osVersion;
extern int ataPassThroughAvailable;
extern uint8_t busType;
constexpr uint8_t kBusTypeUsb = 7;

void probeOsVersion();
// Updates busType when the drive answers; leaves it unchanged otherwise.
void queryBusType(int32_t drive);
// Calls `entry` for every drive 0 to 98 that opens and answers; vendor and product are never null.
void listDrives(DriveListEntry entry, void* context);

// Whether a Windows version allows IOCTL_ATA_PASS_THROUGH: 6.x and later, 5.2, or 5.1 with
// service pack 2 or later read from the service-pack text at index 13.
int windowsAtaPassThroughAvailable(uint32_t major, uint32_t minor, const char* csdVersion);

void resetProbeState();

}  // namespace kzt
