#pragma once
#include "transport/ata_command.h"

// Register sets of the commands the request-builder tests carry, written out from the command
// table by hand (not taken from the program's own constants, so a wrong constant shows).
namespace kzt::testregs {

inline AtaRegisters identify() {
  AtaRegisters r;
  r.command = 0xEC;
  r.count = 0x01;
  return r;
}

inline AtaRegisters getFwi() {
  AtaRegisters r;
  r.command = 0xFA; r.device = 0xE0; r.lbaHigh = 0xF0; r.lbaMid = 0x50; r.lbaLow = 0x00;
  r.count = 0x08; r.features = 0x01; r.prevLbaLow = 0xAF;
  return r;
}

inline AtaRegisters fidPrefix() {
  AtaRegisters r;
  r.command = 0xFC; r.device = 0xE0; r.count = 0xFF; r.features = 0x50; r.prevCount = 0xFF;
  return r;
}

inline AtaRegisters smartEnable() {
  AtaRegisters r;
  r.command = 0xB0; r.device = 0x40; r.lbaHigh = 0xC2; r.lbaMid = 0x4F; r.features = 0xD8;
  return r;
}

}  // namespace kzt::testregs
