// Opening a drive, the version probe, the bus-type probe and the drive list.
#include <cstdio>
#include <cstring>

#include "transport/probes.h"
#include "transport/storage_descriptor.h"
#include "transport/windows/win32.h"

namespace kzt::win {

namespace {

constexpr DWORD kDriveAccess = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD kDriveSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr unsigned kListedDrives = 99;  // drive numbers 0 to 98

uint8_t answer[kStorageAnswerSize];

// The standard query of the device property into `answer`. Non-zero on success, with *length the
// number of bytes the drive returned.
int queryDeviceProperty(HANDLE drive, uint32_t* length) {
  STORAGE_PROPERTY_QUERY query;
  std::memset(&query, 0, sizeof query);
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  DWORD returned = 0;
  if (!DeviceIoControl(drive, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, answer,
                       sizeof answer, &returned, nullptr)) {
    recordError(GetLastError());
    return 0;
  }
  *length = returned < sizeof answer ? returned : sizeof answer;
  return 1;
}

}  // namespace

HANDLE openDrive(uint8_t drive) {
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%d", drive);
  return CreateFileA(path, kDriveAccess, kDriveSharing, nullptr, OPEN_EXISTING, 0, nullptr);
}

void probeOsVersion(OsVersion* version, int* available) {
  OSVERSIONINFOEXA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
    // Older systems know only the shorter record; if that fails too the record stays zero.
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
  }
  version->dwMajorVersion = info.dwMajorVersion;
  version->dwMinorVersion = info.dwMinorVersion;
  version->dwBuildNumber = info.dwBuildNumber;
  static_assert(sizeof version->szCSDVersion == sizeof info.szCSDVersion);
  std::memcpy(version->szCSDVersion, info.szCSDVersion, sizeof info.szCSDVersion);
  version->szCSDVersion[sizeof version->szCSDVersion - 1] = '\0';
  *available = windowsAtaPassThroughAvailable(info.dwMajorVersion, info.dwMinorVersion,
                                              version->szCSDVersion);
}

int queryBusType(uint8_t drive, uint8_t* busType) {
  std::memset(answer, 0, sizeof answer);
  const HANDLE handle = openDrive(drive);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  uint32_t length = 0;
  const int answered = queryDeviceProperty(handle, &length);
  CloseHandle(handle);
  if (!answered) return 0;
  static StorageDeviceInfo info;
  parseStorageDeviceDescriptor(answer, length, &info);
  *busType = info.busType;
  return 1;
}

void listDrives(DriveListEntry entry, void* context) {
  std::memset(answer, 0, sizeof answer);
  static StorageDeviceInfo info;
  for (unsigned drive = 0; drive < kListedDrives; ++drive) {
    const HANDLE handle = openDrive(static_cast<uint8_t>(drive));
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

}  // namespace kzt::win
