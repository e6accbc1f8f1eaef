#pragma once

namespace kzt {

// Exit status of a run, for scripts. --help and --version end with 0.
enum ExitStatus : int {
  kExitServed = 0,           // the run completed on a drive this tool serves
  kExitNotServed = 1,        // the drive answered but is not one this tool serves
  kExitIdentifyFailed = 2,   // IDENTIFY failed or was rejected, or id.bin could not be loaded
  kExitNoDrive = 3,          // the typed drive number was refused, or input ended at the prompt
};

// The whole run: banner, choice of drive and switches, bus probe, report, SMART, interrogation,
// final prompt. Uses the platform installed with setPlatform.
int runProgram(int argc, char** argv);

// Puts every process-wide value back to its program-start state.
void resetProcessState();

}  // namespace kzt
