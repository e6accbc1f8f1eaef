// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstdint>
#include <cstdio>

#include "health/bad_blocks.h"
#include "health/smart.h"
#include "ident/answers.h"

// kzt_inspect: reads a saved dump set (the files that a kzt_fid run writes and that its letter f
// replays) with the program's own answer layouts and rules, works out each bank's bad blocks and
// wear, and writes a summary, a JSON object or an SVG wear map; or compares two dump sets of one
// drive and writes what changed between them. It opens the dumps for reading only and sends no
// drive command: it links nothing of the command path.
//
// kzt_fid writes a dump only for an answer that arrived, so a missing dump is an answer that did
// not arrive: no figure is taken from it. Without id.bin the identity is unknown; without
// kzt_fwi.bin (or with its no-data marker) the geometry, and so Block/Die: no erase counts and no
// bad-block lists are read; without kzt_fid2.bin no bank; without a bank's file no figure of it.

namespace kzt {

// Exit statuses of kzt_inspect.
constexpr int kInspectExitOk = 0;
constexpr int kInspectExitNotWritten = 1;  // the summary, JSON or map could not be written
constexpr int kInspectExitBadUsage = 2;    // bad arguments, a folder that cannot be read, two
                                           // sets that are not known to be one drive, or an
                                           // output file that is one of the inputs
// With --health, the verdict (when the output was written): OK is 0.
constexpr int kInspectExitWatch = 3;
constexpr int kInspectExitReplace = 4;
constexpr int kInspectExitUnknown = 5;

// Bank slots, channel * 8 + CE, as in the bad-block table of the run.
constexpr unsigned kBankSlots = kChannelCount * kCesPerChannel;

// One dump file as it was read. A file that did not open is missing; one with fewer bytes than
// its answer is short, and the rest of the answer is what file mode leaves there (zeros, 0xFF in
// a Get BBEC answer).
// A dump that is empty, not a regular file or a link did not arrive, as in file mode; one that
// could not be read says why.
struct DumpFile {
  char name[kBbecDumpNameSize] = {};
  uint32_t size = 0;
  uint32_t bytesRead = 0;
  bool opened = false;
  char unreadable[160] = {};  // the system's reason when the file is there and cannot be read
};

// The reading's manifest, "reading.json", that a live run writes last: when and where the reading
// was taken. Every member unknown (false, empty) without it, as in older dump sets.
constexpr const char* kManifestName = "reading.json";
struct ReadingManifest {
  bool present = false;     // read and a JSON object
  bool timeKnown = false;
  int64_t unixTime = 0;     // time.unix
  char utc[32] = {};        // time.utc, "" when not given
  char localOffset[16] = {};
  char host[256] = {};      // "" when not given
  char node[256] = {};      // drive.node
  bool hostKnown = false, nodeKnown = false;
};
// Reads the manifest at `path` (at most 1 MiB); false when it is not there or not a JSON object.
bool readManifest(const char* path, ReadingManifest* manifest);

// One bank of the CE mask whose dump opened: its bad-block lists and what its erase-count area
// says over blocks 0 to blocks - 1. Without the geometry, blocks is 0 and no list is walked.
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

  int identityPresent;      // id.bin opened
  DriveIdentity identity;   // empty without it
  int firmwareInfoPresent;  // kzt_fwi.bin opened
  int geometryPresent;      // ... and does not begin with the no-data marker
  FirmwareInfo firmwareInfo;  // all 0 without the geometry: Block/Die and MaxPECycle unknown
  int flashIdTablePresent;  // kzt_fid2.bin opened
  FlashIdTable flashIdTable;
  CeMask ceMask;  // the full mask: every bank that carries the first bank's flash
  int smartPresent;
  BankWear banks[kBankSlots];  // the banks read, channel-major
  unsigned bankCount;
  DumpFile files[4 + kBankSlots];  // in the order read
  unsigned fileCount;
  ReadingManifest manifest;
};

// Longest FOLDER name taken; a longer one is refused as a bad argument.
constexpr unsigned kFolderNameMax = 4000;

