#include "ident/flash_id_table.h"

namespace kzt {

namespace {
constexpr uint32_t kFirstRecordOffset = 16;
}

void parseFlashIdTable(const uint8_t* answer, FlashIdTable* table) {
  for (unsigned n = 0; n < kFlashIdRecordCount; ++n) {
    const uint8_t* record = answer + kFirstRecordOffset + kFlashIdLength * n;
    for (unsigned i = 0; i < kFlashIdLength; ++i) table->records[n].id[i] = record[i];
  }
}

int isBankPopulated(const FlashIdRecord& record) {
  for (unsigned i = 0; i < kFlashIdLength; ++i) {
    if (record.id[i] != 0) return 1;
  }
  return 0;
}

}  // namespace kzt
