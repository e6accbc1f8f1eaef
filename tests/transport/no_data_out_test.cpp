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
#include "transport/ata_registers.h"
#include "transport/sat_cdb.h"

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
  EXPECT_GT(files, 50);
}

}  // namespace
}  // namespace kzt
