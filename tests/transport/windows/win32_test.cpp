// The Win32 platform against the real Win32 API, run under Wine as root: \\.\PhysicalDrive0
// opens, the property query answers with bus type 1 and empty texts, and the pass-through
// control requests fail with ERROR_NOT_SUPPORTED (50) without writing anything back.
#include <gtest/gtest.h>

#include <vector>

#include "transport/platform.h"

namespace kzt {
namespace {

struct Win32Platform : ::testing::Test {
  Platform* os = systemPlatform();
  std::vector<uint8_t> data = std::vector<uint8_t>(512, 0xCF);
  AtaRequest identify{AtaOperation::In28, {.command = 0xEC, .count = 1}, data.data(), 512};
  AtaRequest getFid2{AtaOperation::In48, {.command = 0xFA, .device = 0xE0, .count = 1, .features = 0x41},
                     data.data(), 512};
  void SetUp() override {
    uint8_t type = 0xFF;
    if (!os->queryBusType(0, &type)) GTEST_SKIP() << "PhysicalDrive0 does not open (not root?)";
    EXPECT_EQ(type, 1);  // not USB: the native backend
    resetProbeState();
  }
  void TearDown() override { resetProbeState(); }
};

TEST_F(Win32Platform, FailedRequestsByTheVersionsRoute) {
  uint8_t status = 0x55;
  ataPassThroughAvailable = 1;
  EXPECT_EQ(os->sendNative(0, getFid2, &status), SendOutcome::Failed);
  EXPECT_EQ(os->lastErrorCode(), 50u);
  EXPECT_EQ(status, 0xFA);  // the block came back unwritten: it holds the command code
  EXPECT_EQ(data, std::vector<uint8_t>(512, 0xCF));
  ataPassThroughAvailable = 0;
  osVersion.dwMajorVersion = 5;  // the IDE request, which cannot carry a 48-bit data-in command
  EXPECT_EQ(os->sendNative(0, identify, &status), SendOutcome::Failed);
  EXPECT_EQ(status, 0xEC);
  status = 0x55;
  EXPECT_EQ(os->sendNative(0, getFid2, &status), SendOutcome::NotSent);
  osVersion.dwMajorVersion = 4;  // no pass-through at all
  EXPECT_EQ(os->sendNative(0, identify, &status), SendOutcome::NotSent);
  EXPECT_EQ(status, 0x55);
}

TEST_F(Win32Platform, FailedBridgeRequestHandsBackZerosAndTheListHasDriveZero) {
  EXPECT_EQ(os->sendBridge(0, getFid2), SendOutcome::Failed);
  EXPECT_EQ(os->lastErrorCode(), 50u);
  EXPECT_EQ(data, std::vector<uint8_t>(512, 0));
  std::vector<unsigned> drives;
  os->listDrives([](void* list, unsigned drive, const char*, const char*) {
    static_cast<std::vector<unsigned>*>(list)->push_back(drive);
  }, &drives);
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives[0], 0u);
}

}  // namespace
}  // namespace kzt
