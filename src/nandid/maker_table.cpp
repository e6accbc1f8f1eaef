#include "nandid/maker_table.h"

namespace kzt {

const FlashMaker* findFlashMaker(uint8_t code) {
  for (const FlashMaker& maker : FlashMakerTable) {
    if (maker.code == code) return &maker;
  }
  return nullptr;
}

MakerFamily makerFamily(uint8_t code) {
  switch (code) {
    case 0x2C:
    case 0x89:
    case 0xB5:
      return MakerFamily::Micron;
    case 0x98:
    case 0x45:
      return MakerFamily::Toshiba;
    case 0xAD:
      return MakerFamily::Hynix;
    case 0xEC:
      return MakerFamily::Samsung;
    case 0x9B:
      return MakerFamily::Ymtc;
    default:
      return MakerFamily::Other;
  }
}

}  // namespace kzt
