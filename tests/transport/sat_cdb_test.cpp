#include "transport/sat.h"

#include <gtest/gtest.h>

#include <vector>

#include "transport/command_registers.h"
namespace kzt {
namespace {

using namespace testregs;

std::vector<uint8_t> block(AtaOperation op, const AtaRegisters& r, SatCdbOptions options = {}) {
  AtaRequest request;
  request.operation = op;
  request.registers = r;
  uint8_t cdb[16];
  const int length = buildSatCdb(request, options, cdb);
  return std::vector<uint8_t>(cdb, cdb + length);
}

TEST(SatCdb, IdentifyTravelsAsTwelveByteBlock) {
  EXPECT_EQ(block(AtaOperation::In28, identify()),
            (std::vector<uint8_t>{0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xEC, 0x00, 0x00}));
}

TEST(SatCdb, SmartEnableIsNonData) {
  AtaRegisters r;
  r.command = 0xB0; r.device = 0x40; r.lbaHigh = 0xC2; r.lbaMid = 0x4F; r.features = 0xD8;
  EXPECT_EQ(block(AtaOperation::NoData28, r),
            (std::vector<uint8_t>{0xA1, 0x06, 0x0C, 0xD8, 0x00, 0x00, 0x4F, 0xC2, 0x40, 0xB0, 0x00, 0x00}));
}

TEST(SatCdb, GetFwiUsesUdmaWithoutExtendForBridges) {
  EXPECT_EQ(block(AtaOperation::In48, getFwi()),
            (std::vector<uint8_t>{0x85, 0x14, 0x0E, 0x00, 0x01, 0x00, 0x08, 0xAF, 0x00, 0x00, 0x50,
                                  0x00, 0xF0, 0xE0, 0xFA, 0x00}));
}

TEST(SatCdb, FidPrefixIsNonDataWithBothCountBytes) {
  EXPECT_EQ(block(AtaOperation::NoData48, fidPrefix()),
            (std::vector<uint8_t>{0x85, 0x06, 0x0C, 0x00, 0x50, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                  0x00, 0x00, 0xE0, 0xFC, 0x00}));
}

TEST(SatCdb, OtherFortyEightBitDataInUsesPio) {
  AtaRegisters r = getFwi();
  r.command = 0x25;  // READ DMA EXT shape, not a vendor command: PIO protocol
  EXPECT_EQ(block(AtaOperation::In48, r)[1], 0x08);
  r.command = 0xFB;
  EXPECT_EQ(block(AtaOperation::In48, r)[1], 0x14);
}

TEST(SatCdb, HostSatLayerGetsExtendAndCheckCondition) {
  SatCdbOptions native{true, true};
  const auto fwi = block(AtaOperation::In48, getFwi(), native);
  EXPECT_EQ(fwi[1], 0x15);
  EXPECT_EQ(fwi[2], 0x2E);
  const auto prefix = block(AtaOperation::NoData48, fidPrefix(), native);
  EXPECT_EQ(prefix[1], 0x07);
  EXPECT_EQ(prefix[2], 0x2C);
  const auto id = block(AtaOperation::In28, identify(), native);  // 12-byte blocks have no EXTEND
  EXPECT_EQ(id[1], 0x08);
  EXPECT_EQ(id[2], 0x2E);
}

}  // namespace
}  // namespace kzt
