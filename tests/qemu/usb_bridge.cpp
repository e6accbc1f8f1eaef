// The USB side of a USB-to-SATA bridge for the test system, with the simulated 62-bank drive
// (bench/maximal_drive) on its SATA side: a Bulk-Only mass-storage function served through
// FunctionFS, so that the kernel's usb-storage driver on the other end of dummy_hcd sees a USB
// disk.
//
//   kzt_usb_bridge FFS_DIR FAULT_FILE
//
// FFS_DIR is the mounted FunctionFS instance; the program writes the descriptors to its ep0 and
// then serves command blocks until it is killed. FAULT_FILE, when it is there at a command block,
// is read and removed: it arms the fault of its line "KIND COMMAND WHICH [CODE]" in place of the
// last one, and the counting starts over ("none" arms nothing). COMMAND is a command of the drive
// as the simulated drive names it (Identify, SmartEnable, SmartRead, GetFwi, FidPrefix, GetFid,
// GetFid2, GetBbec), "vendor" for the controller's own commands (FA and FC) or "any" for every ATA
// PASS-THROUGH; WHICH is the n-th of them from 1, or "every". Each time the fault strikes, a line
// goes to FAULT_FILE.struck. Each ATA PASS-THROUGH block received is logged to
// FAULT_FILE.commands as its bytes in hex and the data stage the host asked for ("in 512").
// The line "wear STAGE" arms no fault: it gives the drive the young wear of that stage from then
// on (young_wear.h), for the collector's readings.
// KIND is what real bridges do wrong:
//   exit       the program ends at once, before the data stage (its endpoints close)
//   unbind     creates FAULT_FILE.unbind, for the test system to unbind the gadget, and answers
//              nothing more
//   stop       answers nothing more, not even after a reset
//   hold       answers nothing until the host resets the bridge, then goes on
//   phase      stalls the data stage and answers "phase error", after which the host resets it
//   short      sends half of the answer, padded with zeros, and says so in the residue
//   cap        sends at most 16 KiB, stalls the bulk-in pipe and gives the residue
//   babble     sends 512 bytes more than the host asked for
//   tag        answers with a wrong tag in the status wrapper
//   signature  answers with a wrong signature in the status wrapper
//   sense      fails the command with sense key, ASC and ASCQ CODE (hex, e.g. 062900)
//   abort      the drive aborts the command: CHECK CONDITION, ABORTED COMMAND and the drive's
//              status in an ATA Status Return descriptor, as a SAT bridge reports any command the
//              drive fails
#include <fcntl.h>
#include <linux/usb/functionfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "maximal_drive.h"
#include "sim/sim_drive.h"
#include "transport/byte_order.h"
#include "young_wear.h"

