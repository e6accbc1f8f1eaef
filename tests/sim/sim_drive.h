#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "transport/ata_command.h"
#include "transport/platform.h"

namespace kzt::sim {

// The commands a drive with this controller understands, recognised by their registers.
enum class Command : uint8_t {
  Identify,     // EC
  SmartEnable,  // B0 / D8
  SmartRead,    // B0 / D0
  GetFwi,       // FA, features 01, LBA F0 50 00 / AF
  FidPrefix,    // FC, features 50, count FF FF
  GetFid,       // FA, features 01, LBA F0 04 20 / AF
  GetFid2,      // FA, features 41
  GetBbec,      // FA, features 43, bank in features 15:8
  Unknown,      // anything else: the device aborts it
};

const char* commandName(Command command);

enum class FaultKind : uint8_t {
  None,
  TransportFailure,   // the platform reports the request failed (error code `errorCode`)
  DeviceError,        // the device sets ERR in its status but still sends its data
  DeviceErrorNoData,  // the device sets ERR and sends nothing
  NoData,             // the request completes, status good, no data phase
  ShortData,          // only the first `shortLength` bytes of the answer arrive
  DriveGone,          // from this command on the drive does not open any more
};

struct Fault {
  FaultKind kind = FaultKind::None;
  uint32_t errorCode = 0x1F;  // platform error for TransportFailure (Windows: device not functioning)
  uint8_t status = 0x51;      // status register for the device-error kinds (DRDY, DSC, ERR)
  uint32_t shortLength = 0;
};

// One command as the drive received it.
struct ReceivedCommand {
  Command command = Command::Unknown;
  AtaOperation operation = AtaOperation::NoData28;
  AtaRegisters registers;
  uint32_t length = 0;
  bool viaBridge = false;
};

// What the drive did with one request.
struct Reply {
  SendOutcome outcome = SendOutcome::NotSent;
  uint8_t status = 0;       // status register as the returned register block holds it
  uint32_t errorCode = 0;   // platform error code when not completed
};

// A SATA SSD on this controller family, seen from the host: it answers register sets the way
// the drive does, keeps its answers per command (and per bank for Get BBEC), and can be told to
// fail any command in any of the ways a real drive or transport fails.
class SimDrive {
 public:
  SimDrive();

  // Answers. Sizes are those of the commands; a bank without an answer reads as all 0xFF.
  std::array<uint8_t, 512> identify{};
  std::array<uint8_t, 512> smartData{};
  std::vector<uint8_t> firmwareInfo = std::vector<uint8_t>(4096, 0);
  std::array<uint8_t, 512> flashId{};
  std::array<uint8_t, 512> flashId2{};
  std::map<uint8_t, std::vector<uint8_t>> bbec;  // key: bankSelector

  bool vendorCommands = true;  // false: a drive of another make, which aborts FA/FC
  uint8_t goodStatus = 0x50;   // DRDY | DSC
  uint8_t abortStatus = 0x51;  // DRDY | DSC | ERR

  // Fault on the n-th (0-based) occurrence of a command, or on every occurrence (-1).
  void setFault(Command command, Fault fault, int occurrence = -1);
  bool present = true;

  // Carries out one request whose data area is `dataArea` (length bytes).
  Reply execute(AtaOperation operation, const AtaRegisters& registers, uint8_t* dataArea,
                uint32_t length, bool viaBridge);

  std::vector<ReceivedCommand> received;

  // Fills the IDENTIFY answer: ATA strings (two characters a word, first in the high byte), the
  // 48-bit sector count in words 100-103 and the controller string in words 129 onward.
  void setIdentity(const std::string& model, const std::string& firmware,
                   const std::string& serial, uint64_t sectors, const std::string& controller);
  // Makes the SMART data block's checksum valid (byte 511).
  void sealSmartChecksum();

 private:
  const Fault* faultFor(Command command, int occurrence) const;
  std::map<std::pair<Command, int>, Fault> faults_;
  std::map<Command, int> seen_;
  bool fidArmed_ = false;
};

Command classify(AtaOperation operation, const AtaRegisters& registers);

// Writes an ATA string field (byte-pair swapped, space padded) into an IDENTIFY-like buffer.
void putAtaString(uint8_t* field, size_t fieldBytes, const std::string& text);

}  // namespace kzt::sim
