// The Win32 platform against the real Win32 API, run under Wine as root: \\.\PhysicalDrive0
// opens, the property query answers with bus type 1 and empty texts, and the pass-through
// control requests fail with ERROR_NOT_SUPPORTED (50) without writing anything back; the replies
// say so, and nothing reaches the request's data area.
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
  RequestReply reply;
  ataPassThroughAvailable = 1;
  os->sendNative(0, getFid2, &reply);
  EXPECT_TRUE(reply.sent && reply.registersBack && !reply.transferKnown);
  EXPECT_EQ(reply.systemError, 50u);
  EXPECT_EQ(reply.registerStatus, 0xFA);  // the block came back unwritten: it holds the command code
  EXPECT_EQ(data, std::vector<uint8_t>(512, 0xCF));
  ataPassThroughAvailable = 0;
  osVersion.dwMajorVersion = 5;  // the IDE request, which cannot carry a 48-bit data-in command
  reply = RequestReply{};
  os->sendNative(0, identify, &reply);
  EXPECT_TRUE(reply.sent);
  EXPECT_EQ(reply.registerStatus, 0xEC);
  reply = RequestReply{};
  os->sendNative(0, getFid2, &reply);
  EXPECT_FALSE(reply.sent);
  osVersion.dwMajorVersion = 4;  // no pass-through at all
  reply = RequestReply{};
  os->sendNative(0, identify, &reply);
  EXPECT_FALSE(reply.sent);
}

TEST_F(Win32Platform, FailedBridgeRequestBringsNothingAndTheListHasDriveZero) {
  RequestReply reply;
  os->sendBridge(0, getFid2, &reply);
  EXPECT_TRUE(reply.sent && !reply.scsi);
  EXPECT_EQ(reply.systemError, 50u);
  EXPECT_EQ(data, std::vector<uint8_t>(512, 0xCF));
  std::vector<unsigned> drives;
  os->listDrives([](void* list, unsigned drive, const char*, const char*) {
    static_cast<std::vector<unsigned>*>(list)->push_back(drive);
  }, &drives);
  ASSERT_FALSE(drives.empty());
  EXPECT_EQ(drives[0], 0u);
}

}  // namespace
}  // namespace kzt
