#include "nandid/description_steps.h"

namespace kzt {

namespace {

const char* micronTechnology(const uint8_t* id) {
  for (const PartSignature& row : PartSignatureTable) {
    if (partSignatureMatches(row, id)) return row.label;
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

}  // namespace

int partSignatureMatches(const PartSignature& row, const uint8_t* id) {
  if (row.start + row.length > kDecodedIdBytes) return 0;
  for (int k = 0; k < row.length; ++k) {
    if (id[row.start + k] != row.signature[k]) return 0;
  }
  return 1;
}

void appendTechnology(const uint8_t* id, MakerFamily family, DescriptionText* text,
                      bool* capacityIsPerDie) {
  *capacityIsPerDie = false;
  const char* label = nullptr;
  switch (family) {
    case MakerFamily::Micron:
      label = micronTechnology(id);
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
  if (label != nullptr) appendPiece(text, label);
}

}  // namespace kzt
