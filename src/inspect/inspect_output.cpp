// SPDX-License-Identifier: GPL-2.0-or-later
// The three outputs of kzt_inspect: the summary for a person, the JSON object for records, the
// SVG wear map. Figures are rounded as printf rounds them: the mean with "%.2f", the share of the
// rated life with "%.1f".
#include <cinttypes>

#include "inspect/inspect.h"
#include "nandid/flash_id.h"

namespace kzt {

namespace {

const char* yesNo(int value) { return value ? "true" : "false"; }

// The share of the rated life that a bank's mean count has used, in percent, unrounded. Only
// when something is counted and MaxPECycle is not 0.
bool lifeUsedPercent(const Inspection& inspection, const BankWear& bank, double* percent) {
  const uint16_t rated = inspection.firmwareInfo.maxPeCycle;
  if (bank.counted == 0 || rated == 0) return false;
  *percent = bank.mean / rated * 100.0;
  return true;
}

void listFiles(const Inspection& inspection, FILE* out, bool wantShort) {
  bool first = true;
  for (unsigned i = 0; i < inspection.fileCount; ++i) {
    const DumpFile& file = inspection.files[i];
    if (wantShort ? !file.opened || file.bytesRead >= file.size : file.opened) continue;
    std::fprintf(out, "%s%s", first ? "" : ", ", file.name);
    if (wantShort) std::fprintf(out, " (%u of %u bytes)", file.bytesRead, file.size);
    first = false;
  }
}

unsigned countFiles(const Inspection& inspection, bool wantShort) {
  unsigned count = 0;
  for (unsigned i = 0; i < inspection.fileCount; ++i) {
    const DumpFile& file = inspection.files[i];
    count += wantShort ? file.opened && file.bytesRead < file.size : !file.opened;
  }
  return count;
}

// ---- Summary ----

void summaryIdentity(const Inspection& inspection, FILE* out) {
  const DriveIdentity& id = inspection.identity;
  std::fprintf(out, "Model: %s\nFw   : %s\nS/N  : %s\nSize : %u MB [%1.1f GB]\n", id.model,
               id.firmwareRevision, id.serialNumber, driveSizeMegabytes(id.sectorCount),
               driveSizeGigabytes(id.sectorCount));
  if (id.vendorString[0] != '\0') std::fprintf(out, "FwStr: [%s]\n", id.vendorString);
  if (!isRealtekController(id)) {
    std::fprintf(out, "Realtek based SSD not found: kzt_fid stops after these lines\n");
  }
}

void summaryFlash(const Inspection& inspection, FILE* out) {
  for (unsigned n = 0; n < kFlashIdRecordCount; ++n) {
    const FlashIdRecord& record = inspection.flashIdTable.records[n];
    if (!isBankPopulated(record)) continue;
    const uint8_t* b = record.id;
    char description[kDescriptionSize] = {};
    DecodeFlashId(b, description);
    std::fprintf(out, "Bank%02u: 0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x - %s\n", n, b[0], b[1],
                 b[2], b[3], b[4], b[5], b[6], b[7], description);
  }
  char marks[kCeMaskTextSize];
  formatCeMask(inspection.ceMask, marks);
  std::fprintf(out, "Flash CE Mask : [%s]\n", marks);
  const FirmwareInfo& g = inspection.firmwareInfo;
  if (!inspection.geometryPresent) {
    std::fprintf(out, "Geometry: none (kzt_fwi.bin begins with the no-data marker 0xCF)\n");
    return;
  }
  std::fprintf(out,
               "Geometry: Banks %u, Channel %u, CE %u, Die/CE %u, Plane %u, Block/Die %u, "
               "Page/Block %u,\n  Sect/Page %u, FullPageSize %u, MaxCapacity %" PRId64
               ", MaxPECycle %u,\n  SharedPages %u, GCFreeLimit %u\n",
               unsigned{g.bankCount}, unsigned{g.channelCount}, unsigned{g.ceCount},
               unsigned{g.diesPerCe}, unsigned{g.planeCount}, unsigned{g.blocksPerDie},
               unsigned{g.pagesPerBlock}, unsigned{g.sectorsPerPage}, unsigned{g.fullPageSize},
               g.maxCapacity, unsigned{g.maxPeCycle}, unsigned{g.sharedPages},
               unsigned{g.gcFreeLimit});
}

void summaryWear(const Inspection& inspection, FILE* out) {
  if (inspection.bankCount == 0) {
    std::fprintf(out, "\nWear: no bank read (no kzt_bbec_C_E.bin of a bank of the CE mask)\n");
    return;
  }
  std::fprintf(out, "\nWear: %u banks read, %u blocks each, MaxPECycle %u\n",
               inspection.bankCount, inspection.banks[0].blocks,
               unsigned{inspection.firmwareInfo.maxPeCycle});
  const char* row = "%-6s %7s %5s %6s %7s %4s %4s %5s %5s %8s %6s %9s\n";
  std::fprintf(out, row, "Bank", "Factory", "Grown", "Blocks", "Counted", "Bad", "None", "Min",
               "Max", "Mean", "Median", "Life used");
  unsigned factory = 0, grown = 0;
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    char name[16], f[12], g[12], blocks[12], counted[12], bad[12], none[12];
    char min[12] = "-", max[12] = "-", mean[24] = "-", median[12] = "-", life[24] = "-";
    std::snprintf(name, sizeof name, "Ch%uCE%u", bank.channel, bank.ce);
    std::snprintf(f, sizeof f, "%u", bank.factoryBadBlocks);
    std::snprintf(g, sizeof g, "%u", bank.grownBadBlocks);
    std::snprintf(blocks, sizeof blocks, "%u", bank.blocks);
    std::snprintf(counted, sizeof counted, "%u", bank.counted);
    std::snprintf(bad, sizeof bad, "%u", bank.bad);
    std::snprintf(none, sizeof none, "%u", bank.noCount);
    if (bank.counted > 0) {
      std::snprintf(min, sizeof min, "%u", unsigned{bank.min});
      std::snprintf(max, sizeof max, "%u", unsigned{bank.max});
      std::snprintf(mean, sizeof mean, "%.2f", bank.mean);
      std::snprintf(median, sizeof median, "%u", unsigned{bank.median});
    }
    double percent = 0;
    if (lifeUsedPercent(inspection, bank, &percent)) {
      std::snprintf(life, sizeof life, "%.1f%%", percent);
    }
    std::fprintf(out, row, name, f, g, blocks, counted, bad, none, min, max, mean, median, life);
    factory += bank.factoryBadBlocks;
    grown += bank.grownBadBlocks;
  }
  std::fprintf(out, "Bad blocks of the lists (Fabric+Later): %u (%u+%u)\n", factory + grown,
               factory, grown);
}

void summarySmart(const Inspection& inspection, FILE* out) {
  if (!inspection.smartPresent) {
    std::fprintf(out, "\nSMART: no smart.bin\n");
    return;
  }
  std::fprintf(out, "\nSMART: checksum %s\n",
               smartChecksumValid(inspection.smart) ? "valid" : "error");
  std::fprintf(out, "%3s %6s %5s %5s %15s\n", "ID", "Flags", "Value", "Worst", "Raw");
  for (unsigned i = 0; i < kSmartAttributeCount; ++i) {
    const SmartAttribute a = readSmartAttribute(inspection.smart, i);
    if (a.id == 0) continue;
    std::fprintf(out, "%3u 0x%04x %5u %5u %15" PRIu64 "\n", unsigned{a.id}, unsigned{a.flags},
                 unsigned{a.value}, unsigned{a.worst}, a.raw);
  }
}

// ---- JSON ----

// A drive's text as a JSON string: quote and backslash escaped, control bytes and every byte
// from 0x7F on as \u00XX (a byte above 0x7F read as the Latin-1 character of that number), so
// the output is valid JSON whatever the drive put there.
void jsonText(FILE* out, const char* text) {
  std::fputc('"', out);
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != 0; ++c) {
    if (*c == '"' || *c == '\\') {
      std::fputc('\\', out);
      std::fputc(*c, out);
    } else if (*c < 0x20 || *c >= 0x7F) {
      std::fprintf(out, "\\u%04x", unsigned{*c});
    } else {
      std::fputc(*c, out);
    }
  }
  std::fputc('"', out);
}

