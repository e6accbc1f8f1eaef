// The probes: the version from uname, each disk's bus type and the drive list from sysfs.
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "transport/linux/linux_platform.h"

namespace kzt {

namespace linuxos {

namespace {

// Reads a decimal number at *text and moves past it; 0 when no digit is there.
uint32_t readNumber(const char** text) {
  uint32_t value = 0;
  while (**text >= '0' && **text <= '9') {
    const uint32_t digit = static_cast<uint32_t>(**text - '0');
    value = value > (UINT32_MAX - digit) / 10 ? UINT32_MAX : value * 10 + digit;
    ++*text;
  }
  return value;
}

}  // namespace

void parseKernelRelease(const char* release, uint32_t* major, uint32_t* minor, uint32_t* third) {
  uint32_t* parts[3] = {major, minor, third};
  for (uint32_t* part : parts) *part = 0;
  const char* at = release;
  for (int i = 0; i < 3; ++i) {
    if (*at < '0' || *at > '9') break;
    *parts[i] = readNumber(&at);
    if (*at != '.') break;
    ++at;
  }
}

namespace {

// Bus types as the Windows storage descriptor numbers them, for the values this side reports.
constexpr uint8_t kBusTypeScsi = 1;
constexpr uint8_t kBusTypeSata = 11;

constexpr unsigned kLastListedDrive = 98;
constexpr size_t kTextSize = 256;

// "<sysfs>/block/<disk><suffix>". Non-zero when it fits.
int diskEntryPath(uint8_t drive, const char* suffix, char* path, size_t size) {
  char name[16];
  if (!diskName(drive, name, sizeof name)) return 0;
  const int written = std::snprintf(path, size, "%s/block/%s%s", sysfsRoot, name, suffix);
  return written >= 0 && static_cast<size_t>(written) < size;
}

// Reads a one-line sysfs attribute without its line end; empty when it cannot be read.
void readAttribute(const char* path, char* text, size_t size) {
  text[0] = '\0';
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return;
  if (std::fgets(text, static_cast<int>(size), file) == nullptr) text[0] = '\0';
  std::fclose(file);
  text[std::strcspn(text, "\n")] = '\0';
}

bool fileThere(const char* directory, const char* name) {
  char path[PATH_MAX];
  const int written = std::snprintf(path, sizeof path, "%s/%s", directory, name);
  return written >= 0 && static_cast<size_t>(written) < sizeof path && access(path, F_OK) == 0;
}

// "ata" followed by digits only: a libata port in the device path.
bool isAtaPort(const char* component) {
  if (std::strncmp(component, "ata", 3) != 0 || component[3] == '\0') return false;
  for (const char* c = component + 3; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
  }
  return true;
}

}  // namespace
}  // namespace linuxos

void LinuxPlatform::probeOsVersion(OsVersion* version, int* ataPassThroughAvailable) {
  struct utsname name;
  std::memset(&name, 0, sizeof name);
  if (uname(&name) == 0) {
    linuxos::parseKernelRelease(name.release, &version->dwMajorVersion, &version->dwMinorVersion,
                       &version->dwBuildNumber);
    std::snprintf(version->szCSDVersion, sizeof version->szCSDVersion, "%s", name.release);
  }
  *ataPassThroughAvailable = 1;
}

int LinuxPlatform::queryBusType(uint8_t drive, uint8_t* busType) {
  using namespace linuxos;
  char link[PATH_MAX];
  if (!diskEntryPath(drive, "/device", link, sizeof link)) return 0;
  char device[PATH_MAX];
  char devicesRoot[PATH_MAX];
  char rootPath[PATH_MAX];
  if (realpath(link, device) == nullptr) return 0;
  // Walk no higher than the sysfs devices tree itself.
  const int written = std::snprintf(rootPath, sizeof rootPath, "%s/devices", sysfsRoot);
  if (written < 0 || static_cast<size_t>(written) >= sizeof rootPath) return 0;
  if (realpath(rootPath, devicesRoot) == nullptr) std::snprintf(devicesRoot, sizeof devicesRoot, "/");
  const size_t rootLength = std::strlen(devicesRoot);

  bool ataPort = false;
  for (;;) {
    if (fileThere(device, "idVendor")) {
      *busType = kBusTypeUsb;
      return 1;
    }
    char* slash = std::strrchr(device, '/');
    if (slash == nullptr) break;
    if (isAtaPort(slash + 1)) ataPort = true;
    if (slash == device || static_cast<size_t>(slash - device) < rootLength) break;
    *slash = '\0';
    if (std::strncmp(device, devicesRoot, rootLength) != 0) break;
  }
  *busType = ataPort ? kBusTypeSata : kBusTypeScsi;
  return 1;
}

void LinuxPlatform::listDrives(DriveListEntry entry, void* context) {
  using namespace linuxos;
  for (unsigned drive = 0; drive <= kLastListedDrive; ++drive) {
    const int fd = openDisk(drive);
    if (fd < 0) continue;
    closeDisk(fd);
    char path[PATH_MAX];
    if (!diskEntryPath(static_cast<uint8_t>(drive), "/device", path, sizeof path) ||
        access(path, F_OK) != 0) {
      continue;
    }
    char vendor[kTextSize];
    char model[kTextSize];
    diskEntryPath(static_cast<uint8_t>(drive), "/device/vendor", path, sizeof path);
    readAttribute(path, vendor, sizeof vendor);
    diskEntryPath(static_cast<uint8_t>(drive), "/device/model", path, sizeof path);
    readAttribute(path, model, sizeof model);
    entry(context, drive, vendor, model);
  }
}

}  // namespace kzt
