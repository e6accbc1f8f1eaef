#include "transport/ata_command.h"

#include <cstring>

#include "transport/platform.h"

namespace kzt {

BusKind busKind = BusKind::Ata;
uint8_t lastAtaStatus = 0;

namespace {

// Error code given for a drive number that names no drive; both platforms use 2 for "no such
// file or device".
constexpr uint32_t kNoSuchDriveError = 2;

// The data area of the request in flight, the one transfer buffer of a request: the platform
// carries the data straight into it (the kernel maps a page-aligned buffer into the transfer).
// One request at a time, so one area serves them all.
alignas(4096) uint8_t dataArea[kMaxTransferLength];
uint32_t savedError = 0;

int failWith(uint32_t code) {
  savedError = code;
  return 0;
}

// Native ATA path: the data area starts with the no-data marker; after a completed request the
// caller gets the data area, after a failed one its buffer is left as it was. The status register
// is taken from the returned register block whenever a request went out.
int sendNative(uint8_t drive, const AtaRequest& request, void* buffer) {
  if (isDataIn(request.operation) && request.length > 0) dataArea[0] = kNoDataMarker;
  uint8_t status = 0;
  const SendOutcome outcome = platform().sendNative(drive, request, &status);
  if (outcome != SendOutcome::NotSent) lastAtaStatus = status;
  if (outcome != SendOutcome::Completed) return failWith(platform().lastErrorCode());
  if (buffer != nullptr && request.length > 0) std::memcpy(buffer, dataArea, request.length);
  return 1;
}

// USB bridge path: no status comes back; a data-in caller gets the data area whatever the
// outcome (zeros after a failed request), unless nothing was sent at all.
int sendBridge(uint8_t drive, const AtaRequest& request, void* buffer) {
  const SendOutcome outcome = platform().sendBridge(drive, request);
  if (outcome == SendOutcome::NotSent) return failWith(platform().lastErrorCode());
  const uint32_t error = outcome == SendOutcome::Failed ? platform().lastErrorCode() : 0;
  if (buffer != nullptr && request.length > 0) std::memcpy(buffer, dataArea, request.length);
  if (outcome == SendOutcome::Failed) return failWith(error);
  return 1;
}

AtaRegisters registers28(uint8_t command, uint8_t device, uint8_t lbaHigh, uint8_t lbaMid,
                         uint8_t lbaLow, uint8_t count, uint8_t features) {
  return {.command = command, .device = device, .lbaHigh = lbaHigh, .lbaMid = lbaMid,
          .lbaLow = lbaLow, .count = count, .features = features};
}

AtaRegisters registers48(uint8_t command, uint8_t device, uint8_t lbaHigh, uint8_t lbaMid,
                         uint8_t lbaLow, uint8_t count, uint8_t features, uint8_t prevLbaHigh,
                         uint8_t prevLbaMid, uint8_t prevLbaLow, uint8_t prevCount,
                         uint8_t prevFeatures) {
  return {.command = command, .device = device, .lbaHigh = lbaHigh, .lbaMid = lbaMid,
          .lbaLow = lbaLow, .count = count, .features = features, .prevLbaHigh = prevLbaHigh,
          .prevLbaMid = prevLbaMid, .prevLbaLow = prevLbaLow, .prevCount = prevCount,
          .prevFeatures = prevFeatures};
}

}  // namespace

int sendAtaCommand(int32_t drive, AtaOperation operation, const AtaRegisters& registers,
                   void* buffer, uint32_t length) {
  if (drive < 0 || drive > 255) return failWith(kNoSuchDriveError);
  const uint32_t dataLength = isDataIn(operation) ? length : 0;
  if (dataLength > kMaxTransferLength) return failWith(0);
  std::memset(dataArea, 0, dataLength);
  const AtaRequest request{operation, registers, dataArea, dataLength};
  const auto target = static_cast<uint8_t>(drive);
  if (busKind == BusKind::Usb) return sendBridge(target, request, buffer);
  return sendNative(target, request, buffer);
}

int ataCommandIn(int32_t drive, uint8_t command, uint8_t device, uint8_t lbaHigh, uint8_t lbaMid,
                 uint8_t lbaLow, uint8_t count, uint8_t features, void* buffer, uint32_t length) {
  return sendAtaCommand(drive, AtaOperation::In28,
                        registers28(command, device, lbaHigh, lbaMid, lbaLow, count, features),
                        buffer, length);
}

int ataCommandNoData(int32_t drive, uint8_t command, uint8_t device, uint8_t lbaHigh,
                     uint8_t lbaMid, uint8_t lbaLow, uint8_t count, uint8_t features, void*,
                     uint32_t) {
  return sendAtaCommand(drive, AtaOperation::NoData28,
                        registers28(command, device, lbaHigh, lbaMid, lbaLow, count, features),
                        nullptr, 0);
}

int ataCommandIn48(int32_t drive, uint8_t command, uint8_t device, uint8_t lbaHigh, uint8_t lbaMid,
                   uint8_t lbaLow, uint8_t count, uint8_t features, uint8_t prevLbaHigh,
                   uint8_t prevLbaMid, uint8_t prevLbaLow, uint8_t prevCount,
                   uint8_t prevFeatures, void* buffer, uint32_t length) {
  return sendAtaCommand(drive, AtaOperation::In48,
                        registers48(command, device, lbaHigh, lbaMid, lbaLow, count, features,
                                    prevLbaHigh, prevLbaMid, prevLbaLow, prevCount, prevFeatures),
                        buffer, length);
}

int ataCommandNoData48(int32_t drive, uint8_t command, uint8_t device, uint8_t lbaHigh,
                       uint8_t lbaMid, uint8_t lbaLow, uint8_t count, uint8_t features,
                       uint8_t prevLbaHigh, uint8_t prevLbaMid, uint8_t prevLbaLow,
                       uint8_t prevCount, uint8_t prevFeatures, void*, uint32_t) {
  return sendAtaCommand(drive, AtaOperation::NoData48,
                        registers48(command, device, lbaHigh, lbaMid, lbaLow, count, features,
                                    prevLbaHigh, prevLbaMid, prevLbaLow, prevCount, prevFeatures),
                        nullptr, 0);
}

uint32_t lastTransportError() { return savedError; }

void resetTransportState() {
  busKind = BusKind::Ata;
  lastAtaStatus = 0;
  savedError = 0;
}

}  // namespace kzt
