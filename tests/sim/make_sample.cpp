// Generates the bundled sample's dump set: runs the program in-process with "0xy" against the
// sample drive, in the folder named by the argument, and shows its console.
#include <cstdio>
#include <filesystem>

#include "sim/harness.h"
#include "sim/sample_drive.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Use: kzt_make_sample <folder>\n");
    return 2;
  }
  std::error_code error;
  std::filesystem::current_path(argv[1], error);
  if (error) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.message().c_str());
    return 2;
  }
  kzt::sim::SimDrive drive;
  kzt::sim::buildSampleDrive(drive);
  kzt::sim::SimPlatform machine;
  machine.attach(0, &drive);
  const kzt::sim::RunOutcome outcome = kzt::sim::runProgramOn(machine, {"0xy"});
  std::fwrite(outcome.console.data(), 1, outcome.console.size(), stdout);
  std::printf("\n");
  return outcome.exitStatus;
}