// Opens and closes the items of a one-item-per-line array: "[]" when empty.
void jsonItem(FILE* out, unsigned index) { std::fputs(index == 0 ? "[\n    " : ",\n    ", out); }
void jsonEnd(FILE* out, unsigned count) { std::fputs(count == 0 ? "[]" : "\n  ]", out); }

void jsonNumbers(FILE* out, const uint16_t* values, unsigned count) {
  std::fputc('[', out);
  for (unsigned i = 0; i < count; ++i) std::fprintf(out, "%s%u", i ? ", " : "", unsigned{values[i]});
  std::fputc(']', out);
}

void jsonIdentity(const Inspection& inspection, FILE* out) {
  const DriveIdentity& id = inspection.identity;
  std::fputs("  \"identity\": {\"model\": ", out);
  jsonText(out, id.model);
  std::fputs(", \"firmware\": ", out);
  jsonText(out, id.firmwareRevision);
  std::fputs(", \"serial\": ", out);
  jsonText(out, id.serialNumber);
  std::fprintf(out, ", \"sectors\": %" PRIu64 ", \"megabytes\": %u, \"gigabytes\": %.1f",
               id.sectorCount, driveSizeMegabytes(id.sectorCount),
               driveSizeGigabytes(id.sectorCount));
  std::fputs(", \"controller\": ", out);
  jsonText(out, id.vendorString);
  std::fprintf(out, ", \"served\": %s},\n", yesNo(isRealtekController(id)));
}