namespace {

using Bytes = std::vector<uint8_t>;
using kzt::readLe32;
using kzt::writeLe32;

// Function disables (port resets, new configurations) and Bulk-Only resets seen so far.
std::atomic<unsigned> resets{0};

kzt::sim::SimDrive drive;
std::string faultFile;
Bytes sense(18, 0);  // sense data for the next REQUEST SENSE

// The drive's commands by the names of their enumerators, as fault lines write them.
constexpr const char* kCommandNames[] = {"Identify", "SmartEnable", "SmartRead",
                                         "GetFwi",   "FidPrefix",   "GetFid",
                                         "GetFid2",  "GetBbec",     "Unknown"};

struct Fault {
  std::string kind, command;
  int which = 0;  // the n-th matching command from 1; 0 every one
  unsigned code = 0;
  int seen = 0;
} fault;
std::string struck;  // the kind of the fault that struck the command being served

void append32(Bytes& out, uint32_t value) {
  out.resize(out.size() + 4);
  writeLe32(&out[out.size() - 4], value);
}

// FunctionFS descriptors: one interface of class mass storage (08), subclass SCSI transparent
// (06), protocol Bulk-Only (50), with one bulk-in and one bulk-out endpoint, at full and at high
// speed. The endpoint files are then ep1 (in) and ep2 (out).
Bytes descriptors() {
  Bytes d;
  append32(d, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
  append32(d, 0);  // length, filled in below
  append32(d, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
  append32(d, 3);
  append32(d, 3);
  for (const uint8_t packetHigh : {0, 2}) {  // 64 and 512 bytes
    const uint8_t packetLow = packetHigh == 0 ? 64 : 0;
    d.insert(d.end(), {9, USB_DT_INTERFACE, 0, 0, 2, 0x08, 0x06, 0x50, 0});
    d.insert(d.end(), {7, USB_DT_ENDPOINT, 0x81, USB_ENDPOINT_XFER_BULK, packetLow, packetHigh, 0});
    d.insert(d.end(), {7, USB_DT_ENDPOINT, 0x02, USB_ENDPOINT_XFER_BULK, packetLow, packetHigh, 0});
  }
  writeLe32(&d[4], static_cast<uint32_t>(d.size()));
  return d;
}

// No strings: the interface descriptor names none.
Bytes strings() {
  Bytes s;
  for (const uint32_t word : {uint32_t{FUNCTIONFS_STRINGS_MAGIC}, 16u, 0u, 0u}) append32(s, word);
  return s;
}

// ep0 after the descriptors: the two class requests of Bulk-Only Transport (Get Max LUN: one LUN;
// Bulk-Only Mass Storage Reset) and the function's enable and disable events.
void control(int ep0) {
  for (;;) {
    usb_functionfs_event event;
    const ssize_t got = read(ep0, &event, sizeof event);
    if (got < 0 && errno != EINTR && errno != EIDRM) return;
    if (got != sizeof event) continue;
    if (event.type == FUNCTIONFS_DISABLE || event.type == FUNCTIONFS_UNBIND) ++resets;
    if (event.type != FUNCTIONFS_SETUP) continue;
    const usb_ctrlrequest setup = event.u.setup;
    const bool in = (setup.bRequestType & USB_DIR_IN) != 0;
    const uint8_t maxLun = 0;
    ssize_t done = 0;
    if (setup.bRequestType == 0xA1 && setup.bRequest == 0xFE) {
      done = write(ep0, &maxLun, 1);
    } else if (setup.bRequestType == 0x21 && setup.bRequest == 0xFF) {
      ++resets;
      done = read(ep0, nullptr, 0);  // status stage
    } else {
      done = in ? read(ep0, nullptr, 0) : write(ep0, nullptr, 0);  // the wrong direction stalls
    }
    static_cast<void>(done);  // a request the host cancelled meanwhile needs nothing more
  }
}

struct Outcome {
  Bytes data;          // data-in, padded with zeros to the host's length when shorter
  uint8_t status = 0;  // CSW status: 0 passed, 1 failed (sense for REQUEST SENSE), 2 phase error
};

// Fixed-format sense with sense key, ASC and ASCQ as key << 16 | ASC << 8 | ASCQ (0: no sense).
Outcome failed(uint32_t code) {
  sense.assign(18, 0);
  sense[0] = 0x70;  // current error, fixed format
  sense[2] = static_cast<uint8_t>(code >> 16);
  sense[7] = 10;    // additional sense length
  sense[12] = static_cast<uint8_t>(code >> 8);
  sense[13] = static_cast<uint8_t>(code);
  return Outcome{{}, 1};
}

// Descriptor-format sense, ABORTED COMMAND, with the ATA Status Return descriptor: error ABRT,
// device and status registers.
Outcome aborted(uint8_t status) {
  sense = {0x72, 0x0B, 0x00, 0x00, 0, 0, 0, 14, 0x09, 0x0C, 0x00, 0x04};
  sense.resize(22, 0);
  sense[20] = 0xE0;
  sense[21] = status;
  return Outcome{{}, 1};
}

// Arms the fault that the fault file names, once it is there.
void armFault() {
  std::FILE* file = std::fopen(faultFile.c_str(), "r");
  if (file == nullptr) return;
  char kind[16] = "", command[16] = "", which[8] = "";
  fault = Fault{};
  const int fields = std::fscanf(file, "%15s %15s %7s %x", kind, command, which, &fault.code);
  if (fields == 2 && std::string(kind) == "wear") {
    // "wear STAGE": no fault, the drive's wear from now on (young_wear.h).
    kzt::bench::applyYoungWear(drive, static_cast<unsigned>(std::atoi(command)));
  } else if (fields >= 3) {
    fault.kind = kind, fault.command = command, fault.which = std::atoi(which);
  }
  std::fclose(file);
  unlink(faultFile.c_str());
}

// Sets `struck` when the armed fault strikes this command, and logs it.
void strike(kzt::sim::Command command, uint8_t code) {
  const std::string name = kCommandNames[static_cast<int>(command)];
  const bool vendor = code == 0xFA || code == 0xFC;
  if (fault.kind.empty() ||
      !(fault.command == name || fault.command == "any" || (fault.command == "vendor" && vendor)) ||
      (++fault.seen != fault.which && fault.which != 0)) {
    return;
  }
  struck = fault.kind;
  if (std::FILE* log = std::fopen((faultFile + ".struck").c_str(), "a")) {
    std::fprintf(log, "%s %s %d\n", fault.kind.c_str(), name.c_str(), fault.seen);
    std::fclose(log);
  }
}

// ATA PASS-THROUGH (12) and (16), read field by field as a bridge does. A 16-byte block is
// carried as a 48-bit command with every high-order byte, whatever its EXTEND bit says, as the
// bridges this tool serves do; the transfer length comes from the count (T_LENGTH 2) or features
// field (T_LENGTH 1), in 512-byte blocks when BYT_BLOK is set.
Outcome ataPassThrough(const uint8_t* cdb) {
  const bool sixteen = cdb[0] == 0x85;
  const unsigned protocol = (cdb[1] >> 1) & 0x0F;
  const unsigned tLength = cdb[2] & 0x03;
  const bool blocks = (cdb[2] & 0x04) != 0;
  const bool fromDevice = (cdb[2] & 0x08) != 0;
  kzt::AtaRegisters r;
  if (sixteen) {
    r.prevFeatures = cdb[3], r.features = cdb[4], r.prevCount = cdb[5], r.count = cdb[6];
    r.prevLbaLow = cdb[7], r.lbaLow = cdb[8], r.prevLbaMid = cdb[9], r.lbaMid = cdb[10];
    r.prevLbaHigh = cdb[11], r.lbaHigh = cdb[12], r.device = cdb[13], r.command = cdb[14];
  } else {
    r.features = cdb[3], r.count = cdb[4], r.lbaLow = cdb[5], r.lbaMid = cdb[6];
    r.lbaHigh = cdb[7], r.device = cdb[8], r.command = cdb[9];
  }
  // Data-in: PIO data-in (4), UDMA data-in (10), DMA (6) towards the host; non-data (3). Data-out
  // and the reset protocols are not carried.
  const bool dataIn = (protocol == 4 || protocol == 10 || (protocol == 6 && fromDevice));
  if (dataIn ? (tLength == 0 || tLength == 3) : (protocol != 3 || tLength != 0)) {
    return failed(0x052400);  // ILLEGAL REQUEST, INVALID FIELD IN CDB
  }
  const unsigned field =
      tLength == 1 ? r.features | (r.prevFeatures << 8) : r.count | (r.prevCount << 8);
  const uint32_t length = dataIn ? field * (blocks ? 512u : 1u) : 0;
  using Op = kzt::AtaOperation;
  const Op operation =
      sixteen ? (dataIn ? Op::In48 : Op::NoData48) : (dataIn ? Op::In28 : Op::NoData28);

  strike(kzt::sim::classify(operation, r), r.command);
  if (struck == "sense") return failed(fault.code);
  if (struck == "abort") return aborted(drive.errorStatus);
  Outcome outcome{Bytes(length, 0), 0};
  const kzt::sim::Reply reply = drive.execute(operation, r, outcome.data.data(), length, true);
  if ((reply.status & 0x01) != 0) return aborted(reply.status);
  if (struck == "short") outcome.data.resize(length / 2);
  return outcome;
}

Bytes bigEndian(uint64_t value, int bytes) {
  Bytes out(bytes);
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
  return out;
}

// One SCSI command: the drive's pass-through commands, and what the kernel's usb-storage and sd
// drivers send at probe time and after. Everything else is an unknown operation code.
Outcome scsi(const uint8_t* cdb, uint32_t hostLength) {
  const uint64_t sectors = kzt::readLe64(&drive.identify[200]);
  if (cdb[0] != 0x03) failed(0);  // a new command clears the sense of the last one
  switch (cdb[0]) {
    case 0x00:  // TEST UNIT READY
    case 0x1B:  // START STOP UNIT
    case 0x1E:  // PREVENT ALLOW MEDIUM REMOVAL
    case 0x35:  // SYNCHRONIZE CACHE (10)
      return {};
    case 0x03: return Outcome{sense, 0};  // REQUEST SENSE
    case 0x12: {  // INQUIRY: standard data only (no vital product data pages)
      if ((cdb[1] & 0x01) != 0) return failed(0x052400);
      const char text[] = "KZTTEST USB SATA BRIDGE 0015";
      Bytes data = {0x00, 0x00, 0x06, 0x02, 31, 0, 0, 0};
      data.insert(data.end(), text, text + 28);
      return Outcome{data, 0};
    }
    case 0x25:    // READ CAPACITY (10): a last block beyond 32 bits reads FFFFFFFF
    case 0x9E: {  // SERVICE ACTION IN (16), READ CAPACITY (16)
      if (cdb[0] == 0x9E && (cdb[1] & 0x1F) != 0x10) break;
      const uint64_t last = sectors - 1;
      Bytes data = cdb[0] == 0x9E ? bigEndian(last, 8)
                                  : bigEndian(std::min<uint64_t>(last, 0xFFFFFFFFu), 4);
      const Bytes size = bigEndian(512, 4);
      data.insert(data.end(), size.begin(), size.end());
      return Outcome{data, 0};
    }
    case 0x1A: return Outcome{{3, 0, 0, 0}, 0};              // MODE SENSE (6): header only
    case 0x5A: return Outcome{{0, 6, 0, 0, 0, 0, 0, 0}, 0};  // MODE SENSE (10)
    case 0x28:  // READ (10), READ (16): an empty disk, for the partition scan
    case 0x88:
      return Outcome{Bytes(hostLength, 0), 0};
    case 0xA1:
    case 0x85:
      return ataPassThrough(cdb);
    default: break;
  }
  return failed(0x052000);  // ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE
}

void sendStatus(int in, uint32_t signature, uint32_t tag, uint32_t residue, uint8_t status) {
  uint8_t csw[13];
  writeLe32(csw, signature);
  writeLe32(csw + 4, tag);
  writeLe32(csw + 8, residue);
  csw[12] = status;
  if (write(in, csw, sizeof csw) != sizeof csw) return;  // cut short by a reset
}

// Reading from an in-endpoint stalls it; the host clears the halt, then reads the status.
void stall(int in) {
  uint8_t none[1];
  static_cast<void>(read(in, none, 0) < 0);
}

// Appends an ATA PASS-THROUGH block to FAULT_FILE.commands: the bytes of the command block, then
// the direction and length of the data stage from the wrapper.
void logPassThrough(const uint8_t* cbw) {
  const uint8_t* cdb = cbw + 15;
  if (cdb[0] != 0xA1 && cdb[0] != 0x85) return;
  std::FILE* log = std::fopen((faultFile + ".commands").c_str(), "a");
  if (log == nullptr) return;
  for (int i = 0; i < (cbw[14] & 0x1F); ++i) std::fprintf(log, "%02x ", cdb[i]);
  std::fprintf(log, "%s %u\n", (cbw[12] & 0x80) != 0 ? "in" : "out", readLe32(cbw + 8));
  std::fclose(log);
}

// Bulk-Only Transport: command block wrapper, data, command status wrapper. A transfer that a
// reset cuts short fails with ESHUTDOWN or the like; the loop then waits for the next wrapper.
void serve(int in, int out) {
  for (;;) {
    uint8_t cbw[512];
    if (read(out, cbw, sizeof cbw) != 31 || readLe32(cbw) != 0x43425355) continue;  // "USBC"
    armFault();
    logPassThrough(cbw);
    struck.clear();
    const unsigned generation = resets;
    const uint32_t tag = readLe32(cbw + 4);
    const uint32_t hostLength = readLe32(cbw + 8);
    const bool toHost = (cbw[12] & 0x80) != 0;
    Outcome outcome = scsi(cbw + 15, hostLength);
    const std::string& kind = struck;
    if (kind == "exit") _exit(0);
    if (kind == "unbind") {
      if (std::FILE* signal = std::fopen((faultFile + ".unbind").c_str(), "w")) std::fclose(signal);
    }
    if (kind == "stop" || kind == "unbind") for (;;) pause();
    if (kind == "hold") {
      for (int i = 0; i < 2000 && resets == generation; ++i) usleep(10000);  // at most 20 s
      if (resets != generation) continue;  // the host gave up on the command and reset the bridge
    }
    if (kind == "phase") {
      if (toHost && hostLength > 0) stall(in);
      sendStatus(in, 0x53425355, tag, hostLength, 2);
      continue;
    }
    uint32_t residue = hostLength;
    if (toHost && hostLength > 0) {
      const auto answered = std::min(static_cast<uint32_t>(outcome.data.size()), hostLength);
      const uint32_t sent = kind == "cap" ? std::min<uint32_t>(answered, 16384)
                            : kind == "babble" ? hostLength + 512 : hostLength;
      residue = hostLength - std::min(answered, sent);
      outcome.data.resize(sent, 0);
      if (write(in, outcome.data.data(), sent) != static_cast<ssize_t>(sent)) continue;
      if (sent < hostLength) stall(in);
    } else if (hostLength > 0) {
      // Nothing the program sends carries data to the drive; the run's log must show no line.
      std::printf("=== data to the drive: SCSI command %02x\n", cbw[15]);
      for (uint32_t left = hostLength; left > 0;) {  // data from the host: taken and dropped
        const ssize_t got = read(out, cbw, sizeof cbw);
        if (got <= 0) break;
        left -= got > static_cast<ssize_t>(left) ? left : static_cast<uint32_t>(got);
      }
    }
    sendStatus(in, kind == "signature" ? 0x53425358 : 0x53425355, kind == "tag" ? tag + 1 : tag,
               residue, outcome.status);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "Use: kzt_usb_bridge FFS_DIR FAULT_FILE\n");
    return 2;
  }
  faultFile = argv[2];
  kzt::bench::buildMaximalDrive(drive);
  const std::string dir = argv[1];
  const int ep0 = open((dir + "/ep0").c_str(), O_RDWR);
  const Bytes d = descriptors();
  const Bytes s = strings();
  if (ep0 < 0 || write(ep0, d.data(), d.size()) != static_cast<ssize_t>(d.size()) ||
      write(ep0, s.data(), s.size()) != static_cast<ssize_t>(s.size())) {
    std::perror("kzt_usb_bridge: ep0");
    return 1;
  }
  const int in = open((dir + "/ep1").c_str(), O_RDWR);
  const int out = open((dir + "/ep2").c_str(), O_RDWR);
  if (in < 0 || out < 0) {
    std::perror("kzt_usb_bridge: endpoints");
    return 1;
  }
  std::thread(control, ep0).detach();
  serve(in, out);
}
