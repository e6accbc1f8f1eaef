#include "frontend/run_flow.h"

#include <cstring>

#include "frontend/options.h"
#include "frontend/reading_files.h"
#include "frontend/scan.h"
#include "health/bad_blocks.h"
#include "health/erase_counts.h"
#include "health/smart.h"
#include "ident/bank_map.h"
#include "ident/readout.h"
#include "output/output.h"
#include "transport/ata_command.h"
#include "transport/files.h"
#include "transport/platform.h"

namespace kzt {

namespace {

constexpr int kSpaceKey = 32;
constexpr uint32_t kShellSuccessAbove = 32;
constexpr uint32_t kKeyPollMilliseconds = 10;

const char* busName() { return busKind == BusKind::Usb ? "USB" : "ATA"; }

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

void printDriveLine(void*, unsigned drive, const char* vendor, const char* product) {
  ShownText shownVendor, shownProduct;
  printConsole("%2u: %s%s\n", drive, showText(vendor, &shownVendor), showText(product, &shownProduct));
}

// Interactive choice of the drive. 0 when the run must end here.
int promptForDrive() {
  printConsole("Use: kzt_fid disk_num[b][y]\n");
  printConsole("     - b for save binary\n");
  printConsole("     - y disable any requests to user\n\n");
  listDrives(printDriveLine, nullptr);
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

// The answers of one pass. Every step fills its buffer before use, so nothing carries over from
// one run to the next.
struct Answers {
  uint8_t identify[kIdentifySize];
  uint8_t firmwareInfo[kFirmwareInfoSize];
  uint8_t flashId[kFlashIdAnswerSize];
  uint8_t flashIdTable[kFlashIdAnswerSize];
  BbecAnswer badBlocks;
};

Answers answers;

// The identity of the run's drive, for the manifest.
DriveIdentity runIdentity;
int identityArrived = 0;

// The manifest of a live run, written last: what the run did, with the status it ends with.
void writeManifest(int argc, char** argv, int64_t time, int32_t offset, int status) {
  ReadingFacts facts;
  facts.argc = argc;
  facts.argv = argv;
  facts.time = time;
  facts.localOffsetMinutes = offset;
  char host[256] = {};
  char node[kDriveTextSize] = {};
  Platform& os = platform();
  os.hostName(host, sizeof host);
  os.driveNode(static_cast<uint8_t>(runOptions.driveNumber), node, sizeof node);
  facts.host = host;
  facts.driveNumber = runOptions.driveNumber;
  facts.node = node;
  facts.bus = busName();
  facts.identified = identityArrived;
  facts.model = runIdentity.model;
  facts.firmware = runIdentity.firmwareRevision;
  facts.serial = runIdentity.serialNumber;
  facts.exitStatus = status;
  writeReadingManifest(facts);
}

// The folder's lock, held from before the first file is touched to the end of the run.
FolderLock folderLock;

// Takes the folder for this run: the lock, then the temporary files of a run that ended before
// its renames. Non-zero when the run may go on; otherwise its exit status is in *status. A replay
// goes on without the lock where none can be made (a read-only dump set: nothing can be written
// there to mix with another run's, and the console still shows the reading).
int takeFolder(int* status) {
  char reason[kFileReasonSize];
  const LockOutcome outcome = takeFolderLock(kLockFileName, &folderLock, reason, sizeof reason);
  if (outcome == LockBusy) {
    printConsole("%s: another run of kzt_fid is using this folder\n", kLockFileName);
    *status = kExitNoDrive;
    return 0;
  }
  if (outcome != LockTaken) {
    printConsole("%s: Create File Error: %s\n", kLockFileName, reason);
    noteFileNotWritten(kLockFileName, reason);
    *status = kExitFileNotWritten;
    return runOptions.fileMode;
  }
  removeStaleTemporaryFiles(isReadingFileName);
  return 1;
}

int exitStatusOf(InterrogationVerdict verdict) {
  // A file that could not be written wins over every other outcome: the folder does not hold
  // what the run saw.
  if (filesNotWrittenCount != 0) return kExitFileNotWritten;
  switch (verdict) {
    case InterrogationVerdict::Served: return answersMissing == 0 ? kExitServed : kExitAnswersMissing;
    case InterrogationVerdict::NotServed: return kExitNotServed;
    case InterrogationVerdict::IdentifyFailed: return kExitIdentifyFailed;
  }
  return kExitIdentifyFailed;
}

// The end of a run that took the folder: the lock goes.
int finishRun(int status) {
  releaseFolderLock(&folderLock);
  return status;
}

}  // namespace

InterrogationVerdict runInterrogation() {
  DriveIdentity& identity = runIdentity;
  const InterrogationVerdict verdict = identifyDrive(answers.identify, &identity);
  identityArrived = verdict != InterrogationVerdict::IdentifyFailed;
  if (verdict != InterrogationVerdict::Served) return verdict;

  const int geometryValid = readFirmwareInfo(answers.firmwareInfo);
  readFlashIdBlock(answers.flashId);
  readFlashIdTableBlock(answers.flashIdTable);

  FirmwareInfo firmwareInfo;
  parseFirmwareInfo(answers.firmwareInfo, &firmwareInfo);
  FlashIdTable flashIdTable;
  parseFlashIdTable(answers.flashIdTable, &flashIdTable);

  printBankList(flashIdTable);
  const CeMask ceMask = buildCeMask(flashIdTable);
  printCeMask(ceMask);
  if (geometryValid) printGeometry(firmwareInfo);

  const unsigned banksRead =
      readBadBlockLists(ceMask, firmwareInfo.blocksPerDie, &answers.badBlocks);
  writeEraseCountFile(answers.badBlocks, firmwareInfo.blocksPerDie, banksRead);
  return InterrogationVerdict::Served;
}

void resetProcessState() {
  resetOutputState();
  resetTransportState();
  resetProbeState();
}

namespace {

// The first argument names no drive when it is empty or begins like an option or a path:
// "/dev/sdb", "\\.\PhysicalDrive1", "--json". Such a run would otherwise read drive 0.
int namesNoDrive(const char* argument) {
  return argument[0] == '\0' || argument[0] == '/' || argument[0] == '\\' || argument[0] == '-';
}

int runWholeProgram(int argc, char** argv);

}  // namespace

int runProgram(int argc, char** argv) {
  const int status = runWholeProgram(argc, argv);
  // The console is standard output: a write of it that failed fails the run (a closed pipe too,
  // quietly).
  return finishConsole() != 0 ? kExitFileNotWritten : status;
}

namespace {

int runWholeProgram(int argc, char** argv) {
  resetProcessState();
  // --help and --version answer before anything else: no banner, no probe, no drive, no file.
  if (argc >= 2 && argv[1] != nullptr && answerInformationRequest(argv[1])) return kExitServed;
  // --scan answers the same way, after one IDENTIFY per drive and nothing else.
  if (argc >= 2 && argv[1] != nullptr && std::strcmp(argv[1], kScanArgument) == 0) {
    return runScan(argc, argv);
  }
  if (argc >= 2 && argv[1] != nullptr && namesNoDrive(argv[1])) {
    ShownText shown;
    printConsole("kzt_fid: \"%s\" names no drive: give its number (kzt_fid --scan lists them)\n",
                 showText(argv[1], &shown));
    return kExitNoDrive;
  }
  probeOsVersion();
  printConsole("Pellmora v%s by ozw\n", kProgramVersion);
  printOsLine(printConsole);

  if (argc < 2 || argv[1] == nullptr) {
    if (!promptForDrive()) return kExitNoDrive;
  } else {
    runOptions.driveNumber = parseDriveNumber(argv[1]);
    applyOptionLetters(argv[1], &runOptions);
  }

  int status = kExitServed;
  if (!takeFolder(&status)) return status;

  queryBusType(runOptions.driveNumber);
  busKind = busType == kBusTypeUsb ? BusKind::Usb : BusKind::Ata;
  printConsole("Drive: %u(%s)\n", static_cast<unsigned>(runOptions.driveNumber), busName());

  int32_t offset = 0;
  const int64_t time = platform().currentTime(&offset);
  runIdentity = DriveIdentity{};
  identityArrived = 0;

  // A live run first moves an earlier reading out of the way, whole, so that nothing of it is
  // overwritten; a run that cannot do so writes nothing.
  char archive[kArchiveNameSize + 4] = {};
  if (!runOptions.fileMode) {
    if (!archiveEarlierReading(archive, sizeof archive)) return finishRun(kExitFileNotWritten);
    if (archive[0] != '\0') printConsole("Earlier reading moved to %s\n", archive);
  }

  char reason[kFileReasonSize];
  if (!openReport(reason, sizeof reason)) {
    printConsole("Create log file error: %s\n", reason);
    noteFileNotWritten(kReportFileName, reason);
  } else {
    printReport("v%s\nDrive: %u(%s)\n", kProgramVersion,
                static_cast<unsigned>(runOptions.driveNumber), busName());
    printOsLine(printReport);
    if (archive[0] != '\0') printReport("Earlier reading moved to %s\n", archive);
  }

  if (!runOptions.fileMode) readSmart(kSmartDumpName);
  const InterrogationVerdict verdict = runInterrogation();
  closeReport();
  // The manifest comes last, so that it names every file that could not be written; one that
  // cannot be written itself changes the status but is named nowhere but the console.
  if (!runOptions.fileMode) writeManifest(argc, argv, time, offset, exitStatusOf(verdict));

  if (!runOptions.noPrompt) finalPrompt();
  return finishRun(exitStatusOf(verdict));
}

}  // namespace

}  // namespace kzt