void jsonBanks(const Inspection& inspection, FILE* out) {
  std::fputs("  \"banks\": ", out);
  unsigned count = 0;
  for (unsigned n = 0; n < kFlashIdRecordCount; ++n) {
    const FlashIdRecord& record = inspection.flashIdTable.records[n];
    if (!isBankPopulated(record)) continue;
    char description[kDescriptionSize] = {};
    DecodeFlashId(record.id, description);
    jsonItem(out, count++);
    std::fprintf(out, "{\"bank\": %u, \"channel\": %u, \"ce\": %u, \"id\": [", n,
                 n / kCesPerChannel, n % kCesPerChannel);
    for (unsigned i = 0; i < kFlashIdLength; ++i) {
      std::fprintf(out, "%s%u", i ? ", " : "", unsigned{record.id[i]});
    }
    std::fputs("], \"description\": ", out);
    jsonText(out, description);
    std::fprintf(out, ", \"in_mask\": %s}",
                 yesNo(isBankMarked(inspection.ceMask, n / kCesPerChannel, n % kCesPerChannel)));
  }
  jsonEnd(out, count);
  char marks[kCeMaskTextSize];
  formatCeMask(inspection.ceMask, marks);
  std::fprintf(out, ",\n  \"ce_mask\": \"%s\",\n", marks);
}

void jsonGeometry(const Inspection& inspection, FILE* out) {
  const FirmwareInfo& g = inspection.firmwareInfo;
  if (!inspection.geometryPresent) {
    std::fputs("  \"geometry\": null,\n", out);
    return;
  }
  std::fprintf(out,
               "  \"geometry\": {\"bankCount\": %u, \"channelCount\": %u, \"ceCount\": %u, "
               "\"diesPerCe\": %u, \"planeCount\": %u, \"blocksPerDie\": %u, "
               "\"pagesPerBlock\": %u, \"sectorsPerPage\": %u, \"fullPageSize\": %u, "
               "\"maxCapacity\": %" PRId64 ", \"maxPeCycle\": %u, \"sharedPages\": %u, "
               "\"gcFreeLimit\": %u},\n",
               unsigned{g.bankCount}, unsigned{g.channelCount}, unsigned{g.ceCount},
               unsigned{g.diesPerCe}, unsigned{g.planeCount}, unsigned{g.blocksPerDie},
               unsigned{g.pagesPerBlock}, unsigned{g.sectorsPerPage}, unsigned{g.fullPageSize},
               g.maxCapacity, unsigned{g.maxPeCycle}, unsigned{g.sharedPages},
               unsigned{g.gcFreeLimit});
}

