#pragma once

namespace kzt {

// Switches SMART on, reads the SMART data block, tests its checksum and dumps it.
void readSmart(const char* dumpFileName);

}  // namespace kzt
