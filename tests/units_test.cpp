// Tables of cases for the rules that whole runs reach only in part: the four operations and their
// limits, the Windows version rule, the controller string, the CE mask, the drive number, the
// dump loader, and the flash-ID decoder through kzt_nandid.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "frontend/options.h"
#include "ident/answers.h"
#include "nandid/flash_id.h"
#include "nandid/nandid_command.h"
#include "sim/harness.h"
#include "sim/small_drive.h"
#include "transport/usb_quirks.h"

namespace kzt {
namespace {

using sim::Command;

struct Transport : ::testing::Test {
  sim::SimDrive drive;
  sim::SimPlatform machine;
  uint8_t buffer[kMaxTransferLength + 1] = {};
  Transport() {
    sim::buildSmallDrive(drive);
    machine.attach(0, &drive);
    setPlatform(&machine);
    resetTransportState();
  }
  ~Transport() override { setPlatform(nullptr); }
};

// Each operation hands its registers on in the written order: the drive knows a command only
// with every register where it belongs.
TEST_F(Transport, OperationsCarryTheirRegistersInTheWrittenOrder) {
  EXPECT_EQ(ataCommandIn(0, 0xEC, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, buffer, 512), 1);
  EXPECT_EQ(ataCommandNoData(0, 0xB0, 0x40, 0xC2, 0x4F, 0x00, 0x00, 0xD8, nullptr, 0), 1);
  EXPECT_EQ(ataCommandIn48(0, 0xFA, 0xE0, 0xF0, 0x50, 0x00, 0x08, 0x01, 0x00, 0x00, 0xAF, 0x00, 0x00, buffer, 4096), 1);
  EXPECT_EQ(ataCommandNoData48(0, 0xFC, 0xE0, 0x00, 0x00, 0x00, 0xFF, 0x50, 0x00, 0x00, 0x00, 0xFF, 0x00, nullptr, 0), 1);
  ASSERT_EQ(drive.received.size(), 4u);
  EXPECT_EQ(drive.received[0].command, Command::Identify);
  EXPECT_EQ(drive.received[1].command, Command::SmartEnable);
  EXPECT_EQ(drive.received[2].command, Command::GetFwi);
  EXPECT_EQ(drive.received[3].command, Command::FidPrefix);
  EXPECT_EQ(drive.received[2].length, 4096u);
  EXPECT_EQ(drive.received[3].length, 0u);
  EXPECT_EQ(lastAtaStatus, 0x50);
}

TEST_F(Transport, LimitsOfTheDriveNumberAndTheLength) {
  const AtaRegisters fid2 = {.command = 0xFA, .device = 0xE0, .count = 0x01, .features = 0x41};
  // 65536 bytes go out; the drive sends its 512: a short transfer.
  EXPECT_EQ(sendAtaCommand(0, AtaOperation::In48, fid2, buffer, 65536), 0);
  EXPECT_EQ(drive.received.back().length, 65536u);
  EXPECT_EQ(lastTransportError(), 0x1000200u);
  EXPECT_EQ(sendAtaCommand(0, AtaOperation::In48, fid2, buffer, 65537), 0);
  for (int32_t number : {256, -1}) {
    EXPECT_EQ(sendAtaCommand(number, AtaOperation::In48, fid2, buffer, 512), 0);
    EXPECT_EQ(lastTransportError(), 2u) << number;
  }
  EXPECT_EQ(drive.received.size(), 1u);
  machine.attach(255, &drive);
  EXPECT_EQ(sendAtaCommand(255, AtaOperation::In48, fid2, buffer, 512), 1);
  // A native request that fails at the platform: status = the command code, buffer untouched.
  drive.fail(Command::GetFid2, sim::FaultKind::TransportFailure);
  buffer[0] = 0x77;
  EXPECT_EQ(sendAtaCommand(0, AtaOperation::In48, fid2, buffer, 512), 0);
  EXPECT_EQ(lastTransportError(), 0x1Fu);
  EXPECT_EQ(lastAtaStatus, 0xFA);
  EXPECT_EQ(buffer[0], 0x77);
  // A SATA port under Linux: libata tells no residue and the kernel's buffer comes back zero; an
  // answer of zeros alone brought nothing.
  machine.residueReported = false;
  drive.fail(Command::GetFid2, sim::FaultKind::NoData);
  EXPECT_EQ(sendAtaCommand(0, AtaOperation::In48, fid2, buffer, 512), 0);
  EXPECT_EQ(lastTransportError(), 0x1000000u);
  // Behind a bridge as well: a short answer leaves the buffer as it was.
  busKind = BusKind::Usb;
  drive.fail(Command::GetFid2, sim::FaultKind::ShortData);
  EXPECT_EQ(sendAtaCommand(0, AtaOperation::In48, fid2, buffer, 512), 0);
  EXPECT_EQ(lastTransportError(), 0x1000100u);
  EXPECT_EQ(buffer[0], 0x77);
}

TEST_F(Transport, ProbesKeepWhatTheyFoundAndTheirText) {
  std::memset(machine.version.szCSDVersion, 'x', sizeof machine.version.szCSDVersion);
  probeOsVersion();
  EXPECT_EQ(std::strlen(osVersion.szCSDVersion), 127u);
  EXPECT_EQ(ataPassThroughAvailable, 1);
  resetProbeState();
  machine.drives[0].busType = 7;
  for (int32_t number : {-1, 256, 3}) queryBusType(number);  // none of them answers
  EXPECT_EQ(busType, 0);
  queryBusType(0);
  EXPECT_EQ(busType, 7);
}

TEST(WindowsVersionRule, AtaPassThroughFromXpServicePack2) {
  struct Case {
    uint32_t major, minor;
    const char* servicePack;
    int available;
  };
  const Case cases[] = {
      {10, 0, "", 1}, {6, 0, "", 1}, {6, 1, "Service Pack 1", 1}, {5, 2, "", 1},
      {5, 1, "Service Pack 2", 1}, {5, 1, "Service Pack 3", 1}, {5, 1, "Service Pack 12", 1},
      {5, 1, "Service Pack  2", 1}, {5, 1, "Service Pack 1", 0}, {5, 1, "", 0},
      {5, 1, "Service Pack", 0}, {5, 1, "Service Pack x2", 0}, {5, 1, "Service Pack A", 0}, {5, 0, "Service Pack 4", 0},
      {5, 3, "Service Pack 2", 0}, {4, 0, "Service Pack 6", 0}, {0, 0, "", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(windowsAtaPassThroughAvailable(c.major, c.minor, c.servicePack), c.available)
        << c.major << "." << c.minor << " " << c.servicePack;
  }
}

TEST(DriveIdentity, ControllerStringAndSize) {
  struct Case {
    std::string controller;
    const char* vendorString;
    int served;
  };
  const Case cases[] = {
      {"REALTEK_RL6643", "REALTEK_RL6643", 1},
      {"realtek_RL6643", "realtek_RL6643", 0},
      {"REALTEK", "REALTEK", 0},
      {" REALTEK_", " REALTEK_", 0},
      {"REALTEK_ \x7F~", "REALTEK_ \x7F~", 1},
      {"REALTEK_A\x80Z", "REALTEK_A", 1},
      {"REALTEK_A\x1FZ", "REALTEK_A", 1},
      {"REALTEK_0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ", "REALTEK_0123456789ABCDEFGHIJKLMNOPQR", 1},
      {"", "", 0},
  };
  for (const Case& c : cases) {
    sim::SimDrive drive;
    drive.setIdentity("M", "F", "S", 500118192, c.controller);
    DriveIdentity identity;
    readDriveIdentity(drive.identify.data(), &identity);
    EXPECT_STREQ(identity.vendorString, c.vendorString);
    EXPECT_EQ(isRealtekController(identity), c.served) << c.controller;
  }
  EXPECT_EQ(driveSizeMegabytes(500118192), 244198u);
  EXPECT_EQ(driveSizeMegabytes(1000215216), 488386u);
  char gigabytes[16];
  std::snprintf(gigabytes, sizeof gigabytes, "%1.1f", driveSizeGigabytes(500118192));
  EXPECT_STREQ(gigabytes, "256.1");
}

TEST(CeMask, MarksTheBanksOfTheFirstFlash) {
  struct Case {
    std::vector<std::pair<unsigned, uint32_t>> banks;  // bank, first four ID bytes (little-endian)
    const char* marks;
  };
  const uint32_t toshiba = 0xB3993C98, hynix = 0x030A3CAD;
  const Case cases[] = {
      {{}, "-------- --------"},
      {{{0, toshiba}, {1, toshiba}, {2, hynix}, {9, toshiba}}, "++------ -+------"},
      {{{3, hynix}, {5, toshiba}}, "---+---- --------"},
      {{{0, 0}, {1, toshiba}, {2, toshiba}, {3, hynix}}, "+++----- --------"},
      {{{0, toshiba}, {20, hynix}}, "+------- --------"},
      {{{0, toshiba}, {16, toshiba}}, "+------- -------- +------- --------"},
      {{{31, toshiba}, {40, toshiba}},
       "-------- -------- -------- -------+ -------- +------- -------- --------"},
      {{{61, toshiba}}, "-------- -------- -------- -------- -------- -------- -------- -----+--"},
  };
  for (const Case& c : cases) {
    FlashIdTable table;
    for (auto [bank, firstFour] : c.banks) {
      std::memcpy(table.records[bank].id, &firstFour, 4);
      table.records[bank].id[7] = 0x01;  // populated even where the first four bytes are zero
    }
    char marks[kCeMaskTextSize];
    formatCeMask(buildCeMask(table), marks);
    EXPECT_STREQ(marks, c.marks);
  }
}

TEST(Options, DriveNumberAndLetters) {
  struct Case {
    const char* text;
    int32_t number;
    bool overflowed;
  };
  const Case cases[] = {
      {"", 0, false}, {"7", 7, false}, {" \t12x", 12, false}, {"+5", 5, false}, {"-3", -3, false},
      {"x1", 0, false}, {"2147483647", 2147483647, false}, {"2147483648", 2147483647, true},
      {"-2147483648", INT32_MIN, false}, {"-2147483649", INT32_MIN, true}, {"99999999999y", 2147483647, true},
  };
  for (const Case& c : cases) {
    bool overflowed = !c.overflowed;
    EXPECT_EQ(parseDriveNumber(c.text, &overflowed), c.number) << c.text;
    EXPECT_EQ(overflowed, c.overflowed) << c.text;
  }
  RunOptions options;
  options.saveDumps = false;
  applyOptionLetters("1BfNxY", &options);
  EXPECT_TRUE(options.saveDumps && options.fileMode && options.serialInReport && options.allBanks && options.noPrompt);
  RunOptions none;
  applyOptionLetters("0acz-", &none);
  EXPECT_FALSE(none.fileMode || none.serialInReport || none.allBanks || none.noPrompt);
}

// usb-storage's quirks parameter read as the kernel reads it, for the device 1d6b:0104; letters
// are cut to the 4 bytes given.
TEST(UsbQuirks, TheFirstEntryThatNamesTheDeviceWhole) {
  const std::tuple<const char*, int, const char*> cases[] = {
      {"", 0, ""}, {"1d6b:0104:t", 1, "t"}, {"1d6b:0104:", 1, ""}, {"1d6b:0104", 0, ""},
      {"abcd:0104:u,1D6B:0X104:Tu", 1, "Tu"}, {"1d6b:0104:t,1d6b:0104:u", 1, "t"},
      {"1d6b:1d6b:t,1d6b:0104:u,", 1, "u"}, {"11d6b:0104:t", 0, ""}, {"x1d6b:0104:t", 0, ""},
      {"00001d6b:00010000000000000104:t", 1, "t"}, {"1d6b:0104:abcdef,x", 1, "abc"},
  };
  for (auto [parameter, named, letters] : cases) {
    char got[4] = "zzz";
    EXPECT_EQ(findUsbQuirks(parameter, 0x1d6b, 0x0104, got, sizeof got), named) << parameter;
    EXPECT_STREQ(got, letters) << parameter;
  }
  EXPECT_TRUE(quirksSetNoAta1x("uT") && !quirksSetNoAta1x("u"));
}

TEST(Output, LoadingDumps) {
  sim::ScratchDir scratch;
  sim::writeFile("short.bin", std::string(100, 'a'));
  sim::writeFile("empty.bin", "");
  sim::writeFile("kept.bin", std::string(600, 'k'));
  std::filesystem::permissions("kept.bin", std::filesystem::perms::owner_read);
  std::filesystem::create_directory("folder.bin");
  std::error_code noLinks;  // Wine makes none
  std::filesystem::create_symlink("short.bin", "link.bin", noLinks);
  consoleStream = std::fopen("console.txt", "w+b");
  uint8_t buffer[512];
  std::memset(buffer, 0x77, sizeof buffer);
  EXPECT_EQ(loadDump("short.bin", buffer, 512), 1);
  EXPECT_EQ(buffer[99], 'a');
  EXPECT_EQ(buffer[100], 0x77);
  // A read-only dump loads: dumps are opened for reading only.
  EXPECT_EQ(loadDump("kept.bin", buffer, 512), 1);
  EXPECT_EQ(buffer[511], 'k');
  for (const char* name : {"empty.bin", "missing.bin", "folder.bin", "link.bin"}) {
    EXPECT_EQ(loadDump(name, buffer, 512), 0) << name;
  }
  std::fclose(consoleStream);
  consoleStream = stdout;
  EXPECT_EQ(sim::readFile("console.txt"), std::string("empty.bin: Read File Error\nmissing.bin: Open File Error\n"
                                                      "folder.bin: Open File Error: not a regular file\n") +
                                              (noLinks ? "link.bin: Open File Error\n"
                                                       : "link.bin: Open File Error: not a regular file\n"));
}

// kzt_nandid on the ID table of tests/golden/flash_ids.txt: an ID and its description, worked out
// by hand, per line; every row of the decoder's tables is hit by at least one ID.
TEST(Decoder, EveryTableRowThroughKztNandid) {
  std::ifstream table(std::string(KZT_GOLDEN_DIR) + "/flash_ids.txt");
  std::string ids, expected, line;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t bar = line.find('|');
    ids += line.substr(0, bar) + "\n";
    expected += (bar + 2 <= line.size() ? line.substr(bar + 2) : "") + "\n";
  }
  std::FILE* in = sim::scratchStream();
  std::FILE* out = sim::scratchStream();
  std::fputs(ids.c_str(), in);
  std::rewind(in);
  const char* argv[] = {"kzt_nandid"};
  EXPECT_EQ(runNandidCommand(1, argv, in, out, stderr), 0);
  std::rewind(out);
  std::string got;
  for (int c; (c = std::fgetc(out)) != EOF;) got += static_cast<char>(c);
  std::fclose(in);
  std::fclose(out);
  EXPECT_EQ(got, expected);
}

TEST(Decoder, MakerNames) {
  for (auto [code, name, known] : {std::tuple{0x00, "", 1}, {0x9B, "YMTC", 1}, {0x99, "", 0}, {0xFF, "", 0}}) {
    const uint8_t id[6] = {static_cast<uint8_t>(code), 0x9B};
    char text[16];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(FlashMakerName(id, text), known);
    EXPECT_STREQ(text, name);
  }
}

// UTF-16 text of an ASCII text, in either byte order, with or without the byte order mark.
std::string utf16(const std::string& text, bool littleEndian, bool mark) {
  std::string bytes = mark ? (littleEndian ? "\xFF\xFE" : "\xFE\xFF") : "";
  for (char c : text) bytes += littleEndian ? std::string{c, '\0'} : std::string{'\0', c};
  return bytes;
}

TEST(Decoder, KztNandidArgumentsAndFaults) {
  struct Case {
    std::vector<const char*> args;
    std::string input;
    std::string out;
    std::string err;
    int status;
  };
  const std::string toshiba = "Toshiba 15nm TLC 16k 256Gb/CE 128Gb/die 2Plane/die\n";
  const std::string kLongLine = std::string(256, '9') + "\n";
  const std::string bad = " (write the ID as hex bytes, e.g. 98 3C 99 B3 7A 51 or 983C99B37A51)\n";
  const std::string lines = "98 3C 99 B3 7A 51\r\n\nFF\nzz\n2C";
  const std::string linesOut = toshiba + "\n\n\nMicron SLC\n";
  const std::string linesErr = "kzt_nandid: line 4: bad hex \"zz\"" + bad;
  const Case cases[] = {
      {{"98", "3C", "99", "B3", "7A", "51"}, "", toshiba, "", 0},
      {{"0x98,0x3c,0x99,0xb3,0x7a,0x51,0x08,0x04"}, "", toshiba, "", 0},
      {{"2C"}, "", "Micron SLC\n", "", 0},
      {{"FF"}, "", "\n", "", 1},
      {{"3C9"}, "", "", "kzt_nandid: bad hex \"3C9\" (odd number of hex digits)\n", 2},
      {{"98", "zz"}, "", "", "kzt_nandid: bad hex \"zz\"" + bad, 2},
      {{"010203040506070809"}, "", "", "kzt_nandid: more than 8 ID bytes\n", 2},
      {{"0x"}, "", "", "kzt_nandid: bad hex \"0x\"" + bad, 2},
      // Echoed tokens show their control bytes as '?': no escape sequence reaches the terminal.
      {{"-x\x1b]0;t\x07"}, "", "", "kzt_nandid: unknown option \"-x?]0;t?\" (see kzt_nandid --help)\n", 2},
      {{"98\x1b[2J\x7f"}, "", "", "kzt_nandid: bad hex \"98?[2J?\"" + bad, 2},
      {{"--version"}, "", "kzt_nandid 0.15a\nflash-ID decoder v2.68a\n", "", 0},
      {{}, lines, linesOut, linesErr, 2},
      {{}, "FF\n", "\n", "", 1},
      {{}, "\n\n", "\n\n", "", 0},
      {{}, kLongLine, "\n", "kzt_nandid: line 1: longer than 255 characters\n", 2},
      // A NUL refuses its line instead of cutting it short; the other lines are decoded.
      {{}, std::string("2C\n98\0zz\n2C\n", 12), "Micron SLC\n\nMicron SLC\n",
       "kzt_nandid: line 2: a NUL character (the input is not text)\n", 2},
      // UTF-16 either way round, with or without the mark (PowerShell's redirect: LE with it),
      // reads as the ASCII it holds; a UTF-8 mark is skipped.
      {{}, utf16(lines, true, true), linesOut, linesErr, 2},
      {{}, utf16(lines, true, false), linesOut, linesErr, 2},
      {{}, utf16(lines, false, true), linesOut, linesErr, 2},
      {{}, utf16("983C99B37A51\r\n", false, false), toshiba, "", 0},
      {{}, "\xEF\xBB\xBF" "2C\n", "Micron SLC\n", "", 0},
      {{}, utf16("2C\n", true, true) + "\x98", "Micron SLC\n",
       "kzt_nandid: the UTF-16 input ends in the middle of a character\n", 2},
      {{}, utf16("2C \xC3\n", true, true), "\n", "kzt_nandid: line 1: bad hex \"?\"" + bad, 2},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"kzt_nandid"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::FILE* files[3] = {sim::scratchStream(), sim::scratchStream(), sim::scratchStream()};
    std::fwrite(c.input.data(), 1, c.input.size(), files[0]);
    std::rewind(files[0]);
    EXPECT_EQ(runNandidCommand(static_cast<int>(argv.size()), argv.data(), files[0], files[1], files[2]), c.status);
    std::string text[2];
    for (int i = 0; i < 2; ++i) {
      std::rewind(files[i + 1]);
      for (int ch; (ch = std::fgetc(files[i + 1])) != EOF;) text[i] += static_cast<char>(ch);
    }
    EXPECT_EQ(text[0], c.out) << (c.args.empty() ? c.input : c.args[0]);
    EXPECT_EQ(text[1], c.err) << (c.args.empty() ? c.input : c.args[0]);
    for (std::FILE* f : files) std::fclose(f);
  }
}

// Standard output that cannot be written (here a stream open for reading only) is named with the
// system's reason and ends with status 3, whatever the decoding would have given.
TEST(Decoder, KztNandidOutputNotWritten) {
  std::FILE* out = sim::scratchStream();
  std::FILE* readOnly = std::fopen(KZT_GOLDEN_DIR "/version.txt", "rb");
  std::FILE* err = sim::scratchStream();
  const char* argv[] = {"kzt_nandid", "FF"};
  EXPECT_EQ(runNandidCommand(2, argv, out, readOnly, err), 3);
  std::rewind(err);
  char text[200] = {};
  ASSERT_GT(std::fread(text, 1, sizeof text - 1, err), 0u);
  // The reason is the C library's: "Bad file descriptor" with glibc; Windows' runtime sets none
  // for this fault, and the program names an I/O error.
  const std::string reason = std::string(text).substr(0, std::strlen(text) - 1);
  EXPECT_TRUE(reason == std::string("kzt_nandid: standard output: ") + std::strerror(EBADF) ||
              reason == std::string("kzt_nandid: standard output: ") + std::strerror(EIO))
      << text;
  EXPECT_EQ(text[std::strlen(text) - 1], '\n');
  for (std::FILE* f : {out, readOnly, err}) std::fclose(f);
}

}  // namespace
}  // namespace kzt