// Reads the dump set in `folder` into `inspection` and works out the figures: id.bin,
// kzt_fwi.bin, kzt_fid2.bin, then kzt_bbec_C_E.bin for each bank of the CE mask, then smart.bin.
// Without `banks`, only id.bin, kzt_fwi.bin, kzt_fid2.bin, smart.bin and the manifest: what a
// history needs to group and order the readings.
void inspectFolder(const char* folder, Inspection* inspection, bool banks = true);

// Opens an input for reading: only a regular file, never through a link. Null when the answer
// did not arrive (no file, an empty one, not a regular file) or, with `reason` filled, when it is
// there and cannot be read.
std::FILE* openInput(const char* path, char* reason, size_t reasonSize);

// `text` with each control byte (0x00-0x1F, 0x7F) as '?': device texts and folder names in the
// text outputs are shown, not obeyed.
void writeShown(std::FILE* out, const char* text);
// The identity's texts trimmed of leading and trailing spaces, as the scan trims them.
void trimText(char* text);

// The block numbers of the entries of `kind` in a bank's bad-block list, walked as the report
// walks it (to the terminator, at most blocksPerDie entries, at most 512), into `blocks` (room for
// 512); returns how many.
unsigned listBadBlocks(const BbecAnswer& answer, uint16_t blocksPerDie, uint8_t kind,
                       uint16_t* blocks);

// The answer of a bank read.
inline const BbecAnswer& bankAnswer(const Inspection& inspection, const BankWear& bank) {
  return inspection.bbec[bank.channel * kCesPerChannel + bank.ce];
}

// ---- Two readings of one drive ----

// How a block's erase-count value went from the old reading to the new one: a count that rose,
// stayed or fell (which wear never does, so it is flagged), a count that became bad (65534), a
// block bad now that had no count before, and anything else (no count now, or a count after
// none or after bad), which is not compared.
enum BlockChange : uint8_t { kRose, kStayed, kFell, kTurnedBad, kStillBad, kNotCompared };
constexpr unsigned kBlockChangeKinds = 6;

BlockChange compareBlock(uint16_t before, uint16_t after);

// A bank read in both sets: its figures in each, and what changed over blocks 0 to blocks - 1.
struct BankChange {
  const BankWear* before = nullptr;
  const BankWear* after = nullptr;
  unsigned blocks = 0;  // the fewer of the two sets' blocks
  unsigned changes[kBlockChangeKinds] = {};
  // Over the blocks that both sets count (rose, stayed or fell): their mean and highest count in
  // each set, meaningful only when compared > 0.
  unsigned compared = 0;
  double meanBefore = 0, meanAfter = 0;
  uint16_t maxBefore = 0, maxAfter = 0;
  unsigned turnedCounted = 0;   // bad (65534) in the old set, counted in the new one
  unsigned newlyGrown = 0;      // in the new grown list, not in the old one
  unsigned grownLeft = 0;       // in the old grown list, not in the new one
  unsigned factoryAdded = 0;    // in the new factory list, not in the old one
  unsigned factoryRemoved = 0;  // in the old factory list, not in the new one
};

struct Comparison {
  const Inspection* before;
  const Inspection* after;
  BankChange banks[kBankSlots];  // channel-major
  unsigned bankCount;
  const BankWear* onlyBefore[kBankSlots];  // banks read in one set only
  unsigned onlyBeforeCount;
  const BankWear* onlyAfter[kBankSlots];
  unsigned onlyAfterCount;
};

void compareInspections(const Inspection& before, const Inspection& after,
                        Comparison* comparison);

// The numbers of a compared bank's blocks of `kind`, into `blocks` (room for 8192); how many.
unsigned listChangedBlocks(const Comparison& comparison, const BankChange& bank, BlockChange kind,
                           uint16_t* blocks);

// The numbers of the entries of `kind` in `from`'s list of the bank that are not in `other`'s
// list (the lists walked as the report walks them), into `blocks` (room for 512); how many.
unsigned listEntriesNotIn(const Inspection& from, const BankWear& fromBank,
                          const Inspection& other, const BankWear& otherBank, uint8_t kind,
                          uint16_t* blocks);

// ---- Health ----
// One verdict on a drive from what its readings show, by a fixed table of rules (README, "Health";
// kzt_inspect(1), HEALTH). Each rule that applies adds a reason with the verdict it sets; the
// drive's verdict is REPLACE when any reason says so, else UNKNOWN when nothing could be judged
// (no geometry, no bank), else WATCH when any reason says so, else OK. The verdict knows only the
// dumps: not the spare pool left, nor the controller's own retirement policy.

