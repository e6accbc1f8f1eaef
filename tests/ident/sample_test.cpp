#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "frontend/run_flow.h"
#include "sim/harness.h"
#include "sim/run_files.h"
#include "sim/sample_drive.h"

#ifndef KZT_SAMPLE_DIR
#error "KZT_SAMPLE_DIR must name the bundled sample's folder"
#endif

namespace kzt {
namespace {

const char* const kSampleDumps[] = {
    "id.bin",           "kzt_fwi.bin",      "kzt_fid.bin",      "kzt_fid2.bin",
    "kzt_bbec_0_0.bin", "kzt_bbec_0_1.bin", "kzt_bbec_1_0.bin", "kzt_bbec_1_1.bin",
    "kzt_bbec_2_0.bin", "kzt_bbec_2_1.bin", "kzt_bbec_3_0.bin", "kzt_bbec_3_1.bin",
    "smart.bin"};

std::string sampleFile(const char* name) { return std::string(KZT_SAMPLE_DIR) + "/" + name; }

TEST(BundledSample, IsWhatALiveRunOnTheSampleDriveDumps) {
  sim::ScratchDir scratch;
  sim::SimDrive drive;
  sim::buildSampleDrive(drive);
  sim::SimPlatform machine;
  machine.attach(0, &drive);
  EXPECT_EQ(sim::runProgramOn(machine, {"0xy"}).exitStatus, kExitServed);
  for (const char* name : kSampleDumps) {
    EXPECT_EQ(sim::readFile(name), sim::readFile(sampleFile(name))) << name;
  }
}

TEST(BundledSample, ReplaysIntoBanksMaskGeometryListsAndEraseCounts) {
  sim::ScratchDir scratch;
  for (const char* name : kSampleDumps) std::filesystem::copy_file(sampleFile(name), name);
  sim::SimPlatform noDrive;
  const sim::RunOutcome out = sim::runProgramOn(noDrive, {"0fxy"});
  EXPECT_EQ(out.exitStatus, kExitServed);
  const std::string bank = ": 0x98,0x3c,0x99,0xb3,0x7a,0x51,0x0,0x0 - Toshiba 15nm TLC 16k 256Gb/CE 128Gb/die 2Plane/die\n";
  EXPECT_NE(out.console.find("Size : 228936 MB [240.1 GB]\nFwStr: [REALTEK_RL9X43_SAMPLE]\n"
                             "Bank00" + bank + "Bank01" + bank + "Bank08" + bank + "Bank09" + bank +
                             "Bank16" + bank + "Bank17" + bank + "Bank24" + bank + "Bank25" + bank +
                             "Flash CE Mask : [++------ ++------ ++------ ++------]\n"
                             "Banks       : 8\nChannel     : 4\nCE          : 2\nDie/CE      : 2\n"
                             "Plane       : 2\nBlock/Die   : 1390\nPage/Block  : 768\n"
                             "Sect/Page   : 32\nFullPageSize: 18336\n"),
            std::string::npos)
      << out.console;
  const std::string report = sim::reportText();
  for (const char* heading : {"\nFabric Bad block list:\nCh0CE0:", "\nLater Bad block list:\nCh0CE0:",
                              "\nCh3CE1:", "\nAll BB (Fabric+Later): "}) {
    EXPECT_NE(report.find(heading), std::string::npos) << heading;
  }
  const std::string counts = sim::eraseCountText();
  size_t lines = 0;
  for (char c : counts) lines += c == '\n';
  EXPECT_EQ(lines, 1391u);
  EXPECT_NE(counts.find(" Bad\n"), std::string::npos);
  EXPECT_EQ(counts.substr(counts.size() - 16), " 1388 -\n 1389 -\n");
}

}  // namespace
}  // namespace kzt
