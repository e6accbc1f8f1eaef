// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <cstdio>

#include "health/bad_blocks.h"
#include "health/smart.h"
#include "ident/answers.h"

// kzt_inspect: reads a saved dump set (the files that a kzt_fid run writes and that its letter f
// replays) with the program's own answer layouts and rules, works out each bank's bad blocks and
// wear, and writes a summary, a JSON object or an SVG wear map. It opens the dumps for reading
// only and sends no drive command: it links nothing of the command path.

namespace kzt {

// Exit statuses of kzt_inspect.
constexpr int kInspectExitOk = 0;
constexpr int kInspectExitNotWritten = 1;  // the summary, JSON or wear map could not be written
constexpr int kInspectExitBadUsage = 2;    // bad arguments, or a folder that cannot be read

// Bank slots, channel * 8 + CE, as in the bad-block table of the run.
constexpr unsigned kBankSlots = kChannelCount * kCesPerChannel;

// One dump file as it was read. A file that did not open is missing; one with fewer bytes than
// its answer is short, and the rest of the answer is what file mode leaves there (zeros, 0xFF in
// a Get BBEC answer).
struct DumpFile {
  char name[kBbecDumpNameSize] = {};
  uint32_t size = 0;
  uint32_t bytesRead = 0;
  bool opened = false;
};

// One bank of the CE mask whose dump opened: its bad-block lists and what its erase-count area
// says over blocks 0 to blocks - 1.
struct BankWear {
  unsigned channel = 0;
  unsigned ce = 0;
  unsigned factoryBadBlocks = 0;  // entries of kind 0, walked by the report's rules
  unsigned grownBadBlocks = 0;    // entries of kind 4
  unsigned blocks = 0;            // values read: blocksPerDie, at most 8192
  unsigned counted = 0;           // values 0 to 65533
  unsigned bad = 0;               // 65534
  unsigned noCount = 0;           // 65535
  // Of the counted values, meaningful only when counted > 0. The median of an even count is the
  // lower of the two middle values; the mean is the exact sum over the count, as a double.
  uint16_t min = 0;
  uint16_t max = 0;
  uint16_t median = 0;
  double mean = 0;
};

// The dump set and everything kzt_inspect reports of it. About 2 MiB: held in static storage.
struct Inspection {
  uint8_t identify[kIdentifySize];
  uint8_t firmwareInfoAnswer[kFirmwareInfoSize];
  uint8_t flashIdTableAnswer[kFlashIdAnswerSize];
  uint8_t smart[kSmartDataSize];
  BbecAnswer bbec[kBankSlots];  // read for the banks of the CE mask only

  DriveIdentity identity;
  FirmwareInfo firmwareInfo;
  int geometryPresent;  // kzt_fid reports the geometry: the answer is not the no-data marker
  FlashIdTable flashIdTable;
  CeMask ceMask;  // the full mask: every bank that carries the first bank's flash
  int smartPresent;
  BankWear banks[kBankSlots];  // the banks read, channel-major
  unsigned bankCount;
  DumpFile files[4 + kBankSlots];  // in the order read
  unsigned fileCount;
};

// Longest FOLDER name taken; a longer one is refused as a bad argument.
constexpr unsigned kFolderNameMax = 4000;


// Reads the dump set in `folder` into `inspection` and works out the figures: id.bin,
// kzt_fwi.bin, kzt_fid2.bin, then kzt_bbec_C_E.bin for each bank of the CE mask, then smart.bin.
void inspectFolder(const char* folder, Inspection* inspection);

// The block numbers of the entries of `kind` in a bank's bad-block list, walked as the report
// walks it (to the terminator, at most blocksPerDie entries, at most 512), into `blocks` (room for
// 512); returns how many.
unsigned listBadBlocks(const BbecAnswer& answer, uint16_t blocksPerDie, uint8_t kind,
                       uint16_t* blocks);

// The answer of a bank read.
inline const BbecAnswer& bankAnswer(const Inspection& inspection, const BankWear& bank) {
  return inspection.bbec[bank.channel * kCesPerChannel + bank.ce];
}

// The three outputs (inspect_output.cpp). Each returns non-zero when every byte was written.
int writeSummary(const Inspection& inspection, const char* folder, FILE* out);
int writeJson(const Inspection& inspection, FILE* out);
int writeWearMap(const Inspection& inspection, FILE* out);

// The command: `kzt_inspect [--json | --svg FILE] [FOLDER]`. Output to `out`, messages to `err`;
// returns the exit status.
int runInspectCommand(int argc, const char* const* argv, FILE* out, FILE* err);

}  // namespace kzt
