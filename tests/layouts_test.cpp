// The byte layouts that cross the device boundary, held byte by byte against tables worked out by
// hand from the written layouts: the SAT command blocks of every command the program sends, the
// Windows request images of both bitnesses, the storage descriptor and the sense data.
#include <gtest/gtest.h>

#include "ident/commands.h"
#include "transport/sat.h"
#include "transport/verdict.h"
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
  // A call that failed wrote nothing back: the status byte still holds the command code.
  RequestReply reply;
  readAtaPassThroughReply(kAtaPassThroughX86, image, 0, requestOf(kGetFwiCommand, data, 4096), 0x1F, &reply);
  EXPECT_TRUE(reply.sent && reply.registersBack && !reply.transferKnown);
  EXPECT_EQ(reply.registerStatus, 0xFA);
  EXPECT_EQ(reply.systemError, 0x1Fu);
  EXPECT_EQ(buildAtaPassThroughRequest(kAtaPassThroughX64, requestOf(kGetFwiCommand, data, 4096), image), 4148u);
  expectImage(image, 4148, {{0, 48}, {2, 0x1A}, {9, 0x10}, {12, 2}, {24, 52}, {34, 0xAF}, {40, 0x01},
                            {41, 0x08}, {43, 0x50}, {44, 0xF0}, {45, 0xE0}, {46, 0xFA}, {52, 0xCF}}, "x64 Get FWI");
  // After the call: the status in CurrentTaskFile byte 6, the data as far as the bytes returned.
  image[46] = 0x50, image[52] = 0x11, image[52 + 1999] = 0x22, image[52 + 2000] = 0x33;
  uint8_t answer[4096] = {kNoDataMarker};
  readAtaPassThroughReply(kAtaPassThroughX64, image, 52 + 2000, requestOf(kGetFwiCommand, answer, 4096), 0, &reply);
  EXPECT_TRUE(reply.registersBack && reply.transferKnown);
  EXPECT_EQ(reply.registerStatus, 0x50);
  EXPECT_EQ(reply.transferred, 2000u);
  EXPECT_EQ(answer[0], 0x11);
  EXPECT_EQ(answer[1999], 0x22);
  EXPECT_EQ(answer[2000], 0x00);
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
  // After the call: ScsiStatus, the sense bytes as far as SenseInfoLength (at most the 24 asked
  // for), DataTransferLength lowered to what came, and that much data.
  image[2] = 0x02, image[7] = 40, image[12] = 0x00, image[13] = 0x08;
  for (uint8_t i = 0; i < 32; ++i) image[60 + i] = static_cast<uint8_t>(0xA0 + i);
  image[92] = 0x44, image[92 + 2047] = 0x55, image[92 + 2048] = 0x66;
  uint8_t answer[4096] = {};
  RequestReply reply;
  readSatReply(kScsiPassThroughX64, image, requestOf(kGetFwiCommand, answer, 4096), 0, &reply);
  EXPECT_TRUE(reply.sent && reply.scsi && reply.transferKnown && !reply.registersBack);
  EXPECT_EQ(reply.scsiStatus, 0x02);
  EXPECT_EQ(Bytes(reply.sense, reply.sense + reply.senseLength), Bytes(image + 60, image + 84));
  EXPECT_EQ(reply.transferred, 2048u);
  EXPECT_EQ(answer[0], 0x44);
  EXPECT_EQ(answer[2047], 0x55);
  EXPECT_EQ(answer[2048], 0x00);
  sizes = buildSatRequest(kScsiPassThroughX86, requestOf(kFidPrefixCommand, nullptr, 0), image);
  EXPECT_EQ(sizes.output, 80u);
  expectImage(image, 80, {{0, 44}, {6, 16}, {7, 24}, {8, 2}, {16, 2}, {20, 80}, {24, 48}, {28, 0x85},
                          {29, 0x06}, {30, 0x0C}, {32, 0x50}, {33, 0xFF}, {34, 0xFF}, {41, 0xE0}, {42, 0xFC}},
              "x86 FID prefix");
  reply = RequestReply{};
  readSatReply(kScsiPassThroughX86, image, requestOf(kFidPrefixCommand, nullptr, 0), 0x79, &reply);
  EXPECT_TRUE(reply.sent && !reply.scsi);
  EXPECT_EQ(reply.systemError, 0x79u);
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

