// Generates the bundled sample's dump set: runs the program in-process with "0xy" against the
// sample drive, in the folder named by the argument, and shows its console.
#include <cstdio>

#include "sim/harness.h"
#include "sim/sample_drive.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Use: kzt_make_sample <folder>\n");
    return 2;
  }
  kzt::sim::SimDrive drive;
  kzt::sim::buildSampleDrive(drive);
  kzt::sim::RunOutcome outcome;
  if (!kzt::sim::runOnDriveInFolder(drive, argv[1], {"0xy"}, &outcome)) return 2;
  std::fwrite(outcome.console.data(), 1, outcome.console.size(), stdout);
  std::printf("\n");
  return outcome.exitStatus;
}
