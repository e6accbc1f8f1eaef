// What a run through the test system's USB bridge must give: runs the program in-process in
// FOLDER with "<DRIVE><LETTERS>" against the simulated 62-bank drive (bench/maximal_drive) as USB
// drive DRIVE, and writes its console to console.txt and its exit status to status.txt there.
// Each FAULT, "KIND COMMAND WHICH [CODE]", makes the drive fail commands as the program sees them
// after the kernel: COMMAND and WHICH as the bridge reads them (a name of the simulated drive,
// "vendor" or "any"; the n-th from 1 or "every"), KIND one of transport (the request fails with
// error CODE, 0x100hh an adapter status), sense (CHECK CONDITION with sense code CODE), short (half
// the data), error (the drive's error bit, no data) and gone (from this command on the drive does
// not open). "wear STAGE" gives the drive the young wear of that stage instead (young_wear.h).
//
//   kzt_qemu_expected FOLDER DRIVE LETTERS [FAULT...]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>

#include "maximal_drive.h"
#include "sim/harness.h"
#include "young_wear.h"
#include "transport/platform.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "Use: kzt_qemu_expected FOLDER DRIVE LETTERS [FAULT...]\n");
    return 2;
  }
  using kzt::sim::Command;
  using kzt::sim::FaultKind;
  kzt::sim::SimDrive drive;
  kzt::bench::buildMaximalDrive(drive);
  // The commands by the names of their enumerators; the kinds at their FaultKind's place.
  const std::string commands[] = {"Identify", "SmartEnable", "SmartRead", "GetFwi",
                                  "FidPrefix", "GetFid",     "GetFid2",   "GetBbec"};
  const std::string kinds[] = {"", "transport", "", "error", "", "short", "sense", "gone"};
  for (int i = 4; i < argc; ++i) {
    char kind[16] = "", command[16] = "", which[8] = "";
    unsigned code = 0;
    // A kind not known gives no fault, which the comparison with the real run then shows.
    const bool coded = std::sscanf(argv[i], "%15s %15s %7s %x", kind, command, which, &code) == 4;
    if (std::string(kind) == "wear") {  // "wear STAGE": the young drive's wear (young_wear.h)
      kzt::bench::applyYoungWear(drive, static_cast<unsigned>(std::atoi(command)));
      continue;
    }
    const auto fault = static_cast<FaultKind>(std::find(kinds + 1, std::end(kinds), kind) - kinds);
    if (coded) (fault == FaultKind::Sense ? drive.senseCode : drive.errorCode) = code;
    const std::string set = command;
    for (int c = 0; c < static_cast<int>(Command::Unknown); ++c) {
      const bool vendor = c >= static_cast<int>(Command::GetFwi);  // FA and FC
      if (set == commands[c] || set == "any" || (set == "vendor" && vendor)) {
        drive.fail(static_cast<Command>(c), fault, std::atoi(which) - 1);
      }
    }
  }
  std::error_code error;
  std::filesystem::current_path(argv[1], error);
  if (error) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.message().c_str());
    return 2;
  }
  kzt::sim::SimPlatform machine;
  const unsigned number = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
  machine.attach(number, &drive, kzt::kBusTypeUsb);
  const kzt::sim::RunOutcome outcome =
      kzt::sim::runProgramOn(machine, {argv[2] + std::string(argv[3])});
  kzt::sim::writeFile("console.txt", outcome.console);
  kzt::sim::writeFile("status.txt", std::to_string(outcome.exitStatus) + "\n");
  return 0;
}
