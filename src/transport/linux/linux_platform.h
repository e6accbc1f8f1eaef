#pragma once
// The Linux side of the platform seam, shared by its three files: linux_platform.cpp carries the
// commands through SG_IO, linux_probes.cpp finds the version, the bus types, the drive list and
// the scan's naming of the drives in uname and sysfs, linux_console.cpp reads keys from the
// controlling terminal and opens the report with xdg-open.
#include <cstddef>
#include <cstdint>

#include "transport/platform.h"

namespace kzt {

class LinuxPlatform final : public Platform {
 public:
  // Both bus kinds reach the drive with SCSI ATA PASS-THROUGH blocks through SG_IO. Native: the
  // kernel's own SAT layer (libata) carries the command; 48-bit commands carry the EXTEND bit,
  // which libata needs to send the high-order registers, and CK_COND, so that the device's
  // registers come back in the sense data. USB bridge: exactly the bridge blocks, no status asked
  // for; a bridge hands the registers back in the sense data when the device fails a command.
  // The reply holds errno, the host, driver and SCSI status, the sense data and the bytes that
  // came in (from the residue).
  void sendNative(uint8_t drive, const AtaRequest& request, RequestReply* reply) override;
  void sendBridge(uint8_t drive, const AtaRequest& request, RequestReply* reply) override;

  // Version numbers from uname, the release text in the service-pack slot; SG_IO pass-through is
  // always there.
  void probeOsVersion(OsVersion* version, int* ataPassThroughAvailable) override;
  // From sysfs: 7 when the disk sits below a USB device (an ancestor of its device directory has
  // idVendor), 11 when it hangs off a libata port, 1 for any other SCSI disk. 0 when the disk is
  // not there.
  int queryBusType(uint8_t drive, uint8_t* busType) override;
  // Every drive number 0 to 98 whose disk node opens and whose sysfs entry is there, with the
  // vendor and model texts of that entry.
  void listDrives(DriveListEntry entry, void* context) override;
  // Every SCSI disk of sysfs that a run can number (sda to sdiv), with the USB device above it.
  void nameDrives(DriveNamingEntry entry, void* context) override;
  // errno values.
  SystemCodes systemCodes() override;

  // Keys on the controlling terminal (/dev/tty), not on standard input. While keys are awaited
  // the terminal is in non-canonical mode without echo, so a single key counts and is not shown;
  // its settings come back once the waiting keys have been read, and also at exit or on a
  // terminating signal. No controlling terminal: no console.
  int consoleAvailable() override;
  int keyWaiting() override;
  int readKey() override;
  void sleepMilliseconds(uint32_t milliseconds) override;
  // xdg-open, waited for. Mapped onto the shell's rule that above 32 is success: 42 when xdg-open
  // succeeded, else xdg-open's own exit status (1 bad arguments, 2 file missing, 3 a needed tool
  // missing, 4 the action failed), 3 when xdg-open itself cannot be started, 32 otherwise.
  uint32_t shellOpen(const char* fileName) override;

  // gethostname; the disk node /dev/sdX of the number (not its sg node); time and localtime_r's
  // offset.
  void hostName(char* name, size_t size) override;
  void driveNode(uint8_t drive, char* node, size_t size) override;
  int64_t currentTime(int32_t* localOffsetMinutes) override;

 private:
  void carry(uint8_t drive, const AtaRequest& request, bool native, RequestReply* reply);
};

namespace linuxos {

// Where the disk nodes and the kernel's sysfs tree are.
constexpr const char* deviceRoot = "/dev";
constexpr const char* sysfsRoot = "/sys";

// Name of the kernel's N-th SCSI disk, "sd" and letters counted as the kernel does (0 "sda",
// 25 "sdz", 26 "sdaa", 701 "sdzz", 702 "sdaaa"). Non-zero when it fits in `size`.
int diskName(unsigned drive, char* name, size_t size);
// Opens the drive for one request (read-only, non-blocking: enough for SG_IO with the rights to
// send raw commands): its SCSI generic node when the sg driver gives one, which keeps the
// 2-second time-out, else the disk node. The descriptor, or -1 with errno set.
int openDisk(unsigned drive);
void closeDisk(int fd);

// Major, minor and third number of a kernel release text such as "6.1.0-57-amd64"; numbers that
// are missing read as 0.
void parseKernelRelease(const char* release, uint32_t* major, uint32_t* minor, uint32_t* third);

// Puts the terminal's own settings back if they are changed.
void restoreConsole();

constexpr uint32_t kShellOpenSucceeded = 42;
constexpr uint32_t kShellToolMissing = 3;
constexpr uint32_t kShellOtherFailure = 32;

}  // namespace linuxos
}  // namespace kzt
