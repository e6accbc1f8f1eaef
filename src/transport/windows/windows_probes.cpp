// Opening a drive, the version probe, the bus-type probe, the drive list and the scan's naming of
// the drives.
#include <cstdio>
#include <cstring>

#include "transport/windows/windows_platform.h"

namespace kzt {

namespace {

constexpr DWORD kDriveAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kNoAccess = 0;  // enough for the property query
constexpr DWORD kDriveSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr unsigned kListedDrives = 99;  // drive numbers 0 to 98

uint8_t answer[kStorageAnswerSize];
StorageDeviceInfo info;

void formatDrivePath(uint8_t drive, char* path, size_t size) {
  std::snprintf(path, size, "\\\\.\\PhysicalDrive%d", drive);
}

}  // namespace

HANDLE win::openDrive(uint8_t drive) {
  char path[32];
  formatDrivePath(drive, path, sizeof path);
  return CreateFileA(path, kDriveAccess, kDriveSharing, nullptr, OPEN_EXISTING, 0, nullptr);
}

int WindowsPlatform::queryDeviceProperty(HANDLE drive, uint32_t* length) {
  STORAGE_PROPERTY_QUERY query;
  std::memset(&query, 0, sizeof query);
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  DWORD returned = 0;
  if (!DeviceIoControl(drive, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer,
                       sizeof answer, &returned, nullptr)) {
    return 0;
  }
  *length = returned < sizeof answer ? returned : sizeof answer;
  return 1;
}

void WindowsPlatform::probeOsVersion(OsVersion* version, int* available) {
  OSVERSIONINFOEXA record;
  std::memset(&record, 0, sizeof record);
  record.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record))) {
    // Older systems know only the shorter record; if that fails too the record stays zero.
    record.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&record));
  }
  version->dwMajorVersion = record.dwMajorVersion;
  version->dwMinorVersion = record.dwMinorVersion;
  version->dwBuildNumber = record.dwBuildNumber;
  static_assert(sizeof version->szCSDVersion == sizeof record.szCSDVersion);
  std::memcpy(version->szCSDVersion, record.szCSDVersion, sizeof record.szCSDVersion);
  version->szCSDVersion[sizeof version->szCSDVersion - 1] = '\0';
  *available = windowsAtaPassThroughAvailable(record.dwMajorVersion, record.dwMinorVersion,
                                              version->szCSDVersion);
}

int WindowsPlatform::queryBusType(uint8_t drive, uint8_t* busType) {
  std::memset(answer, 0, sizeof answer);
  const HANDLE handle = win::openDrive(drive);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  uint32_t length = 0;
  const int answered = queryDeviceProperty(handle, &length);
  CloseHandle(handle);
  if (!answered) return 0;
  parseStorageDeviceDescriptor(answer, length, &info);
  *busType = info.busType;
  return 1;
}

void WindowsPlatform::listDrives(DriveListEntry entry, void* context) {
  std::memset(answer, 0, sizeof answer);
  for (unsigned drive = 0; drive < kListedDrives; ++drive) {
    const HANDLE handle = win::openDrive(static_cast<uint8_t>(drive));
    if (handle == INVALID_HANDLE_VALUE) continue;
    uint32_t length = 0;
    if (queryDeviceProperty(handle, &length)) {
      // Only the bytes this drive returned count: the rest of the buffer may hold an earlier
      // drive's answer.
      parseStorageDeviceDescriptor(answer, length, &info);
      entry(context, drive, info.vendor, info.product);
    }
    CloseHandle(handle);
  }
}

// Every \\.\PhysicalDrive0 to 98 that opens without any access right, which the property query
// needs no more than the system's list of drives does: so a process without administrator rights
// names the drives too, and its IDENTIFY then fails with the reason. The texts come from the
// property query; where it fails (Windows NT 4.0 knows none) they stay empty.
void WindowsPlatform::nameDrives(DriveNamingEntry entry, void* context) {
  for (unsigned number = 0; number < kListedDrives; ++number) {
    const auto drive = static_cast<uint8_t>(number);
    DriveNaming naming;
    naming.number = drive;
    formatDrivePath(drive, naming.node, sizeof naming.node);
    const HANDLE handle =
        CreateFileA(naming.node, kNoAccess, kDriveSharing, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) continue;
    std::memset(answer, 0, sizeof answer);
    uint32_t length = 0;
    if (queryDeviceProperty(handle, &length)) {
      parseStorageDeviceDescriptor(answer, length, &info);
      std::snprintf(naming.vendor, sizeof naming.vendor, "%s", info.vendor);
      std::snprintf(naming.product, sizeof naming.product, "%s", info.product);
    }
    CloseHandle(handle);
    entry(context, naming);
  }
}

SystemCodes WindowsPlatform::systemCodes() { return SystemCodes::Windows; }

void WindowsPlatform::hostName(char* name, size_t size) {
  if (size == 0) return;
  DWORD length = static_cast<DWORD>(size);
  if (!GetComputerNameA(name, &length)) name[0] = '\0';
  name[size - 1] = '\0';
}

void WindowsPlatform::driveNode(uint8_t drive, char* node, size_t size) {
  if (size == 0) return;
  formatDrivePath(drive, node, size);
}

int64_t WindowsPlatform::currentTime(int32_t* localOffsetMinutes) {
  SYSTEMTIME utc;
  GetSystemTime(&utc);
  FILETIME ticks;
  if (!SystemTimeToFileTime(&utc, &ticks)) return 0;
  // The bias is UTC minus local time, in minutes; the daylight bias adds to it in summer.
  TIME_ZONE_INFORMATION zone;
  const DWORD which = GetTimeZoneInformation(&zone);
  LONG bias = zone.Bias;
  if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  *localOffsetMinutes = which == TIME_ZONE_ID_INVALID ? 0 : static_cast<int32_t>(-bias);
  const uint64_t hundredNanoseconds =
      (static_cast<uint64_t>(ticks.dwHighDateTime) << 32) | ticks.dwLowDateTime;
  return static_cast<int64_t>(hundredNanoseconds / 10000000ULL) - 11644473600LL;
}

}  // namespace kzt
