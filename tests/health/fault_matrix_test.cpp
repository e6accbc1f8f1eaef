// Every drive command of a run with x, failing in every way the simulated drive can fail, on a
// SATA port and behind a USB bridge. The expected console, report, dumps, erase-count file and
// command stream are put together from the rules of the run, step by step, below; the drive's
// answers are the fixed ones of matrixDrive.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "sim/harness.h"
#include "sim/run_files.h"
#include "sim/vendor_answers.h"

namespace kzt {
namespace {

using sim::Command;
using sim::FaultKind;

enum class Bus { Sata, Usb };

struct Case {
  Command command = Command::Unknown;  // Unknown: no fault at all
  unsigned bank = 0;                    // for Get BBEC: 0 to 3, the order the banks are read in
  FaultKind kind = FaultKind::None;
  Bus bus = Bus::Sata;
};

// ---- The drive -------------------------------------------------------------------------------

constexpr uint8_t kErrorStatus = 0x51;  // the status the drive reports with its error bit
constexpr uint32_t kTransportError = 0x1F;
constexpr uint32_t kNoDrive = 2;

struct Bank {
  unsigned channel, ce;
  std::vector<sim::BadBlock> badBlocks;
  std::vector<uint16_t> eraseCounts;
  // The bank's list lines after "Ch<c>CE<e>:" with 12 blocks per die, and their counts.
  const char* factory;
  uint32_t factoryCount;
  const char* grown;
  uint32_t grownCount;
};

const uint16_t kB = sim::kBad, kN = sim::kNoCount;
const Bank kBanks[4] = {
    {0, 0, {{0, 3}, {4, 7}, {0, 11}}, {12, 15, 9, kB, 20, 65533, 0, kB, 14, kN, 13, kB}, " 3 11 =2", 2, " 7 =1", 1},
    {0, 1, {{0, 5}, {1, 6}}, {1, 2, 3, 4, 5, kB, 7, 8, 9, 10, 11, 12}, " 5 =1", 1, " =0", 0},
    {1, 0, {}, {30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41}, " =0", 0, " =0", 0},
    {1, 1, {{4, 2}, {4, 10}, {0, 0}}, {kB, 8, kB, 9, 10, 11, kN, 12, 100, 1000, kB, 65533}, " 0 =1", 1, " 2 10 =2", 2},
};

std::string bbecDumpName(const Bank& b) {
  return "kzt_bbec_" + std::to_string(b.channel) + "_" + std::to_string(b.ce) + ".bin";
}

void matrixDrive(sim::SimDrive& drive) {
  drive.setIdentity("KZT MATRIX SSD 256GB", "MTX00001", "MTX0000000007", 500118192,
                    "REALTEK_RL6643 MATRIX");
  for (int i = 0; i < 511; ++i) drive.smartData[i] = static_cast<uint8_t>(i * 3 + 1);
  drive.sealSmartChecksum();
  sim::Geometry g;
  g.channelCount = 2;
  g.ceCount = 2;
  g.diesPerCe = 2;
  g.planeCount = 2;
  g.blocksPerDie = 12;
  g.pagesPerBlock = 384;
  g.bankCount = 4;
  g.sectorsPerPage = 32;
  g.gcFreeLimit = 6;
  g.maxCapacity = 256060514304;
  g.maxPeCycle = 3000;
  g.sharedPages = 3;
  g.fullPageSize = 18336;
  sim::setGeometry(drive, g);
  drive.firmwareInfo[0] = 0x01;
  for (int i = 0; i < 512; ++i) drive.flashId[i] = static_cast<uint8_t>(0x5A ^ i);
  for (unsigned bank : {0u, 1u, 8u, 9u}) {
    sim::setFlashId(drive, bank, {0x98, 0x3C, 0x99, 0xB3, 0x7A, 0x51, 0x08, 0x04});
  }
  for (const Bank& b : kBanks) sim::setBbec(drive, b.channel, b.ce, sim::bbecAnswer(b.badBlocks, b.eraseCounts));
}

// ---- What one command does ---------------------------------------------------------------------

// What the caller's answer buffer holds after a command.
enum class Got {
  Answer,     // the drive's whole answer
  FirstHalf,  // the first half of it, zeros after
  Marker,     // native path, completed without data: 0xCF, then zeros
  Zeros,      // USB path, no data or a failed request: the cleared data area
  Untouched,  // nothing came back into the buffer: it holds what the step filled it with
};

struct Outcome {
  bool received = false;         // the drive saw the command
  bool transportFailed = false;  // the operation returned 0: an "IOCtl" line
  uint32_t error = 0;
  bool deviceError = false;      // the error bit reached lastAtaStatus: an "ATA" line
  Got got = Got::Answer;
  bool gone = false;
};

Outcome outcomeOf(FaultKind kind, Bus bus) {
  const bool sata = bus == Bus::Sata;
  Outcome o;
  o.received = true;
  switch (kind) {
    case FaultKind::None: break;
    case FaultKind::TransportFailure:
      // The status register then still holds the command code, whose bit 0 is clear.
      o.transportFailed = true;
      o.error = kTransportError;
      o.got = sata ? Got::Untouched : Got::Zeros;
      break;
    case FaultKind::DeviceError: o.deviceError = sata; break;
    case FaultKind::DeviceErrorNoData:
      o.deviceError = sata;
      o.got = sata ? Got::Marker : Got::Zeros;
      break;
    case FaultKind::NoData: o.got = sata ? Got::Marker : Got::Zeros; break;
    case FaultKind::ShortData: o.got = Got::FirstHalf; break;
    case FaultKind::DriveGone:
      o.received = false;
      o.transportFailed = true;
      o.error = kNoDrive;
      o.got = Got::Untouched;
      o.gone = true;
      break;
  }
  return o;
}

std::string bytesAfter(Got got, const std::vector<uint8_t>& answer, uint8_t fill) {
  std::string bytes(answer.size(), '\0');
  switch (got) {
    case Got::Answer: bytes.assign(answer.begin(), answer.end()); break;
    case Got::FirstHalf:
      for (size_t i = 0; i < answer.size() / 2; ++i) bytes[i] = static_cast<char>(answer[i]);
      break;
    case Got::Marker: bytes[0] = '\xCF'; break;
    case Got::Zeros: break;
    case Got::Untouched: bytes.assign(answer.size(), static_cast<char>(fill)); break;
  }
  return bytes;
}

template <size_t N>
std::vector<uint8_t> vec(const std::array<uint8_t, N>& a) { return {a.begin(), a.end()}; }

std::string hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", v);
  return text;
}

// ---- The run, step by step ---------------------------------------------------------------------

struct Expected {
  std::string console, report;
  std::map<std::string, std::string> dumps;
  bool eraseCountFile = false;
  std::string eraseCounts;
  std::vector<Command> received;
};

class ExpectedRun {
 public:
  ExpectedRun(const Case& c, sim::SimDrive& drive) : c_(c), drive_(drive) {}

