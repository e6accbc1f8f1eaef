#include "sim/harness.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "frontend/run_flow.h"
#include "output/output.h"
#include "transport/byte_order.h"
#include "transport/usb_quirks.h"
#include "transport/windows_requests.h"

namespace kzt::sim {

namespace fs = std::filesystem;

namespace {

// Sense data as the translation layers write it: fixed format with key, ASC and ASCQ; libata's
// fixed format for a command the device failed (error, status, device, count in bytes 8 to 11);
// descriptor format with the ATA Status Return descriptor (libata after CK_COND, a bridge after a
// command the device failed).
std::vector<uint8_t> fixedSense(uint32_t code) {
  std::vector<uint8_t> sense(18, 0);
  sense[0] = 0x70, sense[2] = static_cast<uint8_t>(code >> 16), sense[7] = 10;
  sense[12] = static_cast<uint8_t>(code >> 8), sense[13] = static_cast<uint8_t>(code);
  return sense;
}

std::vector<uint8_t> registerSense(uint8_t status, bool native) {
  if (native && (status & 0x01) != 0) {
    std::vector<uint8_t> sense = fixedSense(0x0B0000);  // ABORTED COMMAND
    sense[8] = 0x04, sense[9] = status, sense[10] = 0xE0;
    return sense;
  }
  std::vector<uint8_t> sense = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x09, 0x0C};
  if ((status & 0x01) != 0) sense[1] = 0x0B, sense[3] = 0x00;
  sense.resize(22, 0);
  sense[20] = 0xE0, sense[21] = status;
  return sense;
}

}  // namespace

void SimPlatform::carry(uint8_t drive, const AtaRequest& request, bool native, RequestReply* out) {
  ++requests;
  const auto it = drives.find(drive);
  if (it == drives.end()) {
    out->systemError = 2;
    return;
  }
  const bool windows = flavour == Flavour::Windows;
  // Windows carries the data in its own image: the request's area (with the marker) copied in.
  static uint8_t image[128 + kMaxTransferLength];
  uint32_t dataAt = 0;
  if (windows) {
    dataAt = native ? buildAtaPassThroughRequest(kAtaPassThroughX64, request, image) - request.length
                    : buildSatRequest(kScsiPassThroughX86, request, image).output - request.length;
  }
  uint8_t* data = windows ? image + dataAt : request.dataArea;
  // Linux's sg driver transfers through a zero-filled buffer of its own and copies all of it back.
  if (!windows) std::memset(data, 0, request.length);
  const Reply reply = it->second.drive->execute(request.operation, request.registers, data,
                                                request.length, !native);
  if (!reply.opened) {
    out->systemError = reply.errorCode;
    return;
  }
  const bool hostError = (reply.errorCode >> 16) == 1;
  std::vector<uint8_t> sense;
  if (reply.senseCode != 0) sense = fixedSense(reply.senseCode);
  if (reply.answered && (native || (reply.status & 0x01) != 0)) sense = registerSense(reply.status, native);
  const uint8_t scsiStatus = sense.empty() ? 0x00 : 0x02;

  if (!windows) {
    out->sent = true;
    if (reply.errorCode != 0 && !hostError) {
      out->systemError = reply.errorCode;
      return;
    }
    out->hostStatus = static_cast<uint8_t>(hostError ? reply.errorCode : 0);
    out->scsi = true;
    out->scsiStatus = hostError ? 0 : scsiStatus;
    std::copy(sense.begin(), sense.end(), out->sense);
    out->senseLength = static_cast<uint32_t>(sense.size());
    out->transferKnown = residueReported || !native;
    out->transferred = reply.sent;
    return;
  }
  const uint32_t error = reply.errorCode != 0 ? reply.errorCode : 0;
  if (native) {
    if (reply.senseCode != 0 || !reply.answered) {  // no SAT layer here: the call fails
      readAtaPassThroughReply(kAtaPassThroughX64, image, 0, request, error != 0 ? error : 0x45D, out);
      return;
    }
    image[kAtaPassThroughX64.currentTaskFileAt + kTaskFileCommandByte] = reply.status;
    readAtaPassThroughReply(kAtaPassThroughX64, image, dataAt + reply.sent, request, 0, out);
    return;
  }
  image[kSptScsiStatusAt] = scsiStatus;
  image[kSptSenseInfoLengthAt] = static_cast<uint8_t>(sense.size());
  std::copy(sense.begin(), sense.end(), image + kScsiPassThroughX86.senseAt);
  writeLe32(image + kSptDataTransferLengthAt, reply.sent);
  readSatReply(kScsiPassThroughX86, image, request, error, out);
}

