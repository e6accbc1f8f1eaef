#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/harness.h"
#include "sim/small_drive.h"

namespace kzt {
namespace {

// A received command as "<operation> <registers in interface order> / <high-order bytes> <length>".
std::string describe(const sim::ReceivedCommand& c) {
  static const char* const kShapes[] = {"In28", "NoData28", "In48", "NoData48"};
  const AtaRegisters& r = c.registers;
  char text[96];
  if (is48Bit(c.operation)) {
    std::snprintf(text, sizeof text, "%s %02X %02X %02X %02X %02X %02X %02X / %02X %02X %02X %02X %02X %u",
                  kShapes[static_cast<int>(c.operation)], r.command, r.device, r.lbaHigh, r.lbaMid,
                  r.lbaLow, r.count, r.features, r.prevLbaHigh, r.prevLbaMid, r.prevLbaLow,
                  r.prevCount, r.prevFeatures, c.length);
  } else {
    std::snprintf(text, sizeof text, "%s %02X %02X %02X %02X %02X %02X %02X %u",
                  kShapes[static_cast<int>(c.operation)], r.command, r.device, r.lbaHigh, r.lbaMid,
                  r.lbaLow, r.count, r.features, c.length);
  }
  return text;
}

const char* const kSmartEnable = "NoData28 B0 40 C2 4F 00 00 D8 0";
const char* const kSmartRead = "In28 B0 40 C2 4F 00 01 D0 512";
const char* const kIdentify = "In28 EC 00 00 00 00 01 00 512";
const char* const kGetFwi = "In48 FA E0 F0 50 00 08 01 / 00 00 AF 00 00 4096";
const char* const kFidPrefix = "NoData48 FC E0 00 00 00 FF 50 / 00 00 00 FF 00 0";
const char* const kGetFid = "In48 FA E0 F0 04 20 01 01 / 00 00 AF 00 00 512";
const char* const kGetFid2 = "In48 FA E0 00 00 00 01 41 / 00 00 00 00 00 512";
std::string getBbec(const char* selector) {
  return std::string("In48 FA E0 00 00 00 40 43 / 00 00 00 00 ") + selector + " 32768";
}

struct CommandStream : ::testing::Test {
  sim::ScratchDir scratch;
  sim::SimDrive drive;
  sim::SimPlatform machine;
  CommandStream() {
    sim::buildSmallDrive(drive);
    machine.attach(0, &drive);
  }
  std::vector<std::string> sent() const {
    std::vector<std::string> list;
    for (const auto& c : drive.received) list.push_back(describe(c));
    return list;
  }
};

TEST_F(CommandStream, WithoutXReadsBankZeroOnly) {
  sim::runProgramOn(machine, {"0y"});
  EXPECT_EQ(sent(), (std::vector<std::string>{kSmartEnable, kSmartRead, kIdentify, kGetFwi,
                                               kFidPrefix, kGetFid, kGetFid2, getBbec("00")}));
}

TEST_F(CommandStream, WithXReadsEveryMarkedBankChannelByChannel) {
  const sim::RunOutcome out = sim::runProgramOn(machine, {"0xy"});
  EXPECT_EQ(sent(), (std::vector<std::string>{kSmartEnable, kSmartRead, kIdentify, kGetFwi,
                                               kFidPrefix, kGetFid, kGetFid2, getBbec("00"),
                                               getBbec("01"), getBbec("10"), getBbec("11")}));
  EXPECT_NE(out.console.find("Read BB 0/0\rRead BB 0/1\rRead BB 1/0\rRead BB 1/1\r"), std::string::npos);
  const std::pair<const char*, uint8_t> dumps[] = {
      {"kzt_bbec_0_0.bin", 0x00}, {"kzt_bbec_0_1.bin", 0x01}, {"kzt_bbec_1_0.bin", 0x10}, {"kzt_bbec_1_1.bin", 0x11}};
  for (const auto& [name, selector] : dumps) {
    EXPECT_EQ(sim::readFile(name), sim::bytesOf(drive.bbec[selector].data(), 32768)) << name;
  }
}

TEST_F(CommandStream, FileModeSendsNothingAndRewritesNoDump) {
  sim::runProgramOn(machine, {"0xy"});
  // Whole seconds: some C libraries set file times only to the second.
  const std::filesystem::file_time_type old = std::chrono::floor<std::chrono::seconds>(
      std::filesystem::file_time_type::clock::now() - std::chrono::hours(24));
  std::vector<std::string> dumps = {"id.bin", "kzt_fwi.bin", "kzt_fid.bin", "kzt_fid2.bin",
                                    "kzt_bbec_0_0.bin", "kzt_bbec_0_1.bin",
                                    "kzt_bbec_1_0.bin", "kzt_bbec_1_1.bin"};
  for (const auto& name : dumps) std::filesystem::last_write_time(name, old);
  std::filesystem::remove("smart.bin");
  drive.received.clear();

  const sim::RunOutcome out = sim::runProgramOn(machine, {"0fxy"});
  EXPECT_TRUE(drive.received.empty());
  for (const auto& name : dumps) EXPECT_EQ(std::filesystem::last_write_time(name), old) << name;
  EXPECT_FALSE(sim::fileExists("smart.bin"));
  EXPECT_NE(out.console.find("Flash CE Mask : [++------ ++------]\n"), std::string::npos);
}

}  // namespace
}  // namespace kzt