  Expected build() {
    const char* bus = c_.bus == Bus::Sata ? "ATA" : "USB";
    console(std::string("Pellmora v0.15a by ozw\nOS: 10.0 build 19045 \nDrive: 0(") + bus + ")\n");
    report(std::string("v0.15a\nDrive: 0(") + bus + ")\nOS: 10.0 build 19045 \n");
    smart();
    if (identify()) vendorReadoutsAndBanks();
    return e_;
  }

 private:
  void console(const std::string& text) { e_.console += text; }
  void report(const std::string& text) { e_.report += text; }
  void both(const std::string& text) { console(text); report(text); }

  Outcome send(Command command, unsigned occurrence = 0) {
    FaultKind kind = FaultKind::None;
    if (command == c_.command && (command != Command::GetBbec || occurrence == c_.bank)) kind = c_.kind;
    // The controller hands out the flash ID block only right after a prefix it took.
    if (command == Command::GetFid && !fidArmed_) kind = FaultKind::DeviceErrorNoData;
    Outcome o = gone_ ? outcomeOf(FaultKind::DriveGone, c_.bus) : outcomeOf(kind, c_.bus);
    if (command == Command::FidPrefix) fidArmed_ = o.received && !o.transportFailed;
    gone_ = gone_ || o.gone;
    if (o.received) e_.received.push_back(command);
    return o;
  }

  // The shared failure report of the interrogation sequence.
  void failures(const char* label, const Outcome& o) {
    if (o.transportFailed) both(std::string("IOCtl: ") + label + " failed 0x" + hex(o.error) + "!\n");
    if (o.deviceError) both(std::string("ATA: ") + label + " failed! Error: 0x" + hex(kErrorStatus) + "\n");
  }

