#include "ident/identify.h"

#include <cstring>

#include "frontend/output.h"
#include "frontend/run_options.h"
#include "ident/step.h"
#include "transport/byte_order.h"

namespace kzt {

namespace {

// IDENTIFY DEVICE, one sector in.
constexpr StepCommand kIdentifyCommand{AtaOperation::In28, {0xEC, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}};

// Byte offsets and lengths of the fields taken from the answer.
constexpr uint32_t kSerialOffset = 20, kSerialLength = 20;
constexpr uint32_t kFirmwareOffset = 46, kFirmwareLength = 8;
constexpr uint32_t kModelOffset = 54, kModelLength = 40;
constexpr uint32_t kSectorCountOffset = 200;
constexpr uint32_t kVendorAreaOffset = 258, kVendorAreaLength = 62;
constexpr uint32_t kVendorStringLength = 36;

constexpr char kRealtekPrefix[] = "REALTEK_";
constexpr uint32_t kRealtekPrefixLength = 8;

// Copies up to `maxLength` characters, stopping at the first zero byte; `text` holds maxLength+1.
void copyText(char* text, const uint8_t* field, uint32_t maxLength) {
  std::memset(text, 0, maxLength + 1);
  for (uint32_t i = 0; i < maxLength && field[i] != 0; ++i) text[i] = static_cast<char>(field[i]);
}

}  // namespace

void SwapBytePairs(uint8_t* buffer, uint32_t length) {
  for (uint32_t i = 0; i + 1 < length; i += 2) {
    const uint8_t first = buffer[i];
    buffer[i] = buffer[i + 1];
    buffer[i + 1] = first;
  }
}

void readDriveIdentity(uint8_t* answer, DriveIdentity* identity) {
  SwapBytePairs(answer + kFirmwareOffset, kFirmwareLength);
  SwapBytePairs(answer + kModelOffset, kModelLength);
  SwapBytePairs(answer + kVendorAreaOffset, kVendorAreaLength);
  SwapBytePairs(answer + kSerialOffset, kSerialLength);
  copyText(identity->model, answer + kModelOffset, kModelLength);
  copyText(identity->firmwareRevision, answer + kFirmwareOffset, kFirmwareLength);
  copyText(identity->serialNumber, answer + kSerialOffset, kSerialLength);
  identity->sectorCount = readLe64(answer + kSectorCountOffset);

  uint8_t* vendor = answer + kVendorAreaOffset;
  for (uint32_t i = 0; i < kVendorStringLength; ++i) {
    if (vendor[i] < 0x20 || vendor[i] >= 0x80) vendor[i] = 0;
  }
  copyText(identity->vendorString, vendor, kVendorStringLength);
}

uint32_t driveSizeMegabytes(uint64_t sectorCount) {
  return static_cast<uint32_t>(sectorCount >> 11);
}

double driveSizeGigabytes(uint64_t sectorCount) {
  return static_cast<double>(static_cast<int64_t>(sectorCount)) * 5.12e-7;
}

int isRealtekController(const DriveIdentity& identity) {
  return std::strncmp(identity.vendorString, kRealtekPrefix, kRealtekPrefixLength) == 0;
}

InterrogationVerdict identifyDrive(uint8_t* answer, DriveIdentity* identity) {
  const StepOutcome outcome = runStep("Identify", kIdentifyCommand, answer, kIdentifySize, "id.bin");
  // Identify data came in when the dump loaded, or when the request completed and the device
  // did not flag an error. A drive that rejects IDENTIFY has not identified itself.
  const bool dataCame = runOptions.fileMode
                            ? outcome.loaded != 0
                            : outcome.transportSucceeded != 0 && outcome.deviceError == 0;

  *identity = DriveIdentity{};
  readDriveIdentity(answer, identity);
  printBoth("Model: %s\nFw   : %s\nSize : %u MB [%1.1f GB]\n", identity->model,
            identity->firmwareRevision, driveSizeMegabytes(identity->sectorCount),
            driveSizeGigabytes(identity->sectorCount));
  if (runOptions.serialInReport) printReport("S/N  : %s\n", identity->serialNumber);
  if (identity->vendorString[0] != '\0') printBoth("FwStr: [%s]\n", identity->vendorString);

  if (isRealtekController(*identity)) return InterrogationVerdict::Served;
  printBoth("Realtek based SSD not found - Exit!\n");
  return dataCame ? InterrogationVerdict::NotServed : InterrogationVerdict::IdentifyFailed;
}

}  // namespace kzt
