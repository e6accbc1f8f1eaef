// Runs under Wine as root, where \\.\PhysicalDrive0 opens, the property query answers with bus
// type 1 and empty texts, and the pass-through control requests fail with ERROR_NOT_SUPPORTED
// without writing anything back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/platform.h"
#include "transport/platform.h"

namespace kzt {
namespace {

constexpr uint32_t kErrorNotSupported = 50;

class Win32Platform : public ::testing::Test {
 protected:
  void SetUp() override {
    os = systemPlatform();
    uint8_t type = 0;
    if (!os->queryBusType(0, &type)) GTEST_SKIP() << "PhysicalDrive0 does not open (not root?)";
    resetProbeState();
  }
  void TearDown() override { resetProbeState(); }

  static AtaRequest identify(uint8_t* data) {
    AtaRequest q;
    q.operation = AtaOperation::In28;
    q.registers.command = 0xEC;
    q.registers.count = 1;
    q.dataArea = data;
    q.length = 512;
    return q;
  }

  static AtaRequest getFid2(uint8_t* data) {
    AtaRequest q;
    q.operation = AtaOperation::In48;
    q.registers.command = 0xFA;
    q.registers.device = 0xE0;
    q.registers.count = 1;
    q.registers.features = 0x41;
    q.dataArea = data;
    q.length = 512;
    return q;
  }

  Platform* os = nullptr;
};

TEST_F(Win32Platform, VersionAllowsAtaPassThrough) {
  OsVersion version;
  int available = 0;
  os->probeOsVersion(&version, &available);
  EXPECT_GE(version.dwMajorVersion, 6u);
  EXPECT_EQ(available, 1);
}

TEST_F(Win32Platform, DriveZeroAnswersThePropertyQuery) {
  uint8_t type = 0xFF;
  EXPECT_EQ(os->queryBusType(0, &type), 1);
  EXPECT_EQ(type, 1);  // not USB: the native backend

  struct Line {
    unsigned drive;
    std::string vendor, product;
  };
  std::vector<Line> lines;
  os->listDrives(
      [](void* context, unsigned drive, const char* vendor, const char* product) {
        static_cast<std::vector<Line>*>(context)->push_back({drive, vendor, product});
      },
      &lines);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].drive, 0u);
  EXPECT_EQ(lines[0].vendor, "");
  EXPECT_EQ(lines[0].product, "");
  for (size_t i = 1; i < lines.size(); ++i) EXPECT_LT(lines[i - 1].drive, lines[i].drive);
}

TEST_F(Win32Platform, FailedNativeRequestLeavesCommandInStatus) {
  ataPassThroughAvailable = 1;
  std::vector<uint8_t> data(512, 0);
  data[0] = 0xCF;
  uint8_t status = 0;
  EXPECT_EQ(os->sendNative(0, identify(data.data()), &status), SendOutcome::Failed);
  EXPECT_EQ(os->lastErrorCode(), kErrorNotSupported);
  EXPECT_EQ(status, 0xEC);
  EXPECT_EQ(data[0], 0xCF);  // nothing copied back after a failure

  EXPECT_EQ(os->sendNative(0, getFid2(data.data()), &status), SendOutcome::Failed);
  EXPECT_EQ(status, 0xFA);
}

TEST_F(Win32Platform, IdeFallbackOnOlderSystems) {
  ataPassThroughAvailable = 0;
  osVersion.dwMajorVersion = 5;
  std::vector<uint8_t> data(512, 0);
  uint8_t status = 0;
  EXPECT_EQ(os->sendNative(0, identify(data.data()), &status), SendOutcome::Failed);
  EXPECT_EQ(os->lastErrorCode(), kErrorNotSupported);
  EXPECT_EQ(status, 0xEC);

  status = 0x55;
  EXPECT_EQ(os->sendNative(0, getFid2(data.data()), &status), SendOutcome::NotSent);
  EXPECT_EQ(status, 0x55);

  osVersion.dwMajorVersion = 4;
  EXPECT_EQ(os->sendNative(0, identify(data.data()), &status), SendOutcome::NotSent);
  EXPECT_EQ(status, 0x55);
}

TEST_F(Win32Platform, FailedBridgeRequestHandsBackZeros) {
  std::vector<uint8_t> data(512, 0xAA);
  EXPECT_EQ(os->sendBridge(0, getFid2(data.data())), SendOutcome::Failed);
  EXPECT_EQ(os->lastErrorCode(), kErrorNotSupported);
  EXPECT_EQ(data, std::vector<uint8_t>(512, 0));
}

TEST_F(Win32Platform, DriveThatDoesNotOpenGetsNothingSent) {
  std::vector<uint8_t> data(512, 0xAA);
  uint8_t status = 0x55;
  ataPassThroughAvailable = 1;
  EXPECT_EQ(os->sendNative(99, identify(data.data()), &status), SendOutcome::NotSent);
  EXPECT_NE(os->lastErrorCode(), 0u);
  EXPECT_EQ(status, 0x55);
  EXPECT_EQ(os->sendBridge(99, identify(data.data())), SendOutcome::NotSent);
  EXPECT_EQ(data, std::vector<uint8_t>(512, 0xAA));
  uint8_t type = 0x33;
  EXPECT_EQ(os->queryBusType(99, &type), 0);
  EXPECT_EQ(type, 0x33);
}

}  // namespace
}  // namespace kzt
