#include "transport/windows_requests.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "transport/command_registers.h"
namespace kzt {
namespace {

using namespace testregs;

// Expected images are written out with literal offsets, field by field.
void put(std::vector<uint8_t>& image, size_t at, std::initializer_list<uint8_t> bytes) {
  for (uint8_t b : bytes) image[at++] = b;
}

constexpr uint8_t kUntouched = 0xEE;

AtaRequest request(AtaOperation op, const AtaRegisters& r, uint8_t* data, uint32_t length) {
  AtaRequest q;
  q.operation = op;
  q.registers = r;
  q.dataArea = data;
  q.length = length;
  return q;
}

// A data area as the command interface hands it over: the data-in marker, then zeros.
std::vector<uint8_t> markedArea(uint32_t length) {
  std::vector<uint8_t> area(length, 0);
  if (length > 0) area[0] = 0xCF;
  return area;
}

// Builds into a buffer pre-filled with a pattern, so that unwritten and overrun bytes show.
template <typename Build>
std::vector<uint8_t> built(size_t capacity, Build build, uint32_t* size) {
  std::vector<uint8_t> image(capacity, kUntouched);
  *size = build(image.data());
  return image;
}

TEST(AtaPassThroughImage, GetFwiX86) {
  auto area = markedArea(4096);
  const AtaRequest q = request(AtaOperation::In48, getFwi(), area.data(), 4096);
  uint32_t size = 0;
  auto image = built(44 + 4096 + 16, [&](uint8_t* p) {
    return buildAtaPassThroughRequest(kAtaPassThroughX86, q, p);
  }, &size);
  EXPECT_EQ(size, 4140u);

  std::vector<uint8_t> expected(44 + 4096, 0);
  put(expected, 0, {0x28, 0x00});                     // Length 40
  put(expected, 2, {0x1A, 0x00});                     // data-in, 48-bit, DMA
  put(expected, 8, {0x00, 0x10, 0x00, 0x00});         // DataTransferLength 4096
  put(expected, 12, {0x02, 0x00, 0x00, 0x00});        // TimeOutValue 2
  put(expected, 20, {0x2C, 0x00, 0x00, 0x00});        // DataBufferOffset 44
  put(expected, 24, {0x00, 0x00, 0xAF, 0x00, 0x00, 0x00, 0x00, 0x00});  // PreviousTaskFile
  put(expected, 32, {0x01, 0x08, 0x00, 0x50, 0xF0, 0xE0, 0xFA, 0x00});  // CurrentTaskFile
  expected[44] = 0xCF;
  EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 4140), expected);
  for (size_t i = 4140; i < image.size(); ++i) ASSERT_EQ(image[i], kUntouched) << i;
}

TEST(AtaPassThroughImage, GetFwiX64) {
  auto area = markedArea(4096);
  const AtaRequest q = request(AtaOperation::In48, getFwi(), area.data(), 4096);
  uint32_t size = 0;
  auto image = built(52 + 4096 + 16, [&](uint8_t* p) {
    return buildAtaPassThroughRequest(kAtaPassThroughX64, q, p);
  }, &size);
  EXPECT_EQ(size, 4148u);

  std::vector<uint8_t> expected(52 + 4096, 0);
  put(expected, 0, {0x30, 0x00});                     // Length 48
  put(expected, 2, {0x1A, 0x00});
  put(expected, 8, {0x00, 0x10, 0x00, 0x00});
  put(expected, 12, {0x02, 0x00, 0x00, 0x00});
  put(expected, 24, {0x34, 0, 0, 0, 0, 0, 0, 0});     // 64-bit DataBufferOffset 52
  put(expected, 32, {0x00, 0x00, 0xAF, 0x00, 0x00, 0x00, 0x00, 0x00});
  put(expected, 40, {0x01, 0x08, 0x00, 0x50, 0xF0, 0xE0, 0xFA, 0x00});
  expected[52] = 0xCF;
  EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 4148), expected);
  for (size_t i = 4148; i < image.size(); ++i) ASSERT_EQ(image[i], kUntouched) << i;
}

