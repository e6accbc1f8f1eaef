#include "transport/sat.h"

#include <cstring>

namespace kzt {

namespace {

constexpr uint8_t kAtaPassThrough12 = 0xA1;
constexpr uint8_t kAtaPassThrough16 = 0x85;

// Byte 1: PROTOCOL in bits 4..1, EXTEND in bit 0.
constexpr uint8_t kProtocolNonData = 3 << 1;   // 06
constexpr uint8_t kProtocolPioIn = 4 << 1;     // 08
constexpr uint8_t kProtocolUdmaIn = 10 << 1;   // 14
constexpr uint8_t kExtend = 0x01;

// Byte 2: CK_COND bit 5, T_DIR bit 3 (from device), BYT_BLOK bit 2 (blocks), T_LENGTH bits 1..0
// (2: the length is in the count field).
constexpr uint8_t kCheckCondition = 0x20;
constexpr uint8_t kTransferIn = 0x0E;     // T_DIR 1, BYT_BLOK 1, T_LENGTH 2
constexpr uint8_t kTransferNone = 0x0C;   // T_DIR 1, BYT_BLOK 1, T_LENGTH 0

}  // namespace

int buildSatCdb(const AtaRequest& request, const SatCdbOptions& options, uint8_t cdb[16]) {
  std::memset(cdb, 0, kSatCdb16Length);
  const AtaRegisters& r = request.registers;
  const bool in = isDataIn(request.operation);
  uint8_t transfer = in ? kTransferIn : kTransferNone;
  if (options.checkCondition) transfer |= kCheckCondition;

  if (!is48Bit(request.operation)) {
    cdb[0] = kAtaPassThrough12;
    cdb[1] = in ? kProtocolPioIn : kProtocolNonData;
    cdb[2] = transfer;
    cdb[3] = r.features;
    cdb[4] = r.count;
    cdb[5] = r.lbaLow;
    cdb[6] = r.lbaMid;
    cdb[7] = r.lbaHigh;
    cdb[8] = r.device;
    cdb[9] = r.command;
    return kSatCdb12Length;
  }

  cdb[0] = kAtaPassThrough16;
  cdb[1] = in ? (usesDma(request.operation, r) ? kProtocolUdmaIn : kProtocolPioIn) : kProtocolNonData;
  if (options.extend48) cdb[1] |= kExtend;
  cdb[2] = transfer;
  cdb[3] = r.prevFeatures;
  cdb[4] = r.features;
  cdb[5] = r.prevCount;
  cdb[6] = r.count;
  cdb[7] = r.prevLbaLow;
  cdb[8] = r.lbaLow;
  cdb[9] = r.prevLbaMid;
  cdb[10] = r.lbaMid;
  cdb[11] = r.prevLbaHigh;
  cdb[12] = r.lbaHigh;
  cdb[13] = r.device;
  cdb[14] = r.command;
  return kSatCdb16Length;
}


namespace {

constexpr uint8_t kFixedCurrent = 0x70;
constexpr uint8_t kFixedDeferred = 0x71;
constexpr uint8_t kDescriptorCurrent = 0x72;
constexpr uint8_t kDescriptorDeferred = 0x73;

constexpr uint8_t kAtaStatusReturnDescriptor = 0x09;
constexpr uint8_t kAtaStatusReturnLength = 0x0C;  // additional length of that descriptor
constexpr uint8_t kAscAtaInformation = 0x00;
constexpr uint8_t kAscqAtaInformation = 0x1D;

constexpr uint32_t kHeaderLength = 8;  // both formats: additional sense length in byte 7

// Sense bytes that are really there: what arrived, cut to what the header declares.
uint32_t usableLength(const uint8_t* sense, uint32_t length) {
  if (length < kHeaderLength) return length;
  const uint32_t declared = kHeaderLength + sense[7];
  return declared < length ? declared : length;
}

int parseDescriptor(const uint8_t* sense, uint32_t length, SatSense* out) {
  if (length < 4) return 0;
  out->senseKey = sense[1] & 0x0F;
  out->asc = sense[2];
  out->ascq = sense[3];
  const uint32_t end = usableLength(sense, length);
  uint32_t at = kHeaderLength;
  while (at + 2 <= end) {
    const uint8_t code = sense[at];
    const uint32_t size = 2u + sense[at + 1];
    if (at + size > end) break;  // cut short: nothing more can be trusted
    if (code == kAtaStatusReturnDescriptor && sense[at + 1] >= kAtaStatusReturnLength) {
      out->status = sense[at + 13];
      out->hasRegisters = 1;
      break;
    }
    at += size;
  }
  return 1;
}

// Status bits that a device's failed command leaves: BSY, DF, DRQ, ERR.
constexpr uint8_t kFailedStatusBits = 0x80 | 0x20 | 0x08 | 0x01;

int parseFixed(const uint8_t* sense, uint32_t length, SatSense* out) {
  if (length < 3) return 0;
  out->senseKey = sense[2] & 0x0F;
  const uint32_t end = usableLength(sense, length);
  if (end >= 14) {
    out->asc = sense[12];
    out->ascq = sense[13];
  }
  if (end >= 14 && out->asc == kAscAtaInformation && out->ascq == kAscqAtaInformation) {
    out->status = sense[4];  // INFORMATION: error, status, device, count
    out->hasRegisters = 1;
  } else if (end >= 12 && (sense[9] & kFailedStatusBits) != 0) {
    out->status = sense[9];  // libata: error, status, device, count in bytes 8 to 11
    out->hasRegisters = 1;
  }
  return 1;
}

}  // namespace

int parseSatSense(const uint8_t* sense, uint32_t length, SatSense* out) {
  *out = SatSense{};
  if (sense == nullptr || length == 0) return 0;
  const uint8_t code = sense[0] & 0x7F;
  out->responseCode = code;
  if (code == kDescriptorCurrent || code == kDescriptorDeferred) {
    return parseDescriptor(sense, length, out);
  }
  if (code == kFixedCurrent || code == kFixedDeferred) return parseFixed(sense, length, out);
  return 0;
}

}  // namespace kzt
