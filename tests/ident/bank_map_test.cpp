#include "ident/bank_map.h"

#include <gtest/gtest.h>

#include <string>

#include "sim/harness.h"
#include "sim/run_files.h"
#include "sim/small_drive.h"
#include "sim/vendor_answers.h"

namespace kzt {
namespace {

std::string maskText(std::initializer_list<unsigned> banks) {
  CeMask mask;
  for (unsigned bank : banks) mask.channels[bank / 8] |= static_cast<uint8_t>(1u << (bank % 8));
  char text[kCeMaskTextSize];
  formatCeMask(mask, text);
  return text;
}

TEST(CeMaskWidth, GrowsWithTheHighestMarkedChannelGroup) {
  EXPECT_EQ(maskText({}).size(), 17u);
  EXPECT_EQ(maskText({15}).size(), 17u);
  EXPECT_EQ(maskText({16}).size(), 35u);
  EXPECT_EQ(maskText({31}).size(), 35u);
  EXPECT_EQ(maskText({31, 40}).size(), 71u);
  EXPECT_EQ(maskText({61}), "-------- -------- -------- -------- -------- -------- -------- -----+--");
}

const std::array<uint8_t, 8> kToshiba = {0x98, 0x3C, 0x99, 0xB3, 0x7A, 0x51, 0x08, 0x04};
const std::array<uint8_t, 8> kHynix = {0xAD, 0x3C, 0x0A, 0x03, 0x00, 0x60, 0x00, 0x00};
const std::array<uint8_t, 8> kNone = {};

struct BankMap : ::testing::Test {
  sim::ScratchDir scratch;
  sim::SimDrive drive;
  sim::SimPlatform machine;
  BankMap() {
    sim::buildSmallDrive(drive);
    for (unsigned bank : {1u, 8u, 9u}) sim::setFlashId(drive, bank, kNone);
    machine.attach(0, &drive);
  }
  std::string maskLine(const std::string& arg = "0y") {
    const std::string console = sim::runProgramOn(machine, {arg}).console;
    const size_t at = console.find("Flash CE Mask : [");
    if (at == std::string::npos) return "";
    return console.substr(at, console.find('\n', at) - at + 1);
  }
};

TEST_F(BankMap, BanksWithAnotherFlashAreListedButNotMarked) {
  sim::setFlashId(drive, 1, kToshiba);
  sim::setFlashId(drive, 2, kHynix);
  EXPECT_EQ(maskLine(), "Flash CE Mask : [++------ --------]\n");
  const std::string report = sim::reportText();
  EXPECT_NE(report.find("Bank01: 0x98,"), std::string::npos);
  EXPECT_NE(report.find("\nBank02: 0xad,0x3c,0xa,0x3,0x0,0x60,0x0,0x0 - Hynix 3dv1 TLC 16k 256Gb/CE 64Gb/die\n"),
            std::string::npos);
}

TEST_F(BankMap, OnlyTheFirstFourIdBytesTakePart) {
  std::array<uint8_t, 8> sameFirstFour = kToshiba;
  sameFirstFour[4] = 0x76;
  sameFirstFour[7] = 0xFF;
  sim::setFlashId(drive, 3, sameFirstFour);
  EXPECT_EQ(maskLine(), "Flash CE Mask : [+--+---- --------]\n");
}

TEST_F(BankMap, AZeroReferenceIsTakenAgainFromTheNextBank) {
  // Bank 0 carries only bytes 4 to 7: it is listed, marked, and leaves the reference zero.
  sim::setFlashId(drive, 0, {0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44});
  sim::setFlashId(drive, 1, kToshiba);
  sim::setFlashId(drive, 2, kHynix);
  sim::setFlashId(drive, 3, kToshiba);
  EXPECT_EQ(maskLine(), "Flash CE Mask : [++-+---- --------]\n");
  EXPECT_NE(sim::reportText().find("\nBank00: 0x0,0x0,0x0,0x0,0x11,0x22,0x33,0x44 - \nBank01: "),
            std::string::npos);
}

TEST_F(BankMap, MarksAboveBank15WidenTheMask) {
  sim::setFlashId(drive, 16, kToshiba);
  EXPECT_EQ(maskLine(), "Flash CE Mask : [+------- -------- +------- --------]\n");
  sim::setFlashId(drive, 16, kNone);
  sim::setFlashId(drive, 40, kToshiba);
  EXPECT_EQ(maskLine(), "Flash CE Mask : [+------- -------- -------- -------- -------- +------- -------- --------]\n");
  // A bank above 15 with another flash is listed but does not widen the mask.
  sim::setFlashId(drive, 40, kHynix);
  EXPECT_EQ(maskLine(), "Flash CE Mask : [+------- --------]\n");
}

TEST_F(BankMap, AnUnknownMakerGivesAnEmptyDescription) {
  sim::setFlashId(drive, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
  const std::string console = sim::runProgramOn(machine, {"0y"}).console;
  EXPECT_NE(console.find("\nBank00: 0xff,0xff,0xff,0xff,0xff,0xff,0xff,0xff - \nFlash CE Mask : [+------- --------]\n"),
            std::string::npos)
      << console;
}

TEST_F(BankMap, TheLastRecordIsChannel7Ce5) {
  sim::setFlashId(drive, 0, kNone);
  sim::setFlashId(drive, 61, kToshiba);
  EXPECT_EQ(maskLine("0xy"),
            "Flash CE Mask : [-------- -------- -------- -------- -------- -------- -------- -----+--]\n");
  ASSERT_EQ(drive.received.back().command, sim::Command::GetBbec);
  EXPECT_EQ(drive.received.back().registers.prevFeatures, 0x75);
  EXPECT_TRUE(sim::fileExists("kzt_bbec_7_5.bin"));
  EXPECT_NE(sim::reportText().find("\nBank61: 0x98,"), std::string::npos);
}

}  // namespace
}  // namespace kzt
