#include "ident/readout.h"

#include "ident/commands.h"
#include "ident/step.h"
#include "output/output.h"

namespace kzt {

InterrogationVerdict identifyDrive(uint8_t* answer, DriveIdentity* identity) {
  // An IDENTIFY that did not arrive leaves the answer zero: the lines show no value from it.
  const int arrived =
      runStep("Identify", kIdentifyCommand, answer, kIdentifySize, kIdentifyDumpName);

  *identity = DriveIdentity{};
  readDriveIdentity(answer, identity);
  ShownText model, firmware, serial;
  printBoth("Model: %s\nFw   : %s\nSize : %u MB [%1.1f GB]\n", showText(identity->model, &model),
            showText(identity->firmwareRevision, &firmware),
            driveSizeMegabytes(identity->sectorCount), driveSizeGigabytes(identity->sectorCount));
  if (runOptions.serialInReport) {
    printReport("S/N  : %s\n", showText(identity->serialNumber, &serial));
  }
  if (identity->vendorString[0] != '\0') printBoth("FwStr: [%s]\n", identity->vendorString);

  if (isRealtekController(*identity)) return InterrogationVerdict::Served;
  printBoth("Realtek based SSD not found - Exit!\n");
  return arrived ? InterrogationVerdict::NotServed : InterrogationVerdict::IdentifyFailed;
}

int readFirmwareInfo(uint8_t* answer) {
  return runStep("Get FWI", kGetFwiCommand, answer, kFirmwareInfoSize, kFirmwareInfoDumpName, 0x00,
                 firmwareInfoCarriesData);
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