enum HealthVerdict : uint8_t { kHealthOk, kHealthWatch, kHealthReplace, kHealthUnknown };
constexpr unsigned kHealthVerdicts = 4;
const char* healthVerdictName(HealthVerdict verdict);  // "OK", "WATCH", "REPLACE", "UNKNOWN"

// The thresholds of the rules, each changed by an option of its own name.
struct HealthThresholds {
  double watchLifePercent = 90;     // --watch-life: the worst bank's share of its rated PE cycles
  double replaceLifePercent = 100;  // --replace-life
  double watchGrownPercent = 0.5;   // --watch-grown: a bank's grown bad blocks, % of its blocks
  double replaceGrownPercent = 2;   // --replace-grown
  unsigned watchGrowth = 1;         // --watch-growth: grown bad blocks added between readings
  unsigned replaceGrowth = 50;      // --replace-growth
};

// The rule behind a reason; its name is the JSON's "rule".
enum HealthRule : uint8_t {
  kRuleNoGeometry,    // UNKNOWN: Block/Die and MaxPECycle unknown
  kRuleNoBanks,       // UNKNOWN: no bank of the CE mask read
  kRuleNotJudged,     // WATCH: a bank of the CE mask whose answer did not arrive
  kRuleLifeUsed,      // the worst bank's life used, at any verdict
  kRuleGrown,         // the largest share of grown bad blocks of a bank, at any verdict
  kRuleGrowth,        // grown bad blocks added between readings
  kRuleInconsistent,  // WATCH: a count that fell, a grown list that shrank, hours that went back
};
const char* healthRuleName(HealthRule rule);  // "no_geometry", "life_used", ...

struct HealthReason {
  HealthVerdict verdict;
  HealthRule rule;
  char text[200];
};
constexpr unsigned kHealthReasonsMax = 32;

struct Health {
  HealthVerdict verdict = kHealthUnknown;
  HealthReason reasons[kHealthReasonsMax] = {};
  unsigned reasonCount = 0;
  unsigned reasonsDropped = 0;  // beyond kHealthReasonsMax
  bool said[kHealthVerdicts] = {};  // which verdicts the reasons set, the dropped ones too
  // The figures read by the rules, of the (latest) reading.
  bool lifeKnown = false;
  double worstLifePercent = 0;  // unrounded
  unsigned worstChannel = 0, worstCe = 0;
  bool grownKnown = false;
  unsigned grownBadBlocks = 0;  // of all banks read
  double worstGrownPercent = 0;
};

// Judges one reading: geometry, banks read and not judged, life used, grown bad blocks.
void judgeReading(const Inspection& inspection, const HealthThresholds& thresholds,
                  Health* health);
// Judges the new reading of a comparison, the grown bad blocks added since the old one, and what
// is inconsistent between them (counts that fell, grown blocks that left the list or turned back
// to counted, power-on hours that went back).
void judgeComparison(const Comparison& comparison, const HealthThresholds& thresholds,
                     Health* health);
// Pieces for a series: a reason of `rule` (printf format), the growth rule over `added` grown bad
// blocks, and the verdict settled from the reasons.
[[gnu::format(printf, 4, 5)]] void addHealthReason(Health* health, HealthVerdict verdict,
                                                   HealthRule rule, const char* format, ...);
void judgeGrowth(unsigned added, const char* between, const HealthThresholds& thresholds,
                 Health* health);
void settleHealth(Health* health);

// What a comparison finds inconsistent, counted over its banks.
struct Inconsistencies {
  unsigned countsFell = 0;        // blocks whose count fell
  unsigned leftGrownList = 0;     // grown bad blocks of the old list not in the new one
  unsigned turnedCounted = 0;     // bad (65534) before, counted now
  bool hoursWentBack = false;     // SMART attribute 9's raw value fell
  unsigned total() const {
    return countsFell + leftGrownList + turnedCounted + (hoursWentBack ? 1 : 0);
  }
};
void findInconsistencies(const Comparison& comparison, Inconsistencies* found);
// Grown bad blocks in the new set's lists and not in the old set's, over the banks compared.
unsigned grownAdded(const Comparison& comparison);

