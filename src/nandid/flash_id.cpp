#include "nandid/flash_id.h"

#include <cstdio>
#include <cstring>

#include "nandid/flash_tables.h"

namespace kzt {

namespace {

constexpr char kDecoderVersion[] = "v2.68a";

// ID bytes the decoder reads (0 to 5).
constexpr int kDecodedIdBytes = 6;

// Room for any formatted piece; a piece that doesn't fit here isn't appended at all.
constexpr int kPieceSize = 32;

// A text being built piece by piece at the end of the caller's buffer. A piece that doesn't fit
// whole is left out, so the text never holds half a piece and never runs past the buffer; it is
// NUL-terminated after every piece.
struct Description {
  char* buffer;
  int length;

  void append(const char* piece) {
    const size_t pieceLength = std::strlen(piece);
    if (pieceLength >= static_cast<size_t>(kDescriptionSize - length)) return;
    std::memcpy(buffer + length, piece, pieceLength + 1);
    length += static_cast<int>(pieceLength);
  }
};

const FlashMaker* findFlashMaker(uint8_t code) {
  for (const FlashMaker& maker : FlashMakerTable) {
    if (maker.code == code) return &maker;
  }
  return nullptr;
}

template <typename Row, int N>
const Row* findRow(const Row (&rows)[N], uint8_t key) {
  for (const Row& row : rows) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

template <int N>
const char* findLabel(const TechnologyRow (&rows)[N], uint8_t key) {
  const TechnologyRow* row = findRow(rows, key);
  return row != nullptr ? row->label : nullptr;
}

// 1 when ID bytes start .. start+length-1 equal the row's signature. A row that would reach past
// byte 5 never matches.
int partSignatureMatches(const PartSignature& row, const uint8_t* id) {
  if (row.start + row.length > kDecodedIdBytes) return 0;
  for (int k = 0; k < row.length; ++k) {
    if (id[row.start + k] != row.signature[k]) return 0;
  }
  return 1;
}

// Process node, 3D generation or Micron-family die code. *capacityIsPerDie is set when a Hynix
// row says the capacity table value counts per die, cleared otherwise.
void appendTechnology(const uint8_t* id, MakerFamily family, Description* text,
                      bool* capacityIsPerDie) {
  *capacityIsPerDie = false;
  const char* label = nullptr;
  switch (family) {
    case MakerFamily::Micron:
      for (const PartSignature& row : PartSignatureTable) {
        if (partSignatureMatches(row, id)) {
          label = row.label;
          break;
        }
      }
      break;
    case MakerFamily::Toshiba:
      label = findLabel(ToshibaTechTable, id[5] & 0x27);
      break;
    case MakerFamily::Hynix: {
      const HynixTechnologyRow* row = findRow(HynixTechTable, id[5]);
      if (row != nullptr) {
        label = row->label;
        *capacityIsPerDie = row->capacityIsPerDie;
      }
      break;
    }
    case MakerFamily::Samsung:
      label = findLabel(SamsungTechTable, id[5] & 0x7F);
      break;
    case MakerFamily::Ymtc:
      label = findLabel(YmtcGenerationTable, (id[4] >> 4) & 7);
      break;
    case MakerFamily::Other:
      break;
  }
  if (label != nullptr) text->append(label);
}

void appendPageSize(const uint8_t* id, MakerFamily family, Description* text) {
  const int code = id[3] & 3;
  switch (family) {
    case MakerFamily::Toshiba:
    case MakerFamily::Samsung:
    case MakerFamily::Hynix:
      text->append(PageSizeNames[code]);
      break;
    case MakerFamily::Ymtc:
      if (code < 2) text->append(YmtcPageSizeNames[code]);
      break;
    case MakerFamily::Micron:
    case MakerFamily::Other:
      break;
  }
}

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
    case MakerFamily::Toshiba: return findCapacity(ToshibaCapacityTable, deviceCode, gigabits);
    case MakerFamily::Hynix: return findCapacity(HynixCapacityTable, deviceCode, gigabits);
    case MakerFamily::Samsung: return findCapacity(SamsungCapacityTable, deviceCode, gigabits);
    case MakerFamily::Micron: return findCapacity(MicronCapacityTable, deviceCode, gigabits);
    case MakerFamily::Ymtc: return findCapacity(YmtcCapacityTable, deviceCode, gigabits);
    case MakerFamily::Other: break;
  }
  return 0;
}

// Capacity per CE, then per die, when the device code is in the family's capacity table.
void appendCapacity(const uint8_t* id, MakerFamily family, bool capacityIsPerDie,
                    Description* text) {
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
  const int before = text->length;
  text->append(perCe);
  if (text->length != before) text->append(perDie);
}

void appendPlanes(unsigned planes, Description* text) {
  char piece[kPieceSize];
  const int n = std::snprintf(piece, sizeof piece, " %uPlane/die", planes);
  if (n > 0 && n < kPieceSize) text->append(piece);
}

void appendPlanesPerDie(const uint8_t* id, MakerFamily family, Description* text) {
  if (family == MakerFamily::Toshiba) {
    // Plane code of the whole CE minus the die code. An ID that claims fewer planes per CE than
    // dies is inconsistent: no plane count can be stated for it, so none is.
    const int exponent = ((id[4] >> 2) & 3) - (id[2] & 3);
    if (exponent >= 0) appendPlanes(1u << exponent, text);
  } else if (family == MakerFamily::Ymtc) {
    appendPlanes(1u << ((id[3] >> 5) & 3), text);
  }
}

}  // namespace

int DecodeFlashId(const uint8_t* id, char* description) {
  if (description == nullptr) return 0;
  description[0] = '\0';
  if (id == nullptr || id[0] == 0x00) return 0;
  const FlashMaker* maker = findFlashMaker(id[0]);
  if (maker == nullptr) return 0;

  Description text{description, 0};
  text.append(maker->name);
  bool capacityIsPerDie = false;
  appendTechnology(id, maker->family, &text, &capacityIsPerDie);
  text.append(CellTypeNames[(id[2] >> 2) & 3]);
  appendPageSize(id, maker->family, &text);
  appendCapacity(id, maker->family, capacityIsPerDie, &text);
  appendPlanesPerDie(id, maker->family, &text);
  return 1;
}

int FlashMakerName(const uint8_t* id, char* name) {
  if (name == nullptr) return 0;
  name[0] = '\0';
  if (id == nullptr) return 0;
  if (id[0] == 0x00) return 1;
  const FlashMaker* maker = findFlashMaker(id[0]);
  if (maker == nullptr) return 0;
  std::memcpy(name, maker->name, std::strlen(maker->name) + 1);
  return 1;
}

void FlashIdDecoderVersion(char* version) {
  if (version == nullptr) return;
  std::memcpy(version, kDecoderVersion, sizeof kDecoderVersion);
}

}  // namespace kzt
