// The Win32 side of the platform seam.
#include "transport/windows/win32.h"

namespace kzt {

namespace win {

namespace {
uint32_t lastError = 0;
}

void recordError(DWORD code) { lastError = code; }
uint32_t recordedError() { return lastError; }

}  // namespace win

namespace {

class WindowsPlatform final : public Platform {
 public:
  SendOutcome sendNative(uint8_t drive, const AtaRequest& request, uint8_t* status) override {
    return win::sendNative(drive, request, status);
  }
  SendOutcome sendBridge(uint8_t drive, const AtaRequest& request) override {
    return win::sendBridge(drive, request);
  }
  uint32_t lastErrorCode() override { return win::recordedError(); }

  void probeOsVersion(OsVersion* version, int* ataPassThroughAvailable) override {
    win::probeOsVersion(version, ataPassThroughAvailable);
  }
  int queryBusType(uint8_t drive, uint8_t* busType) override {
    return win::queryBusType(drive, busType);
  }
  void listDrives(DriveListEntry entry, void* context) override {
    win::listDrives(entry, context);
  }

  int consoleAvailable() override { return win::consoleAvailable(); }
  int keyWaiting() override { return win::keyWaiting(); }
  int readKey() override { return win::readKey(); }
  void sleepMilliseconds(uint32_t milliseconds) override { win::sleepMilliseconds(milliseconds); }
  uint32_t shellOpen(const char* fileName) override { return win::shellOpen(fileName); }
};

}  // namespace

Platform* systemPlatform() {
  static WindowsPlatform instance;
  return &instance;
}

}  // namespace kzt