// What came back from a request, judged in the one place that judges every path: completed, or
// failed with the code of the first fault, and the device's status where it came back. Get FWI,
// 4096 bytes in, command FA.
TEST(Verdict, EveryKindOfReply) {
  struct Case {
    const char* what;
    uint8_t scsiStatus;
    Bytes sense;
    uint32_t transferred;
    int completed;
    uint32_t code;
    uint8_t status;
    void (*change)(RequestReply&) = nullptr;
  };
  const uint8_t cc = 0x02;  // CHECK CONDITION
  const uint32_t all = 4096;
  const Case cases[] = {
      {"libata after CK_COND: descriptor, ATA Status Return", cc, {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 0x0E, 0x09, 0x0C, 0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0xE0, 0x50}, all, 1, 0, 0x50,
       [](RequestReply& r) { r.driverStatus = 0x08; }},  // DRIVER_SENSE alone is no error
      {"deferred, behind another descriptor: the device's error", cc, {0x73, 0x0B, 0, 0, 0, 0, 0, 0x1A, 0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x09, 0x0C, 0x00, 0x04, 0, 0x08, 0, 0, 0, 0, 0, 0, 0xE0, 0x41}, 0, 1, 0, 0x41},
      {"ATA descriptor too short to hold the registers", cc, {0x72, 0x0B, 0, 0, 0, 0, 0, 0x0C, 0x09, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x51}, all, 0, 0xB0000, 0xFA},
      {"descriptor cut short", cc, {0x72, 0x0B, 0, 0, 0, 0, 0, 0x0E, 0x09, 0x0C, 0x00, 0x04}, all, 0, 0xB0000, 0xFA},
      {"libata's fixed sense: registers in bytes 8 to 11", cc, {0x70, 0, 0x0B, 0, 0, 0, 0, 0x0A, 0x04, 0x51, 0xE0, 0x08, 0, 0, 0, 0, 0, 0}, 0, 1, 0, 0x51},
      {"libata's fixed sense, IDNF as ILLEGAL REQUEST 21h", cc, {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0x10, 0x51, 0xE0, 0x01, 0x21, 0x00, 0, 0, 0, 0}, all, 1, 0, 0x51},
      {"fixed, 00/1D: registers in INFORMATION", cc, {0x70, 0, 0x01, 0x04, 0x50, 0xE0, 0x01, 0x0A, 0, 0, 0, 0, 0x00, 0x1D, 0, 0, 0, 0}, all, 1, 0, 0x50},
      {"UNIT ATTENTION after a reset", cc, {0x70, 0, 0x06, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x29, 0x00, 0, 0, 0, 0}, all, 0, 0x62900, 0xFA},
      {"MEDIUM ERROR, VALID with an LBA in INFORMATION", cc, {0xF0, 0, 0x03, 0x00, 0x00, 0x12, 0x51, 0x0A, 0, 0x40, 0, 0, 0x11, 0x00, 0, 0, 0, 0}, all, 0, 0x31100, 0xFA},
      {"virtual SCSI disk: INVALID COMMAND OPERATION CODE", cc, {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0}, all, 0, 0x52000, 0xFA},
      {"libata's refusal: INVALID FIELD IN CDB", cc, {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24, 0x00, 0, 0xC0, 0x00, 0x01}, all, 0, 0x52400, 0xFA},
      {"descriptor refusal", cc, {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0}, all, 0, 0x52400, 0xFA},
      {"refusal sense with registers: the device answered", cc, {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0x0E, 0x09, 0x0C, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x51}, 0, 1, 0, 0x51},
      {"NO SENSE without registers", cc, {0x70, 0, 0x00, 0, 0, 0, 0, 0x00}, all, 0, 0x30002, 0xFA},
      {"RECOVERED ERROR without registers", cc, {0x70, 0, 0x01, 0, 0, 0, 0, 0x00}, all, 0, 0x30002, 0xFA},
      {"no sense data at all", cc, {}, all, 0, 0x30002, 0xFA},
      {"unknown sense format", cc, {0x00, 0x01, 0x02}, all, 0, 0x30002, 0xFA},
      {"GOOD with every byte", 0x00, {}, all, 1, 0, 0x50},
      {"GOOD, sense bytes ignored", 0x00, {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0}, all, 1, 0, 0x50},
      {"CONDITION MET", 0x04, {}, all, 1, 0, 0x50},
      {"GOOD, half the data: short", 0x00, {}, 2048, 0, 0x1000800, 0x50},
      {"GOOD, no data: short", 0x00, {}, 0, 0, 0x1000000, 0x50},
      {"BUSY", 0x08, {}, all, 0, 0x30008, 0xFA},
      {"adapter time-out", 0x00, {}, all, 0, 0x10003, 0xFA, [](RequestReply& r) { r.hostStatus = 0x03; }},
      {"driver busy, with sense data", 0x00, {}, all, 0, 0x20009, 0xFA, [](RequestReply& r) { r.driverStatus = 0x09; }},
      {"the call failed", 0x00, {}, all, 0, 0x1F, 0xFA, [](RequestReply& r) { r.systemError = 0x1F; r.scsi = false; }},
      {"native register block, all data", 0x00, {}, all, 1, 0, 0x50, [](RequestReply& r) { r.scsi = false; r.registersBack = true; r.registerStatus = 0x50; }},
      {"native register block, short", 0x00, {}, 4095, 0, 0x1000FFF, 0x50, [](RequestReply& r) { r.scsi = false; r.registersBack = true; r.registerStatus = 0x50; }},
      {"native register block, error bit", 0x00, {}, 0, 1, 0, 0x51, [](RequestReply& r) { r.scsi = false; r.registersBack = true; r.registerStatus = 0x51; }},
      {"IDE block: no transfer length", 0x00, {}, 0, 1, 0, 0x58, [](RequestReply& r) { r.scsi = false; r.transferKnown = false; r.registersBack = true; r.registerStatus = 0x58; }},
  };
  uint8_t data[4096];
  for (const Case& c : cases) {
    RequestReply reply;
    reply.sent = true;
    reply.scsi = true;
    reply.scsiStatus = c.scsiStatus;
    std::copy(c.sense.begin(), c.sense.end(), reply.sense);
    reply.senseLength = static_cast<uint32_t>(c.sense.size());
    reply.transferKnown = true;
    reply.transferred = c.transferred;
    if (c.change != nullptr) c.change(reply);
    const RequestVerdict verdict = judgeReply(requestOf(kGetFwiCommand, data, 4096), reply);
    EXPECT_EQ(verdict.completed, c.completed) << c.what;
    EXPECT_EQ(verdict.errorCode, c.code) << c.what;
    EXPECT_EQ(verdict.statusCame, 1) << c.what;
    EXPECT_EQ(verdict.status, c.status) << c.what;
  }
  // Nothing went out: no status; a non-data command owes no data.
  RequestReply unsent;
  unsent.systemError = 2;
  const RequestVerdict verdict = judgeReply(requestOf(kGetFwiCommand, data, 4096), unsent);
  EXPECT_EQ(verdict.sent + verdict.completed + verdict.statusCame, 0);
  EXPECT_EQ(verdict.errorCode, 2u);
  RequestReply good;
  good.sent = good.scsi = good.transferKnown = true;
  EXPECT_EQ(judgeReply(requestOf(kFidPrefixCommand, nullptr, 0), good).completed, 1);
}

}  // namespace
}  // namespace kzt
