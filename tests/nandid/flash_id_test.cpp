#include "nandid/flash_id.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>


namespace kzt {
namespace {

struct Example {
  uint8_t id[8];
  const char* description;
};

std::string decode(const uint8_t* id, int* result = nullptr) {
  char buffer[128];
  std::memset(buffer, 'x', sizeof buffer);
  const int r = DecodeFlashId(id, buffer);
  if (result != nullptr) *result = r;
  return buffer;
}

void expectDescriptions(const Example* examples, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    int result = -1;
    EXPECT_EQ(decode(examples[i].id, &result), examples[i].description) << "example " << i;
    EXPECT_EQ(result, 1) << "example " << i;
  }
}

TEST(DecodeFlashId, UnknownOrZeroMakerGivesEmptyTextAndZero) {
  const uint8_t allOnes[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const uint8_t allZero[8] = {};
  const uint8_t unknown[8] = {0x99, 0x3C, 0x99, 0xB3, 0x7A, 0x51};
  int result = -1;
  EXPECT_EQ(decode(allOnes, &result), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(decode(allZero, &result), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(decode(unknown, &result), "");
  EXPECT_EQ(result, 0);
}

TEST(DecodeFlashId, AssemblesMakerAndPieces) {
  const Example examples[] = {
      {{0xC2, 0xF1, 0x80, 0x95, 0x02, 0x00}, "Macronix SLC"},
      {{0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, "Spansion SLC"},
      {{0x98, 0x3C, 0x99, 0xB3, 0x7A, 0x51}, "Toshiba 15nm TLC 16k 256Gb/CE 128Gb/die 2Plane/die"},
      {{0x2C, 0x64, 0x44, 0x4B, 0xA9, 0x00}, "Micron 20nm(L84A) MLC 64Gb/CE 64Gb/die"},
      {{0xB5, 0x64, 0x44, 0x4B, 0xA9, 0x00}, "Spectek 20nm(L84A) MLC 64Gb/CE 64Gb/die"},
  };
  expectDescriptions(examples, std::size(examples));
}

TEST(DecodeFlashId, IgnoresBytesSixAndSeven) {
  const uint8_t plain[8] = {0x98, 0x3C, 0x99, 0xB3, 0x7A, 0x51, 0x00, 0x00};
  const uint8_t extra[8] = {0x98, 0x3C, 0x99, 0xB3, 0x7A, 0x51, 0xFF, 0x5A};
  EXPECT_EQ(decode(extra), decode(plain));
  const uint8_t micron[8] = {0x2C, 0x88, 0x24, 0x4B, 0xA9, 0x84, 0x12, 0x34};
  EXPECT_EQ(decode(micron), "Micron 20nm(L84A) MLC 64Gb/CE 64Gb/die");
}

TEST(DecodeFlashId, TechnologyPieceByFamily) {
  const Example examples[] = {
      {{0x2C, 0x88, 0x24, 0x4B, 0xA9, 0x00}, "Micron 25nm(L74A) MLC 64Gb/CE 64Gb/die"},
      {{0x2C, 0x88, 0x24, 0x4B, 0xA9, 0x84}, "Micron 20nm(L84A) MLC 64Gb/CE 64Gb/die"},
      {{0x2C, 0x88, 0x24, 0x4B, 0xA9, 0x85}, "Micron MLC 64Gb/CE 64Gb/die"},
      {{0x89, 0xD3, 0xAC, 0x32, 0xC6, 0x00}, "Intel 144L QLC 1024Gb/CE 1024Gb/die"},
      {{0x2C, 0xD3, 0xAC, 0x32, 0xC6, 0x00}, "Micron QLC 1024Gb/CE 1024Gb/die"},
      {{0x89, 0x48, 0x00, 0x26, 0x89, 0x00}, "Intel 34nm(M62A) SLC 16Gb/CE 16Gb/die"},
      {{0x98, 0xDE, 0x00, 0x00, 0x00, 0xC0}, "Toshiba A19nm SLC 2k 64Gb/CE 64Gb/die 1Plane/die"},
      {{0x98, 0xDE, 0x00, 0x00, 0x00, 0xA1}, "Toshiba 48L BiCS2 SLC 2k 64Gb/CE 64Gb/die 1Plane/die"},
      {{0x98, 0xDE, 0x00, 0x00, 0x00, 0x20}, "Toshiba SLC 2k 64Gb/CE 64Gb/die 1Plane/die"},
      {{0x45, 0xDE, 0x00, 0x00, 0x00, 0x25}, "Sandisk 162L BiCS6 SLC 2k 64Gb/CE 64Gb/die 1Plane/die"},
      {{0xAD, 0x3C, 0x00, 0x00, 0x00, 0x60}, "Hynix 3dv1 SLC 2k 256Gb/CE 256Gb/die"},
      {{0xAD, 0x3C, 0x0A, 0x03, 0x00, 0x60}, "Hynix 3dv1 TLC 16k 256Gb/CE 64Gb/die"},
      {{0xAD, 0x89, 0x0A, 0x03, 0x00, 0xB0}, "Hynix 3dv6-128L TLC 16k 4096Gb/CE 1024Gb/die"},
      {{0xAD, 0x3C, 0x00, 0x00, 0x00, 0xF0}, "Hynix SLC 2k 256Gb/CE 256Gb/die"},
      {{0xEC, 0xDE, 0x00, 0x00, 0x00, 0xC5}, "Samsung 19nm SLC 2k 64Gb/CE 64Gb/die"},
      {{0xEC, 0xDE, 0x00, 0x00, 0x00, 0xCE}, "Samsung SLC 2k 64Gb/CE 64Gb/die"},
      {{0x9B, 0xC3, 0x00, 0x00, 0xA0, 0x00}, "YMTC 3dv3-128L SLC 8k 256Gb/CE 256Gb/die 1Plane/die"},
      {{0x9B, 0xC3, 0x00, 0x00, 0x50, 0x00}, "YMTC SLC 8k 256Gb/CE 256Gb/die 1Plane/die"},
  };
  expectDescriptions(examples, std::size(examples));
}

TEST(DecodeFlashId, PerDieFlagDoesNotCarryOverBetweenCalls) {
  const uint8_t perDie[8] = {0xAD, 0x89, 0x0A, 0x03, 0x00, 0xB0};
  const uint8_t perCe[8] = {0xAD, 0x89, 0x0A, 0x03, 0x00, 0x44};
  EXPECT_EQ(decode(perDie), "Hynix 3dv6-128L TLC 16k 4096Gb/CE 1024Gb/die");
  EXPECT_EQ(decode(perCe), "Hynix 20nm TLC 16k 1024Gb/CE 256Gb/die");
}

TEST(DecodeFlashId, CellPageCapacityAndPlanes) {
  const Example examples[] = {
      {{0x98, 0x73, 0x0D, 0x03, 0x08, 0x24}, "Toshiba 112L BiCS5 QLC 16k 1.33Tb/CE 0.67Tb/die 2Plane/die"},
      {{0x98, 0x73, 0x7F, 0x03, 0x7F, 0xFF}, "Toshiba QLC 16k 1.33Tb/CE 0.17Tb/die 1Plane/die"},
      {{0x98, 0x3C, 0x99, 0xB3, 0x7A, 0x51}, "Toshiba 15nm TLC 16k 256Gb/CE 128Gb/die 2Plane/die"},
      {{0x98, 0xDE, 0x09, 0x00, 0x04, 0x00}, "Toshiba A19nm TLC 2k 64Gb/CE 32Gb/die 1Plane/die"},
      {{0x45, 0xDE, 0x03, 0x00, 0xFF, 0x27}, "Sandisk SLC 2k 64Gb/CE 8Gb/die 1Plane/die"},
      {{0xAD, 0x89, 0x0A, 0x03, 0x00, 0xB0}, "Hynix 3dv6-128L TLC 16k 4096Gb/CE 1024Gb/die"},
      {{0xAD, 0x3C, 0x0A, 0x03, 0x00, 0x60}, "Hynix 3dv1 TLC 16k 256Gb/CE 64Gb/die"},
      {{0xAD, 0xDE, 0x14, 0xA7, 0x42, 0x8A}, "Hynix MLC 16k 64Gb/CE 64Gb/die"},
      {{0xEC, 0x3A, 0x0C, 0x0A, 0x7A, 0x40}, "Samsung 51nm QLC 8k 128Gb/CE 128Gb/die"},
      {{0xEC, 0x00, 0x00, 0x00, 0x00, 0x00}, "Samsung SLC 2k"},
      {{0x2C, 0xB4, 0x03, 0x00, 0x00, 0x00}, "Micron SLC 384Gb/CE 48Gb/die"},
      {{0x2C, 0x00, 0x00, 0x00, 0x00, 0x00}, "Micron SLC"},
      {{0x9B, 0xC4, 0x08, 0x61, 0x20, 0x00}, "YMTC 3dv3-128L TLC 16k 512Gb/CE 512Gb/die 8Plane/die"},
      {{0x9B, 0xC3, 0x08, 0x03, 0x00, 0xF0}, "YMTC TLC 256Gb/CE 256Gb/die 1Plane/die"},
      {{0x9B, 0xC6, 0xFF, 0xFF, 0xFF, 0xFF}, "YMTC QLC 2048Gb/CE 256Gb/die 8Plane/die"},
      {{0x9B, 0x00, 0x00, 0x00, 0x00, 0x00}, "YMTC SLC 8k 1Plane/die"},
  };
  expectDescriptions(examples, std::size(examples));
}

TEST(DecodeFlashId, TerabitDieCapacitiesForEveryDieCount) {
  // 1365 Gb over 1, 2, 4, 8 dies: 1365, 682, 341, 170 Gb.
  const Example examples[] = {
      {{0x98, 0x7A, 0x00, 0x00, 0x00, 0x27}, "Toshiba SLC 2k 1.33Tb/CE 1.33Tb/die 1Plane/die"},
      {{0x98, 0x7A, 0x01, 0x00, 0x04, 0x27}, "Toshiba SLC 2k 1.33Tb/CE 0.67Tb/die 1Plane/die"},
      {{0x98, 0x7A, 0x02, 0x00, 0x08, 0x27}, "Toshiba SLC 2k 1.33Tb/CE 0.33Tb/die 1Plane/die"},
      {{0x98, 0x7A, 0x03, 0x00, 0x0C, 0x27}, "Toshiba SLC 2k 1.33Tb/CE 0.17Tb/die 1Plane/die"},
  };
  expectDescriptions(examples, std::size(examples));
}

TEST(DecodeFlashId, InconsistentToshibaPlaneCodeGivesNoPlanePiece) {
  // Plane code 0 (one plane per CE) against 2 dies, and plane code 1 against 8 dies.
  const Example examples[] = {
      {{0x98, 0xDE, 0x01, 0x00, 0x00, 0x00}, "Toshiba A19nm SLC 2k 64Gb/CE 32Gb/die"},
      {{0x45, 0x3C, 0x9B, 0xB3, 0x04, 0x51}, "Sandisk 15nm TLC 16k 256Gb/CE 32Gb/die"},
  };
  expectDescriptions(examples, std::size(examples));
}

TEST(FlashMakerName, KnownZeroAndUnknownCodes) {
  char name[16];
  const uint8_t zero[1] = {0x00};
  const uint8_t ymtc[1] = {0x9B};
  const uint8_t esmt[1] = {0xC8};
  const uint8_t unknown99[1] = {0x99};
  const uint8_t unknownFF[1] = {0xFF};
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(FlashMakerName(zero, name), 1);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(FlashMakerName(ymtc, name), 1);
  EXPECT_STREQ(name, "YMTC");
  EXPECT_EQ(FlashMakerName(esmt, name), 1);
  EXPECT_STREQ(name, "ESMT(MIRA-PSC)");
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(FlashMakerName(unknown99, name), 0);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(FlashMakerName(unknownFF, name), 0);
  EXPECT_STREQ(name, "");
}

TEST(FlashIdDecoderVersion, WritesVersionText) {
  char version[7];
  std::memset(version, 'x', sizeof version);
  FlashIdDecoderVersion(version);
  EXPECT_STREQ(version, "v2.68a");
}

}  // namespace
}  // namespace kzt
