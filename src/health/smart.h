#pragma once
#include <cstdint>

#include "transport/byte_order.h"

namespace kzt {

constexpr uint32_t kSmartDataSize = 512;
constexpr const char* kSmartDumpName = "smart.bin";

// Switches SMART on, reads the SMART data block, tests its checksum and dumps it. Stops at the
// first failure: then there is no dump, and the block counts in answersMissing.
void readSmart(const char* dumpFileName);

// The ATA standard's rule for the 512-byte SMART data block: all bytes add up to 0 modulo 256.
// A block of zeros (no answer) does not pass.
inline int smartChecksumValid(const uint8_t* data) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < kSmartDataSize; ++i) sum += data[i];
  return sum != 0 && (sum & 0xFF) == 0;
}

// The attribute table of the SMART data block as drives fill it: 30 entries of 12 bytes from
// byte 2, each the attribute id (0: an unused entry), 16 bits of flags, the current and the worst
// normalised value, then 6 raw bytes, little-endian. kzt_fid only dumps the block; kzt_inspect
// lists the entries.
constexpr unsigned kSmartAttributeCount = 30;
struct SmartAttribute {
  uint8_t id = 0;
  uint16_t flags = 0;
  uint8_t value = 0;
  uint8_t worst = 0;
  uint64_t raw = 0;  // 48 bits
};

inline SmartAttribute readSmartAttribute(const uint8_t* data, unsigned index) {
  const uint8_t* entry = data + 2 + 12 * index;
  SmartAttribute attribute;
  attribute.id = entry[0];
  attribute.flags = readLe16(entry + 1);
  attribute.value = entry[3];
  attribute.worst = entry[4];
  attribute.raw = readLe32(entry + 5) | (static_cast<uint64_t>(readLe16(entry + 9)) << 32);
  return attribute;
}

}  // namespace kzt
