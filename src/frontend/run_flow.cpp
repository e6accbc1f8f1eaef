#include "frontend/run_flow.h"

#include <cstring>

#include "frontend/output.h"
#include "frontend/program_info.h"
#include "frontend/run_options.h"
#include "frontend/version.h"
#include "health/smart.h"
#include "ident/interrogation.h"
#include "transport/ata_command.h"
#include "transport/platform.h"
#include "transport/probes.h"

namespace kzt {

namespace {

constexpr int kSpaceKey = 32;
constexpr uint32_t kShellSuccessAbove = 32;
constexpr uint32_t kKeyPollMilliseconds = 10;

const char* busName() { return runOptions.busKind == kBusKindUsb ? "USB" : "ATA"; }

void printOsLine(void (*print)(const char*, ...)) {
  print("OS: %d.%d build %d %s\n", static_cast<int>(osVersion.dwMajorVersion),
        static_cast<int>(osVersion.dwMinorVersion), static_cast<int>(osVersion.dwBuildNumber),
        osVersion.szCSDVersion);
}

// Reads one typed line without its line end. Only the first 127 characters are kept; the rest
// of a longer line is read and dropped. 0 when input ended before any character.
int readTypedLine(char* line) {
  if (std::fgets(line, kTypedLineSize, inputStream) == nullptr) return 0;
  size_t length = std::strlen(line);
  if (length > 0 && line[length - 1] == '\n') {
    line[--length] = '\0';
  } else {
    int c;
    do c = std::fgetc(inputStream);
    while (c != '\n' && c != EOF);
  }
  if (length > 0 && line[length - 1] == '\r') line[--length] = '\0';
  return 1;
}

// Interactive choice of the drive. 0 when the run must end here.
int promptForDrive() {
  printConsole("Use: kzt_fid disk_num[b][y]\n");
  printConsole("     - b for save binary\n");
  printConsole("     - y disable any requests to user\n\n");
  listDrives();
  printConsole("Please select drive number:");
  char line[kTypedLineSize] = {};
  if (!readTypedLine(line)) {
    printConsole("\n");
    return 0;
  }
  bool overflowed = false;
  const int32_t number = parseDriveNumber(line, &overflowed);
  if (overflowed || number < 0 || number > 99) {
    printConsole("Error: bad drive number\n");
    return 0;
  }
  runOptions.driveNumber = number;
  applyOptionLetters(line, &runOptions);
  return 1;
}

// Waits for a key on the console; the last of the waiting keys decides.
void finalPrompt() {
  printConsole("\nPress any key to exit or Space to open full text report\n");
  Platform& os = platform();
  if (!os.consoleAvailable()) return;
  while (!os.keyWaiting()) os.sleepMilliseconds(kKeyPollMilliseconds);
  int key = 0;
  do key = os.readKey();
  while (os.keyWaiting());
  if (key != kSpaceKey) return;
  const uint32_t result = os.shellOpen(kReportFileName);
  if (result <= kShellSuccessAbove) printConsole("Open report report file error: %u\n", result);
}

int exitStatusOf(InterrogationVerdict verdict) {
  switch (verdict) {
    case InterrogationVerdict::Served: return kExitServed;
    case InterrogationVerdict::NotServed: return kExitNotServed;
    case InterrogationVerdict::IdentifyFailed: return kExitIdentifyFailed;
  }
  return kExitIdentifyFailed;
}

}  // namespace

void resetProcessState() {
  runOptions = RunOptions{};
  resetOutputState();
  resetTransportState();
  resetProbeState();
}

int runProgram(int argc, char** argv) {
  resetProcessState();
  // --help and --version answer before anything else: no banner, no probe, no drive, no file.
  if (argc >= 2 && argv[1] != nullptr && answerInformationRequest(argv[1])) return kExitServed;
  probeOsVersion();
  printConsole("Pellmora v%s by ozw\n", kProgramVersion);
  printOsLine(printConsole);

  runOptions = RunOptions{};
  if (argc < 2 || argv[1] == nullptr) {
    if (!promptForDrive()) return kExitNoDrive;
  } else {
    runOptions.driveNumber = parseDriveNumber(argv[1]);
    applyOptionLetters(argv[1], &runOptions);
  }

  queryBusType(runOptions.driveNumber);
  if (busType == kBusTypeUsb) runOptions.busKind = kBusKindUsb;
  printConsole("Drive: %u(%s)\n", static_cast<unsigned>(runOptions.driveNumber), busName());

  if (!openReport()) {
    printConsole("Create log file error\n");
  } else {
    printReport("v%s\nDrive: %u(%s)\n", kProgramVersion,
                static_cast<unsigned>(runOptions.driveNumber), busName());
    printOsLine(printReport);
  }

  if (!runOptions.fileMode) readSmart("smart.bin");
  const InterrogationVerdict verdict = runInterrogation();
  closeReport();

  if (!runOptions.noPrompt) finalPrompt();
  return exitStatusOf(verdict);
}

}  // namespace kzt
