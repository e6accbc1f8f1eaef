#include "ident/readout.h"

#include <cstring>

#include "ident/commands.h"
#include "ident/step.h"
#include "output/output.h"
#include "transport/verdict.h"

namespace kzt {

InterrogationVerdict identifyDrive(uint8_t* answer, DriveIdentity* identity) {
  // An IDENTIFY that did not arrive leaves the answer zero: the lines show no value from it.
  const int arrived =
      runStep("Identify", kIdentifyCommand, answer, kIdentifySize, kIdentifyDumpName);

  *identity = DriveIdentity{};
  readDriveIdentity(answer, identity);
  printBoth("Model: %s\nFw   : %s\nSize : %u MB [%1.1f GB]\n", identity->model,
            identity->firmwareRevision, driveSizeMegabytes(identity->sectorCount),
            driveSizeGigabytes(identity->sectorCount));
  if (runOptions.serialInReport) printReport("S/N  : %s\n", identity->serialNumber);
  if (identity->vendorString[0] != '\0') printBoth("FwStr: [%s]\n", identity->vendorString);

  if (isRealtekController(*identity)) return InterrogationVerdict::Served;
  printBoth("Realtek based SSD not found - Exit!\n");
  return arrived ? InterrogationVerdict::NotServed : InterrogationVerdict::IdentifyFailed;
}

int readFirmwareInfo(uint8_t* answer) {
  if (!runStep("Get FWI", kGetFwiCommand, answer, kFirmwareInfoSize, kFirmwareInfoDumpName)) {
    return 0;
  }
  if (firmwareInfoCarriesData(answer)) return 1;
  // The answer begins with the no-data marker: the device sent nothing, where the platform could
  // not tell (a dump of such an answer comes from an older version of this program).
  if (runOptions.fileMode) {
    printBoth("%s: No Data Error\n", kFirmwareInfoDumpName);
  } else {
    reportCommandFailure(0, kShortTransferErrorBase, 0);
    removeDump(kFirmwareInfoDumpName);
  }
  std::memset(answer, 0, kFirmwareInfoSize);
  ++answersMissing;
  return 0;
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
