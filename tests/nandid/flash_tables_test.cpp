#include <gtest/gtest.h>

#include <set>

#include "nandid/flash_tables.h"

namespace kzt {
namespace {

constexpr int kDecodedIdBytes = 6;

int partSignatureMatches(const PartSignature& row, const uint8_t* id) {
  for (int k = 0; k < row.length; ++k) {
    if (id[row.start + k] != row.signature[k]) return 0;
  }
  return 1;
}

template <typename Row, size_t N>
std::set<int> keysOf(const Row (&rows)[N]) {
  std::set<int> keys;
  for (const Row& row : rows) keys.insert(row.key);
  return keys;
}

template <size_t N>
void expectUniqueDeviceCodes(const CapacityRow (&rows)[N]) {
  std::set<int> codes;
  for (const CapacityRow& row : rows) {
    EXPECT_TRUE(codes.insert(row.deviceCode).second) << "device code " << int(row.deviceCode);
    EXPECT_GT(row.gigabits, 0);
  }
}

TEST(FlashTables, RowCounts) {
  EXPECT_EQ(std::size(FlashMakerTable), 18u);
  EXPECT_EQ(std::size(PartSignatureTable), 69u);
  EXPECT_EQ(std::size(ToshibaTechTable), 13u);
  EXPECT_EQ(std::size(HynixTechTable), 22u);
  EXPECT_EQ(std::size(SamsungTechTable), 14u);
  EXPECT_EQ(std::size(YmtcGenerationTable), 4u);
  EXPECT_EQ(std::size(ToshibaCapacityTable), 15u);
  EXPECT_EQ(std::size(HynixCapacityTable), 13u);
  EXPECT_EQ(std::size(SamsungCapacityTable), 15u);
  EXPECT_EQ(std::size(MicronCapacityTable), 20u);
  EXPECT_EQ(std::size(YmtcCapacityTable), 4u);
}

TEST(FlashTables, KeysAreUnique) {
  std::set<int> makers;
  for (const FlashMaker& maker : FlashMakerTable) {
    EXPECT_NE(maker.code, 0x00);
    EXPECT_TRUE(makers.insert(maker.code).second) << "maker " << int(maker.code);
    EXPECT_NE(maker.name[0], '\0');
  }
  EXPECT_EQ(keysOf(ToshibaTechTable).size(), std::size(ToshibaTechTable));
  EXPECT_EQ(keysOf(HynixTechTable).size(), std::size(HynixTechTable));
  EXPECT_EQ(keysOf(SamsungTechTable).size(), std::size(SamsungTechTable));
  EXPECT_EQ(keysOf(YmtcGenerationTable).size(), std::size(YmtcGenerationTable));
  expectUniqueDeviceCodes(ToshibaCapacityTable);
  expectUniqueDeviceCodes(HynixCapacityTable);
  expectUniqueDeviceCodes(SamsungCapacityTable);
  expectUniqueDeviceCodes(MicronCapacityTable);
  expectUniqueDeviceCodes(YmtcCapacityTable);
}

TEST(FlashTables, KeysLieWithinWhatTheirMaskCanGive) {
  for (const TechnologyRow& row : ToshibaTechTable) EXPECT_EQ(row.key & ~0x27, 0);
  for (const TechnologyRow& row : SamsungTechTable) EXPECT_EQ(row.key & ~0x7F, 0);
  for (const TechnologyRow& row : YmtcGenerationTable) EXPECT_EQ(row.key & ~7, 0);
}

TEST(PartSignatures, StayWithinTheDecodedBytesWithZeroTail) {
  for (const PartSignature& row : PartSignatureTable) {
    EXPECT_GE(row.length, 4);
    EXPECT_LE(row.start + row.length, kDecodedIdBytes) << row.label;
    for (int k = row.length; k < 6; ++k) EXPECT_EQ(row.signature[k], 0) << row.label;
  }
}

TEST(PartSignatures, NoTwoRowsCanMatchTheSameId) {
  // Two rows can both match an ID only if they agree on every byte both compare; that covers a
  // signature that begins another with the same start, and duplicates.
  const size_t count = std::size(PartSignatureTable);
  for (size_t i = 0; i < count; ++i) {
    for (size_t j = i + 1; j < count; ++j) {
      const PartSignature& a = PartSignatureTable[i];
      const PartSignature& b = PartSignatureTable[j];
      bool differ = false;
      for (int byte = 0; byte < kDecodedIdBytes; ++byte) {
        const bool inA = byte >= a.start && byte < a.start + a.length;
        const bool inB = byte >= b.start && byte < b.start + b.length;
        if (inA && inB && a.signature[byte - a.start] != b.signature[byte - b.start]) differ = true;
      }
      EXPECT_TRUE(differ) << "rows " << i << " and " << j;
    }
  }
}

TEST(PartSignatures, OnlyAnIntelIdCanMatchTheMakerCodeRow) {
  int startZeroRows = 0;
  for (const PartSignature& row : PartSignatureTable) {
    if (row.start != 0) continue;
    ++startZeroRows;
    uint8_t id[8] = {};
    for (int k = 0; k < row.length; ++k) id[k] = row.signature[k];
    for (int maker = 0; maker < 256; ++maker) {
      id[0] = static_cast<uint8_t>(maker);
      EXPECT_EQ(partSignatureMatches(row, id), maker == 0x89 ? 1 : 0) << maker;
    }
  }
  EXPECT_EQ(startZeroRows, 1);
}

}  // namespace
}  // namespace kzt
