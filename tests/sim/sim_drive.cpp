#include "sim/sim_drive.h"

#include <algorithm>
#include <cstring>

namespace kzt::sim {

namespace {

constexpr uint32_t kNoSuchDrive = 2;

void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void putAtaString(uint8_t* field, size_t fieldBytes, const std::string& text) {
  for (size_t i = 0; i < fieldBytes; ++i) {
    field[i ^ 1] = static_cast<uint8_t>(i < text.size() ? text[i] : ' ');
  }
}

// Every register as the controller expects it, the high-order ones as {prevLbaHigh, prevLbaMid,
// prevLbaLow, prevCount, prevFeatures}; Get BBEC takes any bank in prevFeatures.
struct Known {
  Command command;
  AtaOperation operation;
  AtaRegisters registers;
};
constexpr Known kKnown[] = {
    {Command::Identify, AtaOperation::In28, {0xEC, 0x00, 0, 0, 0, 0x01, 0x00}},
    {Command::SmartEnable, AtaOperation::NoData28, {0xB0, 0x40, 0xC2, 0x4F, 0, 0x00, 0xD8}},
    {Command::SmartRead, AtaOperation::In28, {0xB0, 0x40, 0xC2, 0x4F, 0, 0x01, 0xD0}},
    {Command::GetFwi, AtaOperation::In48, {0xFA, 0xE0, 0xF0, 0x50, 0x00, 0x08, 0x01, 0, 0, 0xAF, 0, 0}},
    {Command::FidPrefix, AtaOperation::NoData48, {0xFC, 0xE0, 0, 0, 0, 0xFF, 0x50, 0, 0, 0, 0xFF, 0}},
    {Command::GetFid, AtaOperation::In48, {0xFA, 0xE0, 0xF0, 0x04, 0x20, 0x01, 0x01, 0, 0, 0xAF, 0, 0}},
    {Command::GetFid2, AtaOperation::In48, {0xFA, 0xE0, 0, 0, 0, 0x01, 0x41, 0, 0, 0, 0, 0}},
    {Command::GetBbec, AtaOperation::In48, {0xFA, 0xE0, 0, 0, 0, 0x40, 0x43, 0, 0, 0, 0, 0}},
};

}  // namespace

Command classify(AtaOperation op, const AtaRegisters& r) {
  for (const Known& k : kKnown) {
    AtaRegisters wanted = k.registers;
    if (k.command == Command::GetBbec) wanted.prevFeatures = r.prevFeatures;
    if (op == k.operation && std::memcmp(&wanted, &r, sizeof r) == 0) return k.command;
  }
  return Command::Unknown;
}

std::vector<uint8_t> SimDrive::answerOf(Command command, uint8_t bankSelector) const {
  switch (command) {
    case Command::Identify: return {identify.begin(), identify.end()};
    case Command::SmartRead: return {smartData.begin(), smartData.end()};
    case Command::GetFwi: return {firmwareInfo.begin(), firmwareInfo.end()};
    case Command::GetFid: return {flashId.begin(), flashId.end()};
    case Command::GetFid2: return {flashId2.begin(), flashId2.end()};
    case Command::GetBbec: {
      const auto it = bbec.find(bankSelector);
      return it != bbec.end() ? it->second : std::vector<uint8_t>(32768, 0xFF);
    }
    default: return {};
  }
}

Reply SimDrive::execute(AtaOperation operation, const AtaRegisters& registers, uint8_t* dataArea,
                        uint32_t length, bool viaBridge) {
  Reply reply;
  const Command command = classify(operation, registers);
  const int occurrence = seen_[command]++;
  auto fault = faults.find({command, occurrence});
  if (fault == faults.end()) fault = faults.find({command, -1});
  const FaultKind kind = fault != faults.end() ? fault->second : FaultKind::None;
  if (kind == FaultKind::DriveGone) present = false;
  if (!present || openError != 0) {
    reply.errorCode = present ? openError : kNoSuchDrive;
    return reply;  // the drive does not open: nothing is sent
  }
  reply.opened = true;
  received.push_back({command, operation, registers, length, viaBridge});
  if (kind == FaultKind::TransportFailure) {
    reply.errorCode = errorCode;
    return reply;
  }
  if (kind == FaultKind::Sense) {
    reply.senseCode = senseCode;
    return reply;
  }
  reply.answered = true;
  reply.status = goodStatus;
  // The controller hands out the flash ID block only after the prefix; it aborts what it does
  // not know.
  const bool abort = command == Command::Unknown || (command == Command::GetFid && !fidArmed_);
  fidArmed_ = command == Command::FidPrefix;
  if (abort) {
    reply.status = errorStatus;
    return reply;
  }
  const std::vector<uint8_t> answer = answerOf(command, registers.prevFeatures);
  // The device sends at most its answer; a longer transfer leaves the rest of the area as it was.
  size_t sent = std::min<size_t>(length, answer.size());
  if (kind == FaultKind::DeviceError || kind == FaultKind::DeviceErrorNoData) reply.status = errorStatus;
  if (kind == FaultKind::DeviceErrorNoData || kind == FaultKind::NoData) sent = 0;
  if (kind == FaultKind::ShortData) sent /= 2;
  if (sent > 0) std::memcpy(dataArea, answer.data(), sent);
  reply.sent = static_cast<uint32_t>(sent);
  return reply;
}

void SimDrive::setIdentity(const std::string& model, const std::string& firmware,
                           const std::string& serial, uint64_t sectors,
                           const std::string& controller) {
  putAtaString(&identify[20], 20, serial);
  putAtaString(&identify[46], 8, firmware);
  putAtaString(&identify[54], 40, model);
  for (int i = 0; i < 8; ++i) identify[200 + i] = static_cast<uint8_t>(sectors >> (8 * i));
  for (size_t i = 0; i < 62; ++i) {
    identify[258 + (i ^ 1)] = i < controller.size() ? static_cast<uint8_t>(controller[i]) : 0;
  }
}

void SimDrive::sealSmartChecksum() {
  unsigned sum = 0;
  for (int i = 0; i < 511; ++i) sum += smartData[i];
  smartData[511] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

void setFlashId(SimDrive& drive, unsigned bank, const std::array<uint8_t, 8>& id) {
  std::copy(id.begin(), id.end(), &drive.flashId2[16 + 8 * bank]);
}

void setGeometry(SimDrive& drive, const Geometry& g) {
  uint8_t* f = drive.firmwareInfo.data();
  f[0xC50] = g.channelCount;
  f[0xC51] = g.ceCount;
  f[0xC52] = g.diesPerCe;
  f[0xC53] = g.planeCount;
  put16(f + 0xC54, g.blocksPerDie);
  put16(f + 0xC56, g.pagesPerBlock);
  put16(f + 0xC58, g.bankCount);
  f[0xC64] = g.sectorsPerPage;
  f[0xC67] = g.gcFreeLimit;
  for (int i = 0; i < 8; ++i) f[0xC70 + i] = static_cast<uint8_t>(static_cast<uint64_t>(g.maxCapacity) >> (8 * i));
  put16(f + 0xC7C, g.maxPeCycle);
  put16(f + 0xC9A, g.sharedPages);
  put16(f + 0xCBC, g.fullPageSize);
}

std::vector<uint8_t> bbecAnswer(const std::vector<BadBlock>& badBlocks,
                                const std::vector<uint16_t>& eraseCounts, bool terminated) {
  std::vector<uint8_t> a(32768, 0xFF);
  for (size_t i = 0; i < 2048; ++i) a[i] = static_cast<uint8_t>(i * 7);
  for (size_t i = 4096; i < 16384; ++i) a[i] = static_cast<uint8_t>(i * 13);
  for (size_t i = 0; i < badBlocks.size() && i < 512; ++i) {
    a[2048 + 4 * i] = badBlocks[i].kind;
    a[2048 + 4 * i + 1] = 0x00;
    put16(&a[2048 + 4 * i + 2], badBlocks[i].block);
  }
  for (size_t i = badBlocks.size(); !terminated && i < 512; ++i) a[2048 + 4 * i] = 0x02;
  for (size_t i = 0; i < eraseCounts.size() && i < 8192; ++i) put16(&a[16384 + 2 * i], eraseCounts[i]);
  return a;
}

void setBbec(SimDrive& drive, unsigned channel, unsigned ce, std::vector<uint8_t> answer) {
  drive.bbec[static_cast<uint8_t>((channel << 4) | ce)] = std::move(answer);
}

}  // namespace kzt::sim