// SMART attribute 9's raw value (power-on hours), false without smart.bin or the attribute.
bool powerOnHours(const Inspection& inspection, uint64_t* hours);

// ---- Wear over power-on hours ----

// A least-squares line of the worst bank's mean erase count over power-on hours (and over the
// readings' times where known): the wear rate, and where the line reaches the rated PE cycles.
struct WearPoint {
  double hours;
  double count;      // the worst bank's mean erase count
  bool timeKnown;
  int64_t unixTime;
};
struct WearFit {
  unsigned readings = 0;        // points with power-on hours and a count
  unsigned timedReadings = 0;   // of those, with a time
  bool rateKnown = false;
  double perThousandHours = 0;  // PE cycles per 1,000 power-on hours
  bool dayRateKnown = false;
  double perThirtyDays = 0;     // PE cycles per 30 days
  unsigned rated = 0;           // MaxPECycle, 0 when unknown
  bool projected = false;       // the line reaches `rated`
  double projectedHours = 0;
  bool dateKnown = false;
  int64_t projectedUnix = 0;
  const char* why = "";         // why there is no projection
};
void fitWear(const WearPoint* points, unsigned count, unsigned rated, WearFit* fit);
// The reading's time as the text outputs show it: the manifest's UTC text, else its Unix time in
// UTC, else "-" (room for kUtcTextSize).
void readingTime(const ReadingManifest& manifest, char* text);
// The fit's lines of a summary ("Wear rate: ...", "Projection: ..."), and its JSON members.
void summaryFit(const WearFit& fit, const char* method, FILE* out);
void jsonFit(const WearFit& fit, const char* method, FILE* out);

// ---- History: every reading of the drives in some folders ----

constexpr unsigned kHistoryReadingsMax = 4096;
constexpr unsigned kHistoryDepthMax = 8;   // subfolder levels searched below each FOLDER
constexpr unsigned kHistoryDrivesMax = 64;
constexpr size_t kHistoryNamesSize = 4u << 20;  // the folder names, one after the other

// One reading: its figures, and what is inconsistent with the reading before it in the drive's
// order (power-on hours, then time).
struct HistoryReading {
  unsigned folder = 0;  // offset of its name in the history's names
  unsigned drive = 0;
  bool hoursKnown = false;
  uint64_t hours = 0;
  ReadingManifest manifest;  // time, host, node
  bool lifeKnown = false;     // some bank has counts and MaxPECycle is known
  double worstLife = 0, meanLife = 0;  // percent: the worst bank's, the mean of the banks'
  unsigned worstChannel = 0, worstCe = 0;
  bool countKnown = false;
  double worstMeanCount = 0;  // the worst bank's mean erase count, the fitted figure
  double meanCount = 0;       // over every counted block of every bank read
  bool listsKnown = false;    // the geometry is there
  unsigned factory = 0, grown = 0;
  unsigned maxPeCycle = 0;
  unsigned missing = 0;       // answers that did not arrive (and dumps that cannot be read)
  unsigned banksRead = 0, banksMarked = 0;
  // Against the reading before it in the order.
  unsigned countsFell = 0, grownLeft = 0, turnedCounted = 0, grownAdded = 0;
  bool hoursWentBack = false;  // a reading taken earlier had more power-on hours
  unsigned flags() const {
    return countsFell + grownLeft + turnedCounted + (hoursWentBack ? 1 : 0);
  }
};

struct HistoryDrive {
  bool identityKnown = false;
  char model[41] = {};
  char serial[21] = {};
  unsigned first = 0, count = 0;        // its readings: History::order[first .. first+count)
  WearFit fit;
  Health health;
};

struct History {
  HistoryReading readings[kHistoryReadingsMax];
  unsigned readingCount = 0;
  unsigned order[kHistoryReadingsMax];  // the readings grouped per drive, each drive in order
  HistoryDrive drives[kHistoryDrivesMax];
  unsigned driveCount = 0;
  char names[kHistoryNamesSize];
  size_t namesUsed = 0;
  unsigned readingsNotTaken = 0;  // beyond kHistoryReadingsMax or the drives' room
  const char* name(unsigned offset) const { return names + offset; }
};