  // SMART stops at its first failure, and tests the status only after a request that completed.
  void smart() {
    const Outcome enable = send(Command::SmartEnable);
    if (enable.transportFailed) {
      both("IOCtl: SmartEnable failed 0x" + hex(enable.error) + "!\n");
      return;
    }
    if (enable.deviceError) {
      both("ATA: SmartEnable failed! Error: 0x51\n");
      return;
    }
    const Outcome read = send(Command::SmartRead);
    if (read.transportFailed) {
      both("IOCtl: GetSmart failed 0x" + hex(read.error) + "!\n");
      return;
    }
    if (read.deviceError) {
      both("ATA: GetSmart failed! Error: 0x51\n");
      return;
    }
    const std::string data = bytesAfter(read.got, vec(drive_.smartData), 0x00);
    uint32_t sum = 0;
    for (char b : data) sum += static_cast<uint8_t>(b);
    if (sum == 0 || sum % 256 != 0) console("Smart data checksum error!\n");
    e_.dumps["smart.bin"] = data;
  }

  // True when the drive passes the controller check.
  bool identify() {
    const Outcome o = send(Command::Identify);
    failures("Identify", o);
    e_.dumps["id.bin"] = bytesAfter(o.got, vec(drive_.identify), 0x00);
    // The texts and the sector count lie in the first half of the answer, the vendor string
    // after it; without data everything is empty.
    const bool texts = o.got == Got::Answer || o.got == Got::FirstHalf;
    if (texts) {
      both("Model: KZT MATRIX SSD 256GB                    \nFw   : MTX00001\n"
           "Size : 244198 MB [256.1 GB]\n");
    } else {
      both("Model: \nFw   : \nSize : 0 MB [0.0 GB]\n");
    }
    if (o.got == Got::Answer) {
      both("FwStr: [REALTEK_RL6643 MATRIX]\n");
      return true;
    }
    both("Realtek based SSD not found - Exit!\n");
    return false;
  }

  void vendorReadoutsAndBanks() {
    // Get FWI: the geometry only when neither message came and the answer carried data.
    const Outcome fwi = send(Command::GetFwi);
    failures("Get FWI", fwi);
    const std::string fwiBytes = bytesAfter(fwi.got, drive_.firmwareInfo, 0x00);
    e_.dumps["kzt_fwi.bin"] = fwiBytes;
    const bool geometryValid = !fwi.transportFailed && !fwi.deviceError && fwiBytes[0] != '\xCF';
    // The geometry fields lie in the second half of the block.
    const bool geometry = fwi.got == Got::Answer;
    const unsigned blocksPerDie = geometry ? 12 : 0;

    failures("FID prefix", send(Command::FidPrefix));
    const Outcome fid = send(Command::GetFid);
    failures("Get FID", fid);
    e_.dumps["kzt_fid.bin"] = bytesAfter(fid.got, vec(drive_.flashId), 0x00);

    // The four records (banks 0, 1, 8 and 9) lie in the first half of the block.
    const Outcome fid2 = send(Command::GetFid2);
    failures("Get FID2", fid2);
    e_.dumps["kzt_fid2.bin"] = bytesAfter(fid2.got, vec(drive_.flashId2), 0x00);
    const bool banks = fid2.got == Got::Answer || fid2.got == Got::FirstHalf;
    if (banks) {
      for (const char* n : {"00", "01", "08", "09"}) {
        both(std::string("Bank") + n +
             ": 0x98,0x3c,0x99,0xb3,0x7a,0x51,0x8,0x4 - Toshiba 15nm TLC 16k 256Gb/CE 128Gb/die 2Plane/die\n");
      }
      both("Flash CE Mask : [++------ ++------]\n");
    } else {
      both("Flash CE Mask : [-------- --------]\n");
    }

    if (geometryValid && geometry) {
      both("Banks       : 4\nChannel     : 2\nCE          : 2\nDie/CE      : 2\nPlane       : 2\n"
           "Block/Die   : 12\nPage/Block  : 384\nSect/Page   : 32\nFullPageSize: 18336\n");
      report("MaxCapacity : 256060514304\nMaxPECycle  : 3000\nSharedPages : 3\nGCFreeLimit : 6\n");
    } else if (geometryValid) {
      both("Banks       : 0\nChannel     : 0\nCE          : 0\nDie/CE      : 0\nPlane       : 0\n"
           "Block/Die   : 0\nPage/Block  : 0\nSect/Page   : 0\nFullPageSize: 0\n");
      report("MaxCapacity : 0\nMaxPECycle  : 0\nSharedPages : 0\nGCFreeLimit : 0\n");
    }

    badBlocks(banks, blocksPerDie);
  }

