#pragma once
#include <cstdint>

// The flash-ID decoder's constant tables, in the order of the description's pieces: makers and
// their families, technology (process node, 3D generation, Micron-family die code), cell type and
// page size, capacities. Every label begins with the one space that separates it from the piece
// before.

namespace kzt {

// Makers whose IDs carry more than the cell type, each with rules of its own in the tables below;
// every other known maker is Other and gets its name and the cell type only.
enum class MakerFamily : uint8_t {
  Other,
  Micron,   // Micron, Intel, Spectek: part signatures, one capacity table
  Toshiba,  // Toshiba, Sandisk: technology code in byte 5, plane code in byte 4
  Hynix,
  Samsung,
  Ymtc,
};

// JEDEC manufacturer code of a NAND flash maker (ID byte 0), the name the report shows, and the
// family whose rules its IDs follow.
struct FlashMaker {
  uint8_t code;
  char name[16];
  MakerFamily family;
};

inline constexpr FlashMaker FlashMakerTable[] = {
  {0x01, "Spansion",        MakerFamily::Other},
  {0x04, "Fujitsu",         MakerFamily::Other},
  {0x07, "Renesas",         MakerFamily::Other},
  {0x20, "STMicro",         MakerFamily::Other},
  {0x2C, "Micron",          MakerFamily::Micron},
  {0x45, "Sandisk",         MakerFamily::Toshiba},
  {0x4A, "SMIC",            MakerFamily::Other},
  {0x51, "Qimonda",         MakerFamily::Other},
  {0x89, "Intel",           MakerFamily::Micron},
  {0x92, "ESMT(PowerChip)", MakerFamily::Other},
  {0x98, "Toshiba",         MakerFamily::Toshiba},
  {0x9B, "YMTC",            MakerFamily::Ymtc},
  {0xAD, "Hynix",           MakerFamily::Hynix},
  {0xB5, "Spectek",         MakerFamily::Micron},
  {0xC2, "Macronix",        MakerFamily::Other},
  {0xC8, "ESMT(MIRA-PSC)",  MakerFamily::Other},
  {0xEC, "Samsung",         MakerFamily::Samsung},
  {0xEF, "Winbond",         MakerFamily::Other},
};

// Micron-family part: `length` ID bytes from index `start` equal signature[0..length-1]
// (the rest of the signature is zero). The label is the piece appended, leading space included.
struct PartSignature {
  char label[12];
  uint8_t start;
  uint8_t length;
  uint8_t signature[6];
};

// Searched from the first row; the first match wins. Rows of a label stay together.
inline constexpr PartSignature PartSignatureTable[] = {
  {" 34nm(M62A)", 1, 4, {0x48, 0x00, 0x26, 0x89}},
  {" 34nm(M62A)", 1, 4, {0x68, 0x01, 0xA6, 0x89}},
  {" 34nm(L63B)", 1, 4, {0x68, 0x04, 0x46, 0x89}},
  {" 34nm(L63B)", 1, 4, {0x88, 0x05, 0xC6, 0x89}},
  {" 34nm(L63B)", 1, 4, {0x68, 0x04, 0x46, 0xA9}},
  {" 25nm(M73A)", 1, 4, {0x68, 0x00, 0x27, 0xA9}},
  {" 25nm(M73A)", 1, 4, {0x88, 0x01, 0xA7, 0xA9}},
  {" 25nm(M73A)", 1, 4, {0x68, 0x20, 0x27, 0xA9}},
  {" 25nm(L73A)", 1, 4, {0x68, 0x04, 0x4A, 0xA9}},
  {" 25nm(L73A)", 1, 4, {0x88, 0x05, 0xCA, 0xA9}},
  {" 25nm(L74A)", 1, 5, {0x88, 0x04, 0x4B, 0xA9, 0x00}},
  {" 25nm(L74A)", 1, 5, {0xA8, 0x05, 0xCB, 0xA9, 0x00}},
  {" 25nm(L74A)", 1, 5, {0x88, 0x24, 0x4B, 0xA9, 0x00}},
  {" 20nm(L84A)", 1, 5, {0x88, 0x24, 0x4B, 0xA9, 0x84}},
  {" 20nm(L84A)", 1, 4, {0x64, 0x44, 0x4B, 0xA9}},
  {" 20nm(L84A)", 1, 4, {0x84, 0xC5, 0x4B, 0xA9}},
  {" 20nm(L84C)", 1, 4, {0x64, 0x64, 0x3C, 0xA1}},
  {" 20nm(L84C)", 1, 4, {0x64, 0x64, 0x3C, 0xA5}},
  {" 20nm(L84C)", 1, 4, {0x84, 0xE5, 0x3C, 0xA5}},
  {" 20nm(L85A)", 1, 4, {0x84, 0x64, 0x3C, 0xA5}},
  {" 20nm(L85A)", 1, 4, {0xA4, 0xE5, 0x3C, 0xA5}},
  {" 20nm(L85C)", 1, 4, {0x84, 0x64, 0x3C, 0xA9}},
  {" 20nm(L85C)", 1, 4, {0xA4, 0xE5, 0x3C, 0xA9}},
  {" 16nm(L95B)", 1, 4, {0x84, 0x64, 0x54, 0xA9}},
  {" 16nm(L95B)", 1, 4, {0xA4, 0xE5, 0x54, 0xA9}},
  {" 34nm(B63A)", 1, 4, {0x68, 0x08, 0x56, 0x8A}},
  {" 25nm(B74A)", 1, 4, {0x88, 0x08, 0x5F, 0xA9}},
  {" 25nm(B74A)", 1, 4, {0x88, 0x08, 0x5F, 0x89}},
  {" 25nm(B74A)", 1, 4, {0x88, 0x28, 0x5F, 0xA9}},
  {" 25nm(B74A)", 1, 4, {0xA8, 0x09, 0xDF, 0x89}},
  {" 25nm(B74A)", 1, 4, {0xA8, 0x09, 0xDF, 0xA9}},
  {" 20nm(B85T)", 1, 4, {0x84, 0x78, 0x63, 0xA9}},
  {" 20nm(B85T)", 1, 4, {0x84, 0x78, 0x7B, 0xA9}},
  {" 20nm(B85T)", 1, 4, {0xA4, 0xF9, 0x63, 0xA9}},
  {" 20nm(B85T)", 1, 4, {0xA4, 0xF9, 0x7B, 0xA9}},
  {" 16nm(B95A)", 1, 4, {0x84, 0x48, 0x63, 0xA9}},
  {" 32L(L04A)", 1, 4, {0x64, 0x44, 0x32, 0xA5}},
  {" 32L(L05B)", 1, 4, {0x84, 0x44, 0x34, 0xAA}},
  {" 32L(B05A)", 1, 4, {0x84, 0x58, 0x32, 0xA1}},
  {" 32L(L05A)", 1, 4, {0xA4, 0x64, 0x34, 0xAA}},
  {" 32L(L06A)", 1, 4, {0xA4, 0xE4, 0x34, 0x8A}},
  {" 32L(L06B)", 1, 4, {0xA4, 0x64, 0x32, 0xAA}},
  {" 32L(L06B)", 1, 4, {0xC4, 0xE5, 0x32, 0xAA}},
  {" 32L(B0KB)", 1, 4, {0xB4, 0x78, 0x32, 0xAA}},
  {" 32L(B0KB)", 1, 4, {0xCC, 0xF9, 0x32, 0xAA}},
  {" 64L(B16A)", 1, 4, {0xA4, 0x08, 0x32, 0xA1}},
  {" 64L(B16A)", 1, 4, {0xA4, 0x88, 0x32, 0xA1}},
  {" 64L(B16A)", 1, 4, {0xC4, 0x89, 0x32, 0xA1}},
  {" 64L(B17A)", 1, 4, {0xC4, 0x08, 0x32, 0xA6}},
  {" 64L(B17A)", 1, 4, {0xD4, 0x89, 0x32, 0xA6}},
  {" 64L(B17A)", 1, 4, {0xE4, 0x8A, 0x32, 0xA6}},
  {" 64L(N18A)", 1, 4, {0xD4, 0x0C, 0x32, 0xAA}},
  {" 96L(B27A)", 1, 4, {0xC4, 0x18, 0x32, 0xA2}},
  {" 96L(B27A)", 1, 4, {0xD4, 0x99, 0x32, 0xA2}},
  {" 96L(B27A)", 1, 4, {0xE4, 0x9A, 0x32, 0xA2}},
  {" 96L(B27B)", 1, 4, {0xC3, 0x08, 0x32, 0xE6}},
  {" 96L(B27B)", 1, 4, {0xD3, 0x89, 0x32, 0xE6}},
  {" 96L(B27B)", 1, 4, {0xE3, 0x8A, 0x32, 0xE6}},
  {" 96L(N28A)", 1, 4, {0xD3, 0x1C, 0x32, 0xC6}},
  {" 96L(N28A)", 1, 4, {0xD3, 0x9C, 0x32, 0xC6}},
  {" 96L(N28A)", 1, 4, {0xE3, 0x9D, 0x32, 0xC6}},
  {" 96L(N28A)", 1, 4, {0xF3, 0x9E, 0x32, 0xC6}},
  {" 96L(M26A)", 1, 4, {0xA3, 0x60, 0x32, 0xC6}},
  {" 128L(B36R)", 1, 4, {0xA3, 0x78, 0x32, 0xE5}},
  {" 128L(B37R)", 1, 4, {0xC3, 0x78, 0x32, 0xEA}},
  {" 176L(B47R)", 1, 4, {0xC3, 0x08, 0x32, 0xEA}},
  {" 176L(B47R)", 1, 4, {0xD3, 0x89, 0x32, 0xEA}},
  {" 176L(B47R)", 1, 4, {0xE3, 0x8A, 0x32, 0xEA}},
  // The one row that starts at the maker code: an Intel part only.
  {" 144L", 0, 5, {0x89, 0xD3, 0xAC, 0x32, 0xC6}},
};

// A key taken from the ID bytes and the label appended for it.
struct TechnologyRow {
  uint8_t key;
  char label[12];
};

// Toshiba family. Key: ID byte 5 AND 0x27.
inline constexpr TechnologyRow ToshibaTechTable[] = {
  {0x00, " A19nm"},
  {0x01, " 15nm"},
  {0x02, " 70nm"},
  {0x03, " 56nm"},
  {0x04, " 43nm"},
  {0x05, " 32nm"},
  {0x06, " 24nm"},
  {0x07, " 19nm"},
  {0x21, " 48L BiCS2"},
  {0x22, " 64L BiCS3"},
  {0x23, " 96L BiCS4"},
  {0x24, " 112L BiCS5"},
  {0x25, " 162L BiCS6"},
};

// Hynix row: a capacity table value counts per die (not per CE) after a row marked so.
struct HynixTechnologyRow {
  uint8_t key;
  char label[12];
  bool capacityIsPerDie;
};

// Hynix. Key: the whole of ID byte 5.
inline constexpr HynixTechnologyRow HynixTechTable[] = {
  {0x25, " 16nm", false},
  {0x40, " 16nm", false},
  {0x41, " 41nm", false},
  {0x42, " 32nm", false},
  {0x43, " 26nm", false},
  {0x44, " 20nm", false},
  {0x45, " 16nm", false},
  {0x48, " 16nm", false},
  {0x49, " 16nm", false},
  {0x4A, " 16nm", false},
  {0x50, " 14nm", false},
  {0x60, " 3dv1", false},
  {0x65, " 16nm", false},
  {0x70, " 3dv2-36L", true},
  {0x80, " 3dv3-48L", true},
  {0x90, " 3dv4-72L", true},
  {0xA0, " 3dv5-96L", true},
  {0xB0, " 3dv6-128L", true},
  {0xC3, " 26nm", false},
  {0xC4, " 20nm", false},
  {0xE0, " 14nm", false},
  {0xE5, " 16nm", false},
};

// Samsung. Key: ID byte 5 AND 0x7F.
inline constexpr TechnologyRow SamsungTechTable[] = {
  {0x40, " 51nm"},
  {0x41, " 42nm"},
  {0x42, " 32nm"},
  {0x43, " 27nm"},
  {0x44, " 21nm"},
  {0x45, " 19nm"},
  {0x46, " 16nm"},
  {0x47, " 3dv1-24L"},
  {0x48, " 3dv2-32L"},
  {0x49, " 3dv3-48L"},
  {0x4A, " 14nm"},
  {0x4B, " 3dv4-64L"},
  {0x4C, " 3dv5-92L"},
  {0x4D, " 3dv6-136L"},
};

// YMTC family. Key: bits 4 to 6 of ID byte 4.
inline constexpr TechnologyRow YmtcGenerationTable[] = {
  {1, " 3dv2-64L"},
  {2, " 3dv3-128L"},
  {3, " 3dv4"},
  {4, " 3dv5"},
};


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
