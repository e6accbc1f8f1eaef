#include "transport/sat.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace kzt {
namespace {

SatSense parse(const std::vector<uint8_t>& bytes, int* known = nullptr) {
  SatSense out;
  const int result = parseSatSense(bytes.data(), static_cast<uint32_t>(bytes.size()), &out);
  if (known != nullptr) *known = result;
  return out;
}

// Descriptor sense as a SAT layer returns it after CK_COND: RECOVERED ERROR, 00/1D, then the
// ATA Status Return descriptor (error 00, count 01, LBA 00.., device E0, status 50).
const std::vector<uint8_t> kDescriptorGood = {
    0x72, 0x01, 0x00, 0x1D, 0x00, 0x00, 0x00, 0x0E,
    0x09, 0x0C, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x50};

// Fixed sense of the older libata: ABORTED COMMAND 00/00 with error 04, status 41, device E0,
// count 08 in bytes 8 to 11.
const std::vector<uint8_t> kFixedLibataAbort = {
    0x70, 0x00, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x04, 0x41, 0xE0, 0x08,
    0x00, 0x00, 0x00, 0x00, 0x80, 0x00};

TEST(SatSense, DescriptorFormatGivesRegistersOfStatusReturnDescriptor) {
  int known = 0;
  const SatSense s = parse(kDescriptorGood, &known);
  EXPECT_EQ(known, 1);
  EXPECT_EQ(s.senseKey, 0x01);
  EXPECT_EQ(s.ascq, 0x1D);
  ASSERT_EQ(s.hasRegisters, 1);
  EXPECT_EQ(s.error, 0x00);
  EXPECT_EQ(s.count, 0x01);
  EXPECT_EQ(s.device, 0xE0);
  EXPECT_EQ(s.status, 0x50);
}

TEST(SatSense, DescriptorIsFoundBehindAnotherAndInDeferredSense) {
  // An information descriptor (00, 10 more bytes) precedes the ATA one; response code 73.
  std::vector<uint8_t> bytes = {0x73, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1A,
                                0x00, 0x0A, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0x11,
                                0x09, 0x0C, 0x00, 0x04, 0, 0x08, 0, 0, 0, 0, 0, 0, 0xE0, 0x41};
  const SatSense s = parse(bytes);
  EXPECT_EQ(s.senseKey, 0x0B);
  ASSERT_EQ(s.hasRegisters, 1);
  EXPECT_EQ(s.error, 0x04);
  EXPECT_EQ(s.count, 0x08);
  EXPECT_EQ(s.status, 0x41);
}

TEST(SatSense, FixedFormatOlderLibataLayout) {
  const SatSense s = parse(kFixedLibataAbort);
  EXPECT_EQ(s.senseKey, 0x0B);
  ASSERT_EQ(s.hasRegisters, 1);
  EXPECT_EQ(s.error, 0x04);
  EXPECT_EQ(s.status, 0x41);
  EXPECT_EQ(s.device, 0xE0);
  EXPECT_EQ(s.count, 0x08);
}

TEST(SatSense, FixedFormatStandardLayoutByAscOrValidBit) {
  // 00/1D: registers in bytes 3 to 6; bytes 8 to 11 hold other fields (EXTEND flags, LBA).
  const std::vector<uint8_t> recovered = {0x70, 0x00, 0x01, 0x00, 0x50, 0xE0, 0x01, 0x0A,
                                          0x80, 0x11, 0x22, 0x33, 0x00, 0x1D, 0x00, 0x00, 0x00, 0x00};
  SatSense s = parse(recovered);
  ASSERT_EQ(s.hasRegisters, 1);
  EXPECT_EQ(s.error, 0x00);
  EXPECT_EQ(s.status, 0x50);
  EXPECT_EQ(s.device, 0xE0);
  EXPECT_EQ(s.count, 0x01);

  // VALID set with an error: ABORTED COMMAND 00/00, error 04 status 51 in bytes 3 to 6.
  const std::vector<uint8_t> aborted = {0xF0, 0x00, 0x0B, 0x04, 0x51, 0x40, 0x00, 0x0A,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
  s = parse(aborted);
  ASSERT_EQ(s.hasRegisters, 1);
  EXPECT_EQ(s.error, 0x04);
  EXPECT_EQ(s.status, 0x51);
}

TEST(SatSense, NoSenseAndUnknownFormats) {
  int known = 1;
  SatSense s = parse({}, &known);
  EXPECT_EQ(known, 0);
  EXPECT_EQ(s.hasRegisters, 0);
  s = parse({0x7F, 0x00, 0x05, 0x00}, &known);
  EXPECT_EQ(known, 0);
  EXPECT_EQ(parseSatSense(nullptr, 18, &s), 0);
}

TEST(SatSense, TruncatedSenseNeverYieldsRegisters) {
  // The descriptor is cut by the bytes that arrived ...
  std::vector<uint8_t> cut(kDescriptorGood.begin(), kDescriptorGood.end() - 1);
  int known = 0;
  SatSense s = parse(cut, &known);
  EXPECT_EQ(known, 1);
  EXPECT_EQ(s.senseKey, 0x01);
  EXPECT_EQ(s.hasRegisters, 0);
  // ... or by the additional length the header declares.
  std::vector<uint8_t> declaredShort = kDescriptorGood;
  declaredShort[7] = 0x0D;
  EXPECT_EQ(parse(declaredShort).hasRegisters, 0);
  // A descriptor whose own length is too small for the registers.
  std::vector<uint8_t> smallDescriptor = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 0x04, 0x09, 0x02, 0, 0};
  EXPECT_EQ(parse(smallDescriptor).hasRegisters, 0);
  // Fixed sense that stops before byte 11, and a header too short for the sense key.
  std::vector<uint8_t> fixedCut(kFixedLibataAbort.begin(), kFixedLibataAbort.begin() + 11);
  s = parse(fixedCut);
  EXPECT_EQ(s.senseKey, 0x0B);
  EXPECT_EQ(s.hasRegisters, 0);
  EXPECT_EQ(parse({0x70, 0x00}, &known).hasRegisters, 0);
  EXPECT_EQ(known, 0);
  EXPECT_EQ(parse({0x72, 0x0B, 0x00}, &known).hasRegisters, 0);
  EXPECT_EQ(known, 0);
}

TEST(SatSense, AtaStatusRules) {
  // Registers win whatever the SCSI status.
  EXPECT_EQ(satAtaStatus(kScsiStatusCheckCondition, kFixedLibataAbort.data(), 18), 0x41);
  EXPECT_EQ(satAtaStatus(kScsiStatusCheckCondition, kDescriptorGood.data(), 22), 0x50);
  // GOOD with no sense: no error bit.
  EXPECT_EQ(satAtaStatus(kScsiStatusGood, nullptr, 0) & 0x01, 0);
  // CHECK CONDITION without registers: the sense key decides.
  const uint8_t recovered[] = {0x70, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
  const uint8_t illegal[] = {0x70, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00};
  EXPECT_EQ(satAtaStatus(kScsiStatusCheckCondition, recovered, 8) & 0x01, 0);
  EXPECT_EQ(satAtaStatus(kScsiStatusCheckCondition, illegal, 8) & 0x01, 1);
  EXPECT_EQ(satAtaStatus(kScsiStatusCheckCondition, nullptr, 0) & 0x01, 1);
}

// The sense data real kernels send when the SCSI layer refuses the block (fixed format, additional
// sense length 10), against sense that reports the device's own answer.
TEST(SatSense, RejectionBySenseLayerIsToldFromDeviceErrors) {
  struct Case {
    const char* what;
    uint8_t scsiStatus;
    std::vector<uint8_t> sense;
    uint32_t code;  // 0: not a rejection
  };
  const Case cases[] = {
      {"virtual SCSI disk: INVALID COMMAND OPERATION CODE", kScsiStatusCheckCondition,
       {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0}, 0x52000},
      {"libata: INVALID FIELD IN CDB, field pointer", kScsiStatusCheckCondition,
       {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x24, 0x00, 0, 0xC0, 0x00, 0x01}, 0x52400},
      {"descriptor sense without registers", kScsiStatusCheckCondition,
       {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0}, 0x52400},
      {"same sense with GOOD status", kScsiStatusGood,
       {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x20, 0x00, 0, 0, 0, 0}, 0},
      {"device IDNF: ILLEGAL REQUEST 21h with registers", kScsiStatusCheckCondition,
       {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0x10, 0x51, 0xE0, 0x01, 0x21, 0x00, 0, 0, 0, 0}, 0},
      {"device abort", kScsiStatusCheckCondition, kFixedLibataAbort, 0},
      {"descriptor with ATA Status Return", kScsiStatusCheckCondition,
       {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0x0E, 0x09, 0x0C, 0, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0,
        0x51},
       0},
      {"recovered error 00/1D", kScsiStatusCheckCondition, kDescriptorGood, 0},
  };
  for (const Case& c : cases) {
    uint32_t code = 0;
    const int rejected =
        satRejection(c.scsiStatus, c.sense.data(), static_cast<uint32_t>(c.sense.size()), &code);
    EXPECT_EQ(rejected, c.code != 0 ? 1 : 0) << c.what;
    EXPECT_EQ(code, c.code) << c.what;
  }
}

// Arbitrary bytes of every length, each in an allocation of exactly that size, so that the
// sanitizer build catches any read past the end.
TEST(SatSense, ArbitraryBytesAreReadSafely) {
  std::mt19937 random(12345);
  const uint8_t codes[] = {0x70, 0x71, 0x72, 0x73, 0xF0, 0xF2};
  for (int round = 0; round < 20000; ++round) {
    const uint32_t length = random() % 40;
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[length == 0 ? 1 : length]);
    for (uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(random());
    if (length > 0 && round % 2 == 0) bytes[0] = codes[random() % 6];
    if (length > 9 && round % 4 == 0) bytes[8] = 0x09;
    SatSense s;
    parseSatSense(bytes.get(), length, &s);
    satAtaStatus(static_cast<uint8_t>(random() % 3 * 2), bytes.get(), length);
    uint32_t code = 0;
    satRejection(kScsiStatusCheckCondition, bytes.get(), length, &code);
  }
}

}  // namespace
}  // namespace kzt
