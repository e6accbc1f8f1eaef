#pragma once
#include <cstdint>
#include <cstdio>

#include "transport/platform.h"

// kzt_fid --scan: every drive the platform names, the road a run would take to it, and what one
// IDENTIFY sent by that road says: a drive this tool serves, one it does not, or one it cannot
// reach, with the reason and, where the cause is known, what to do about it. The scan is a list of
// records that the printers only format.

namespace kzt {

constexpr const char* kScanArgument = "--scan";
constexpr const char* kScanJsonArgument = "--json";

enum class ScanVerdict : uint8_t {
  Served,        // IDENTIFY answered and the controller string begins with "REALTEK_"
  NotServed,     // IDENTIFY answered, another controller string (or none)
  NotReachable,  // IDENTIFY failed, or the device rejected it
};

constexpr uint32_t kScanAdviceSize = 512;

// One drive of the scan. Every text is trimmed of leading and trailing blanks.
struct ScanRecord {
  DriveNaming drive;
  int usb = 0;         // the run's road: SCSI ATA PASS-THROUGH to a USB bridge; else native ATA
  int identified = 0;  // IDENTIFY answered: the four texts below are its answer's
  char model[41] = {};
  char firmware[9] = {};
  char serial[21] = {};
  char controller[37] = {};
  ScanVerdict verdict = ScanVerdict::NotReachable;
  // Not reachable: the request's failure code (transport/verdict.h), or, when the device rejected
  // IDENTIFY, its status register (deviceFailed set).
  uint32_t errorCode = 0;
  int deviceFailed = 0;
  char errorText[kDriveTextSize] = {};  // what the code means
  char advice[kScanAdviceSize] = {};    // one line where the cause is known; empty otherwise
};

// The drive numbers a run reaches, 0 to 255, bound the list.
constexpr unsigned kScanMaxDrives = 256;
struct ScanList {
  unsigned count = 0;
  ScanRecord records[kScanMaxDrives];
};

// Names the drives and sends each of them one IDENTIFY by the road a run would take (the bus
// probe decides), then judges the answer. Nothing else goes to a drive and no file is written.
void scanDrives(ScanList* list);

// The console form: a block per drive, then a line with the counts.
void printScan(const ScanList& list);

// The JSON form, one object: json_format_version, kzt_fid (version, argv), then drives, an object
// per record (doc/kzt_fid_scan.schema.json).
void writeScanJson(std::FILE* out, const ScanList& list, int argc, const char* const* argv);

// kzt_fid --scan [--json], given the program's whole argument vector (argv[1] is --scan).
// kExitScanDone when the scan ran, whatever it found; kExitBadOption, with a message, for an
// argument it does not take.
int runScan(int argc, char** argv);

}  // namespace kzt
