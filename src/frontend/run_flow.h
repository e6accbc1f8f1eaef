#pragma once
#include "ident/readout.h"

namespace kzt {

// Exit status of a run, for scripts. --help and --version end with 0.
enum ExitStatus : int {
  kExitServed = 0,           // the run completed on a drive this tool serves; every answer arrived
  kExitNotServed = 1,        // the drive answered but is not one this tool serves
  kExitIdentifyFailed = 2,   // IDENTIFY failed or was rejected, or id.bin could not be loaded
  kExitNoDrive = 3,          // the typed drive number was refused, or input ended at the prompt
  kExitAnswersMissing = 4,   // the drive is served, but an answer of the run did not arrive
  kExitFileNotWritten = 5,   // a file could not be written; wins over 0, 1, 2 and 4
  kExitScanDone = 0,         // --scan ran, whatever it found
  kExitBadOption = 2,        // --scan with an argument it does not take
};

// The whole run: banner, choice of drive and switches, bus probe, report, SMART, interrogation,
// final prompt. Uses the platform installed with setPlatform.
int runProgram(int argc, char** argv);

// The interrogation sequence: identify and controller check, vendor readouts, bank list, CE mask
// and geometry, bad-block lists, erase-count file. A drive that fails the controller check ends it
// after the identification.
InterrogationVerdict runInterrogation();

// Puts every process-wide value back to its program-start state.
void resetProcessState();

}  // namespace kzt
