#include "ident/step.h"

#include <cstring>

#include "output/output.h"

namespace kzt {

int sendAndReportCommand(const AtaCommand& command, uint8_t* answer, uint32_t length) {
  const int completed = sendAtaCommand(runOptions.driveNumber, command.operation,
                                       command.registers, answer, length);
  reportCommandFailure(completed, lastTransportError(), lastAtaStatus);
  return completed;
}

StepOutcome runStep(const char* label, const AtaCommand& command, uint8_t* answer,
                    uint32_t length, const char* dumpName, uint8_t fillByte) {
  StepOutcome outcome;
  operationName = label;
  std::memset(answer, fillByte, length);
  if (runOptions.fileMode) {
    outcome.loaded = loadDump(dumpName, answer, length);
    return outcome;
  }
  outcome.transportSucceeded = sendAndReportCommand(command, answer, length);
  outcome.deviceError = (lastAtaStatus & kAtaStatusError) != 0;
  saveDump(dumpName, answer, length);
  return outcome;
}

}  // namespace kzt
