#include "health/bbec_answer.h"

#include "transport/byte_order.h"

namespace kzt {

namespace {
constexpr uint32_t kEntrySize = 4;
constexpr uint32_t kListEnd = 0xFFFFFFFF;
}  // namespace

uint8_t bankSelector(unsigned channel, unsigned ce) {
  return static_cast<uint8_t>((channel << 4) | (ce & 0x0F));
}

BadBlockEntry readBadBlockEntry(const uint8_t* list, unsigned index) {
  const uint8_t* entry = list + kEntrySize * index;
  BadBlockEntry result;
  result.kind = entry[0];
  result.blockNumber = readLe16(entry + 2);
  result.endsList = readLe32(entry) == kListEnd;
  return result;
}

uint16_t eraseCountOf(const BbecAnswer& answer, unsigned block) {
  return readLe16(answer.bytes + BbecAnswer::kEraseCountAreaOffset + 2 * block);
}

}  // namespace kzt