void jsonBadBlocksAndWear(const Inspection& inspection, FILE* out) {
  std::fputs("  \"bad_blocks\": ", out);
  const uint16_t blocksPerDie = inspection.firmwareInfo.blocksPerDie;
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    uint16_t numbers[BbecAnswer::kBadBlockEntries];
    jsonItem(out, i);
    std::fprintf(out, "{\"channel\": %u, \"ce\": %u, \"factory\": ", bank.channel, bank.ce);
    jsonNumbers(out, numbers,
                listBadBlocks(bankAnswer(inspection, bank), blocksPerDie, kFactoryBadBlock, numbers));
    std::fputs(", \"grown\": ", out);
    jsonNumbers(out, numbers,
                listBadBlocks(bankAnswer(inspection, bank), blocksPerDie, kGrownBadBlock, numbers));
    std::fputc('}', out);
  }
  jsonEnd(out, inspection.bankCount);
  std::fputs(",\n  \"wear\": ", out);
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    jsonItem(out, i);
    std::fprintf(out,
                 "{\"channel\": %u, \"ce\": %u, \"blocks\": %u, \"counted\": %u, \"bad\": %u, "
                 "\"no_count\": %u, ",
                 bank.channel, bank.ce, bank.blocks, bank.counted, bank.bad, bank.noCount);
    if (bank.counted > 0) {
      std::fprintf(out, "\"min\": %u, \"max\": %u, \"mean\": %.2f, \"median\": %u, ",
                   unsigned{bank.min}, unsigned{bank.max}, bank.mean, unsigned{bank.median});
    } else {
      std::fputs("\"min\": null, \"max\": null, \"mean\": null, \"median\": null, ", out);
    }
    double percent = 0;
    if (lifeUsedPercent(inspection, bank, &percent)) {
      std::fprintf(out, "\"life_used_percent\": %.1f}", percent);
    } else {
      std::fputs("\"life_used_percent\": null}", out);
    }
  }
  jsonEnd(out, inspection.bankCount);
  std::fputs(",\n", out);
}

void jsonSmart(const Inspection& inspection, FILE* out) {
  if (!inspection.smartPresent) {
    std::fputs("  \"smart\": null,\n", out);
    return;
  }
  std::fprintf(out, "  \"smart\": {\"checksum_valid\": %s, \"attributes\": ",
               yesNo(smartChecksumValid(inspection.smart)));
  unsigned count = 0;
  for (unsigned i = 0; i < kSmartAttributeCount; ++i) {
    const SmartAttribute a = readSmartAttribute(inspection.smart, i);
    if (a.id == 0) continue;
    jsonItem(out, count++);
    std::fprintf(out,
                 "{\"id\": %u, \"flags\": %u, \"value\": %u, \"worst\": %u, \"raw\": %" PRIu64 "}",
                 unsigned{a.id}, unsigned{a.flags}, unsigned{a.value}, unsigned{a.worst}, a.raw);
  }
  jsonEnd(out, count);
  std::fputs("},\n", out);
}

void jsonFiles(const Inspection& inspection, FILE* out) {
  std::fputs("  \"missing_files\": [", out);
  unsigned count = 0;
  for (unsigned i = 0; i < inspection.fileCount; ++i) {
    if (inspection.files[i].opened) continue;
    if (count++ != 0) std::fputs(", ", out);
    jsonText(out, inspection.files[i].name);
  }
  std::fputs("],\n  \"short_files\": [", out);
  count = 0;
  for (unsigned i = 0; i < inspection.fileCount; ++i) {
    const DumpFile& file = inspection.files[i];
    if (!file.opened || file.bytesRead >= file.size) continue;
    std::fprintf(out, "%s{\"name\": \"%s\", \"bytes\": %u, \"size\": %u}", count++ ? ", " : "",
                 file.name, file.bytesRead, file.size);
  }
  std::fputs("]\n", out);
}

// ---- SVG wear map ----

// Colours: eight steps of erase count from cold to hot (one scale for every bank, from the lowest
// to the highest count of all banks read), then the values of their own and the list marks.
constexpr unsigned kScaleSteps = 8;
constexpr const char* kScale[kScaleSteps] = {"#4575b4", "#74add1", "#abd9e9", "#e0f3f8",
                                             "#fee090", "#fdae61", "#f46d43", "#d73027"};
