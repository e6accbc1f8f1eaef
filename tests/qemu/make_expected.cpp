// What a run through the test system's USB bridge must give: runs the program in-process in
// FOLDER with "<DRIVE><LETTERS>" against the simulated 62-bank drive (bench/maximal_drive) as USB
// drive DRIVE, and writes its console to console.txt and its exit status to status.txt there.
// With BANK and CODE, the Get BBEC of that bank selector fails at the transport with error CODE.
//
//   kzt_qemu_expected FOLDER DRIVE LETTERS [BANK CODE]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "maximal_drive.h"
#include "sim/harness.h"
#include "transport/platform.h"

int main(int argc, char** argv) {
  if (argc != 4 && argc != 6) {
    std::fprintf(stderr, "Use: kzt_qemu_expected FOLDER DRIVE LETTERS [BANK CODE]\n");
    return 2;
  }
  kzt::sim::SimDrive drive;
  kzt::bench::buildMaximalDrive(drive);
  if (argc == 6) {
    // Every bank of this drive is read, in channel-major order: bank channel * 8 + CE is the
    // Get BBEC of that number.
    const unsigned long bank = std::strtoul(argv[4], nullptr, 16);
    drive.errorCode = static_cast<uint32_t>(std::strtoul(argv[5], nullptr, 16));
    const auto occurrence = static_cast<int>((bank >> 4) * 8 + (bank & 15));
    drive.fail(kzt::sim::Command::GetBbec, kzt::sim::FaultKind::TransportFailure, occurrence);
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
