#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/run_flow.h"
#include "sim/harness.h"
#include "sim/small_drive.h"

namespace kzt {
namespace {

using sim::Command;
using sim::Fault;
using sim::FaultKind;

// One way a run can end, and the status a script sees.
struct Ending {
  const char* name;
  std::vector<std::string> args;
  const char* typed;
  void (*prepare)(sim::SimDrive&);
  int status;
};

void nothing(sim::SimDrive&) {}
void otherController(sim::SimDrive& d) { d.setIdentity("OTHER SSD", "1.0", "S1", 1000215216, "SM2259XT"); }
void identifyFails(sim::SimDrive& d) { d.setFault(Command::Identify, Fault{FaultKind::TransportFailure}); }
void identifyHasNoData(sim::SimDrive& d) { d.setFault(Command::Identify, Fault{FaultKind::DeviceErrorNoData}); }
void otherControllerRejectsIdentify(sim::SimDrive& d) {
  otherController(d);
  d.setFault(Command::Identify, Fault{FaultKind::DeviceError});
}
void realtekRejectsIdentify(sim::SimDrive& d) { d.setFault(Command::Identify, Fault{FaultKind::DeviceError}); }
void laterStepsFail(sim::SimDrive& d) {
  d.setFault(Command::GetFwi, Fault{FaultKind::TransportFailure});
  d.setFault(Command::GetBbec, Fault{FaultKind::DeviceErrorNoData});
}
void goneAfterIdentify(sim::SimDrive& d) { d.setFault(Command::GetFwi, Fault{FaultKind::DriveGone}); }

class ExitStatusTest : public ::testing::TestWithParam<Ending> {};

// Drive 0 is a served drive of the family; no other number has a drive.
TEST_P(ExitStatusTest, EachEndingHasItsStatus) {
  const Ending& e = GetParam();
  sim::ScratchDir dir;
  sim::SimDrive drive;
  sim::buildSmallDrive(drive);
  e.prepare(drive);
  sim::SimPlatform machine;
  machine.attach(0, &drive);
  machine.keys = {'q'};
  EXPECT_EQ(sim::runProgramOn(machine, e.args, e.typed).exitStatus, e.status);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ExitStatusTest,
    ::testing::Values(
        Ending{"Served", {"0y"}, "", nothing, kExitServed},
        Ending{"ServedWithFinalPrompt", {"0x"}, "", nothing, kExitServed},
        Ending{"ServedTyped", {}, "0y\n", nothing, kExitServed},
        Ending{"LaterStepsFailing", {"0y"}, "", laterStepsFail, kExitServed},
        Ending{"DriveGoneAfterIdentify", {"0y"}, "", goneAfterIdentify, kExitServed},
        Ending{"OtherController", {"0y"}, "", otherController, kExitNotServed},
        Ending{"IdentifyTransportFailure", {"0y"}, "", identifyFails, kExitIdentifyFailed},
        Ending{"IdentifyErrorWithoutData", {"0y"}, "", identifyHasNoData, kExitIdentifyFailed},
        Ending{"OtherControllerRejectingIdentify", {"0y"}, "", otherControllerRejectsIdentify,
               kExitIdentifyFailed},
        // The controller string still came with the rejected answer: the run goes on.
        Ending{"RealtekRejectingIdentify", {"0y"}, "", realtekRejectsIdentify, kExitServed},
        Ending{"NoDriveAtTheNumber", {"5y"}, "", nothing, kExitIdentifyFailed},
        Ending{"TypedNumberWithoutDrive", {}, "99y\n", nothing, kExitIdentifyFailed},
        // Outside 0 to 255 a number names no drive, so 256 does not reach drive 0.
        Ending{"Argument256", {"256y"}, "", nothing, kExitIdentifyFailed},
        Ending{"NegativeArgument", {"-1y"}, "", nothing, kExitIdentifyFailed},
        Ending{"ReplayWithoutDumps", {"0fy"}, "", nothing, kExitIdentifyFailed},
        Ending{"TypedNumberRefused", {}, "100\n", nothing, kExitNoDrive},
        Ending{"TypedNegativeRefused", {}, "-1\n", nothing, kExitNoDrive},
        Ending{"EndOfInputAtThePrompt", {}, "", nothing, kExitNoDrive}),
    [](const ::testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

TEST(ExitStatus, ReplayOfAServedRunIsServedAndOfAnotherControllerIsNotServed) {
  sim::ScratchDir dir;
  sim::SimDrive drive;
  sim::buildSmallDrive(drive);
  sim::SimPlatform machine;
  machine.attach(0, &drive);
  ASSERT_EQ(sim::runProgramOn(machine, {"0y"}).exitStatus, kExitServed);
  sim::SimPlatform empty;
  EXPECT_EQ(sim::runProgramOn(empty, {"0fy"}).exitStatus, kExitServed);

  otherController(drive);
  ASSERT_EQ(sim::runProgramOn(machine, {"0y"}).exitStatus, kExitNotServed);
  EXPECT_EQ(sim::runProgramOn(empty, {"0fy"}).exitStatus, kExitNotServed);
}

TEST(ExitStatus, TheValuesAreTheDocumentedOnes) {
  EXPECT_EQ(kExitServed, 0);
  EXPECT_EQ(kExitNotServed, 1);
  EXPECT_EQ(kExitIdentifyFailed, 2);
  EXPECT_EQ(kExitNoDrive, 3);
}

}  // namespace
}  // namespace kzt
