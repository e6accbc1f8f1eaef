#pragma once
#include <cstdint>

namespace kzt {

// Cell type, index (ID byte 2 >> 2) AND 3.
inline constexpr char CellTypeNames[4][5] = {" SLC", " MLC", " TLC", " QLC"};

// Page size of the Toshiba family, Samsung and Hynix, index ID byte 3 AND 3.
inline constexpr char PageSizeNames[4][5] = {" 2k", " 4k", " 8k", " 16k"};

// Page size of the YMTC family, index ID byte 3 AND 3; codes 2 and 3 have no name.
inline constexpr char YmtcPageSizeNames[2][5] = {" 8k", " 16k"};

// Device code (ID byte 1) and capacity in gigabits: of one CE, or of one die after a Hynix
// per-die technology row.
struct CapacityRow {
  uint8_t deviceCode;
  uint16_t gigabits;
};

inline constexpr CapacityRow ToshibaCapacityTable[] = {
  {0x3A, 128},
  {0x3C, 256},
  {0x3D, 256},
  {0x3E, 512},
  {0x48, 1024},
  {0x49, 2048},
  {0x4A, 128},
  {0x4C, 128},
  {0x4E, 512},
  {0x73, 1365},
  {0x7A, 1365},
  {0xD3, 8},
  {0xD5, 16},
  {0xD7, 32},
  {0xDE, 64},
};

inline constexpr CapacityRow HynixCapacityTable[] = {
  {0x3A, 128},
  {0x3C, 256},
  {0x3E, 512},
  {0x5A, 128},
  {0x5C, 256},
  {0x5E, 512},
  {0x7E, 512},
  {0x89, 1024},
  {0xD3, 8},
  {0xD5, 16},
  {0xD7, 32},
  {0xDE, 64},
  {0xEE, 64},
};

inline constexpr CapacityRow SamsungCapacityTable[] = {
  {0x11, 4096},
  {0x1A, 128},
  {0x1C, 256},
  {0x1E, 512},
  {0x1F, 1024},
  {0x3A, 128},
  {0x3C, 256},
  {0x51, 2048},
  {0x5C, 256},
  {0x5E, 512},
  {0x5F, 1024},
  {0xD3, 8},
  {0xD5, 16},
  {0xD7, 32},
  {0xDE, 64},
};

inline constexpr CapacityRow MicronCapacityTable[] = {
  {0x48, 16},
  {0x64, 64},
  {0x68, 32},
  {0x84, 128},
  {0x88, 64},
  {0xA3, 256},
  {0xA4, 256},
  {0xA8, 128},
  {0xB4, 384},
  {0xC3, 512},
  {0xC4, 512},
  {0xCC, 768},
  {0xD3, 1024},
  {0xD4, 1024},
  {0xD5, 16},
  {0xD7, 32},
  {0xD9, 64},
  {0xE3, 2048},
  {0xE4, 2048},
  {0xF3, 4096},
};

inline constexpr CapacityRow YmtcCapacityTable[] = {
  {0xC3, 256},
  {0xC4, 512},
  {0xC5, 1024},
  {0xC6, 2048},
};

// The Toshiba-family capacity printed in terabits with two decimals (device codes 0x73, 0x7A).
constexpr int kTerabitCapacity = 1365;

}  // namespace kzt