TEST(AtaPassThroughImage, NonDataCommandsCarryHeaderOnly) {
  // FID prefix: 48-bit non-data, both count bytes FF, nothing after the filler.
  const AtaRequest prefix = request(AtaOperation::NoData48, fidPrefix(), nullptr, 0);
  uint32_t size = 0;
  auto image = built(64, [&](uint8_t* p) {
    return buildAtaPassThroughRequest(kAtaPassThroughX86, prefix, p);
  }, &size);
  EXPECT_EQ(size, 44u);
  std::vector<uint8_t> expected(44, 0);
  put(expected, 0, {0x28, 0x00, 0x08, 0x00});
  put(expected, 12, {0x02});
  put(expected, 20, {0x2C});
  put(expected, 24, {0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  put(expected, 32, {0x50, 0xFF, 0x00, 0x00, 0x00, 0xE0, 0xFC, 0x00});
  EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 44), expected);
  EXPECT_EQ(image[44], kUntouched);

  // SMART enable: 28-bit non-data, AtaFlags 0, x64 size 52.
  const AtaRequest enable = request(AtaOperation::NoData28, smartEnable(), nullptr, 0);
  image = built(64, [&](uint8_t* p) {
    return buildAtaPassThroughRequest(kAtaPassThroughX64, enable, p);
  }, &size);
  EXPECT_EQ(size, 52u);
  expected.assign(52, 0);
  put(expected, 0, {0x30, 0x00, 0x00, 0x00});
  put(expected, 12, {0x02});
  put(expected, 24, {0x34});
  put(expected, 40, {0xD8, 0x00, 0x00, 0x4F, 0xC2, 0x40, 0xB0, 0x00});
  EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 52), expected);
}

TEST(AtaPassThroughImage, IdentifyLeavesPreviousTaskFileEmpty) {
  AtaRegisters r = identify();
  r.prevCount = 0x12;  // stray high-order values of a 28-bit command never travel
  r.prevLbaLow = 0x34;
  auto area = markedArea(512);
  const AtaRequest q = request(AtaOperation::In28, r, area.data(), 512);
  std::vector<uint8_t> image(44 + 512, kUntouched);
  EXPECT_EQ(buildAtaPassThroughRequest(kAtaPassThroughX86, q, image.data()), 556u);
  EXPECT_EQ(image[2], 0x02);
  EXPECT_EQ(image[8], 0x00);
  EXPECT_EQ(image[9], 0x02);  // 512
  for (int i = 24; i < 32; ++i) EXPECT_EQ(image[i], 0x00) << i;
  EXPECT_EQ(std::vector<uint8_t>(image.begin() + 32, image.begin() + 40),
            (std::vector<uint8_t>{0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xEC, 0x00}));
}

TEST(AtaPassThroughImage, FlagsByOperation) {
  auto flags = [](AtaOperation op, uint8_t command, uint32_t length) {
    AtaRegisters r;
    r.command = command;
    return ataPassThroughFlags(request(op, r, nullptr, length));
  };
  EXPECT_EQ(flags(AtaOperation::In28, 0xEC, 512), 0x02);
  EXPECT_EQ(flags(AtaOperation::In28, 0xFA, 512), 0x02);  // DMA only for 48-bit FA/FB
  EXPECT_EQ(flags(AtaOperation::NoData28, 0xB0, 0), 0x00);
  EXPECT_EQ(flags(AtaOperation::In48, 0x25, 512), 0x0A);
  EXPECT_EQ(flags(AtaOperation::In48, 0xFA, 512), 0x1A);
  EXPECT_EQ(flags(AtaOperation::In48, 0xFB, 512), 0x1A);
  EXPECT_EQ(flags(AtaOperation::NoData48, 0xFC, 0), 0x08);
  EXPECT_EQ(flags(AtaOperation::NoData48, 0xFA, 0), 0x18);
  EXPECT_EQ(flags(AtaOperation::In48, 0xFA, 0), 0x18);  // no data asked: no data-in flag
}

