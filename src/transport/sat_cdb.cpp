#include "transport/sat_cdb.h"

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

bool usesDma(const AtaRequest& request) {
  return request.registers.command == 0xFA || request.registers.command == 0xFB;
}

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
  cdb[1] = in ? (usesDma(request) ? kProtocolUdmaIn : kProtocolPioIn) : kProtocolNonData;
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

}  // namespace kzt