  // Get BBEC for every bank of the mask, channel by channel. Each bank's answer starts as all
  // 0xFF, so that a bank whose answer never came lists nothing rather than the bank before it.
  void badBlocks(bool banks, unsigned blocksPerDie) {
    report("\nFabric Bad block list:\n");
    std::string factory, grown;
    uint32_t factoryTotal = 0, grownTotal = 0;
    Got lastGot = Got::Untouched;
    for (unsigned k = 0; banks && k < 4; ++k) {
      const Bank& b = kBanks[k];
      const std::string at = std::to_string(b.channel) + "/" + std::to_string(b.ce);
      console("Read BB " + at + "\r");
      const Outcome o = send(Command::GetBbec, k);
      failures("Get BBEC", o);
      const std::vector<uint8_t>& answer = drive_.bbec[static_cast<uint8_t>(b.channel << 4 | b.ce)];
      lastGot = o.got;
      e_.dumps[bbecDumpName(b)] = bytesAfter(o.got, answer, 0xFF);

      const std::string head = "Ch" + std::to_string(b.channel) + "CE" + std::to_string(b.ce) + ":";
      if (blocksPerDie == 0 || o.got == Got::Untouched) {
        // No entry is walked, or the first one ends the list.
        factory += head + " =0\n";
        grown += head + " =0\n";
      } else if (o.got == Got::Marker || o.got == Got::Zeros) {
        // Zero entries: factory bad block 0, once for every block of a die, and no terminator.
        std::string zeros;
        for (unsigned i = 0; i < blocksPerDie; ++i) zeros += " 0";
        factory += head + zeros + " =" + std::to_string(blocksPerDie) + "\n";
        grown += head + " =0\n";
        factoryTotal += blocksPerDie;
      } else {
        factory += head + b.factory + "\n";
        grown += head + b.grown + "\n";
        factoryTotal += b.factoryCount;
        grownTotal += b.grownCount;
      }
    }
    report(factory + "\nLater Bad block list:\n" + grown);
    report("All BB (Fabric+Later): " + std::to_string(factoryTotal + grownTotal) + " (" +
           std::to_string(factoryTotal) + "+" + std::to_string(grownTotal) + ")\n");

    // The erase counts of the last bank read: its own, zeros where its second half did not come,
    // no count where nothing came; no line at all when no bank was read.
    e_.eraseCountFile = true;
    e_.eraseCounts = "Block Erase count\n";
    for (unsigned i = 0; banks && i < blocksPerDie; ++i) {
      const uint16_t value = lastGot == Got::Answer ? kBanks[3].eraseCounts[i]
                             : lastGot == Got::Untouched ? kN
                                                         : 0;
      char line[24];
      if (value == kN) {
        std::snprintf(line, sizeof line, "%5u -\n", i);
      } else if (value == kB) {
        std::snprintf(line, sizeof line, "%5u Bad\n", i);
      } else {
        std::snprintf(line, sizeof line, "%5u %u\n", i, static_cast<unsigned>(value));
      }
      e_.eraseCounts += line;
    }
  }

  Case c_;
  sim::SimDrive& drive_;
  Expected e_;
  bool gone_ = false;
  bool fidArmed_ = false;
};

// ---- The matrix --------------------------------------------------------------------------------

const char* kindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::None: return "NoFault";
    case FaultKind::TransportFailure: return "TransportFailure";
    case FaultKind::DeviceError: return "DeviceErrorWithData";
    case FaultKind::DeviceErrorNoData: return "DeviceErrorWithoutData";
    case FaultKind::NoData: return "NoData";
    case FaultKind::ShortData: return "ShortData";
    case FaultKind::DriveGone: return "DriveGone";
  }
  return "?";
}

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  const Case& c = info.param;
  std::string name = c.bus == Bus::Sata ? "Sata_" : "Usb_";
  if (c.command == Command::Unknown) return name + "NoFault";
  for (char ch : std::string(sim::commandName(c.command))) {
    if (ch != ' ') name += ch;
  }
  if (c.command == Command::GetBbec) name += std::to_string(kBanks[c.bank].channel) + std::to_string(kBanks[c.bank].ce);
  return name + "_" + kindName(c.kind);
}

