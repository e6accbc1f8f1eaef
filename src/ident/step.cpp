#include "ident/step.h"

#include <cstring>

#include "frontend/output.h"
#include "frontend/run_options.h"
#include "transport/ata_command.h"

namespace kzt {

int sendStepCommand(const StepCommand& command, uint8_t* answer, uint32_t length) {
  const AtaRegisters& r = command.registers;
  const int32_t drive = runOptions.driveNumber;
  switch (command.operation) {
    case AtaOperation::In28:
      return ataCommandIn(drive, r.command, r.device, r.lbaHigh, r.lbaMid, r.lbaLow, r.count,
                          r.features, answer, length);
    case AtaOperation::NoData28:
      return ataCommandNoData(drive, r.command, r.device, r.lbaHigh, r.lbaMid, r.lbaLow, r.count,
                              r.features, nullptr, 0);
    case AtaOperation::In48:
      return ataCommandIn48(drive, r.command, r.device, r.lbaHigh, r.lbaMid, r.lbaLow, r.count,
                            r.features, r.prevLbaHigh, r.prevLbaMid, r.prevLbaLow, r.prevCount,
                            r.prevFeatures, answer, length);
    case AtaOperation::NoData48:
      return ataCommandNoData48(drive, r.command, r.device, r.lbaHigh, r.lbaMid, r.lbaLow,
                                r.count, r.features, r.prevLbaHigh, r.prevLbaMid, r.prevLbaLow,
                                r.prevCount, r.prevFeatures, nullptr, 0);
  }
  return 0;
}

StepOutcome runStep(const char* label, const StepCommand& command, uint8_t* answer,
                    uint32_t length, const char* dumpName, uint8_t fillByte) {
  StepOutcome outcome;
  operationName = label;
  std::memset(answer, fillByte, length);
  if (runOptions.fileMode) {
    outcome.loaded = loadDump(dumpName, answer, length);
    return outcome;
  }
  outcome.transportSucceeded = sendStepCommand(command, answer, length);
  reportCommandFailure(outcome.transportSucceeded);
  outcome.deviceError = (lastAtaStatus & kAtaStatusError) != 0;
  saveDump(dumpName, answer, length);
  return outcome;
}

}  // namespace kzt
