// The probes: the version from uname, each disk's bus type, the drive list and the scan's
// naming of the drives from sysfs.
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "transport/linux/linux_platform.h"
#include "transport/usb_quirks.h"

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
constexpr unsigned kLastDriveNumber = 255;  // the highest number a run reaches
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

// Where a disk's device sits in the sysfs devices tree: below a USB device (the first ancestor
// that has idVendor; `usbInterface` is the directory right below it, the interface the disk hangs
// off), or else whether a libata port is on its way up.
struct DevicePlace {
  bool usb = false;
  bool ataPort = false;
  char usbDevice[PATH_MAX] = {};
  char usbInterface[PATH_MAX] = {};
};

// Walks up from the disk's device directory, no higher than the devices tree itself. False when
// the disk is not there.
bool findDevicePlace(uint8_t drive, DevicePlace* place) {
  char link[PATH_MAX];
  if (!diskEntryPath(drive, "/device", link, sizeof link)) return false;
  char device[PATH_MAX];
  char devicesRoot[PATH_MAX];
  char rootPath[PATH_MAX];
  if (realpath(link, device) == nullptr) return false;
  const int written = std::snprintf(rootPath, sizeof rootPath, "%s/devices", sysfsRoot);
  if (written < 0 || static_cast<size_t>(written) >= sizeof rootPath) return false;
  if (realpath(rootPath, devicesRoot) == nullptr) std::snprintf(devicesRoot, sizeof devicesRoot, "/");
  const size_t rootLength = std::strlen(devicesRoot);

  char below[PATH_MAX] = {};
  for (;;) {
    if (fileThere(device, "idVendor")) {
      place->usb = true;
      std::memcpy(place->usbDevice, device, sizeof device);
      std::memcpy(place->usbInterface, below, sizeof below);
      return true;
    }
    char* slash = std::strrchr(device, '/');
    if (slash == nullptr) break;
    if (isAtaPort(slash + 1)) place->ataPort = true;
    if (slash == device || static_cast<size_t>(slash - device) < rootLength) break;
    std::memcpy(below, device, sizeof device);
    *slash = '\0';
    if (std::strncmp(device, devicesRoot, rootLength) != 0) break;
  }
  return true;
}

// A hexadecimal sysfs attribute of a device directory ("1d6b"); 0 when it cannot be read.
uint16_t readHexAttribute(const char* directory, const char* name) {
  char path[PATH_MAX];
  char text[kTextSize];
  const int written = std::snprintf(path, sizeof path, "%s/%s", directory, name);
  if (written < 0 || static_cast<size_t>(written) >= sizeof path) return 0;
  readAttribute(path, text, sizeof text);
  return static_cast<uint16_t>(std::strtoul(text, nullptr, 16));
}

// The name of the driver bound to a device directory: the last part of its "driver" link.
void readDriverName(const char* directory, char* name, size_t size) {
  name[0] = '\0';
  char path[PATH_MAX];
  char target[PATH_MAX];
  const int written = std::snprintf(path, sizeof path, "%s/driver", directory);
  if (written < 0 || static_cast<size_t>(written) >= sizeof path) return;
  const ssize_t read = readlink(path, target, sizeof target - 1);
  if (read <= 0) return;
  target[read] = '\0';
  const char* last = std::strrchr(target, '/');
  const char* base = last != nullptr ? last + 1 : target;
  const size_t length = strnlen(base, size - 1);
  std::memcpy(name, base, length);
  name[length] = '\0';
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
  DevicePlace place;
  if (!findDevicePlace(drive, &place)) return 0;
  *busType = place.usb ? kBusTypeUsb : place.ataPort ? kBusTypeSata : kBusTypeScsi;
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

// Every disk sd* of sysfs whose number a run reaches (0 to 255), whatever the rights of this
// process: the disk node, the vendor and model texts, and for a disk below a USB device that
// device's idVendor, idProduct and bcdDevice, the driver of its interface and its entry in
// usb-storage's quirks parameter.
void LinuxPlatform::nameDrives(DriveNamingEntry entry, void* context) {
  using namespace linuxos;
  char parameter[kTextSize];
  readAttribute(kUsbQuirksParameterPath, parameter, sizeof parameter);
  for (unsigned number = 0; number <= kLastDriveNumber; ++number) {
    const auto drive = static_cast<uint8_t>(number);
    char path[PATH_MAX];
    char name[16];
    if (!diskName(number, name, sizeof name) || !diskEntryPath(drive, "", path, sizeof path) ||
        access(path, F_OK) != 0) {
      continue;
    }
    DriveNaming naming;
    naming.number = drive;
    std::snprintf(naming.node, sizeof naming.node, "%s/%s", deviceRoot, name);
    if (diskEntryPath(drive, "/device/vendor", path, sizeof path)) {
      readAttribute(path, naming.vendor, sizeof naming.vendor);
    }
    if (diskEntryPath(drive, "/device/model", path, sizeof path)) {
      readAttribute(path, naming.product, sizeof naming.product);
    }
    DevicePlace place;
    if (findDevicePlace(drive, &place) && place.usb) {
      naming.usbKnown = 1;
      naming.usbVendorId = readHexAttribute(place.usbDevice, "idVendor");
      naming.usbProductId = readHexAttribute(place.usbDevice, "idProduct");
      naming.usbBcdDevice = readHexAttribute(place.usbDevice, "bcdDevice");
      readDriverName(place.usbInterface, naming.usbDriver, sizeof naming.usbDriver);
      naming.usbQuirksNamed = findUsbQuirks(parameter, naming.usbVendorId, naming.usbProductId,
                                            naming.usbQuirks, sizeof naming.usbQuirks);
    }
    entry(context, naming);
  }
}

SystemCodes LinuxPlatform::systemCodes() { return SystemCodes::Errno; }

void LinuxPlatform::hostName(char* name, size_t size) {
  if (size == 0) return;
  if (gethostname(name, size) != 0) name[0] = '\0';
  name[size - 1] = '\0';
}

void LinuxPlatform::driveNode(uint8_t drive, char* node, size_t size) {
  char disk[16];
  if (size == 0) return;
  node[0] = '\0';
  if (linuxos::diskName(drive, disk, sizeof disk)) {
    std::snprintf(node, size, "%s/%s", linuxos::deviceRoot, disk);
  }
}

int64_t LinuxPlatform::currentTime(int32_t* localOffsetMinutes) {
  const time_t now = time(nullptr);
  struct tm local;
  *localOffsetMinutes = localtime_r(&now, &local) != nullptr ? static_cast<int32_t>(local.tm_gmtoff / 60) : 0;
  return static_cast<int64_t>(now);
}

}  // namespace kzt
