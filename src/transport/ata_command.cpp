#include "transport/ata_command.h"

#include <cstring>

#include "transport/platform.h"
#include "transport/verdict.h"

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
RequestVerdict verdict;

int failWith(uint32_t code) {
  verdict = RequestVerdict{};
  verdict.errorCode = code;
  return 0;
}

// Whether a native data-in answer brought nothing: the area still holds its starting bytes (the
// no-data marker, then zeros), or holds zeros only, which is what a system that transfers through
// a zero-filled buffer of its own hands back where the device sent nothing (Linux's sg driver,
// below libata, which reports no residue). No answer of the commands this program sends is all
// zeros or the marker alone.
bool broughtNothing(const uint8_t* area, uint32_t length) {
  if (area[0] != 0 && area[0] != kNoDataMarker) return false;
  for (uint32_t i = 1; i < length; ++i) {
    if (area[i] != 0) return false;
  }
  return true;
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

// Both paths: the request's data area starts zero (the native path puts the no-data marker into
// its first byte, so that an answer that brought no data shows it); the platform carries the
// request and reports what came back; a native answer that brought nothing counts as a transfer of
// no bytes, whatever the platform could tell; judgeReply gives the one verdict. The status register is
// taken whenever the request went out. After a completed request the caller gets the data area;
// after any other outcome its buffer is left as it was.
int sendAtaCommand(int32_t drive, AtaOperation operation, const AtaRegisters& registers,
                   void* buffer, uint32_t length) {
  if (drive < 0 || drive > 255) return failWith(kNoSuchDriveError);
  const uint32_t dataLength = isDataIn(operation) ? length : 0;
  if (dataLength > kMaxTransferLength) return failWith(0);
  std::memset(dataArea, 0, dataLength);
  const bool native = busKind != BusKind::Usb;
  if (native && dataLength > 0) dataArea[0] = kNoDataMarker;
  const AtaRequest request{operation, registers, dataArea, dataLength};
  const auto target = static_cast<uint8_t>(drive);
  RequestReply reply;
  if (native) {
    platform().sendNative(target, request, &reply);
    if (dataLength > 0 && broughtNothing(dataArea, dataLength)) {
      reply.transferKnown = true;
      reply.transferred = 0;
    }
  } else {
    platform().sendBridge(target, request, &reply);
  }
  verdict = judgeReply(request, reply);
  if (verdict.statusCame) lastAtaStatus = verdict.status;
  if (!verdict.completed) return 0;
  if (buffer != nullptr && dataLength > 0) std::memcpy(buffer, dataArea, dataLength);
  return 1;
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

uint32_t lastTransportError() { return verdict.errorCode; }

const RequestVerdict& lastVerdict() { return verdict; }

void resetTransportState() {
  busKind = BusKind::Ata;
  lastAtaStatus = 0;
  verdict = RequestVerdict{};
}

}  // namespace kzt