TEST(AtaPassThroughImage, LargestTransferAndStatusByte) {
  auto area = markedArea(65536);
  AtaRegisters r = getFwi();
  const AtaRequest q = request(AtaOperation::In48, r, area.data(), 65536);
  std::vector<uint8_t> image(52 + 65536);
  EXPECT_EQ(buildAtaPassThroughRequest(kAtaPassThroughX86, q, image.data()), 65580u);
  EXPECT_EQ(std::vector<uint8_t>(image.begin() + 8, image.begin() + 12),
            (std::vector<uint8_t>{0x00, 0x00, 0x01, 0x00}));
  EXPECT_EQ(buildAtaPassThroughRequest(kAtaPassThroughX64, q, image.data()), 65588u);

  // The status comes back in byte 6 of CurrentTaskFile: 38 on x86, 46 on x64.
  std::vector<uint8_t> answer(64, 0);
  answer[38] = 0x51;
  answer[46] = 0x50;
  EXPECT_EQ(ataPassThroughStatus(kAtaPassThroughX86, answer.data()), 0x51);
  EXPECT_EQ(ataPassThroughStatus(kAtaPassThroughX64, answer.data()), 0x50);
}

TEST(NativeRoute, ByOperationAndSystem) {
  const AtaOperation all[] = {AtaOperation::In28, AtaOperation::NoData28, AtaOperation::In48,
                              AtaOperation::NoData48};
  for (AtaOperation op : all) {
    EXPECT_EQ(windowsNativeRoute(op, 1, 10), NativeRoute::AtaPassThrough);
    EXPECT_EQ(windowsNativeRoute(op, 1, 0), NativeRoute::AtaPassThrough);
    EXPECT_EQ(windowsNativeRoute(op, 0, 4), NativeRoute::None);
  }
  // 5.1 before service pack 2: Identify, SMART and FID prefix take the fallback, the vendor
  // data-in commands have no way.
  EXPECT_EQ(windowsNativeRoute(AtaOperation::In28, 0, 5), NativeRoute::IdePassThrough);
  EXPECT_EQ(windowsNativeRoute(AtaOperation::NoData28, 0, 5), NativeRoute::IdePassThrough);
  EXPECT_EQ(windowsNativeRoute(AtaOperation::NoData48, 0, 5), NativeRoute::IdePassThrough);
  EXPECT_EQ(windowsNativeRoute(AtaOperation::In48, 0, 5), NativeRoute::None);
  EXPECT_EQ(windowsNativeRoute(AtaOperation::In48, 0, 6), NativeRoute::None);
}

TEST(IdePassThroughImage, IdentifyBlock) {
  std::vector<uint8_t> block(12 + 512, 0);
  block[12] = kUntouched;  // the data area is the allocator's, not the builder's
  auto area = markedArea(512);
  const AtaRequest q = request(AtaOperation::In28, identify(), area.data(), 512);
  EXPECT_EQ(buildIdePassThroughRequest(q, block.data()), 524u);
  EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 13),
            (std::vector<uint8_t>{0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xEC, 0x00, 0x00, 0x02,
                                  0x00, 0x00, kUntouched}));
}

TEST(IdePassThroughImage, FortyEightBitCommandLosesHighOrderRegisters) {
  std::vector<uint8_t> block(16, kUntouched);
  const AtaRequest q = request(AtaOperation::NoData48, fidPrefix(), nullptr, 0);
  EXPECT_EQ(buildIdePassThroughRequest(q, block.data()), 12u);
  EXPECT_EQ(block, (std::vector<uint8_t>{0x50, 0xFF, 0x00, 0x00, 0x00, 0xE0, 0xFC, 0x00, 0x00,
                                         0x00, 0x00, 0x00, kUntouched, kUntouched, kUntouched,
                                         kUntouched}));
}

