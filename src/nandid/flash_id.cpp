#include "nandid/flash_id.h"

namespace kzt {

int DecodeFlashId(const uint8_t*, char* description) {
  description[0] = '\0';
  return 0;
}

int FlashMakerName(const uint8_t*, char* name) {
  name[0] = '\0';
  return 0;
}

void FlashIdDecoderVersion(char* version) { version[0] = '\0'; }

}  // namespace kzt
