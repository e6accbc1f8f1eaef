#pragma once
#include <cstdint>

#include "transport/ata_command.h"

namespace kzt {

// Sends the command to the run's drive through the operation it names, with `length` bytes of
// answer for a data-in command, and reports its failures under the current operationName
// ("IOCtl:" and/or "ATA:"). Non-zero when the platform completed the request.
int sendAndReportCommand(const AtaCommand& command, uint8_t* answer, uint32_t length);

// What one step did.
struct StepOutcome {
  int transportSucceeded = 0;  // a command was sent and the platform completed it
  int deviceError = 0;         // after the command, the error bit of the status was set
  int loaded = 0;              // file mode: the dump was loaded
};

// The pattern every step of the interrogation sequence follows: set `operationName` to the
// label; fill the answer with `fillByte`; then in file mode load the step's dump into it and
// stop there (nothing sent, nothing tested, nothing written); otherwise send the command, report
// its failures and write the answer, whatever it holds, to the dump.
StepOutcome runStep(const char* label, const AtaCommand& command, uint8_t* answer,
                    uint32_t length, const char* dumpName, uint8_t fillByte = 0x00);

}  // namespace kzt
