#include "transport/windows_requests.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace kzt {
namespace {

// A 4096-byte answer buffer with a descriptor written at literal offsets.
struct Answer {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(4096, 0);
  void offsets(uint32_t vendor, uint32_t product) {
    le32(12, vendor);
    le32(16, product);
  }
  void le32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void text(size_t at, const char* s) { std::memcpy(bytes.data() + at, s, std::strlen(s)); }
  StorageDeviceInfo parse(uint32_t length) {
    StorageDeviceInfo info;
    parseStorageDeviceDescriptor(bytes.data(), length, &info);
    return info;
  }
};

TEST(StorageDescriptor, BusTypeAndTexts) {
  Answer a;
  a.le32(28, 7);  // BusTypeUsb
  a.offsets(40, 49);
  a.text(40, "Realtek");
  a.text(49, "RTL9210 NVME");
  const StorageDeviceInfo info = a.parse(64);
  EXPECT_EQ(info.busType, 7);
  EXPECT_STREQ(info.vendor, "Realtek");
  EXPECT_STREQ(info.product, "RTL9210 NVME");
}

TEST(StorageDescriptor, ZeroOffsetMeansNoText) {
  Answer a;
  a.le32(28, 11);
  a.offsets(0, 40);
  a.text(0, "x");  // byte 0 holds the descriptor's Version, never a text
  a.text(40, "SSD 512GB");
  const StorageDeviceInfo info = a.parse(52);
  EXPECT_EQ(info.busType, 11);
  EXPECT_STREQ(info.vendor, "");
  EXPECT_STREQ(info.product, "SSD 512GB");
}

TEST(StorageDescriptor, OffsetOutsideAnswerGivesEmptyText) {
  Answer a;
  a.offsets(60, 0xFFFFFFF0u);
  a.text(60, "STALE");  // left in the buffer by an earlier, longer answer
  const StorageDeviceInfo info = a.parse(60);  // answer ends right before the vendor text
  EXPECT_STREQ(info.vendor, "");
  EXPECT_STREQ(info.product, "");
}

TEST(StorageDescriptor, TextStopsAtEndOfAnswer) {
  Answer a;
  a.offsets(40, 44);
  a.text(40, "ABCDEFGHIJKL");  // no terminator inside the 48 returned bytes
  const StorageDeviceInfo info = a.parse(48);
  EXPECT_STREQ(info.vendor, "ABCDEFGH");
  EXPECT_STREQ(info.product, "EFGH");
}

TEST(StorageDescriptor, FullBufferWithoutTerminator) {
  Answer a;
  a.bytes.assign(4096, 'A');
  a.offsets(20, 4090);
  const StorageDeviceInfo info = a.parse(8192);  // a claimed length beyond the buffer is cut
  EXPECT_EQ(std::strlen(info.product), 6u);
  EXPECT_EQ(std::strlen(info.vendor), 4076u);  // from byte 20 to the last byte of the buffer
}

TEST(StorageDescriptor, ShortAnswerHoldsNeitherOffsetsNorBusType) {
  Answer a;
  a.le32(28, 7);
  a.offsets(20, 20);
  a.text(20, "X");
  StorageDeviceInfo info = a.parse(28);  // BusType not returned
  EXPECT_EQ(info.busType, 0);
  EXPECT_STREQ(info.vendor, "X");
  info = a.parse(15);  // VendorIdOffset only partly returned
  EXPECT_STREQ(info.vendor, "");
  EXPECT_STREQ(info.product, "");
}

}  // namespace
}  // namespace kzt
