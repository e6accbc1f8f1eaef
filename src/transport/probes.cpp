#include "transport/probes.h"

#include <cstdlib>
#include <cstring>

#include "frontend/output.h"

namespace kzt {

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

namespace {
void printDriveLine(void*, unsigned drive, const char* vendor, const char* product) {
  printConsole("%2u: %s%s\n", drive, vendor != nullptr ? vendor : "",
               product != nullptr ? product : "");
}
}  // namespace

void listDrives() { platform().listDrives(printDriveLine, nullptr); }

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
