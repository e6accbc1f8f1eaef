#include "frontend/run_flow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "output/output.h"
#include "frontend/options.h"
#include "sim/harness.h"

namespace kzt {
namespace {

using sim::fileExists;
using sim::readFile;
using sim::runProgramOn;

constexpr const char* kBanner = "Pellmora v0.15a by ozw\nOS: 10.0 build 19045 \n";
constexpr const char* kUsage =
    "Use: kzt_fid disk_num[b][y]\n"
    "     - b for save binary\n"
    "     - y disable any requests to user\n\n";
constexpr const char* kPrompt = "\nPress any key to exit or Space to open full text report\n";

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class RunFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    machine.attach(0, &drive0);
    machine.attach(1, &drive1);
    machine.drives[0].vendor = "ATA     ";
    machine.drives[0].product = "REALSSD 256";
    machine.drives[1].product = "USB DISK";
  }
  sim::ScratchDir dir;
  sim::SimDrive drive0;
  sim::SimDrive drive1;
  sim::SimPlatform machine;
};

TEST_F(RunFlowTest, ArgumentRunPrintsBannerOsAndDriveLinesAndTheReportHeader) {
  machine.version = OsVersion{6, 1, 7601, "Service Pack 1"};
  const auto run = runProgramOn(machine, {"0fy"});
  EXPECT_EQ(run.console.rfind("Pellmora v0.15a by ozw\nOS: 6.1 build 7601 Service Pack 1\nDrive: 0(ATA)\n", 0), 0u);
  EXPECT_FALSE(contains(run.console, "Press any key"));
  const std::string report = readFile(kReportFileName);
  EXPECT_EQ(report.rfind("v0.15a\r\nDrive: 0(ATA)\r\nOS: 6.1 build 7601 Service Pack 1\r\n", 0), 0u);
  EXPECT_TRUE(runOptions.fileMode);
  EXPECT_TRUE(runOptions.noPrompt);
  EXPECT_TRUE(drive0.received.empty());  // file mode: nothing is sent to the drive
}

TEST_F(RunFlowTest, EmptyTypedLineSelectsDriveZeroAfterUsageAndList) {
  machine.keys = {'q'};
  const auto run = runProgramOn(machine, {}, "\n");
  const std::string expected = std::string(kBanner) + kUsage +
                               " 0: ATA     REALSSD 256\n"
                               " 1: USB DISK\n"
                               "Please select drive number:"
                               "Drive: 0(ATA)\n";
  EXPECT_EQ(run.console.rfind(expected, 0), 0u) << run.console;
  EXPECT_EQ(runOptions.driveNumber, 0);
}

TEST_F(RunFlowTest, TypedNumbersFromZeroToNinetyNineAreAccepted) {
  EXPECT_TRUE(contains(runProgramOn(machine, {}, "99y\n").console, "Drive: 99(ATA)\n"));
  EXPECT_TRUE(contains(runProgramOn(machine, {}, "  7 ny\n").console, "Drive: 7(ATA)\n"));
  EXPECT_TRUE(runOptions.serialInReport);
  const auto letters = runProgramOn(machine, {}, "b1y\n");  // the number only counts at the start
  EXPECT_TRUE(contains(letters.console, "Drive: 0(ATA)\n"));
  EXPECT_TRUE(runOptions.saveDumps);
}

TEST_F(RunFlowTest, TypedNumbersOutOfRangeEndTheRunAtOnce) {
  for (const char* typed : {"100\n", "-1\n", "4294967296\n", "99999999999999999999\n"}) {
    const auto run = runProgramOn(machine, {}, typed);
    EXPECT_TRUE(contains(run.console, "Please select drive number:Error: bad drive number\n")) << typed;
    EXPECT_FALSE(contains(run.console, "Drive:")) << typed;
    EXPECT_EQ(run.exitStatus, kExitNoDrive);
    EXPECT_FALSE(fileExists(kReportFileName));
  }
  EXPECT_TRUE(drive0.received.empty());
}

TEST_F(RunFlowTest, EndOfInputAtThePromptTouchesNoDrive) {
  const auto run = runProgramOn(machine, {}, "");
  EXPECT_EQ(run.exitStatus, kExitNoDrive);
  EXPECT_FALSE(contains(run.console, "Drive:"));
  EXPECT_FALSE(fileExists(kReportFileName));
  EXPECT_TRUE(drive0.received.empty());
}

TEST_F(RunFlowTest, OnlyTheFirst127TypedCharactersCount) {
  // 127 characters, then a y that falls beyond the buffer, then a line nobody reads.
  const std::string typed = "1" + std::string(126, 'z') + "y\nsecond line\n";
  machine.keys = {'q'};
  const auto run = runProgramOn(machine, {}, typed);
  EXPECT_TRUE(contains(run.console, "Drive: 1(ATA)\n"));
  EXPECT_FALSE(runOptions.noPrompt);
  EXPECT_TRUE(contains(run.console, kPrompt));
}

