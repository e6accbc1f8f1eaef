#pragma once
#include <cstdint>

namespace kzt {

// JEDEC manufacturer code of a NAND flash maker (ID byte 0) and the name the report shows.
struct FlashMaker {
  uint8_t code;
  char name[16];
};

inline constexpr FlashMaker FlashMakerTable[] = {
  {0x01, "Spansion"},
  {0x04, "Fujitsu"},
  {0x07, "Renesas"},
  {0x20, "STMicro"},
  {0x2C, "Micron"},
  {0x45, "Sandisk"},
  {0x4A, "SMIC"},
  {0x51, "Qimonda"},
  {0x89, "Intel"},
  {0x92, "ESMT(PowerChip)"},
  {0x98, "Toshiba"},
  {0x9B, "YMTC"},
  {0xAD, "Hynix"},
  {0xB5, "Spectek"},
  {0xC2, "Macronix"},
  {0xC8, "ESMT(MIRA-PSC)"},
  {0xEC, "Samsung"},
  {0xEF, "Winbond"},
};

// Makers whose IDs carry more than the cell type; every other known maker is Other.
enum class MakerFamily {
  Other,
  Micron,   // Micron, Intel, Spectek: part signatures, one capacity table
  Toshiba,  // Toshiba, Sandisk: technology code in byte 5, plane code in byte 4
  Hynix,
  Samsung,
  Ymtc,
};

// The maker's row, or nullptr for a code that isn't in the table.
const FlashMaker* findFlashMaker(uint8_t code);

MakerFamily makerFamily(uint8_t code);

}  // namespace kzt
