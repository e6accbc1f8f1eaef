// Writes the maximal dump set into the folder named by the argument: a live run with x ("0xy")
// in-process against the simulated maximal drive. bench/measure-replay.sh replays it with the
// real program.
#include <cstdio>

#include "maximal_drive.h"
#include "sim/harness.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Use: kzt_make_maximal <folder>\n");
    return 2;
  }
  kzt::sim::SimDrive drive;
  kzt::bench::buildMaximalDrive(drive);
  kzt::sim::RunOutcome outcome;
  if (!kzt::sim::runOnDriveInFolder(drive, argv[1], {"0xy"}, &outcome)) return 2;
  if (outcome.exitStatus != 0) {
    std::fwrite(outcome.console.data(), 1, outcome.console.size(), stderr);
    return 1;
  }
  return 0;
}
