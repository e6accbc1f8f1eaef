#include <cstring>
#include "transport/byte_order.h"

#include <gtest/gtest.h>

namespace kzt {
namespace {

TEST(ByteOrder, ReadsAndWritesLittleEndianFields) {
  const uint8_t bytes[8] = {0xB0, 0xAD, 0x0B, 0x1D, 0x74, 0x00, 0x00, 0x80};
  EXPECT_EQ(readLe16(bytes), 0xADB0);
  EXPECT_EQ(readLe32(bytes), 0x1D0BADB0u);
  EXPECT_EQ(readLe64(bytes), 0x800000741D0BADB0ull);
  uint8_t out[8] = {};
  writeLe64(out, 0x800000741D0BADB0ull);
  EXPECT_EQ(0, std::memcmp(out, bytes, 8));
  writeLe16(out, 0x1234);
  writeLe32(out + 4, 0xCAFEF00D);
  const uint8_t expected[8] = {0x34, 0x12, 0x0B, 0x1D, 0x0D, 0xF0, 0xFE, 0xCA};
  EXPECT_EQ(0, std::memcmp(out, expected, 8));
}

}  // namespace
}  // namespace kzt
