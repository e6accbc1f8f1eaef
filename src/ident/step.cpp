#include "ident/step.h"

#include <cstring>

#include "output/output.h"
#include "transport/verdict.h"

namespace kzt {

int sendAndReportCommand(const AtaCommand& command, uint8_t* answer, uint32_t length) {
  const int completed = sendAtaCommand(runOptions.driveNumber, command.operation,
                                       command.registers, answer, length);
  // A status left by an earlier command is not this one's: only one that came back counts.
  const uint8_t status = lastVerdict().statusCame ? lastAtaStatus : 0;
  reportCommandFailure(completed, lastTransportError(), status);
  return completed;
}

int runStep(const char* label, const AtaCommand& command, uint8_t* answer, uint32_t length,
            const char* dumpName, uint8_t fillByte, int (*carriesData)(const uint8_t* answer)) {
  operationName = label;
  clearCommandFailure();
  std::memset(answer, fillByte, length);
  int arrived = 0;
  if (runOptions.fileMode) {
    arrived = loadDump(dumpName, answer, length);
  } else {
    arrived = sendAndReportCommand(command, answer, length) &&
              (lastAtaStatus & kAtaStatusError) == 0;
  }
  if (arrived && carriesData != nullptr && !carriesData(answer)) {
    if (runOptions.fileMode) {
      printBoth("%s: No Data Error\n", dumpName);
    } else {
      reportCommandFailure(0, kShortTransferErrorBase, 0);
    }
    arrived = 0;
  }
  if (!runOptions.fileMode) recordStep(label, dumpName, arrived);
  if (arrived && !runOptions.fileMode) saveDump(dumpName, answer, length);
  if (!arrived) {
    std::memset(answer, fillByte, length);
    ++answersMissing;
  }
  return arrived;
}

}  // namespace kzt