TEST_F(RunFlowTest, OnlyTheFirstArgumentIsRead) {
  runProgramOn(machine, {"1y", "x"});
  EXPECT_EQ(runOptions.driveNumber, 1);
  EXPECT_FALSE(runOptions.allBanks);
}

TEST_F(RunFlowTest, ArgumentNumbersAreNotRefusedButReachNoOtherDrive) {
  EXPECT_TRUE(contains(runProgramOn(machine, {"150y"}).console, "Drive: 150(ATA)\n"));
  const auto big = runProgramOn(machine, {"256y"});
  EXPECT_TRUE(contains(big.console, "Drive: 256(ATA)\n"));
  const auto negative = runProgramOn(machine, {"-1y"});
  EXPECT_TRUE(contains(negative.console, "Drive: 4294967295(ATA)\n"));
  const auto huge = runProgramOn(machine, {"99999999999y"});
  EXPECT_TRUE(contains(huge.console, "Drive: 2147483647(ATA)\n"));
  EXPECT_TRUE(drive0.received.empty());
}

TEST_F(RunFlowTest, UsbBusTypeSelectsTheBridge) {
  machine.drives[1].busType = 7;
  const auto run = runProgramOn(machine, {"1y"});
  EXPECT_TRUE(contains(run.console, "Drive: 1(USB)\n"));
  EXPECT_EQ(busKind, BusKind::Usb);
  EXPECT_EQ(readFile(kReportFileName).find("v0.15a\r\nDrive: 1(USB)\r\n"), 0u);
  machine.drives[1].answersQuery = false;  // a failed probe keeps the native path
  EXPECT_TRUE(contains(runProgramOn(machine, {"1y"}).console, "Drive: 1(ATA)\n"));
}

TEST_F(RunFlowTest, ReportThatCannotBeCreatedIsReportedAndTheRunGoesOn) {
  std::filesystem::create_directory(kReportFileName);
  machine.keys = {' '};
  const auto run = runProgramOn(machine, {"0"});
  EXPECT_TRUE(contains(run.console, "Drive: 0(ATA)\nCreate log file error\n"));
  EXPECT_TRUE(contains(run.console, kPrompt));
  ASSERT_EQ(machine.opened.size(), 1u);  // the prompt still offers the report
}

TEST_F(RunFlowTest, SpaceOpensTheReportThroughTheShell) {
  machine.keys = {' '};
  const auto run = runProgramOn(machine, {"0"});
  EXPECT_TRUE(contains(run.console, kPrompt));
  ASSERT_EQ(machine.opened.size(), 1u);
  EXPECT_EQ(machine.opened[0], "kzt_flash_id.txt");
  EXPECT_FALSE(contains(run.console, "Open report report file error"));
}

TEST_F(RunFlowTest, ShellFailureIsReportedWithItsCode) {
  machine.keys = {' '};
  machine.shellResult = 32;
  const auto run = runProgramOn(machine, {"0"});
  const std::string last = "Open report report file error: 32\n";
  ASSERT_GE(run.console.size(), last.size());
  EXPECT_EQ(run.console.substr(run.console.size() - last.size()), last);
}

TEST_F(RunFlowTest, TheLastWaitingKeyDecides) {
  machine.keys = {' ', 'q'};
  runProgramOn(machine, {"0"});
  EXPECT_TRUE(machine.opened.empty());
  machine.keys = {'q', 'a', ' '};
  runProgramOn(machine, {"0"});
  EXPECT_EQ(machine.opened.size(), 1u);
  EXPECT_TRUE(machine.keys.empty());
}

TEST_F(RunFlowTest, KeyWaitSleepsBetweenTests) {
  machine.keys = {'q'};
  machine.keysArriveAfterPolls = 3;
  runProgramOn(machine, {"0"});
  EXPECT_EQ(machine.sleeps, 3u);
  EXPECT_TRUE(machine.keys.empty());
}

TEST_F(RunFlowTest, NoConsoleMeansNoWait) {
  machine.console = false;
  machine.keys = {' '};
  const auto run = runProgramOn(machine, {"0"});
  EXPECT_TRUE(contains(run.console, kPrompt));
  EXPECT_TRUE(machine.opened.empty());
  EXPECT_EQ(machine.sleeps, 0u);
}

TEST_F(RunFlowTest, NoPromptEndsWithoutWaiting) {
  machine.keys = {' '};
  const auto run = runProgramOn(machine, {"0Y"});
  EXPECT_FALSE(contains(run.console, "Press any key"));
  EXPECT_TRUE(machine.opened.empty());
  EXPECT_EQ(machine.keys.size(), 1u);
}

}  // namespace
}  // namespace kzt
