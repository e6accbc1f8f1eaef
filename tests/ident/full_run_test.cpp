#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "frontend/run_flow.h"
#include "sim/harness.h"
#include "sim/run_files.h"
#include "sim/small_drive.h"

#ifndef KZT_GOLDEN_DIR
#error "KZT_GOLDEN_DIR must name the folder of the golden files"
#endif

namespace kzt {
namespace {

std::string golden(const char* name) { return sim::readFile(std::string(KZT_GOLDEN_DIR) + "/" + name); }

struct FullRun : ::testing::Test {
  sim::ScratchDir scratch;
  sim::SimDrive drive;
  sim::SimPlatform machine;
  FullRun() {
    sim::buildSmallDrive(drive);
    machine.attach(0, &drive);
  }
};

TEST_F(FullRun, ConsoleReportAndEraseCountsMatchTheGoldenFiles) {
  const sim::RunOutcome out = sim::runProgramOn(machine, {"0nxy"});
  EXPECT_EQ(out.exitStatus, kExitServed);
  EXPECT_EQ(out.console, golden("small_drive_console.txt") +
                             "Read BB 0/0\rRead BB 0/1\rRead BB 1/0\rRead BB 1/1\r");
  EXPECT_EQ(sim::reportText(), golden("small_drive_report.txt"));
  EXPECT_EQ(sim::eraseCountText(), golden("small_drive_erase_counts.txt"));
}

TEST_F(FullRun, ReplayOfTheDumpsGivesTheSameReportAndEraseCounts) {
  sim::runProgramOn(machine, {"0nxy"});
  const std::string report = sim::readFile("kzt_flash_id.txt");
  const std::string eraseCounts = sim::eraseCountText();
  std::filesystem::remove("kzt_flash_id.txt");
  std::filesystem::remove("kzt_flash_id_ec.txt");

  sim::SimPlatform emptyMachine;  // no drive at all: everything comes from the dumps
  const sim::RunOutcome replay = sim::runProgramOn(emptyMachine, {"0nfxy"});
  EXPECT_EQ(replay.exitStatus, kExitServed);
  EXPECT_EQ(sim::readFile("kzt_flash_id.txt"), report);
  EXPECT_EQ(sim::eraseCountText(), eraseCounts);
  EXPECT_EQ(replay.console.find("Error"), std::string::npos) << replay.console;
}

// A full disk: the report and the erase-count file land on /dev/full. Each write failure gets its
// console line (the erase-count file's at its step, the report's when it is closed); nothing else
// of the run changes.
TEST_F(FullRun, WriteFailuresOfReportAndEraseCountFileAreReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  std::filesystem::create_symlink("/dev/full", "kzt_flash_id.txt");
  std::filesystem::create_symlink("/dev/full", "kzt_flash_id_ec.txt");
  const sim::RunOutcome out = sim::runProgramOn(machine, {"0nxy"});
  EXPECT_EQ(out.exitStatus, kExitServed);
  EXPECT_EQ(out.console, golden("small_drive_console.txt") +
                             "Read BB 0/0\rRead BB 0/1\rRead BB 1/0\rRead BB 1/1\r"
                             "kzt_flash_id_ec.txt: Write File Error\n"
                             "kzt_flash_id.txt: Write File Error\n");
}

}  // namespace
}  // namespace kzt
