#include "output/output.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "frontend/options.h"
#include "sim/harness.h"
#include "transport/ata_command.h"
#include "transport/platform.h"

namespace kzt {
namespace {

using sim::readFile;
using sim::writeFile;

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetOutputState();
    resetTransportState();
    runOptions = RunOptions{};
    console = std::tmpfile();
    saved = consoleStream;
    consoleStream = console;
  }
  void TearDown() override {
    closeReport();
    consoleStream = saved;
    std::fclose(console);
    resetTransportState();
  }
  std::string consoleText() {
    std::fflush(console);
    std::string text;
    std::rewind(console);
    int c;
    while ((c = std::fgetc(console)) != EOF) text.push_back(static_cast<char>(c));
    return text;
  }

  sim::ScratchDir dir;
  std::FILE* console = nullptr;
  std::FILE* saved = nullptr;
};

TEST_F(OutputTest, LinesReachTheirDestinationsWithCrLfInTheReport) {
  printBoth("before %d\n", 1);  // no report yet: console only
  printReport("lost\n");
  ASSERT_NE(openReport(), 0);
  printBoth("Bank%02u: 0x%x - %s\n", 3u, 8u, "x");
  printReport("S/N  : %s\n", "SER");
  printConsole("Read BB %u/%u\r", 1u, 2u);
  closeReport();
  EXPECT_EQ(consoleText(), "before 1\nBank03: 0x8 - x\nRead BB 1/2\r");
  EXPECT_EQ(readFile(kReportFileName), "Bank03: 0x8 - x\r\nS/N  : SER\r\n");
}

TEST_F(OutputTest, ReportIsEmptiedWhenOpenedAgain) {
  writeFile(kReportFileName, "old contents\r\n");
  ASSERT_NE(openReport(), 0);
  closeReport();
  EXPECT_EQ(readFile(kReportFileName), "");
}

TEST_F(OutputTest, SaveDumpWritesExactlyTheBuffer) {
  const uint8_t bytes[5] = {0x00, 0x0A, 0x0D, 0xFF, 0x0A};
  saveDump("kzt_fid.bin", bytes, 5);
  EXPECT_EQ(readFile("kzt_fid.bin"), std::string("\x00\x0A\x0D\xFF\x0A", 5));
  runOptions.saveDumps = false;
  saveDump("other.bin", bytes, 5);
  EXPECT_FALSE(sim::fileExists("other.bin"));
  EXPECT_EQ(consoleText(), "");
}

TEST_F(OutputTest, SaveDumpReportsCreateAndWriteErrorsOnTheConsoleOnly) {
  std::filesystem::create_directory("kzt_fwi.bin");
  ASSERT_NE(openReport(), 0);
  const uint8_t bytes[16] = {};
  saveDump("kzt_fwi.bin", bytes, 16);
  if (std::filesystem::exists("/dev/full")) {
    saveDump("/dev/full", bytes, 16);
    EXPECT_EQ(consoleText(), "kzt_fwi.bin: Create File Error\n/dev/full: Write File Error\n");
  } else {
    EXPECT_EQ(consoleText(), "kzt_fwi.bin: Create File Error\n");
  }
  closeReport();
  EXPECT_EQ(readFile(kReportFileName), "");
}

TEST_F(OutputTest, ShortDumpFillsOnlyTheFront) {
  writeFile("id.bin", std::string(100, '\x5A'));
  uint8_t buffer[512];
  std::fill(buffer, buffer + 512, 0x33);
  EXPECT_NE(loadDump("id.bin", buffer, 512), 0);
  EXPECT_EQ(buffer[0], 0x5A);
  EXPECT_EQ(buffer[99], 0x5A);
  EXPECT_EQ(buffer[100], 0x33);
  EXPECT_EQ(buffer[511], 0x33);
  EXPECT_EQ(consoleText(), "");
}

TEST_F(OutputTest, LongerDumpLoadsOnlyTheLength) {
  writeFile("kzt_fid2.bin", std::string(600, '\x01'));
  uint8_t buffer[513];
  buffer[512] = 0x77;
  EXPECT_NE(loadDump("kzt_fid2.bin", buffer, 512), 0);
  EXPECT_EQ(buffer[511], 0x01);
  EXPECT_EQ(buffer[512], 0x77);
}

TEST_F(OutputTest, MissingEmptyAndUnopenableDumpsFail) {
  uint8_t buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(loadDump("id.bin", buffer, 4), 0);
  writeFile("kzt_fid.bin", "");
  EXPECT_EQ(loadDump("kzt_fid.bin", buffer, 4), 0);
  std::filesystem::create_directory("kzt_fwi.bin");
  EXPECT_EQ(loadDump("kzt_fwi.bin", buffer, 4), 0);
  EXPECT_EQ(consoleText(),
            "id.bin: Open File Error\nkzt_fid.bin: Read File Error\nkzt_fwi.bin: Open File Error\n");
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[3], 4);
}

TEST_F(OutputTest, ReadOnlyDumpCannotBeLoaded) {
  writeFile("smart.bin", "abc");
  std::filesystem::permissions("smart.bin", std::filesystem::perms::owner_read |
                                                std::filesystem::perms::group_read |
                                                std::filesystem::perms::others_read);
  std::FILE* probe = std::fopen("smart.bin", "r+b");
  if (probe != nullptr) {  // an administrator may open it for writing all the same
    std::fclose(probe);
    GTEST_SKIP() << "read-only files are writable for this user";
  }
  uint8_t buffer[3] = {};
  EXPECT_EQ(loadDump("smart.bin", buffer, 3), 0);
  EXPECT_EQ(consoleText(), "smart.bin: Open File Error\n");
}

TEST_F(OutputTest, CommandFailureReportsTransportThenDeviceInBothPlaces) {
  ASSERT_NE(openReport(), 0);
  operationName = "Get FWI";
  reportCommandFailure(1, lastTransportError(), lastAtaStatus);  // success, status clear: nothing
  lastAtaStatus = 0x51;
  reportCommandFailure(1, lastTransportError(), lastAtaStatus);
  lastAtaStatus = 0xFA;  // a failed native request leaves the command code, whose bit 0 is clear
  reportCommandFailure(0, lastTransportError(), lastAtaStatus);
  lastAtaStatus = 0xFF;
  reportCommandFailure(0, lastTransportError(), lastAtaStatus);
  closeReport();
  // lastTransportError() is 0: no transport call failed in this test.
  const std::string expected =
      "ATA: Get FWI failed! Error: 0x51\n"
      "IOCtl: Get FWI failed 0x0!\n"
      "IOCtl: Get FWI failed 0x0!\n"
      "ATA: Get FWI failed! Error: 0xff\n";
  EXPECT_EQ(consoleText(), expected);
  std::string crlf;
  for (char c : expected) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  EXPECT_EQ(readFile(kReportFileName), crlf);
}

}  // namespace
}  // namespace kzt