TEST(SatRequestImage, IdentifyX86) {
  auto area = markedArea(512);  // the bridge carries no marker
  const AtaRequest q = request(AtaOperation::In28, identify(), area.data(), 512);
  std::vector<uint8_t> image(80 + 512 + 8, kUntouched);
  const SatRequestSizes sizes = buildSatRequest(kScsiPassThroughX86, q, image.data());
  EXPECT_EQ(sizes.input, 44u);
  EXPECT_EQ(sizes.output, 592u);

  std::vector<uint8_t> expected(592, 0);
  put(expected, 0, {0x2C, 0x00});                 // Length 44
  put(expected, 6, {0x0C, 0x18, 0x01});           // CdbLength 12, SenseInfoLength 24, DataIn
  put(expected, 12, {0x00, 0x02, 0x00, 0x00});    // DataTransferLength 512
  put(expected, 16, {0x02, 0x00, 0x00, 0x00});    // TimeOutValue 2
  put(expected, 20, {0x50, 0x00, 0x00, 0x00});    // DataBufferOffset 80
  put(expected, 24, {0x30, 0x00, 0x00, 0x00});    // SenseInfoOffset 48
  put(expected, 28, {0xA1, 0x08, 0x0E, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0xEC, 0x00, 0x00});
  EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 592), expected);
  for (size_t i = 592; i < image.size(); ++i) EXPECT_EQ(image[i], kUntouched) << i;
}

TEST(SatRequestImage, FidPrefixX86IsNonData) {
  const AtaRequest q = request(AtaOperation::NoData48, fidPrefix(), nullptr, 0);
  std::vector<uint8_t> image(88, kUntouched);
  const SatRequestSizes sizes = buildSatRequest(kScsiPassThroughX86, q, image.data());
  EXPECT_EQ(sizes.input, 44u);
  EXPECT_EQ(sizes.output, 80u);
  std::vector<uint8_t> expected(80, 0);
  put(expected, 0, {0x2C, 0x00});
  put(expected, 6, {0x10, 0x18, 0x02});           // CdbLength 16, DataIn unspecified
  put(expected, 16, {0x02});
  put(expected, 20, {0x50});
  put(expected, 24, {0x30});
  put(expected, 28, {0x85, 0x06, 0x0C, 0x00, 0x50, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00,
                     0x00, 0xE0, 0xFC, 0x00});
  EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 80), expected);
  EXPECT_EQ(image[80], kUntouched);
}

TEST(SatRequestImage, GetFwiX64) {
  auto area = markedArea(4096);
  const AtaRequest q = request(AtaOperation::In48, getFwi(), area.data(), 4096);
  std::vector<uint8_t> image(92 + 4096, kUntouched);
  const SatRequestSizes sizes = buildSatRequest(kScsiPassThroughX64, q, image.data());
  EXPECT_EQ(sizes.input, 56u);
  EXPECT_EQ(sizes.output, 4188u);

  std::vector<uint8_t> expected(92 + 4096, 0);
  put(expected, 0, {0x38, 0x00});                 // Length 56
  put(expected, 6, {0x10, 0x18, 0x01});
  put(expected, 12, {0x00, 0x10, 0x00, 0x00});    // 4096
  put(expected, 16, {0x02, 0x00, 0x00, 0x00});
  put(expected, 24, {0x5C, 0, 0, 0, 0, 0, 0, 0}); // 64-bit DataBufferOffset 92
  put(expected, 32, {0x3C, 0x00, 0x00, 0x00});    // SenseInfoOffset 60
  put(expected, 36, {0x85, 0x14, 0x0E, 0x00, 0x01, 0x00, 0x08, 0xAF, 0x00, 0x00, 0x50, 0x00,
                     0xF0, 0xE0, 0xFA, 0x00});
  EXPECT_EQ(image, expected);
}

}  // namespace
}  // namespace kzt
