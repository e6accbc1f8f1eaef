// The byte layouts that cross the device boundary, held byte by byte against tables worked out by
// hand from the written layouts: the SAT command blocks of every command the program sends, the
// Windows request images of both bitnesses, the storage descriptor and the sense data.
#include <gtest/gtest.h>

#include "ident/commands.h"
#include "transport/sat.h"
#include "transport/windows_requests.h"

namespace kzt {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr AtaCommand kSmartEnable{AtaOperation::NoData28, {0xB0, 0x40, 0xC2, 0x4F, 0x00, 0x00, 0xD8}};
constexpr AtaCommand kSmartRead{AtaOperation::In28, {0xB0, 0x40, 0xC2, 0x4F, 0x00, 0x01, 0xD0}};
constexpr AtaCommand kReadExt{AtaOperation::In48, {.command = 0x24, .count = 0x01}};
constexpr AtaCommand kVendorFb{AtaOperation::In48, {.command = 0xFB, .count = 0x01}};

AtaRequest requestOf(const AtaCommand& command, uint8_t* data, uint32_t length) {
  return {command.operation, command.registers, data, isDataIn(command.operation) ? length : 0};
}

TEST(SatCdb, EveryCommandOnBothPaths) {
  struct Case {
    AtaCommand command;
    bool native;  // the kernel's own SAT layer: EXTEND for 48-bit commands and CK_COND
    Bytes cdb;
  };
  const Case cases[] = {
      {kIdentifyCommand, false, {0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xEC, 0x00, 0x00}},
      {kIdentifyCommand, true, {0xA1, 0x08, 0x2E, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xEC, 0x00, 0x00}},
      {kSmartEnable, false, {0xA1, 0x06, 0x0C, 0xD8, 0x00, 0x00, 0x4F, 0xC2, 0x40, 0xB0, 0x00, 0x00}},
      {kSmartRead, true, {0xA1, 0x08, 0x2E, 0xD0, 0x01, 0x00, 0x4F, 0xC2, 0x40, 0xB0, 0x00, 0x00}},
      {kGetFwiCommand, false, {0x85, 0x14, 0x0E, 0x00, 0x01, 0x00, 0x08, 0xAF, 0x00, 0x00, 0x50, 0x00, 0xF0, 0xE0, 0xFA, 0x00}},
      {kGetFwiCommand, true, {0x85, 0x15, 0x2E, 0x00, 0x01, 0x00, 0x08, 0xAF, 0x00, 0x00, 0x50, 0x00, 0xF0, 0xE0, 0xFA, 0x00}},
      {kFidPrefixCommand, false, {0x85, 0x06, 0x0C, 0x00, 0x50, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0xFC, 0x00}},
      {kFidPrefixCommand, true, {0x85, 0x07, 0x2C, 0x00, 0x50, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0xFC, 0x00}},
      {kGetFidCommand, false, {0x85, 0x14, 0x0E, 0x00, 0x01, 0x00, 0x01, 0xAF, 0x20, 0x00, 0x04, 0x00, 0xF0, 0xE0, 0xFA, 0x00}},
      {kGetFid2Command, false, {0x85, 0x14, 0x0E, 0x00, 0x41, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0xFA, 0x00}},
      {getBbecCommand(0x35), false, {0x85, 0x14, 0x0E, 0x35, 0x43, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0xFA, 0x00}},
      {kVendorFb, false, {0x85, 0x14, 0x0E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFB, 0x00}},
      {kReadExt, true, {0x85, 0x09, 0x2E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x24, 0x00}},
  };
  for (const Case& c : cases) {
    uint8_t cdb[16];
    const int length = buildSatCdb(requestOf(c.command, nullptr, 512), {c.native, c.native}, cdb);
    EXPECT_EQ(Bytes(cdb, cdb + length), c.cdb) << "command " << int(c.command.registers.command);
  }
}

// An image as the offsets and values of its non-zero bytes.
using Image = std::vector<std::pair<uint32_t, uint8_t>>;

void expectImage(const uint8_t* image, uint32_t size, const Image& set, const char* what) {
  Bytes expected(size, 0);
  for (auto [at, value] : set) expected[at] = value;
  EXPECT_EQ(Bytes(image, image + size), expected) << what;
}

TEST(WindowsRequests, AtaPassThroughOfBothBitnesses) {
  static uint8_t image[60 + kMaxTransferLength];
  uint8_t data[4096] = {kNoDataMarker};
  // Get FWI: data-in, 48-bit, DMA; the data area starts with the marker.
  EXPECT_EQ(buildAtaPassThroughRequest(kAtaPassThroughX86, requestOf(kGetFwiCommand, data, 4096), image), 4140u);
  expectImage(image, 4140, {{0, 40}, {2, 0x1A}, {9, 0x10}, {12, 2}, {20, 44}, {26, 0xAF}, {32, 0x01},
                            {33, 0x08}, {35, 0x50}, {36, 0xF0}, {37, 0xE0}, {38, 0xFA}, {44, 0xCF}}, "x86 Get FWI");
  EXPECT_EQ(ataPassThroughStatus(kAtaPassThroughX86, image), 0xFA);
  EXPECT_EQ(buildAtaPassThroughRequest(kAtaPassThroughX64, requestOf(kGetFwiCommand, data, 4096), image), 4148u);
  expectImage(image, 4148, {{0, 48}, {2, 0x1A}, {9, 0x10}, {12, 2}, {24, 52}, {34, 0xAF}, {40, 0x01},
                            {41, 0x08}, {43, 0x50}, {44, 0xF0}, {45, 0xE0}, {46, 0xFA}, {52, 0xCF}}, "x64 Get FWI");
  EXPECT_EQ(ataPassThroughStatus(kAtaPassThroughX64, image), 0xFA);
  // FID prefix: non-data, 48-bit, no DMA for FC.
  EXPECT_EQ(buildAtaPassThroughRequest(kAtaPassThroughX86, requestOf(kFidPrefixCommand, data, 0), image), 44u);
  expectImage(image, 44, {{0, 40}, {2, 0x08}, {12, 2}, {20, 44}, {25, 0xFF}, {32, 0x50}, {33, 0xFF},
                          {37, 0xE0}, {38, 0xFC}}, "x86 FID prefix");
  // IDENTIFY: data-in, 28-bit: the previous task file stays zero.
  EXPECT_EQ(buildAtaPassThroughRequest(kAtaPassThroughX64, requestOf(kIdentifyCommand, data, 512), image), 564u);
  expectImage(image, 564, {{0, 48}, {2, 0x02}, {9, 0x02}, {12, 2}, {24, 52}, {41, 0x01}, {46, 0xEC}, {52, 0xCF}},
              "x64 Identify");
}

TEST(WindowsRequests, IdeFallbackBlockAndRoutes) {
  uint8_t block[12 + 512] = {};
  EXPECT_EQ(buildIdePassThroughRequest(requestOf(kIdentifyCommand, nullptr, 512), block), 524u);
  expectImage(block, 524, {{1, 0x01}, {6, 0xEC}, {9, 0x02}}, "IDE Identify");
  // A 48-bit non-data command goes with its 28-bit registers only: count FF without its FF.
  EXPECT_EQ(buildIdePassThroughRequest(requestOf(kFidPrefixCommand, nullptr, 0), block), 12u);
  expectImage(block, 12, {{0, 0x50}, {1, 0xFF}, {5, 0xE0}, {6, 0xFC}}, "IDE FID prefix");

  using R = NativeRoute;
  struct Case {
    int available;
    uint32_t major;
    R in28, noData28, in48, noData48;
  };
  const Case cases[] = {
      {1, 5, R::AtaPassThrough, R::AtaPassThrough, R::AtaPassThrough, R::AtaPassThrough},
      {0, 5, R::IdePassThrough, R::IdePassThrough, R::None, R::IdePassThrough},
      {0, 6, R::IdePassThrough, R::IdePassThrough, R::None, R::IdePassThrough},
      {0, 4, R::None, R::None, R::None, R::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(windowsNativeRoute(AtaOperation::In28, c.available, c.major), c.in28);
    EXPECT_EQ(windowsNativeRoute(AtaOperation::NoData28, c.available, c.major), c.noData28);
    EXPECT_EQ(windowsNativeRoute(AtaOperation::In48, c.available, c.major), c.in48);
    EXPECT_EQ(windowsNativeRoute(AtaOperation::NoData48, c.available, c.major), c.noData48);
  }
}

TEST(WindowsRequests, ScsiPassThroughOfBothBitnesses) {
  static uint8_t image[92 + 4096];
  SatRequestSizes sizes = buildSatRequest(kScsiPassThroughX86, requestOf(kIdentifyCommand, nullptr, 512), image);
  EXPECT_EQ(sizes.input, 44u);
  EXPECT_EQ(sizes.output, 592u);
  expectImage(image, 592, {{0, 44}, {6, 12}, {7, 24}, {8, 1}, {13, 0x02}, {16, 2}, {20, 80}, {24, 48},
                           {28, 0xA1}, {29, 0x08}, {30, 0x0E}, {32, 0x01}, {37, 0xEC}}, "x86 Identify");
  sizes = buildSatRequest(kScsiPassThroughX64, requestOf(kGetFwiCommand, nullptr, 4096), image);
  EXPECT_EQ(sizes.input, 56u);
  EXPECT_EQ(sizes.output, 92u + 4096);
  expectImage(image, 92 + 4096, {{0, 56}, {6, 16}, {7, 24}, {8, 1}, {13, 0x10}, {16, 2}, {24, 92}, {32, 60},
                                 {36, 0x85}, {37, 0x14}, {38, 0x0E}, {40, 0x01}, {42, 0x08}, {43, 0xAF},
                                 {46, 0x50}, {48, 0xF0}, {49, 0xE0}, {50, 0xFA}}, "x64 Get FWI");
  sizes = buildSatRequest(kScsiPassThroughX86, requestOf(kFidPrefixCommand, nullptr, 0), image);
  EXPECT_EQ(sizes.output, 80u);
  expectImage(image, 80, {{0, 44}, {6, 16}, {7, 24}, {8, 2}, {16, 2}, {20, 80}, {24, 48}, {28, 0x85},
                          {29, 0x06}, {30, 0x0C}, {32, 0x50}, {33, 0xFF}, {34, 0xFF}, {41, 0xE0}, {42, 0xFC}},
              "x86 FID prefix");
}

TEST(StorageDescriptor, TextsAndBusTypeWithinTheBytesReturned) {
  struct Case {
    Bytes answer;
    uint8_t busType;
    const char* vendor;
    const char* product;
  };
  Bytes usb(48, 0);
  usb[16] = 40, usb[28] = 7;
  for (int i = 0; i < 4; ++i) usb[40 + i] = static_cast<uint8_t>("DISK"[i]);
  Bytes cut = usb;  // vendor text at 44, running to the end of the 48 bytes
  cut[12] = 44, cut[44] = 'A', cut[45] = 'B', cut[46] = 'C', cut[47] = 'D';
  Bytes beyond = usb;
  beyond[12] = 48;  // an offset at the end of the answer names no text
  Bytes tiny(16, 0);  // the vendor offset field just fits, the bus type does not
  tiny[12] = 9, tiny[9] = 'V';
  const Case cases[] = {{usb, 7, "", "DISK"}, {cut, 7, "ABCD", "DISKABCD"}, {beyond, 7, "", "DISK"},
                        {tiny, 0, "V", ""}, {Bytes(12, 0), 0, "", ""}};
  for (const Case& c : cases) {
    static StorageDeviceInfo info;
    parseStorageDeviceDescriptor(c.answer.data(), static_cast<uint32_t>(c.answer.size()), &info);
    EXPECT_EQ(info.busType, c.busType);
    EXPECT_STREQ(info.vendor, c.vendor);
    EXPECT_STREQ(info.product, c.product);
  }
}

// The sense data a SAT layer returns, and what the native path makes of it: the device's status
// register, or a refusal of the block by the SCSI layer itself.
TEST(SatSense, StatusOrRefusalFromEachFormat) {
  struct Case {
    const char* what;
    uint8_t scsiStatus;
    Bytes sense;
    uint8_t status;
    uint32_t refusal;
  };
  const uint8_t cc = 0x02;  // CHECK CONDITION
  const Case cases[] = {
      {"descriptor, ATA Status Return", cc, {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 0x0E, 0x09, 0x0C, 0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0xE0, 0x50}, 0x50, 0},
      {"deferred, behind another descriptor", cc, {0x73, 0x0B, 0, 0, 0, 0, 0, 0x1A, 0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x09, 0x0C, 0x00, 0x04, 0, 0x08, 0, 0, 0, 0, 0, 0, 0xE0, 0x41}, 0x41, 0},
      {"ATA descriptor too short to hold the registers", cc, {0x72, 0x0B, 0, 0, 0, 0, 0, 0x0C, 0x09, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x50}, 0x51, 0},
      {"descriptor cut short", cc, {0x72, 0x0B, 0, 0, 0, 0, 0, 0x0E, 0x09, 0x0C, 0x00, 0x04}, 0x51, 0},
      {"fixed, registers in bytes 8 to 11", cc, {0x70, 0, 0x0B, 0, 0, 0, 0, 0x0A, 0x04, 0x41, 0xE0, 0x08, 0, 0, 0, 0, 0x80, 0}, 0x41, 0},
      {"fixed, VALID: registers in bytes 3 to 6", cc, {0xF0, 0, 0x01, 0x00, 0x50, 0xE0, 0x01, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x50, 0},
      {"fixed, 00/1D: registers in bytes 3 to 6", cc, {0x70, 0, 0x01, 0x04, 0x51, 0xE0, 0x01, 0x0A, 0, 0, 0, 0, 0x00, 0x1D, 0, 0, 0, 0}, 0x51, 0},
      {"fixed, device IDNF: ILLEGAL REQUEST 21h", cc, {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0x10, 0x51, 0xE0, 0x01, 0x21, 0x00, 0, 0, 0, 0}, 0x51, 0},
      {"no registers, NO SENSE", cc, {0x70, 0, 0x00, 0, 0, 0, 0, 0x00}, 0x50, 0},
      {"no registers, RECOVERED ERROR", cc, {0x70, 0, 0x01, 0, 0, 0, 0, 0x00}, 0x50, 0},
      {"no registers, ABORTED COMMAND", cc, {0x70, 0, 0x0B, 0, 0, 0, 0, 0x00}, 0x51, 0},
      {"no sense at all", cc, {}, 0x51, 0},
      {"unknown format", cc, {0x00, 0x01, 0x02}, 0x51, 0},
      {"GOOD", 0x00, {}, 0x50, 0},
      {"virtual SCSI disk: INVALID COMMAND OPERATION CODE", cc, {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0}, 0x00, 0x52000},
      {"libata: INVALID FIELD IN CDB", cc, {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24, 0x00, 0, 0xC0, 0x00, 0x01}, 0x00, 0x52400},
      {"descriptor refusal", cc, {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0}, 0x51, 0x52400},
      {"same bytes with GOOD", 0x00, {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0}, 0x00, 0},
      {"refusal sense with registers", cc, {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0x0E, 0x09, 0x0C, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x51}, 0x51, 0},
  };
  for (const Case& c : cases) {
    const auto length = static_cast<uint32_t>(c.sense.size());
    EXPECT_EQ(satAtaStatus(c.scsiStatus, c.sense.data(), length), c.status) << c.what;
    uint32_t refusal = 0;
    EXPECT_EQ(satRejection(c.scsiStatus, c.sense.data(), length, &refusal), c.refusal != 0 ? 1 : 0) << c.what;
    EXPECT_EQ(refusal, c.refusal) << c.what;
  }
}

}  // namespace
}  // namespace kzt
