// The program never sends data to a drive: no operation of the command interface has a data-out
// direction, no request that a backend builds asks for one, and a whole run sends only the known
// commands, each data-in or non-data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/harness.h"
#include "sim/small_drive.h"
#include "transport/ata_command.h"
#include "transport/sat.h"
#include "transport/windows_requests.h"

#ifndef KZT_SOURCE_TREE
#error "KZT_SOURCE_TREE must name the program's source folder"
#endif

namespace kzt {
namespace {

enum class Direction { In, None };

// Every operation and its direction. There is deliberately no default: an operation added to
// AtaOperation without a case here makes the build fail (-Wswitch with -Werror), so a data-out
// operation cannot slip in unnoticed.
Direction directionOf(AtaOperation operation) {
  switch (operation) {
    case AtaOperation::In28: return Direction::In;
    case AtaOperation::NoData28: return Direction::None;
    case AtaOperation::In48: return Direction::In;
    case AtaOperation::NoData48: return Direction::None;
  }
  return Direction::None;
}

const AtaOperation kOperations[] = {AtaOperation::In28, AtaOperation::NoData28, AtaOperation::In48,
                                    AtaOperation::NoData48};

TEST(NoDataOut, EveryOperationIsDataInOrNonData) {
  for (AtaOperation op : kOperations) {
    EXPECT_EQ(isDataIn(op), directionOf(op) == Direction::In) << static_cast<int>(op);
  }
}

// SAT byte 1: PROTOCOL in bits 4..1; byte 2: T_DIR bit 3 (1 = from the device), T_LENGTH bits 1..0.
TEST(NoDataOut, SatBlocksOnlyEverTransferFromTheDevice) {
  const SatCdbOptions optionSets[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  for (AtaOperation op : kOperations) {
    for (unsigned command = 0; command < 256; ++command) {
      for (const SatCdbOptions& options : optionSets) {
        AtaRequest request;
        request.operation = op;
        request.registers.command = static_cast<uint8_t>(command);
        request.registers.count = 0x40;
        uint8_t cdb[16];
        buildSatCdb(request, options, cdb);
        const unsigned protocol = (cdb[1] >> 1) & 0x0F;
        const unsigned length = cdb[2] & 0x03;
        ASSERT_NE(cdb[2] & 0x08, 0) << "T_DIR to the device, command " << command;
        if (isDataIn(op)) {
          // 4 PIO Data-In, 10 UDMA Data-In; never 5 PIO Data-Out or 11 UDMA Data-Out.
          ASSERT_TRUE(protocol == 4 || protocol == 10) << protocol;
          ASSERT_EQ(length, 2u);
        } else {
          ASSERT_EQ(protocol, 3u);  // Non-data
          ASSERT_EQ(length, 0u);
        }
      }
    }
  }
}

// The Windows requests of both bitnesses: ATA_PASS_THROUGH_EX's AtaFlags never carry
// ATA_FLAGS_DATA_OUT (0x04) and carry ATA_FLAGS_DATA_IN (0x02) exactly for data-in;
// SCSI_PASS_THROUGH's DataIn is SCSI_IOCTL_DATA_IN (1) or SCSI_IOCTL_DATA_UNSPECIFIED (2), never
// SCSI_IOCTL_DATA_OUT (0), and its command block transfers from the device.
TEST(NoDataOut, WindowsRequestsOnlyEverTransferFromTheDevice) {
  static uint8_t image[128 + 512];
  uint8_t data[512] = {};
  for (AtaOperation op : kOperations) {
    for (unsigned command = 0; command < 256; ++command) {
      AtaRequest request;
      request.operation = op;
      request.registers.command = static_cast<uint8_t>(command);
      request.registers.count = 1;
      request.dataArea = data;
      request.length = isDataIn(op) ? 512 : 0;
      for (const AtaPassThroughLayout& layout : {kAtaPassThroughX86, kAtaPassThroughX64}) {
        buildAtaPassThroughRequest(layout, request, image);
        const unsigned flags = image[kAptFlagsAt] | image[kAptFlagsAt + 1] << 8;
        ASSERT_EQ(flags & 0x04u, 0u) << "data-out, command " << command;
        ASSERT_EQ((flags & kAtaFlagsDataIn) != 0, isDataIn(op)) << command;
      }
      for (const ScsiPassThroughLayout& layout : {kScsiPassThroughX86, kScsiPassThroughX64}) {
        buildSatRequest(layout, request, image);
        ASSERT_EQ(image[kSptDataInAt], isDataIn(op) ? 1 : 2) << command;
        ASSERT_NE(image[layout.cdbAt + 2] & 0x08, 0) << "T_DIR to the device, command " << command;
      }
    }
  }
}

// What a whole run with x sends, on a SATA port and behind a USB bridge.
TEST(NoDataOut, AFullRunSendsOnlyTheKnownCommandsInOrNonData) {
  for (uint8_t busType : {uint8_t{11}, uint8_t{7}}) {
    sim::ScratchDir scratch;
    sim::SimDrive drive;
    sim::buildSmallDrive(drive);
    sim::SimPlatform machine;
    machine.attach(0, &drive, busType);
    sim::runProgramOn(machine, {"0xy"});
    ASSERT_EQ(drive.received.size(), 11u);  // SMART 2, Identify, 4 vendor readouts, 4 banks
    for (const sim::ReceivedCommand& c : drive.received) {
      EXPECT_NE(c.command, sim::Command::Unknown);
      EXPECT_EQ(c.viaBridge, busType == 7);
      if (isDataIn(c.operation)) {
        EXPECT_GT(c.length, 0u);
      } else {
        EXPECT_EQ(c.length, 0u);
      }
    }
  }
}

// The names by which the platforms' interfaces ask for a transfer to the device appear nowhere in
// the program's sources (Linux SG_IO, Windows ATA and SCSI pass-through).
TEST(NoDataOut, NoSourceNamesADataOutDirection) {
  const char* const kForbidden[] = {"SG_DXFER_TO_DEV", "SG_DXFER_TO_FROM_DEV", "ATA_FLAGS_DATA_OUT",
                                    "SCSI_IOCTL_DATA_OUT"};
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(KZT_SOURCE_TREE)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char* name : kForbidden) {
      EXPECT_EQ(text.find(name), std::string::npos) << name << " in " << entry.path();
    }
    ++files;
  }
  EXPECT_GT(files, 40);
}

}  // namespace
}  // namespace kzt
