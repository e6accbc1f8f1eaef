#pragma once
#include <cstdint>

#include "ident/answers.h"

namespace kzt {

// The dumps the steps write into the current directory and file mode loads; kzt_inspect reads
// them by the same names.
constexpr const char* kIdentifyDumpName = "id.bin";
constexpr const char* kFirmwareInfoDumpName = "kzt_fwi.bin";
constexpr const char* kFlashIdDumpName = "kzt_fid.bin";
constexpr const char* kFlashIdTableDumpName = "kzt_fid2.bin";

// How the identification stage ended.
enum class InterrogationVerdict {
  Served,          // the controller check passed: the sequence goes on
  NotServed,       // identify data came in, but the drive is not one this tool serves
  IdentifyFailed,  // no identify data: the command failed, the device flagged an error, or
                   // its dump could not be loaded
};

// The opening stage of the interrogation: IDENTIFY (or "id.bin") into a 512-byte answer, the
// identity lines, the controller check with its "not found" line.
InterrogationVerdict identifyDrive(uint8_t* answer, DriveIdentity* identity);

// "Get FWI" into a 4096-byte answer ("kzt_fwi.bin"). Non-zero when the answer arrived and carries
// data; otherwise the answer is left zero (no geometry, no Block/Die) and the step is named: its
// failure lines, or, for an answer that begins with the no-data marker, the code of a transfer
// that brought nothing ("No Data Error" for such a dump in file mode).
int readFirmwareInfo(uint8_t* answer);

// "FID prefix" then "Get FID" into a 512-byte answer ("kzt_fid.bin"); in file mode only the dump
// is loaded and the prefix is not sent.
void readFlashIdBlock(uint8_t* answer);

// "Get FID2" into a 512-byte answer ("kzt_fid2.bin"), the per-bank flash ID records.
void readFlashIdTableBlock(uint8_t* answer);

}  // namespace kzt