// Finds the readings in `folders` and their subfolders (at most kHistoryDepthMax levels, links
// not followed, a folder that holds a dump or a manifest being a reading), reads them, groups and
// orders them per drive, works out each reading's and each drive's figures, flags and verdict.
// 0 with a message on `err` when a FOLDER cannot be read.
int buildHistory(const char* const* folders, unsigned count, const HealthThresholds& thresholds,
                 History* history, FILE* err);
int writeHistorySummary(const History& history, FILE* out);
int writeHistoryJson(const History& history, int argc, const char* const* argv, FILE* out);
int writeHistoryChart(const History& history, FILE* out);

// ---- Outputs ----
// Each returns non-zero when every byte was written; argv goes into the JSON as given.

int writeSummary(const Inspection& inspection, const char* folder, const Health& health,
                 FILE* out);
int writeJson(const Inspection& inspection, const Health& health, int argc,
              const char* const* argv, FILE* out);
int writeWearMap(const Inspection& inspection, FILE* out);
// The reading in Prometheus's text exposition format 0.0.4, with its health verdict
// (inspect_metrics.cpp).
int writeMetrics(const Inspection& inspection, const Health& health, FILE* out);
int writeDiffSummary(const Comparison& comparison, const char* oldFolder, const char* newFolder,
                     const Health& health, FILE* out);
int writeDiffJson(const Comparison& comparison, const char* oldFolder, const char* newFolder,
                  const Health& health, int argc, const char* const* argv, FILE* out);
int writeGrowthMap(const Comparison& comparison, const char* oldFolder, const char* newFolder,
                   FILE* out);

// Pieces the outputs share (inspect_output.cpp).

// The format version of kzt_inspect's JSON objects, [major, minor]: 2.0 made every unknown value
// null and the texts trimmed.
constexpr unsigned kInspectJsonMajor = 2;
constexpr unsigned kInspectJsonMinor = 0;
// "{", the format version line and the program's line with its version and arguments.
void jsonHeader(FILE* out, int argc, const char* const* argv);
// The "Health:" block of a summary, and the JSON member "health" (its value only).
void summaryHealth(const Health& health, FILE* out);
void jsonHealth(const Health& health, FILE* out);
// The reading's time, host and node: the "Reading:" line (after `label`), the JSON object or null.
void summaryReading(const Inspection& inspection, const char* label, FILE* out);
void jsonReading(const Inspection& inspection, FILE* out);
void jsonManifest(const ReadingManifest& manifest, FILE* out);
// A drive's text or a folder name as XML character data: markup characters as entities, bytes
// from 0x7F on as the Latin-1 character of that number, control bytes (which XML cannot carry) as
// U+FFFD.
void svgText(FILE* out, const char* text);
// A JSON number with `format`, or null when not `known`.
void jsonNumberOrNull(FILE* out, bool known, const char* format, double value);

// The share of the rated life that a bank's mean count has used, in percent, unrounded: false
// when nothing is counted or MaxPECycle is 0 or unknown.
bool lifeUsedPercent(const Inspection& inspection, const BankWear& bank, double* percent);
// The missing files (wantShort false), or the short ones with their sizes, separated by ", ";
// how many.
unsigned listFiles(const Inspection& inspection, FILE* out, bool wantShort);
unsigned countFiles(const Inspection& inspection, bool wantShort);
// The "Missing" and "Short" lines of the summary, each when there is such a file.
void summaryFiles(const Inspection& inspection, const char* missing, const char* short_,
                  FILE* out);
// The JSON members "missing_files" (names) and "short_files" (name, bytes read, size), with
// `separator` between them.
void jsonFiles(const Inspection& inspection, const char* separator, FILE* out);
// A JSON array of block numbers; the items of a one-item-per-line array ("[]" when empty).
void jsonNumbers(FILE* out, const uint16_t* values, unsigned count);
void jsonItem(FILE* out, unsigned index);
void jsonEnd(FILE* out, unsigned count);

// The command: `kzt_inspect [OPTIONS] [FOLDER]`, `kzt_inspect --diff [OPTIONS] OLD NEW` or
// `kzt_inspect --history [OPTIONS] FOLDER...`. Output to `out`, messages to `err`; returns the
// exit status.
int runInspectCommand(int argc, const char* const* argv, FILE* out, FILE* err);

}  // namespace kzt
