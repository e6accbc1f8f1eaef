#include "ident/vendor_readout.h"

#include "frontend/output.h"
#include "frontend/run_options.h"
#include "ident/firmware_info.h"
#include "ident/flash_id_table.h"
#include "ident/step.h"
#include "ident/vendor_commands.h"

namespace kzt {

int readFirmwareInfoBlock(uint8_t* answer) {
  int geometryValid = 1;
  const StepOutcome outcome =
      runStep("Get FWI", kGetFwiCommand, answer, kFirmwareInfoSize, "kzt_fwi.bin");
  if (!runOptions.fileMode && (!outcome.transportSucceeded || outcome.deviceError)) {
    geometryValid = 0;
  }
  if (answer[0] == kFirmwareInfoNoData) geometryValid = 0;
  return geometryValid;
}

void readFlashIdBlock(uint8_t* answer) {
  if (!runOptions.fileMode) {
    // The controller hands out the flash ID block only after this command; its outcome does not
    // stop the read that follows.
    operationName = "FID prefix";
    reportCommandFailure(sendStepCommand(kFidPrefixCommand, nullptr, 0));
  }
  runStep("Get FID", kGetFidCommand, answer, kFlashIdAnswerSize, "kzt_fid.bin");
}

void readFlashIdTableBlock(uint8_t* answer) {
  runStep("Get FID2", kGetFid2Command, answer, kFlashIdAnswerSize, "kzt_fid2.bin");
}

}  // namespace kzt
