#include <gtest/gtest.h>

#include <string>

#include "frontend/run_flow.h"
#include "ident/answers.h"
#include "ident/answers.h"
#include "sim/harness.h"
#include "sim/run_files.h"
#include "sim/small_drive.h"

namespace kzt {
namespace {

using sim::Command;
using sim::FaultKind;

TEST(FirmwareInfoLayout, ReadsEachFieldAtItsOffsetLittleEndian) {
  uint8_t a[kFirmwareInfoSize];
  for (uint32_t i = 0; i < kFirmwareInfoSize; ++i) a[i] = 0xEE;
  a[0] = 0x12;
  a[0xC50] = 4;
  a[0xC51] = 2;
  a[0xC52] = 1;
  a[0xC53] = 3;
  a[0xC54] = 0x34, a[0xC55] = 0x12;
  a[0xC56] = 0x80, a[0xC57] = 0x01;
  a[0xC58] = 0x08, a[0xC59] = 0x00;
  a[0xC64] = 0x20;
  a[0xC67] = 0x0C;
  const uint8_t capacity[8] = {0x00, 0x60, 0xC0, 0x70, 0x74, 0x00, 0x00, 0x00};  // 500107862016
  for (int i = 0; i < 8; ++i) a[0xC70 + i] = capacity[i];
  a[0xC7C] = 0xB8, a[0xC7D] = 0x0B;
  a[0xC9A] = 0x03, a[0xC9B] = 0x00;
  a[0xCBC] = 0xA0, a[0xCBD] = 0x47;
  FirmwareInfo f;
  parseFirmwareInfo(a, &f);
  EXPECT_EQ(f.validityMarker, 0x12);
  EXPECT_EQ(f.channelCount, 4);
  EXPECT_EQ(f.ceCount, 2);
  EXPECT_EQ(f.diesPerCe, 1);
  EXPECT_EQ(f.planeCount, 3);
  EXPECT_EQ(f.blocksPerDie, 0x1234);
  EXPECT_EQ(f.pagesPerBlock, 384);
  EXPECT_EQ(f.bankCount, 8);
  EXPECT_EQ(f.sectorsPerPage, 32);
  EXPECT_EQ(f.gcFreeLimit, 12);
  EXPECT_EQ(f.maxCapacity, 500107862016);
  EXPECT_EQ(f.maxPeCycle, 3000);
  EXPECT_EQ(f.sharedPages, 3);
  EXPECT_EQ(f.fullPageSize, 0x47A0);
  for (int i = 0; i < 8; ++i) a[0xC70 + i] = 0xFF;
  parseFirmwareInfo(a, &f);
  EXPECT_EQ(f.maxCapacity, -1);  // signed
}

TEST(FlashIdTableLayout, RecordNStartsAtByte16Plus8N) {
  uint8_t a[kFlashIdAnswerSize];
  for (uint32_t i = 0; i < kFlashIdAnswerSize; ++i) a[i] = static_cast<uint8_t>(i);
  FlashIdTable t;
  parseFlashIdTable(a, &t);
  EXPECT_EQ(t.records[0].id[0], 16);
  EXPECT_EQ(t.records[0].id[7], 23);
  EXPECT_EQ(t.records[61].id[0], 504 & 0xFF);
  EXPECT_EQ(t.records[61].id[7], 511 & 0xFF);
  FlashIdRecord upperHalfOnly;
  EXPECT_FALSE(isBankPopulated(upperHalfOnly));
  upperHalfOnly.id[6] = 1;
  EXPECT_TRUE(isBankPopulated(upperHalfOnly));
}

struct VendorReadout : ::testing::Test {
  sim::ScratchDir scratch;
  sim::SimDrive drive;
  sim::SimPlatform machine;
  VendorReadout() {
    sim::buildSmallDrive(drive);
    machine.attach(0, &drive);
  }
  sim::RunOutcome run(const std::string& arg = "0y") { return sim::runProgramOn(machine, {arg}); }
  int count(Command command) const {
    int n = 0;
    for (const auto& c : drive.received) n += c.command == command;
    return n;
  }
};

const char* const kMaskLine = "Flash CE Mask : [++------ ++------]\n";

void expectNoGeometryButBanks(const sim::RunOutcome& out) {
  EXPECT_NE(out.console.find(kMaskLine), std::string::npos) << out.console;
  EXPECT_NE(out.console.find("Bank09: "), std::string::npos);
  EXPECT_EQ(out.console.find("Banks       :"), std::string::npos);
  EXPECT_EQ(out.console.find("FullPageSize"), std::string::npos);
  const std::string report = sim::reportText();
  EXPECT_EQ(report.find("Banks       :"), std::string::npos);
  EXPECT_EQ(report.find("MaxCapacity"), std::string::npos);
  EXPECT_NE(report.find(kMaskLine), std::string::npos);
}

TEST_F(VendorReadout, NoDataMarkerInTheAnswerSuppressesOnlyTheGeometry) {
  drive.firmwareInfo[0] = 0xCF;
  const sim::RunOutcome out = run();
  expectNoGeometryButBanks(out);
  EXPECT_EQ(out.console.find("Get FWI failed"), std::string::npos);
  EXPECT_EQ(count(Command::GetBbec), 1);
  // The geometry's blocksPerDie still bounds the lists.
  EXPECT_NE(sim::reportText().find("Ch0CE0: 3 11 =2\n"), std::string::npos);

  drive.firmwareInfo[0] = 0;
  drive.setFault(Command::GetFwi, {FaultKind::NoData});
  expectNoGeometryButBanks(run());  // the transport's own marker arrives in byte 0
}

TEST_F(VendorReadout, ReplayedMarkerSuppressesTheGeometry) {
  run();
  std::string fwi = sim::readFile("kzt_fwi.bin");
  fwi[0] = '\xCF';
  sim::writeFile("kzt_fwi.bin", fwi);
  expectNoGeometryButBanks(run("0fy"));
}

TEST_F(VendorReadout, FailedRequestSuppressesTheGeometryAndLeavesADumpOfZeros) {
  drive.setFault(Command::GetFwi, {FaultKind::TransportFailure, 0x1F});
  const sim::RunOutcome out = run();
  EXPECT_NE(out.console.find("IOCtl: Get FWI failed 0x1f!\n"), std::string::npos);
  expectNoGeometryButBanks(out);
  EXPECT_EQ(sim::readFile("kzt_fwi.bin"), std::string(4096, '\0'));
  // blocksPerDie reads 0: the bank is still read, lists nothing, and no erase count is written.
  EXPECT_EQ(count(Command::GetBbec), 1);
  EXPECT_NE(sim::reportText().find("Ch0CE0: =0\n\nLater Bad block list (bank0 only):\nCh0CE0: =0\n"
                                   "Bank0 BB (Fabric+Later): 0 (0+0)\n"),
            std::string::npos);
  EXPECT_EQ(sim::eraseCountText(), "Block Erase count\n");
}

TEST_F(VendorReadout, DeviceErrorSuppressesTheGeometry) {
  drive.setFault(Command::GetFwi, {FaultKind::DeviceError, 0, 0x51});
  const sim::RunOutcome out = run();
  EXPECT_NE(out.console.find("ATA: Get FWI failed! Error: 0x51\n"), std::string::npos);
  expectNoGeometryButBanks(out);
}

TEST_F(VendorReadout, MissingFirmwareDumpGivesAGeometryOfZeros) {
  run();
  std::filesystem::remove("kzt_fwi.bin");
  const sim::RunOutcome out = run("0fy");
  EXPECT_NE(out.console.find("kzt_fwi.bin: Open File Error\n"), std::string::npos);
  EXPECT_NE(out.console.find("Banks       : 0\nChannel     : 0\n"), std::string::npos);
}

TEST_F(VendorReadout, FailedPrefixIsReportedAndGetFidStillFollows) {
  drive.setFault(Command::FidPrefix, {FaultKind::TransportFailure, 0x1F});
  const sim::RunOutcome out = run();
  // Without the prefix the controller refuses the flash ID block.
  EXPECT_NE(out.console.find("IOCtl: FID prefix failed 0x1f!\nATA: Get FID failed! Error: 0x51\n"),
            std::string::npos)
      << out.console;
  EXPECT_EQ(count(Command::GetFid), 1);
  EXPECT_NE(out.console.find(kMaskLine), std::string::npos);
  EXPECT_NE(out.console.find("FullPageSize: 18336\n"), std::string::npos);
}

TEST_F(VendorReadout, FailedFid2GivesNoBanks) {
  drive.setFault(Command::GetFid2, {FaultKind::TransportFailure, 0x1F});
  const sim::RunOutcome out = run("0xy");
  EXPECT_NE(out.console.find("IOCtl: Get FID2 failed 0x1f!\nFlash CE Mask : [-------- --------]\n"
                             "Banks       : 4\n"),
            std::string::npos)
      << out.console;
  EXPECT_EQ(out.console.find("Bank0"), std::string::npos);
  EXPECT_EQ(count(Command::GetBbec), 0);
  EXPECT_NE(sim::reportText().find("GCFreeLimit : 6\n\nFabric Bad block list:\n\nLater Bad block list:\n"
                                   "All BB (Fabric+Later): 0 (0+0)\n"),
            std::string::npos);
  EXPECT_EQ(sim::eraseCountText(), "Block Erase count\n");
  EXPECT_EQ(sim::readFile("kzt_fid2.bin"), std::string(512, '\0'));
}

}  // namespace
}  // namespace kzt
