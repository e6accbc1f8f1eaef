#pragma once
#include "transport/ata_command.h"

namespace kzt {

// The commands of the interrogation sequence, every register as it is sent (registers not named
// are 0). 0xEC is IDENTIFY DEVICE; the controller's vendor commands are 0xFA, which brings data
// in, and 0xFC, which carries none; a data-in command's count is its length in 512-byte sectors.

// IDENTIFY DEVICE, 1 sector.
constexpr AtaCommand kIdentifyCommand{
    .operation = AtaOperation::In28,
    .registers = {.command = 0xEC, .count = 0x01}};

// Firmware information block, 8 sectors; LBA 0x0000AFF05000.
constexpr AtaCommand kGetFwiCommand{
    .operation = AtaOperation::In48,
    .registers = {.command = 0xFA, .device = 0xE0, .lbaHigh = 0xF0, .lbaMid = 0x50,
                  .count = 0x08, .features = 0x01, .prevLbaLow = 0xAF}};

// Prepares the controller for the flash ID block: features 0x0050, count 0xFFFF.
constexpr AtaCommand kFidPrefixCommand{
    .operation = AtaOperation::NoData48,
    .registers = {.command = 0xFC, .device = 0xE0, .count = 0xFF, .features = 0x50,
                  .prevCount = 0xFF}};

// Flash ID block, 1 sector; LBA 0x0000AFF00420.
constexpr AtaCommand kGetFidCommand{
    .operation = AtaOperation::In48,
    .registers = {.command = 0xFA, .device = 0xE0, .lbaHigh = 0xF0, .lbaMid = 0x04,
                  .lbaLow = 0x20, .count = 0x01, .features = 0x01, .prevLbaLow = 0xAF}};

// Second flash ID block (the per-bank ID records), 1 sector.
constexpr AtaCommand kGetFid2Command{
    .operation = AtaOperation::In48,
    .registers = {.command = 0xFA, .device = 0xE0, .count = 0x01, .features = 0x41}};

// Bad-block and erase-count block of one bank, 64 sectors; the bank goes into features 15:8.
constexpr AtaCommand getBbecCommand(uint8_t bankSelector) {
  return {.operation = AtaOperation::In48,
          .registers = {.command = 0xFA, .device = 0xE0, .count = 0x40, .features = 0x43,
                        .prevFeatures = bankSelector}};
}

}  // namespace kzt
