#include "transport/platform.h"

#include <cstdlib>
#include <cstring>

namespace kzt {

namespace {

Platform* current = nullptr;

struct DriveListForward {
  DriveListEntry entry;
  void* context;
};

void forwardDriveLine(void* context, unsigned drive, const char* vendor, const char* product) {
  const auto* forward = static_cast<const DriveListForward*>(context);
  forward->entry(forward->context, drive, vendor != nullptr ? vendor : "",
                 product != nullptr ? product : "");
}

}  // namespace

Platform& platform() { return *current; }

void setPlatform(Platform* implementation) { current = implementation; }

OsVersion osVersion;
int ataPassThroughAvailable = 0;
uint8_t busType = 0;

void probeOsVersion() {
  osVersion = OsVersion{};
  ataPassThroughAvailable = 0;
  platform().probeOsVersion(&osVersion, &ataPassThroughAvailable);
  osVersion.szCSDVersion[sizeof osVersion.szCSDVersion - 1] = '\0';
}

void queryBusType(int32_t drive) {
  if (drive < 0 || drive > 255) return;  // names no drive: the probe fails, busType stays
  uint8_t answer = busType;
  if (platform().queryBusType(static_cast<uint8_t>(drive), &answer)) busType = answer;
}

void listDrives(DriveListEntry entry, void* context) {
  DriveListForward forward{entry, context};
  platform().listDrives(forwardDriveLine, &forward);
}

int windowsAtaPassThroughAvailable(uint32_t major, uint32_t minor, const char* csdVersion) {
  if (major >= 6) return 1;
  if (major == 5 && minor == 2) return 1;
  if (major == 5 && minor == 1) {
    // "Service Pack 2": the number starts at index 13. A shorter text has no number there.
    const size_t textLength = strnlen(csdVersion, 128);
    const long servicePack = textLength > 13 ? std::strtol(csdVersion + 13, nullptr, 10) : 0;
    if (servicePack >= 2) return 1;
  }
  return 0;
}

void resetProbeState() {
  osVersion = OsVersion{};
  ataPassThroughAvailable = 0;
  busType = 0;
}

}  // namespace kzt
