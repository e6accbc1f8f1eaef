#pragma once
#include <cstdint>

namespace kzt {

// "Get FWI" into a 4096-byte answer ("kzt_fwi.bin"). Returns geometryValid: 0 when the request
// failed, the device reported an error, or the answer carries the no-data marker in byte 0.
int readFirmwareInfoBlock(uint8_t* answer);

// "FID prefix" then "Get FID" into a 512-byte answer ("kzt_fid.bin"); in file mode only the dump
// is loaded and the prefix is not sent.
void readFlashIdBlock(uint8_t* answer);

// "Get FID2" into a 512-byte answer ("kzt_fid2.bin"), the per-bank flash ID records.
void readFlashIdTableBlock(uint8_t* answer);

}  // namespace kzt
