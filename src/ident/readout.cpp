#include "ident/readout.h"

#include "ident/commands.h"
#include "ident/step.h"
#include "output/output.h"

namespace kzt {

InterrogationVerdict identifyDrive(uint8_t* answer, DriveIdentity* identity) {
  const StepOutcome outcome = runStep("Identify", kIdentifyCommand, answer, kIdentifySize, kIdentifyDumpName);
  // Identify data came in when the dump loaded, or when the request completed and the device
  // did not flag an error. A drive that rejects IDENTIFY has not identified itself.
  const bool dataCame = runOptions.fileMode
                            ? outcome.loaded != 0
                            : outcome.transportSucceeded != 0 && outcome.deviceError == 0;

  *identity = DriveIdentity{};
  readDriveIdentity(answer, identity);
  printBoth("Model: %s\nFw   : %s\nSize : %u MB [%1.1f GB]\n", identity->model,
            identity->firmwareRevision, driveSizeMegabytes(identity->sectorCount),
            driveSizeGigabytes(identity->sectorCount));
  if (runOptions.serialInReport) printReport("S/N  : %s\n", identity->serialNumber);
  if (identity->vendorString[0] != '\0') printBoth("FwStr: [%s]\n", identity->vendorString);

  if (isRealtekController(*identity)) return InterrogationVerdict::Served;
  printBoth("Realtek based SSD not found - Exit!\n");
  return dataCame ? InterrogationVerdict::NotServed : InterrogationVerdict::IdentifyFailed;
}

int readFirmwareInfoAndCheckGeometry(uint8_t* answer) {
  int geometryValid = 1;
  const StepOutcome outcome =
      runStep("Get FWI", kGetFwiCommand, answer, kFirmwareInfoSize, kFirmwareInfoDumpName);
  if (!runOptions.fileMode && (!outcome.transportSucceeded || outcome.deviceError)) {
    geometryValid = 0;
  }
  if (!firmwareInfoCarriesData(answer)) geometryValid = 0;
  return geometryValid;
}

void readFlashIdBlock(uint8_t* answer) {
  if (!runOptions.fileMode) {
    // The controller hands out the flash ID block only after this command; its outcome does not
    // stop the read that follows.
    operationName = "FID prefix";
    sendAndReportCommand(kFidPrefixCommand, nullptr, 0);
  }
  runStep("Get FID", kGetFidCommand, answer, kFlashIdAnswerSize, kFlashIdDumpName);
}

void readFlashIdTableBlock(uint8_t* answer) {
  runStep("Get FID2", kGetFid2Command, answer, kFlashIdAnswerSize, kFlashIdTableDumpName);
}

}  // namespace kzt
