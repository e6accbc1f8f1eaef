#pragma once
#include <cstdint>

namespace kzt {

constexpr uint32_t kSmartDataSize = 512;

// Switches SMART on, reads the SMART data block, tests its checksum and dumps it.
void readSmart(const char* dumpFileName);

// The ATA standard's rule for the 512-byte SMART data block: all bytes add up to 0 modulo 256.
// A block of zeros (no answer) does not pass.
int smartChecksumValid(const uint8_t* data);

}  // namespace kzt
