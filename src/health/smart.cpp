#include "health/smart.h"

#include <cstdint>
#include <cstring>

#include "output/output.h"
#include "transport/ata_command.h"

namespace kzt {

namespace {

constexpr uint8_t kSmartCommand = 0xB0;
constexpr uint8_t kSmartDevice = 0x40;
constexpr uint8_t kSmartLbaHigh = 0xC2;
constexpr uint8_t kSmartLbaMid = 0x4F;
constexpr uint8_t kSmartEnableOperations = 0xD8;
constexpr uint8_t kSmartReadData = 0xD0;

int deviceError() { return (lastAtaStatus & kAtaStatusError) != 0; }

// SMART ENABLE OPERATIONS, then SMART READ DATA into `data`; stops at the first failure with its
// message. Non-zero when the block arrived.
int readSmartBlock(int32_t drive, uint8_t* data) {
  if (!ataCommandNoData(drive, kSmartCommand, kSmartDevice, kSmartLbaHigh, kSmartLbaMid, 0x00,
                        0x00, kSmartEnableOperations, nullptr, 0)) {
    printCommandFailure(lastTransportError(), "IOCtl: SmartEnable failed 0x%x!", lastTransportError());
    return 0;
  }
  if (deviceError()) {
    printCommandFailure(lastAtaStatus, "ATA: SmartEnable failed! Error: 0x%x", static_cast<unsigned>(lastAtaStatus));
    return 0;
  }
  if (!ataCommandIn(drive, kSmartCommand, kSmartDevice, kSmartLbaHigh, kSmartLbaMid, 0x00, 0x01,
                    kSmartReadData, data, kSmartDataSize)) {
    printCommandFailure(lastTransportError(), "IOCtl: GetSmart failed 0x%x!", lastTransportError());
    return 0;
  }
  if (deviceError()) {
    printCommandFailure(lastAtaStatus, "ATA: GetSmart failed! Error: 0x%x", static_cast<unsigned>(lastAtaStatus));
    return 0;
  }
  return 1;
}

}  // namespace

void readSmart(const char* dumpFileName) {
  uint8_t data[kSmartDataSize];
  std::memset(data, 0, sizeof data);
  clearCommandFailure();
  if (!readSmartBlock(runOptions.driveNumber, data)) {
    recordStep("SMART", dumpFileName, 0);
    ++answersMissing;
    return;
  }
  recordStep("SMART", dumpFileName, 1);
  if (!smartChecksumValid(data)) printConsole("Smart data checksum error!\n");
  saveDump(dumpFileName, data, kSmartDataSize);
}

}  // namespace kzt
