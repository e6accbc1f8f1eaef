#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "transport/platform.h"

namespace kzt::sim {

// The commands a drive with this controller understands, recognised by every register.
enum class Command : uint8_t {
  Identify, SmartEnable, SmartRead, GetFwi, FidPrefix, GetFid, GetFid2, GetBbec,
  Unknown,  // anything else: the device aborts it
};

enum class FaultKind : uint8_t {
  None,
  TransportFailure,   // the platform reports the request failed (error code `errorCode`)
  DeviceError,        // the device sets ERR in its status but still sends its data
  DeviceErrorNoData,  // the device sets ERR and sends nothing
  NoData,             // the request completes, status good, no data phase
  ShortData,          // only the first half of the answer arrives
  Sense,              // the translation layer answers CHECK CONDITION with `senseCode` and no
                      // registers (a bridge after a reset, or one that filters the command)
  DriveGone,          // from this command on the drive does not open any more
};

// What became of one request, before any platform has put it into its own form.
struct Reply {
  bool opened = false;     // the drive opened and the request went out
  uint32_t errorCode = 0;  // the platform call failed (or the drive did not open) with this code
  bool answered = false;   // the device took the command: status and data below
  uint8_t status = 0;      // its status register
  uint32_t sent = 0;       // data bytes it sent
  uint32_t senseCode = 0;  // a CHECK CONDITION without registers: key << 16 | ASC << 8 | ASCQ
};

// One command as the drive received it.
struct ReceivedCommand {
  Command command = Command::Unknown;
  AtaOperation operation = AtaOperation::NoData28;
  AtaRegisters registers;
  uint32_t length = 0;
  bool viaBridge = false;
};

// A SATA SSD on this controller family, seen from the host: it answers register sets the way the
// drive does, keeps its answers per command (and per bank for Get BBEC; a bank without an answer
// reads as all 0xFF), and fails the n-th occurrence of a command (or every one, -1) on demand.
struct SimDrive {
  std::array<uint8_t, 512> identify{};
  std::array<uint8_t, 512> smartData{};
  std::array<uint8_t, 4096> firmwareInfo{};
  std::array<uint8_t, 512> flashId{};
  std::array<uint8_t, 512> flashId2{};
  std::map<uint8_t, std::vector<uint8_t>> bbec;  // key: bank selector, channel << 4 | CE
  bool present = true;
  uint32_t openError = 0;      // non-zero: the drive is there but does not open, with this code
  uint8_t goodStatus = 0x50;   // DRDY | DSC
  uint8_t errorStatus = 0x51;  // DRDY | DSC | ERR
  uint32_t errorCode = 0x1F;   // platform error of a transport failure; 0x100hh: adapter status
  uint32_t senseCode = 0x62900;  // sense of a Sense fault: UNIT ATTENTION, reset occurred
  std::map<std::pair<Command, int>, FaultKind> faults;
  std::vector<ReceivedCommand> received;

  void fail(Command command, FaultKind kind, int occurrence = -1) {
    faults[{command, occurrence}] = kind;
  }
  // What the drive sends for a command; empty for a non-data one.
  std::vector<uint8_t> answerOf(Command command, uint8_t bankSelector = 0) const;

  // Carries out one request whose data area is `dataArea` (length bytes).
  Reply execute(AtaOperation operation, const AtaRegisters& registers, uint8_t* dataArea,
                uint32_t length, bool viaBridge);

  // Fills the IDENTIFY answer: ATA strings (two characters a word, first in the high byte), the
  // 48-bit sector count in words 100-103 and the NUL-padded controller string from word 129.
  void setIdentity(const std::string& model, const std::string& firmware,
                   const std::string& serial, uint64_t sectors, const std::string& controller);
  // Makes the SMART data block's checksum valid (byte 511).
  void sealSmartChecksum();

 private:
  std::map<Command, int> seen_;
  bool fidArmed_ = false;
};

Command classify(AtaOperation operation, const AtaRegisters& registers);

// The drive's side of the controller's answer layouts.
void setFlashId(SimDrive& drive, unsigned bank, const std::array<uint8_t, 8>& id);

struct Geometry {
  uint8_t channelCount = 0, ceCount = 0, diesPerCe = 0, planeCount = 0;
  uint16_t blocksPerDie = 0, pagesPerBlock = 0, bankCount = 0;
  uint8_t sectorsPerPage = 0, gcFreeLimit = 0;
  int64_t maxCapacity = 0;
  uint16_t maxPeCycle = 0, sharedPages = 0, fullPageSize = 0;
};
void setGeometry(SimDrive& drive, const Geometry& geometry);

constexpr uint8_t kFactory = 0;
constexpr uint8_t kGrown = 4;
constexpr uint16_t kNoCount = 0xFFFF;
constexpr uint16_t kBad = 0xFFFE;

struct BadBlock {
  uint8_t kind = kFactory;
  uint16_t block = 0;
};

// A "Get BBEC" answer: the entries, then the terminator (when `terminated`; otherwise entries of
// kind 2 fill the list), the erase counts from block 0 on and "no count" after them; the areas
// the host does not read carry a filler pattern.
std::vector<uint8_t> bbecAnswer(const std::vector<BadBlock>& badBlocks,
                                const std::vector<uint16_t>& eraseCounts, bool terminated = true);
void setBbec(SimDrive& drive, unsigned channel, unsigned ce, std::vector<uint8_t> answer);

}  // namespace kzt::sim
