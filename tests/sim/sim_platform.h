#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_drive.h"
#include "transport/platform.h"

namespace kzt::sim {

// A machine with simulated drives attached, as the program sees it through the platform seam.
// Drives are attached by number; a number with no drive does not open.
class SimPlatform final : public Platform {
 public:
  struct Attached {
    SimDrive* drive = nullptr;
    uint8_t busType = 11;  // SATA; 7 puts the drive behind a USB bridge
    std::string vendor;
    std::string product;
    bool answersQuery = true;
  };

  void attach(unsigned number, SimDrive* drive, uint8_t busType = 11);
  std::map<unsigned, Attached> drives;

  OsVersion version{10, 0, 19045, ""};
  int passThrough = 1;

  bool console = true;
  std::deque<int> keys;       // keys waiting on the console
  int keysArriveAfterPolls = 0;  // polls of an empty console before the keys show up
  uint32_t shellResult = 42;
  std::vector<std::string> opened;  // files handed to the shell
  uint32_t sleeps = 0;

  SendOutcome sendNative(uint8_t drive, const AtaRequest& request, uint8_t* status) override;
  SendOutcome sendBridge(uint8_t drive, const AtaRequest& request) override;
  uint32_t lastErrorCode() override { return lastError_; }
  void probeOsVersion(OsVersion* out, int* available) override;
  int queryBusType(uint8_t drive, uint8_t* type) override;
  void listDrives(DriveListEntry entry, void* context) override;
  int consoleAvailable() override { return console ? 1 : 0; }
  int keyWaiting() override;
  int readKey() override;
  void sleepMilliseconds(uint32_t) override { ++sleeps; }
  uint32_t shellOpen(const char* fileName) override;

 private:
  SendOutcome send(uint8_t drive, const AtaRequest& request, uint8_t* status, bool bridge);
  uint32_t lastError_ = 0;
  static constexpr int kPatience = 10000;
  static constexpr int kNoKey = 0x1B;
  int emptyPolls_ = 0;
};

}  // namespace kzt::sim
