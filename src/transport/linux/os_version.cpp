#include <sys/utsname.h>

#include <cstdio>
#include <cstring>

#include "transport/linux/probes_linux.h"

namespace kzt::linuxos {

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

void probeOsVersion(OsVersion* version, int* ataPassThroughAvailable) {
  struct utsname name;
  std::memset(&name, 0, sizeof name);
  if (uname(&name) == 0) {
    parseKernelRelease(name.release, &version->dwMajorVersion, &version->dwMinorVersion,
                       &version->dwBuildNumber);
    std::snprintf(version->szCSDVersion, sizeof version->szCSDVersion, "%s", name.release);
  }
  *ataPassThroughAvailable = 1;
}

}  // namespace kzt::linuxos
