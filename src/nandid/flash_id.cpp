#include "nandid/flash_id.h"

#include <cstring>

#include "nandid/description_steps.h"
#include "nandid/maker_table.h"

namespace kzt {

namespace {

constexpr char kDecoderVersion[] = "v2.68a";
constexpr size_t kMakerNameSize = 16;

}  // namespace

int DecodeFlashId(const uint8_t* id, char* description) {
  if (description == nullptr) return 0;
  DescriptionText text;
  startDescription(&text, description, kDescriptionSize);
  if (id == nullptr || id[0] == 0x00) return 0;
  const FlashMaker* maker = findFlashMaker(id[0]);
  if (maker == nullptr) return 0;

  appendPiece(&text, maker->name);
  const MakerFamily family = makerFamily(id[0]);
  bool capacityIsPerDie = false;
  appendTechnology(id, family, &text, &capacityIsPerDie);
  appendCellType(id, &text);
  appendPageSize(id, family, &text);
  appendCapacity(id, family, capacityIsPerDie, &text);
  appendPlanesPerDie(id, family, &text);
  return 1;
}

int FlashMakerName(const uint8_t* id, char* name) {
  if (name == nullptr) return 0;
  name[0] = '\0';
  if (id == nullptr) return 0;
  if (id[0] == 0x00) return 1;
  const FlashMaker* maker = findFlashMaker(id[0]);
  if (maker == nullptr) return 0;
  static_assert(sizeof maker->name == kMakerNameSize, "names fit the caller's 16 bytes");
  std::memcpy(name, maker->name, std::strlen(maker->name) + 1);
  return 1;
}

void FlashIdDecoderVersion(char* version) {
  if (version == nullptr) return;
  std::memcpy(version, kDecoderVersion, sizeof kDecoderVersion);
}

}  // namespace kzt
