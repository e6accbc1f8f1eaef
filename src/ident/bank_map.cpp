#include "ident/bank_map.h"

#include "frontend/output.h"
#include "nandid/flash_id.h"
#include "transport/byte_order.h"

namespace kzt {

namespace {
constexpr unsigned kDescriptionSize = 128;
// "Flash CE Mask : [" + 64 marks + 7 separating spaces + "]\n" and the terminator.
constexpr unsigned kMaskLineSize = 17 + 64 + 7 + 2 + 1;
}  // namespace

int isBankMarked(const CeMask& mask, unsigned channel, unsigned ce) {
  return (mask.channels[channel] >> ce) & 1;
}

void markBank(CeMask* mask, unsigned bank) {
  mask->channels[bank / kCesPerChannel] |= static_cast<uint8_t>(1u << (bank % kCesPerChannel));
}

void listBanks(const FlashIdTable& table, CeMask* mask) {
  uint32_t referenceId = 0;
  for (unsigned n = 0; n < kFlashIdRecordCount; ++n) {
    const uint8_t* id = table.records[n].id;
    if (!isBankPopulated(table.records[n])) continue;
    char description[kDescriptionSize] = {};
    DecodeFlashId(id, description);
    printBoth("Bank%02u: 0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x - %s\n", n, id[0], id[1], id[2],
              id[3], id[4], id[5], id[6], id[7], description);
    // While the reference is zero (a first bank whose first four bytes are zero) every listed
    // bank sets it anew.
    const uint32_t firstFour = readLe32(id);
    if (referenceId == 0) referenceId = firstFour;
    if (firstFour == referenceId) markBank(mask, n);
  }
}

unsigned ceMaskWidth(const CeMask& mask) {
  for (unsigned h = 4; h < kChannelCount; ++h) {
    if (mask.channels[h] != 0) return 64;
  }
  if (mask.channels[2] != 0 || mask.channels[3] != 0) return 32;
  return 16;
}

void printCeMask(const CeMask& mask) {
  char line[kMaskLineSize] = "Flash CE Mask : [";
  unsigned length = 17;
  const unsigned width = ceMaskWidth(mask);
  for (unsigned i = 0; i < width; ++i) {
    if (i != 0 && i % kCesPerChannel == 0) line[length++] = ' ';
    line[length++] = isBankMarked(mask, i / kCesPerChannel, i % kCesPerChannel) ? '+' : '-';
  }
  line[length++] = ']';
  line[length++] = '\n';
  line[length] = '\0';
  printBoth("%s", line);
}

}  // namespace kzt