constexpr const char* kBadColour = "#252525";
constexpr const char* kNoCountColour = "#bdbdbd";
constexpr const char* kFactoryMark = "#00c000";
constexpr const char* kGrownMark = "#ff00ff";

// The layout, in pixels: a header of three text lines, then a strip per bank read with its label
// on the left and its cells from x = 96, up to 128 cells a row, 6 to 24 pixels a cell (the cell
// drawn one pixel smaller, so the grid shows); then the histogram over the scale's steps and the
// legend.
constexpr unsigned kMargin = 16;
constexpr unsigned kCellsLeft = 96;
constexpr unsigned kStripsTop = 80;
constexpr unsigned kStripGap = 12;
constexpr unsigned kRowCells = 128;
constexpr unsigned kBarPitch = 56;
constexpr unsigned kBarWidth = 48;
constexpr unsigned kBarHeight = 100;
constexpr unsigned kLegendColumn = 280;
constexpr unsigned kLegendRow = 20;

// The scale: counts from low to top, split into kScaleSteps equal parts.
struct Scale {
  unsigned low = 0;
  unsigned top = 0;
};

unsigned scaleStep(uint16_t count, const Scale& scale) {
  return static_cast<unsigned>(uint64_t{count - scale.low} * kScaleSteps /
                               (scale.top - scale.low + 1));
}

// A drive's text as XML character data: markup characters as entities, bytes from 0x7F on as the
// Latin-1 character of that number, control bytes (which XML cannot carry) as U+FFFD.
void svgText(FILE* out, const char* text) {
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != 0; ++c) {
    if (*c == '&') std::fputs("&amp;", out);
    else if (*c == '<') std::fputs("&lt;", out);
    else if (*c == '>') std::fputs("&gt;", out);
    else if (*c < 0x20) std::fputs("&#xfffd;", out);
    else if (*c >= 0x7F) std::fprintf(out, "&#x%x;", unsigned{*c});
    else std::fputc(*c, out);
  }
}

const char* cellColour(uint16_t value, const Scale& scale) {
  if (value == kEraseCountBad) return kBadColour;
  if (value == kEraseCountNone) return kNoCountColour;
  return kScale[scaleStep(value, scale)];
}

// A list mark: a triangle over the top-left corner of the cell, half the cell's side.
void svgMark(FILE* out, unsigned x, unsigned y, unsigned cell, const char* colour) {
  const unsigned h = cell / 2;
  std::fprintf(out, "<polygon points=\"%u,%u %u,%u %u,%u\" fill=\"%s\"/>\n", x, y, x + h, y, x,
               y + h, colour);
}

}  // namespace

