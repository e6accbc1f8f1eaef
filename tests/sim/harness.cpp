#include "sim/harness.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "frontend/run_flow.h"
#include "output/output.h"

namespace kzt::sim {

namespace fs = std::filesystem;

SendOutcome SimPlatform::sendNative(uint8_t drive, const AtaRequest& request, uint8_t* status) {
  const auto it = drives.find(drive);
  if (it == drives.end()) {
    lastError = 2;
    return SendOutcome::NotSent;
  }
  const Reply reply = it->second.drive->execute(request.operation, request.registers,
                                                request.dataArea, request.length, status == nullptr);
  if (reply.outcome != SendOutcome::Completed) lastError = reply.errorCode;
  if (status != nullptr && reply.outcome != SendOutcome::NotSent) *status = reply.status;
  return reply.outcome;
}

// The same drive behind a USB bridge: no status comes back, which the drive takes as "via bridge".
SendOutcome SimPlatform::sendBridge(uint8_t drive, const AtaRequest& request) {
  return sendNative(drive, request, nullptr);
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

RunOutcome runProgramOn(SimPlatform& platform, const std::vector<std::string>& args,
                        const std::string& typed) {
  std::vector<std::string> storage{"kzt_fid"};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);

  std::FILE* console = std::tmpfile();
  std::FILE* input = std::tmpfile();
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