std::vector<Case> allCases() {
  std::vector<Case> cases;
  const FaultKind kinds[] = {FaultKind::TransportFailure, FaultKind::DeviceError,
                             FaultKind::DeviceErrorNoData, FaultKind::NoData,
                             FaultKind::ShortData, FaultKind::DriveGone};
  const Command commands[] = {Command::SmartEnable, Command::SmartRead, Command::Identify,
                              Command::GetFwi, Command::FidPrefix, Command::GetFid,
                              Command::GetFid2};
  for (Bus bus : {Bus::Sata, Bus::Usb}) {
    cases.push_back({Command::Unknown, 0, FaultKind::None, bus});
    for (Command command : commands) {
      for (FaultKind kind : kinds) cases.push_back({command, 0, kind, bus});
    }
    for (unsigned bank = 0; bank < 4; ++bank) {
      for (FaultKind kind : kinds) cases.push_back({Command::GetBbec, bank, kind, bus});
    }
  }
  return cases;
}

void PrintTo(const Case& c, std::ostream* os) { *os << caseName({c, 0}); }

class FaultMatrix : public ::testing::TestWithParam<Case> {};

TEST_P(FaultMatrix, RunReportsGoesOnAndDumpsAsWritten) {
  const Case& c = GetParam();
  sim::ScratchDir scratch;
  sim::SimDrive drive;
  matrixDrive(drive);
  sim::SimPlatform machine;
  machine.attach(0, &drive, c.bus == Bus::Usb ? 7 : 11);
  sim::Fault fault;
  fault.kind = c.kind;
  fault.errorCode = kTransportError;
  fault.status = kErrorStatus;
  // Half of each answer: 256 of 512 bytes, 2048 of Get FWI's 4096, 16384 of Get BBEC's 32768.
  fault.shortLength = c.command == Command::GetFwi ? 2048 : c.command == Command::GetBbec ? 16384 : 256;
  if (c.command != Command::Unknown) {
    drive.setFault(c.command, fault, c.command == Command::GetBbec ? static_cast<int>(c.bank) : -1);
  }

  const Expected expected = ExpectedRun(c, drive).build();
  const sim::RunOutcome out = sim::runProgramOn(machine, {"0xy"});

  EXPECT_EQ(out.console, expected.console);
  EXPECT_EQ(sim::reportText(), expected.report);
  std::vector<Command> received;
  for (const sim::ReceivedCommand& r : drive.received) received.push_back(r.command);
  EXPECT_EQ(received, expected.received);

  std::map<std::string, std::string> dumps;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 4 && name.substr(name.size() - 4) == ".bin") dumps[name] = sim::readFile(name);
  }
  EXPECT_EQ(dumps.size(), expected.dumps.size());
  for (const auto& [name, bytes] : expected.dumps) {
    ASSERT_EQ(dumps.count(name), 1u) << name << " is missing";
    EXPECT_TRUE(dumps[name] == bytes) << name << " holds other bytes";
  }
  for (const auto& [name, bytes] : dumps) EXPECT_EQ(expected.dumps.count(name), 1u) << name << " is extra";

  // Whatever failed, no bank's dump holds the answer of the bank read before it.
  for (unsigned k = 1; k < 4; ++k) {
    const Bank& before = kBanks[k - 1];
    const std::vector<uint8_t>& earlier = drive.bbec[static_cast<uint8_t>(before.channel << 4 | before.ce)];
    EXPECT_FALSE(dumps[bbecDumpName(kBanks[k])] == sim::bytesOf(earlier.data(), earlier.size())) << k;
  }

  EXPECT_EQ(sim::fileExists("kzt_flash_id_ec.txt"), expected.eraseCountFile);
  if (expected.eraseCountFile) {
    EXPECT_EQ(sim::eraseCountText(), expected.eraseCounts);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCommandEveryFault, FaultMatrix, ::testing::ValuesIn(allCases()), caseName);

}  // namespace
}  // namespace kzt