int writeSummary(const Inspection& inspection, const char* folder, FILE* out) {
  std::fprintf(out, "Dump set: %s\n", folder);
  if (countFiles(inspection, false) != 0) {
    std::fputs("Missing : ", out);
    listFiles(inspection, out, false);
    std::fputc('\n', out);
  }
  if (countFiles(inspection, true) != 0) {
    std::fputs("Short   : ", out);
    listFiles(inspection, out, true);
    std::fputc('\n', out);
  }
  summaryIdentity(inspection, out);
  summaryFlash(inspection, out);
  summaryWear(inspection, out);
  summarySmart(inspection, out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

int writeJson(const Inspection& inspection, FILE* out) {
  std::fputs("{\n", out);
  jsonIdentity(inspection, out);
  jsonBanks(inspection, out);
  jsonGeometry(inspection, out);
  jsonBadBlocksAndWear(inspection, out);
  jsonSmart(inspection, out);
  jsonFiles(inspection, out);
  std::fputs("}\n", out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

int writeWearMap(const Inspection& inspection, FILE* out) {
  const unsigned blocks = inspection.bankCount > 0 ? inspection.banks[0].blocks : 0;
  const unsigned columns = blocks < kRowCells ? blocks : kRowCells;
  unsigned cell = columns == 0 ? 24 : 1024 / columns;
  cell = cell < 6 ? 6 : cell > 24 ? 24 : cell;
  const unsigned rows = columns == 0 ? 0 : (blocks + columns - 1) / columns;
  const unsigned stripHeight = (rows * cell > 16 ? rows * cell : 16) + kStripGap;

  // One scale for every bank: the lowest to the highest count; the histogram over its steps.
  Scale scale;
  unsigned bad = 0, noCount = 0, counted = 0;
  unsigned histogram[kScaleSteps + 2] = {};
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    if (bank.counted > 0) {
      scale.low = counted == 0 || bank.min < scale.low ? bank.min : scale.low;
      scale.top = bank.max > scale.top ? bank.max : scale.top;
    }
    bad += bank.bad;
    noCount += bank.noCount;
    counted += bank.counted;
  }
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    for (unsigned b = 0; b < blocks; ++b) {
      const uint16_t value = eraseCountOf(bankAnswer(inspection, inspection.banks[i]), b);
      if (value < kEraseCountBad) ++histogram[scaleStep(value, scale)];
    }
  }
  histogram[kScaleSteps] = bad;
  histogram[kScaleSteps + 1] = noCount;
  unsigned highest = 1;
  for (unsigned n : histogram) highest = n > highest ? n : highest;

  const unsigned chartTop = kStripsTop + inspection.bankCount * stripHeight + 16;
  const unsigned base = chartTop + 40 + kBarHeight;
  const unsigned legend = base + 40;
  unsigned width = kCellsLeft + columns * cell + kMargin;
  const unsigned chartWidth = kCellsLeft + (kScaleSteps + 2) * kBarPitch + kMargin;
  width = width > chartWidth ? width : chartWidth;
  const unsigned height = legend + kLegendRow + 14 + kMargin;

  const DriveIdentity& id = inspection.identity;
  std::fprintf(out,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%u\" height=\"%u\" "
               "viewBox=\"0 0 %u %u\" font-family=\"sans-serif\" font-size=\"12\">\n<title>",
               width, height, width, height);
  std::fputs("Wear map: ", out);
  svgText(out, id.model);
  std::fputs(" [", out);
  svgText(out, id.vendorString);
  std::fprintf(out, "]</title>\n<rect width=\"%u\" height=\"%u\" fill=\"#ffffff\"/>\n", width,
               height);
  std::fprintf(out, "<text x=\"%u\" y=\"28\" font-size=\"18\" font-weight=\"bold\">Wear map: ",
               kMargin);
  svgText(out, id.model);
  std::fputs(" [", out);
  svgText(out, id.vendorString);
  std::fprintf(out,
               "]</text>\n<text x=\"%u\" y=\"48\">%u banks read, %u blocks each; a cell a block, "
               "coloured by its erase count, %u to %u on one scale for all banks</text>\n",
               kMargin, inspection.bankCount, blocks, scale.low, scale.top);
  if (countFiles(inspection, false) + countFiles(inspection, true) != 0) {
    std::fprintf(out, "<text x=\"%u\" y=\"66\" fill=\"#b00000\">", kMargin);
    if (countFiles(inspection, false) != 0) {
      std::fputs("Missing: ", out);
      listFiles(inspection, out, false);
      std::fputs(". ", out);
    }
    if (countFiles(inspection, true) != 0) {
      std::fputs("Short: ", out);
      listFiles(inspection, out, true);
      std::fputc('.', out);
    }
    std::fputs("</text>\n", out);
  }

  const uint16_t blocksPerDie = inspection.firmwareInfo.blocksPerDie;
  std::fputs("<g shape-rendering=\"crispEdges\">\n", out);
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    const BbecAnswer& answer = bankAnswer(inspection, bank);
    const unsigned top0 = kStripsTop + i * stripHeight;
    std::fprintf(out, "<text x=\"%u\" y=\"%u\">Ch%uCE%u</text>\n", kMargin, top0 + 13,
                 bank.channel, bank.ce);
    for (unsigned b = 0; b < blocks; ++b) {
      std::fprintf(out, "<rect x=\"%u\" y=\"%u\" width=\"%u\" height=\"%u\" fill=\"%s\"/>\n",
                   kCellsLeft + b % columns * cell, top0 + b / columns * cell, cell - 1, cell - 1,
                   cellColour(eraseCountOf(answer, b), scale));
    }
    uint16_t numbers[BbecAnswer::kBadBlockEntries];
    for (unsigned mark = 0; mark < 2; ++mark) {
      const uint8_t kind = mark == 0 ? kFactoryBadBlock : kGrownBadBlock;
      const unsigned listed = listBadBlocks(answer, blocksPerDie, kind, numbers);
      for (unsigned k = 0; k < listed; ++k) {
        if (numbers[k] >= blocks) continue;  // no cell drawn for it
        svgMark(out, kCellsLeft + numbers[k] % columns * cell, top0 + numbers[k] / columns * cell,
                cell, kind == kFactoryBadBlock ? kFactoryMark : kGrownMark);
      }
    }
  }

  // The histogram: a bar per step of the scale in its colour, then the bad blocks and the blocks
  // without a count; the step's range of counts under each bar is the scale's legend.
  std::fprintf(out,
               "<text x=\"%u\" y=\"%u\">Histogram of the erase counts of all banks read (%u "
               "counted, %u bad, %u without a count; MaxPECycle %u)</text>\n",
               kMargin, chartTop + 12, counted, bad, noCount,
               unsigned{inspection.firmwareInfo.maxPeCycle});
  std::fprintf(out, "<text x=\"%u\" y=\"%u\">Blocks</text>\n<text x=\"%u\" y=\"%u\">Count</text>\n",
               kMargin, base - 4, kMargin, base + 14);
  for (unsigned k = 0; k < kScaleSteps + 2; ++k) {
    const unsigned x = kCellsLeft + k * kBarPitch;
    const unsigned h = (2 * kBarHeight * histogram[k] + highest) / (2 * highest);
    const char* colour = k < kScaleSteps ? kScale[k] : k == kScaleSteps ? kBadColour : kNoCountColour;
    std::fprintf(out, "<rect x=\"%u\" y=\"%u\" width=\"%u\" height=\"%u\" fill=\"%s\"/>\n", x,
                 base - h, kBarWidth, h, colour);
    std::fprintf(out, "<text x=\"%u\" y=\"%u\" text-anchor=\"middle\">%u</text>\n",
                 x + kBarWidth / 2, base - h - 4, histogram[k]);
    std::fprintf(out, "<text x=\"%u\" y=\"%u\" text-anchor=\"middle\">", x + kBarWidth / 2,
                 base + 14);
    if (k == kScaleSteps) {
      std::fputs("Bad", out);
    } else if (k == kScaleSteps + 1) {
      std::fputs("none", out);
    } else {
      // Counts c with (c - low) * steps / span == k: from low + ceil(k span / steps) up.
      const uint64_t span = scale.top - scale.low + 1;
      const uint64_t first = scale.low + (k * span + kScaleSteps - 1) / kScaleSteps;
      const uint64_t next = scale.low + ((k + 1) * span + kScaleSteps - 1) / kScaleSteps;
      if (next > first) std::fprintf(out, "%" PRIu64 "-%" PRIu64, first, next - 1);
    }
    std::fputs("</text>\n", out);
  }
  std::fputs("</g>\n", out);

  // The legend of the colours of their own and of the marks, two rows of two.
  const struct {
    const char* colour;
    const char* text;
    bool mark;
  } items[] = {{kBadColour, "bad block (65534)", false},
               {kFactoryMark, "factory bad block (Fabric list)", true},
               {kNoCountColour, "no count (65535)", false},
               {kGrownMark, "grown bad block (Later list)", true}};
  for (unsigned i = 0; i < 4; ++i) {
    const unsigned x = kMargin + i % 2 * kLegendColumn, y = legend + i / 2 * kLegendRow;
    std::fprintf(out, "<rect x=\"%u\" y=\"%u\" width=\"14\" height=\"14\" fill=\"%s\"/>\n", x, y,
                 items[i].mark ? kBadColour : items[i].colour);
    if (items[i].mark) svgMark(out, x, y, 14, items[i].colour);
    std::fprintf(out, "<text x=\"%u\" y=\"%u\">%s</text>\n", x + 20, y + 11, items[i].text);
  }
  std::fputs("</svg>\n", out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace kzt
