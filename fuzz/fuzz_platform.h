#pragma once
#include <cstdint>
#include <cstdio>

#include "transport/platform.h"

namespace kzt::fuzz {

// A machine with no drive and no console. Every drive request finds no drive, unless sending is
// forbidden, in which case any request stops the fuzzer as a finding. Anything that would wait
// for a person (key test, key read, sleep, shell) is a finding too: with no console the run must
// never get there.
class FuzzPlatform final : public Platform {
 public:
  bool sendsForbidden = false;

  SendOutcome sendNative(uint8_t drive, const AtaRequest& request, uint8_t* status) override;
  SendOutcome sendBridge(uint8_t drive, const AtaRequest& request) override;
  uint32_t lastErrorCode() override { return kNoSuchDrive; }
  void probeOsVersion(OsVersion* version, int* ataPassThroughAvailable) override;
  int queryBusType(uint8_t drive, uint8_t* busType) override;
  void listDrives(DriveListEntry entry, void* context) override;
  int consoleAvailable() override { return 0; }
  int keyWaiting() override;
  int readKey() override;
  void sleepMilliseconds(uint32_t milliseconds) override;
  uint32_t shellOpen(const char* fileName) override;

 private:
  static constexpr uint32_t kNoSuchDrive = 2;
};

// Stops the fuzzer with a message: the input found something the run must never do.
[[noreturn]] void finding(const char* what);

// For its lifetime, an empty scratch folder is the current directory (the fuzzer's own paths
// stay relative to the folder it was started in). The folder is made once and removed at exit.
class InScratchFolder {
 public:
  InScratchFolder();
  ~InScratchFolder();
  InScratchFolder(const InScratchFolder&) = delete;
  InScratchFolder& operator=(const InScratchFolder&) = delete;
};

// A sink for the console.
std::FILE* nullConsole();

}  // namespace kzt::fuzz
