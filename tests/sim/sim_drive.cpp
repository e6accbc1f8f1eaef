#include "sim/sim_drive.h"

#include <algorithm>
#include <cstring>

namespace kzt::sim {

namespace {

bool is(const AtaRegisters& r, uint8_t command, uint8_t device, uint8_t lbaHigh, uint8_t lbaMid,
        uint8_t lbaLow, uint8_t count, uint8_t features) {
  return r.command == command && r.device == device && r.lbaHigh == lbaHigh &&
         r.lbaMid == lbaMid && r.lbaLow == lbaLow && r.count == count && r.features == features;
}

bool high(const AtaRegisters& r, uint8_t prevLbaHigh, uint8_t prevLbaMid, uint8_t prevLbaLow,
          uint8_t prevCount) {
  return r.prevLbaHigh == prevLbaHigh && r.prevLbaMid == prevLbaMid &&
         r.prevLbaLow == prevLbaLow && r.prevCount == prevCount;
}

}  // namespace

const char* commandName(Command command) {
  switch (command) {
    case Command::Identify: return "Identify";
    case Command::SmartEnable: return "SmartEnable";
    case Command::SmartRead: return "SmartRead";
    case Command::GetFwi: return "Get FWI";
    case Command::FidPrefix: return "FID prefix";
    case Command::GetFid: return "Get FID";
    case Command::GetFid2: return "Get FID2";
    case Command::GetBbec: return "Get BBEC";
    case Command::Unknown: return "Unknown";
  }
  return "Unknown";
}

// A command is recognised only with every register as the controller expects it; a stray
// register value makes it an unknown command, which the drive aborts.
Command classify(AtaOperation op, const AtaRegisters& r) {
  using Op = AtaOperation;
  if (op == Op::In28 && is(r, 0xEC, 0x00, 0, 0, 0, 0x01, 0x00)) return Command::Identify;
  if (op == Op::NoData28 && is(r, 0xB0, 0x40, 0xC2, 0x4F, 0, 0x00, 0xD8)) return Command::SmartEnable;
  if (op == Op::In28 && is(r, 0xB0, 0x40, 0xC2, 0x4F, 0, 0x01, 0xD0)) return Command::SmartRead;
  if (op == Op::In48 && is(r, 0xFA, 0xE0, 0xF0, 0x50, 0x00, 0x08, 0x01) && high(r, 0, 0, 0xAF, 0) &&
      r.prevFeatures == 0)
    return Command::GetFwi;
  if (op == Op::NoData48 && is(r, 0xFC, 0xE0, 0, 0, 0, 0xFF, 0x50) && high(r, 0, 0, 0, 0xFF) &&
      r.prevFeatures == 0)
    return Command::FidPrefix;
  if (op == Op::In48 && is(r, 0xFA, 0xE0, 0xF0, 0x04, 0x20, 0x01, 0x01) && high(r, 0, 0, 0xAF, 0) &&
      r.prevFeatures == 0)
    return Command::GetFid;
  if (op == Op::In48 && is(r, 0xFA, 0xE0, 0, 0, 0, 0x01, 0x41) && high(r, 0, 0, 0, 0) &&
      r.prevFeatures == 0)
    return Command::GetFid2;
  if (op == Op::In48 && is(r, 0xFA, 0xE0, 0, 0, 0, 0x40, 0x43) && high(r, 0, 0, 0, 0))
    return Command::GetBbec;
  return Command::Unknown;
}

SimDrive::SimDrive() = default;

void SimDrive::setFault(Command command, Fault fault, int occurrence) {
  faults_[{command, occurrence}] = fault;
}

const Fault* SimDrive::faultFor(Command command, int occurrence) const {
  auto it = faults_.find({command, occurrence});
  if (it == faults_.end()) it = faults_.find({command, -1});
  return it == faults_.end() ? nullptr : &it->second;
}

Reply SimDrive::execute(AtaOperation operation, const AtaRegisters& registers, uint8_t* dataArea,
                        uint32_t length, bool viaBridge) {
  Reply reply;
  if (!present) {
    reply.errorCode = 2;
    return reply;  // the drive does not open: nothing is sent
  }
  const Command command = classify(operation, registers);
  const int occurrence = seen_[command]++;
  const Fault* fault = faultFor(command, occurrence);
  if (fault != nullptr && fault->kind == FaultKind::DriveGone) {
    present = false;
    reply.errorCode = 2;
    return reply;
  }
  received.push_back({command, operation, registers, length, viaBridge});

  if (fault != nullptr && fault->kind == FaultKind::TransportFailure) {
    reply.outcome = SendOutcome::Failed;
    reply.status = registers.command;  // no register block came back: it still holds the request
    reply.errorCode = fault->errorCode;
    return reply;
  }

  // The answer the drive would send for this command, if any.
  const uint8_t* answer = nullptr;
  uint32_t answerSize = 0;
  std::vector<uint8_t> unprogrammedBank;
  bool abort = false;
  switch (command) {
    case Command::Identify: answer = identify.data(); answerSize = 512; break;
    case Command::SmartEnable: break;
    case Command::SmartRead: answer = smartData.data(); answerSize = 512; break;
    case Command::GetFwi:
      answer = firmwareInfo.data();
      answerSize = static_cast<uint32_t>(firmwareInfo.size());
      break;
    case Command::FidPrefix: fidArmed_ = true; break;
    case Command::GetFid:
      abort = !fidArmed_;  // the controller hands out the flash ID block only after the prefix
      fidArmed_ = false;
      answer = flashId.data();
      answerSize = 512;
      break;
    case Command::GetFid2: answer = flashId2.data(); answerSize = 512; break;
    case Command::GetBbec: {
      auto it = bbec.find(registers.prevFeatures);
      if (it == bbec.end()) {
        unprogrammedBank.assign(32768, 0xFF);
        answer = unprogrammedBank.data();
        answerSize = 32768;
      } else {
        answer = it->second.data();
        answerSize = static_cast<uint32_t>(it->second.size());
      }
      break;
    }
    case Command::Unknown: abort = true; break;
  }
  const bool vendor = registers.command == 0xFA || registers.command == 0xFC;
  if (vendor && !vendorCommands) abort = true;

  reply.outcome = SendOutcome::Completed;
  reply.status = goodStatus;
  if (abort) {
    reply.status = abortStatus;
    return reply;
  }

  // The device sends at most its answer; a longer transfer leaves the rest of the area as it was.
  uint32_t sent = std::min(length, answerSize);
  if (fault != nullptr) {
    switch (fault->kind) {
      case FaultKind::DeviceError: reply.status = fault->status; break;
      case FaultKind::DeviceErrorNoData: reply.status = fault->status; sent = 0; break;
      case FaultKind::NoData: sent = 0; break;
      case FaultKind::ShortData: sent = std::min(sent, fault->shortLength); break;
      default: break;
    }
  }
  if (sent > 0 && dataArea != nullptr) std::memcpy(dataArea, answer, sent);
  return reply;
}

void putAtaString(uint8_t* field, size_t fieldBytes, const std::string& text) {
  for (size_t i = 0; i < fieldBytes; ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    field[i ^ 1] = static_cast<uint8_t>(c);  // first character of each word in its high byte
  }
}

void SimDrive::setIdentity(const std::string& model, const std::string& firmware,
                           const std::string& serial, uint64_t sectors,
                           const std::string& controller) {
  identify.fill(0);
  putAtaString(&identify[20], 20, serial);
  putAtaString(&identify[46], 8, firmware);
  putAtaString(&identify[54], 40, model);
  for (int i = 0; i < 8; ++i) identify[200 + i] = static_cast<uint8_t>(sectors >> (8 * i));
  // The controller string is NUL-padded rather than space-padded.
  for (size_t i = 0; i < 62; ++i) {
    identify[258 + (i ^ 1)] = i < controller.size() ? static_cast<uint8_t>(controller[i]) : 0;
  }
}

void SimDrive::sealSmartChecksum() {
  unsigned sum = 0;
  for (int i = 0; i < 511; ++i) sum += smartData[i];
  smartData[511] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

}  // namespace kzt::sim
