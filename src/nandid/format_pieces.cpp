#include <cstdio>

#include "nandid/capacity_tables.h"
#include "nandid/description_steps.h"

namespace kzt {

namespace {

// Room for any formatted piece; a piece that doesn't fit here isn't appended at all.
constexpr int kPieceSize = 32;

// 1 and *gigabits set when the device code is in the family's capacity table.
template <int N>
int findCapacity(const CapacityRow (&rows)[N], uint8_t deviceCode, int* gigabits) {
  for (const CapacityRow& row : rows) {
    if (row.deviceCode == deviceCode) {
      *gigabits = row.gigabits;
      return 1;
    }
  }
  return 0;
}

int familyCapacity(MakerFamily family, uint8_t deviceCode, int* gigabits) {
  switch (family) {
    case MakerFamily::Toshiba:
      return findCapacity(ToshibaCapacityTable, deviceCode, gigabits);
    case MakerFamily::Hynix:
      return findCapacity(HynixCapacityTable, deviceCode, gigabits);
    case MakerFamily::Samsung:
      return findCapacity(SamsungCapacityTable, deviceCode, gigabits);
    case MakerFamily::Micron:
      return findCapacity(MicronCapacityTable, deviceCode, gigabits);
    case MakerFamily::Ymtc:
      return findCapacity(YmtcCapacityTable, deviceCode, gigabits);
    case MakerFamily::Other:
      break;
  }
  return 0;
}

void appendPlanes(unsigned planes, DescriptionText* text) {
  char piece[kPieceSize];
  const int n = std::snprintf(piece, sizeof piece, " %uPlane/die", planes);
  if (n > 0 && n < kPieceSize) appendPiece(text, piece);
}

}  // namespace

void appendCellType(const uint8_t* id, DescriptionText* text) {
  appendPiece(text, CellTypeNames[(id[2] >> 2) & 3]);
}

void appendPageSize(const uint8_t* id, MakerFamily family, DescriptionText* text) {
  const int code = id[3] & 3;
  switch (family) {
    case MakerFamily::Toshiba:
    case MakerFamily::Samsung:
    case MakerFamily::Hynix:
      appendPiece(text, PageSizeNames[code]);
      break;
    case MakerFamily::Ymtc:
      if (code < 2) appendPiece(text, YmtcPageSizeNames[code]);
      break;
    case MakerFamily::Micron:
    case MakerFamily::Other:
      break;
  }
}

void appendCapacity(const uint8_t* id, MakerFamily family, bool capacityIsPerDie,
                    DescriptionText* text) {
  int value = 0;
  if (!familyCapacity(family, id[1], &value)) return;
  const int dies = 1 << (id[2] & 3);
  const bool printInTerabits = family == MakerFamily::Toshiba && value == kTerabitCapacity;
  int ceCapacity = value;
  int dieCapacity = value / dies;
  if (capacityIsPerDie) {
    ceCapacity = value * dies;
    dieCapacity = value;
  }

  char perCe[kPieceSize];
  char perDie[kPieceSize];
  int ceLength = 0;
  int dieLength = 0;
  if (printInTerabits) {
    // Gigabits to terabits: times 2 to the power -10.
    ceLength = std::snprintf(perCe, sizeof perCe, " %0.2fTb/CE", ceCapacity * 0.0009765625);
    dieLength = std::snprintf(perDie, sizeof perDie, " %0.2fTb/die", dieCapacity * 0.0009765625);
  } else {
    ceLength = std::snprintf(perCe, sizeof perCe, " %dGb/CE", ceCapacity);
    dieLength = std::snprintf(perDie, sizeof perDie, " %dGb/die", dieCapacity);
  }
  if (ceLength <= 0 || ceLength >= kPieceSize || dieLength <= 0 || dieLength >= kPieceSize) return;
  if (appendPiece(text, perCe)) appendPiece(text, perDie);
}

void appendPlanesPerDie(const uint8_t* id, MakerFamily family, DescriptionText* text) {
  if (family == MakerFamily::Toshiba) {
    // Plane code of the whole CE minus the die code. An ID that claims fewer planes per CE than
    // dies is inconsistent: no plane count can be stated for it, so none is.
    const int exponent = ((id[4] >> 2) & 3) - (id[2] & 3);
    if (exponent >= 0) appendPlanes(1u << exponent, text);
  } else if (family == MakerFamily::Ymtc) {
    appendPlanes(1u << ((id[3] >> 5) & 3), text);
  }
}

}  // namespace kzt