void SimPlatform::sendNative(uint8_t drive, const AtaRequest& request, RequestReply* reply) {
  carry(drive, request, true, reply);
}

void SimPlatform::sendBridge(uint8_t drive, const AtaRequest& request, RequestReply* reply) {
  carry(drive, request, false, reply);
}

int SimPlatform::queryBusType(uint8_t drive, uint8_t* type) {
  const auto it = drives.find(drive);
  if (it == drives.end() || !it->second.drive->present) return 0;
  *type = it->second.busType;
  return 1;
}

void SimPlatform::listDrives(DriveListEntry entry, void* context) {
  for (const auto& [number, a] : drives) {
    if (number <= 98 && a.drive->present) entry(context, number, a.vendor.c_str(), a.product.c_str());
  }
}

void SimPlatform::driveNode(uint8_t drive, char* node, size_t size) {
  std::snprintf(node, size, flavour == Flavour::Linux ? "/dev/sd%c" : "\\\\.\\PhysicalDrive%u",
                flavour == Flavour::Linux ? 'a' + drive : drive);
}

void SimPlatform::nameDrives(DriveNamingEntry entry, void* context) {
  for (const auto& [number, a] : drives) {
    if (!a.drive->present) continue;
    DriveNaming naming;
    naming.number = static_cast<uint8_t>(number);
    std::snprintf(naming.node, sizeof naming.node,
                  flavour == Flavour::Linux ? "/dev/sd%c" : "\\\\.\\PhysicalDrive%u",
                  flavour == Flavour::Linux ? 'a' + number : number);
    std::snprintf(naming.vendor, sizeof naming.vendor, "%s", a.vendor.c_str());
    std::snprintf(naming.product, sizeof naming.product, "%s", a.product.c_str());
    if (flavour == Flavour::Linux && a.vendorId != 0) {
      naming.usbKnown = 1;
      naming.usbVendorId = a.vendorId, naming.usbProductId = a.productId;
      naming.usbBcdDevice = a.bcdDevice;
      std::snprintf(naming.usbDriver, sizeof naming.usbDriver, "%s", a.driver.c_str());
      naming.usbQuirksNamed = findUsbQuirks(quirksParameter.c_str(), a.vendorId, a.productId,
                                            naming.usbQuirks, sizeof naming.usbQuirks);
    }
    entry(context, naming);
  }
}

int SimPlatform::keyWaiting() {
  if (keysArriveAfterPolls > 0) {
    --keysArriveAfterPolls;
    return 0;
  }
  // Nobody is going to press a key: a run that waits this long has a test that forgot one.
  if (keys.empty() && ++emptyPolls > 1000) keys.push_back(0x1B);
  return keys.empty() ? 0 : 1;
}

int SimPlatform::readKey() {
  emptyPolls = -1000000;  // once keys were read, an empty console ends the wait
  const int key = keys.front();
  keys.pop_front();
  return key;
}

ScratchDir::ScratchDir() : previous_(fs::current_path()) {
  std::random_device entropy;
  do path_ = fs::temp_directory_path() / ("kzt_test_" + std::to_string(entropy()));
  while (!fs::create_directory(path_));
  fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}

std::FILE* scratchStream() {
  std::FILE* stream = nullptr;
  for (unsigned attempt = 0; attempt < 100 && stream == nullptr; ++attempt) stream = std::tmpfile();
  return stream;
}

RunOutcome runProgramOn(SimPlatform& platform, const std::vector<std::string>& args,
                        const std::string& typed) {
  std::vector<std::string> storage{"kzt_fid"};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);

  std::FILE* console = scratchStream();
  std::FILE* input = scratchStream();
  std::fwrite(typed.data(), 1, typed.size(), input);
  std::rewind(input);
  consoleStream = console;
  inputStream = input;
  setPlatform(&platform);
  RunOutcome outcome;
  outcome.exitStatus = runProgram(static_cast<int>(storage.size()), argv.data());
  consoleStream = stdout;
  inputStream = stdin;
  setPlatform(nullptr);

  std::rewind(console);
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, console)) > 0) outcome.console.append(chunk, got);
  std::fclose(console);
  std::fclose(input);
  return outcome;
}

bool runOnDriveInFolder(SimDrive& drive, const char* folder, const std::vector<std::string>& args,
                        RunOutcome* outcome) {
  std::error_code error;
  fs::current_path(folder, error);
  if (error) return false;
  SimPlatform machine;
  machine.attach(0, &drive);
  *outcome = runProgramOn(machine, args);
  return true;
}

std::string readFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kzt::sim
