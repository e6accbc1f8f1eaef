#include <sys/utsname.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "transport/platform.h"

namespace kzt {
namespace {

// Linux side of the platform seam. Drive access is not wired up yet: every request reports that
// nothing was sent.
class LinuxPlatform final : public Platform {
 public:
  SendOutcome sendNative(uint8_t, const AtaRequest&, uint8_t*) override { return SendOutcome::NotSent; }
  SendOutcome sendBridge(uint8_t, const AtaRequest&) override { return SendOutcome::NotSent; }
  uint32_t lastErrorCode() override { return ENOSYS; }

  void probeOsVersion(OsVersion* version, int* ataPassThroughAvailable) override {
    struct utsname name {};
    if (uname(&name) != 0) return;
    unsigned major = 0, minor = 0, patch = 0;
    std::sscanf(name.release, "%u.%u.%u", &major, &minor, &patch);
    version->dwMajorVersion = major;
    version->dwMinorVersion = minor;
    version->dwBuildNumber = patch;
    std::snprintf(version->szCSDVersion, sizeof version->szCSDVersion, "%s", name.release);
    *ataPassThroughAvailable = 1;
  }
  int queryBusType(uint8_t, uint8_t*) override { return 0; }
  void listDrives(DriveListEntry, void*) override {}

  int consoleAvailable() override { return 0; }
  int keyWaiting() override { return 0; }
  int readKey() override { return 0; }
  void sleepMilliseconds(uint32_t) override {}
  uint32_t shellOpen(const char*) override { return 0; }
};

}  // namespace

Platform* systemPlatform() {
  static LinuxPlatform instance;
  return &instance;
}

}  // namespace kzt
