#include "health/bbec_answer.h"

#include "transport/byte_order.h"

namespace kzt {

uint8_t bankSelector(unsigned channel, unsigned ce) {
  return static_cast<uint8_t>((channel << 4) | (ce & 0x0F));
}

uint16_t eraseCountOf(const BbecAnswer& answer, unsigned block) {
  return readLe16(answer.bytes + BbecAnswer::kEraseCountAreaOffset + 2 * block);
}

}  // namespace kzt
