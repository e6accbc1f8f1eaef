#pragma once
#include "ident/step.h"

namespace kzt {

// The controller's vendor-specific commands: 0xFA brings data in, 0xFC carries none. Registers in
// the order of AtaRegisters: command, device, lbaHigh, lbaMid, lbaLow, count, features, then the
// high-order bytes prevLbaHigh, prevLbaMid, prevLbaLow, prevCount, prevFeatures.

// Firmware information block, 8 sectors; LBA 0x0000AFF05000.
constexpr StepCommand kGetFwiCommand{
    AtaOperation::In48, {0xFA, 0xE0, 0xF0, 0x50, 0x00, 0x08, 0x01, 0x00, 0x00, 0xAF, 0x00, 0x00}};

// Prepares the controller for the flash ID block: features 0x0050, count 0xFFFF.
constexpr StepCommand kFidPrefixCommand{
    AtaOperation::NoData48, {0xFC, 0xE0, 0x00, 0x00, 0x00, 0xFF, 0x50, 0x00, 0x00, 0x00, 0xFF, 0x00}};

// Flash ID block, 1 sector; LBA 0x0000AFF00420.
constexpr StepCommand kGetFidCommand{
    AtaOperation::In48, {0xFA, 0xE0, 0xF0, 0x04, 0x20, 0x01, 0x01, 0x00, 0x00, 0xAF, 0x00, 0x00}};

// Second flash ID block (the per-bank ID records), 1 sector.
constexpr StepCommand kGetFid2Command{
    AtaOperation::In48, {0xFA, 0xE0, 0x00, 0x00, 0x00, 0x01, 0x41, 0x00, 0x00, 0x00, 0x00, 0x00}};

// Bad-block and erase-count block of one bank, 64 sectors; the bank goes into features 15:8.
constexpr StepCommand getBbecCommand(uint8_t bankSelector) {
  return {AtaOperation::In48,
          {0xFA, 0xE0, 0x00, 0x00, 0x00, 0x40, 0x43, 0x00, 0x00, 0x00, 0x00, bankSelector}};
}

}  // namespace kzt
