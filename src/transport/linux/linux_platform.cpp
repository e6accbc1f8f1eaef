#include "transport/linux/ata_pass_through.h"
#include "transport/linux/console_shell.h"
#include "transport/linux/probes_linux.h"
#include "transport/platform.h"

namespace kzt {
namespace {

// The Linux side of the platform seam: drives through SG_IO, probes from uname and sysfs, keys
// from the controlling terminal, the report opened with xdg-open.
class LinuxPlatform final : public Platform {
 public:
  SendOutcome sendNative(uint8_t drive, const AtaRequest& request, uint8_t* status) override {
    return linuxos::sendNativeAta(drive, request, status, &lastError_);
  }
  SendOutcome sendBridge(uint8_t drive, const AtaRequest& request) override {
    return linuxos::sendBridgeAta(drive, request, &lastError_);
  }
  uint32_t lastErrorCode() override { return lastError_; }

  void probeOsVersion(OsVersion* version, int* ataPassThroughAvailable) override {
    linuxos::probeOsVersion(version, ataPassThroughAvailable);
  }
  int queryBusType(uint8_t drive, uint8_t* busType) override {
    return linuxos::queryBusType(drive, busType);
  }
  void listDrives(DriveListEntry entry, void* context) override {
    linuxos::listDrives(entry, context);
  }

  int consoleAvailable() override { return linuxos::consoleAvailable(); }
  int keyWaiting() override { return linuxos::keyWaiting(); }
  int readKey() override { return linuxos::readKey(); }
  void sleepMilliseconds(uint32_t milliseconds) override {
    linuxos::sleepMilliseconds(milliseconds);
  }
  uint32_t shellOpen(const char* fileName) override { return linuxos::shellOpen(fileName); }

 private:
  uint32_t lastError_ = 0;
};

}  // namespace

Platform* systemPlatform() {
  static LinuxPlatform instance;
  return &instance;
}

}  // namespace kzt
