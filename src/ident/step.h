#pragma once
#include <cstdint>

#include "transport/ata_command.h"

namespace kzt {

// Sends the command to the run's drive through the operation it names, with `length` bytes of
// answer for a data-in command, and reports its failures under the current operationName:
// "IOCtl:" with the error code when the request did not complete, "ATA:" with the status when the
// status register that came back with this request has its error bit set. Non-zero when the
// request completed.
int sendAndReportCommand(const AtaCommand& command, uint8_t* answer, uint32_t length);

// The pattern every step of the interrogation sequence follows: set `operationName` to the
// label; fill the answer with `fillByte`; then in file mode load the step's dump into it (nothing
// sent, nothing written), otherwise send the command, report its failures and, when the answer
// arrived, write it to the dump. An answer arrived when its dump loaded, or when the request
// completed with all its data and without the device's error bit, and, where the step gives
// `carriesData`, that rule holds for its bytes (an answer that fails it brought no data where the
// platform could not tell: it is named as a transfer of no bytes, or in file mode as the dump's
// "No Data Error"). One that did not arrive leaves the answer as filled, whatever came in, writes
// no dump and counts in answersMissing. Non-zero when it arrived.
int runStep(const char* label, const AtaCommand& command, uint8_t* answer, uint32_t length,
            const char* dumpName, uint8_t fillByte = 0x00,
            int (*carriesData)(const uint8_t* answer) = nullptr);

}  // namespace kzt
