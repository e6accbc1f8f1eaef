// SPDX-License-Identifier: GPL-2.0-or-later
// The outputs of one dump set: the summary for a person and the JSON object for records, and the
// pieces that the comparison's outputs share with them. Figures are rounded as printf rounds
// them: the mean with "%.2f", the share of the rated life with "%.1f".
#include <cinttypes>
#include <cstring>

#include "inspect/inspect.h"
#include "nandid/flash_id.h"
#include "output/json.h"

namespace kzt {

bool lifeUsedPercent(const Inspection& inspection, const BankWear& bank, double* percent) {
  const uint16_t rated = inspection.firmwareInfo.maxPeCycle;
  if (bank.counted == 0 || rated == 0) return false;
  *percent = bank.mean / rated * 100.0;
  return true;
}

unsigned listFiles(const Inspection& inspection, FILE* out, bool wantShort) {
  unsigned count = 0;
  for (unsigned i = 0; i < inspection.fileCount; ++i) {
    const DumpFile& file = inspection.files[i];
    if (wantShort ? !file.opened || file.bytesRead >= file.size
                  : file.opened || file.unreadable[0] != '\0') {
      continue;
    }
    std::fprintf(out, "%s%s", count++ == 0 ? "" : ", ", file.name);
    if (wantShort) std::fprintf(out, " (%u of %u bytes)", file.bytesRead, file.size);
  }
  return count;
}

unsigned countFiles(const Inspection& inspection, bool wantShort) {
  unsigned count = 0;
  for (unsigned i = 0; i < inspection.fileCount; ++i) {
    const DumpFile& file = inspection.files[i];
    count += wantShort ? file.opened && file.bytesRead < file.size
                       : !file.opened && file.unreadable[0] == '\0';
  }
  return count;
}

void jsonNumbers(FILE* out, const uint16_t* values, unsigned count) {
  std::fputc('[', out);
  for (unsigned i = 0; i < count; ++i) std::fprintf(out, "%s%u", i ? ", " : "", unsigned{values[i]});
  std::fputc(']', out);
}

void jsonItem(FILE* out, unsigned index) { std::fputs(index == 0 ? "[\n    " : ",\n    ", out); }
void jsonEnd(FILE* out, unsigned count) { std::fputs(count == 0 ? "[]" : "\n  ]", out); }

void jsonFiles(const Inspection& inspection, const char* separator, FILE* out) {
  std::fputs("\"missing_files\": [", out);
  unsigned count = 0;
  for (unsigned i = 0; i < inspection.fileCount; ++i) {
    if (inspection.files[i].opened || inspection.files[i].unreadable[0] != '\0') continue;
    if (count++ != 0) std::fputs(", ", out);
    writeJsonText(out, inspection.files[i].name);
  }
  std::fprintf(out, "],%s\"short_files\": [", separator);
  count = 0;
  for (unsigned i = 0; i < inspection.fileCount; ++i) {
    const DumpFile& file = inspection.files[i];
    if (!file.opened || file.bytesRead >= file.size) continue;
    std::fprintf(out, "%s{\"name\": \"%s\", \"bytes\": %u, \"size\": %u}", count++ ? ", " : "",
                 file.name, file.bytesRead, file.size);
  }
  std::fprintf(out, "],%s\"unreadable_files\": [", separator);
  count = 0;
  for (unsigned i = 0; i < inspection.fileCount; ++i) {
    const DumpFile& file = inspection.files[i];
    if (file.unreadable[0] == '\0') continue;
    std::fprintf(out, "%s{\"name\": \"%s\", \"reason\": ", count++ ? ", " : "", file.name);
    writeJsonText(out, file.unreadable);
    std::fputc('}', out);
  }
  std::fputc(']', out);
}

void summaryFiles(const Inspection& inspection, const char* missing, const char* short_,
                  FILE* out) {
  if (countFiles(inspection, false) != 0) {
    std::fputs(missing, out);
    listFiles(inspection, out, false);
    std::fputc('\n', out);
  }
  if (countFiles(inspection, true) != 0) {
    std::fputs(short_, out);
    listFiles(inspection, out, true);
    std::fputc('\n', out);
  }
  for (unsigned i = 0; i < inspection.fileCount; ++i) {
    const DumpFile& file = inspection.files[i];
    if (file.unreadable[0] != '\0') {
      std::fprintf(out, "%s cannot be read: %s\n", file.name, file.unreadable);
    }
  }
}

void jsonHeader(FILE* out, int argc, const char* const* argv) {
  std::fprintf(out, "{\n  \"json_format_version\": [%u, %u],\n  \"kzt_inspect\": {\"version\": ",
               kInspectJsonMajor, kInspectJsonMinor);
  writeJsonText(out, KZT_VERSION_TEXT);
  std::fputs(", \"argv\": [", out);
  for (int i = 0; i < argc; ++i) {
    if (i != 0) std::fputs(", ", out);
    writeJsonText(out, argv[i]);
  }
  std::fputs("]},\n", out);
}

void jsonNumberOrNull(FILE* out, bool known, const char* format, double value) {
  if (known) std::fprintf(out, format, value);
  else std::fputs("null", out);
}

void summaryHealth(const Health& health, FILE* out) {
  std::fprintf(out, "\nHealth: %s\n", healthVerdictName(health.verdict));
  for (unsigned i = 0; i < health.reasonCount; ++i) {
    std::fprintf(out, "  %-7s %s\n", healthVerdictName(health.reasons[i].verdict),
                 health.reasons[i].text);
  }
  if (health.reasonsDropped != 0) {
    std::fprintf(out, "  and %u more reasons\n", health.reasonsDropped);
  }
}

void jsonHealth(const Health& health, FILE* out) {
  std::fprintf(out, "{\"verdict\": \"%s\", \"reasons\": [", healthVerdictName(health.verdict));
  for (unsigned i = 0; i < health.reasonCount; ++i) {
    const HealthReason& reason = health.reasons[i];
    std::fprintf(out, "%s{\"verdict\": \"%s\", \"rule\": \"%s\", \"text\": ", i ? ", " : "",
                 healthVerdictName(reason.verdict), healthRuleName(reason.rule));
    writeJsonText(out, reason.text);
    std::fputc('}', out);
  }
  std::fprintf(out, "], \"reasons_not_listed\": %u}", health.reasonsDropped);
}

void readingTime(const ReadingManifest& manifest, char* text) {
  if (manifest.utc[0] != '\0') std::snprintf(text, kUtcTextSize, "%s", manifest.utc);
  else if (manifest.timeKnown) formatUtc(text, manifest.unixTime, UtcForm::Iso);
  else std::snprintf(text, kUtcTextSize, "-");
}

void summaryReading(const Inspection& inspection, const char* label, FILE* out) {
  const ReadingManifest& m = inspection.manifest;
  std::fputs(label, out);
  if (!m.present) {
    std::fputs("time, host and node unknown (no reading.json)\n", out);
    return;
  }
  char time[kUtcTextSize];
  readingTime(m, time);
  writeShown(out, time[0] != '-' ? time : "time unknown");
  if (m.localOffset[0] != '\0') {
    std::fputs(" (local offset ", out);
    writeShown(out, m.localOffset);
    std::fputc(')', out);
  }
  std::fputs(", host ", out);
  writeShown(out, m.hostKnown ? m.host : "unknown");
  std::fputs(", node ", out);
  writeShown(out, m.nodeKnown ? m.node : "unknown");
  std::fputc('\n', out);
}

void jsonReading(const Inspection& inspection, FILE* out) { jsonManifest(inspection.manifest, out); }

void jsonManifest(const ReadingManifest& m, FILE* out) {
  if (!m.present) {
    std::fputs("null", out);
    return;
  }
  std::fputs("{\"time_utc\": ", out);
  if (m.utc[0] != '\0') writeJsonText(out, m.utc);
  else std::fputs("null", out);
  std::fputs(", \"time_unix\": ", out);
  if (m.timeKnown) std::fprintf(out, "%" PRId64, m.unixTime);
  else std::fputs("null", out);
  std::fputs(", \"local_offset\": ", out);
  if (m.localOffset[0] != '\0') writeJsonText(out, m.localOffset);
  else std::fputs("null", out);
  std::fputs(", \"host\": ", out);
  if (m.hostKnown) writeJsonText(out, m.host);
  else std::fputs("null", out);
  std::fputs(", \"node\": ", out);
  if (m.nodeKnown) writeJsonText(out, m.node);
  else std::fputs("null", out);
  std::fputc('}', out);
}

namespace {

const char* yesNo(int value) { return value ? "true" : "false"; }

// ---- Summary ----

void summaryIdentity(const Inspection& inspection, FILE* out) {
  if (!inspection.identityPresent) {
    std::fputs("Identity: unknown (no id.bin: the IDENTIFY answer did not arrive)\n", out);
    return;
  }
  const DriveIdentity& id = inspection.identity;
  std::fputs("Model: ", out);
  writeShown(out, id.model);
  std::fputs("\nFw   : ", out);
  writeShown(out, id.firmwareRevision);
  std::fputs("\nS/N  : ", out);
  writeShown(out, id.serialNumber);
  std::fprintf(out, "\nSize : %u MB [%1.1f GB]\n", driveSizeMegabytes(id.sectorCount),
               driveSizeGigabytes(id.sectorCount));
  if (id.vendorString[0] != '\0') {
    std::fputs("FwStr: [", out);
    writeShown(out, id.vendorString);
    std::fputs("]\n", out);
  }
  if (!isRealtekController(id)) {
    std::fprintf(out, "Realtek based SSD not found: kzt_fid stops after these lines\n");
  }
}

void summaryFlash(const Inspection& inspection, FILE* out) {
  char marks[kCeMaskTextSize] = "";
  if (!inspection.flashIdTablePresent) {
    std::fputs("Banks: unknown (no kzt_fid2.bin: the Get FID2 answer did not arrive)\n", out);
  } else {
    formatCeMask(inspection.ceMask, marks);
  }
  for (unsigned n = 0; n < kFlashIdRecordCount; ++n) {
    const FlashIdRecord& record = inspection.flashIdTable.records[n];
    if (!isBankPopulated(record)) continue;
    const uint8_t* b = record.id;
    char description[kDescriptionSize] = {};
    DecodeFlashId(b, description);
    std::fprintf(out, "Bank%02u: 0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x,0x%x - %s\n", n, b[0], b[1],
                 b[2], b[3], b[4], b[5], b[6], b[7], description);
  }
  std::fprintf(out, "Flash CE Mask : [%s]\n", marks);
  const FirmwareInfo& g = inspection.firmwareInfo;
  if (!inspection.firmwareInfoPresent) {
    std::fputs("Geometry: unknown (no kzt_fwi.bin: the Get FWI answer did not arrive)\n", out);
    return;
  }
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
  if (!inspection.geometryPresent) {
    std::fprintf(out, "\nWear: %u banks read:", inspection.bankCount);
    for (unsigned i = 0; i < inspection.bankCount; ++i) {
      std::fprintf(out, " Ch%uCE%u", inspection.banks[i].channel, inspection.banks[i].ce);
    }
    std::fputs("\n  Block/Die is unknown without the geometry: no erase counts and no bad-block "
               "lists read\n", out);
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

void jsonIdentity(const Inspection& inspection, FILE* out) {
  if (!inspection.identityPresent) {
    std::fputs("  \"identity\": null,\n", out);
    return;
  }
  const DriveIdentity& id = inspection.identity;
  std::fputs("  \"identity\": {\"model\": ", out);
  writeJsonText(out, id.model);
  std::fputs(", \"firmware\": ", out);
  writeJsonText(out, id.firmwareRevision);
  std::fputs(", \"serial\": ", out);
  writeJsonText(out, id.serialNumber);
  std::fprintf(out,
               ", \"sectors\": %" PRIu64 ", \"bytes\": %" PRIu64 ", \"mebibytes\": %u, "
               "\"gigabytes\": %.1f",
               id.sectorCount, id.sectorCount * 512, driveSizeMegabytes(id.sectorCount),
               driveSizeGigabytes(id.sectorCount));
  std::fputs(", \"controller\": ", out);
  writeJsonText(out, id.vendorString);
  std::fprintf(out, ", \"served\": %s},\n", yesNo(isRealtekController(id)));
}

void jsonBanks(const Inspection& inspection, FILE* out) {
  std::fputs("  \"banks\": ", out);
  if (!inspection.flashIdTablePresent) {
    std::fputs("null,\n  \"ce_mask\": null,\n", out);
    return;
  }
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
    writeJsonText(out, description);
    std::fprintf(out, ", \"in_mask\": %s}",
                 yesNo(isBankMarked(inspection.ceMask, n / kCesPerChannel, n % kCesPerChannel)));
  }
  jsonEnd(out, count);
  char marks[kCeMaskTextSize] = "";
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
               "  \"geometry\": {\"bank_count\": %u, \"channel_count\": %u, \"ce_count\": %u, "
               "\"dies_per_ce\": %u, \"plane_count\": %u, \"blocks_per_die\": %u, "
               "\"pages_per_block\": %u, \"sectors_per_page\": %u, \"full_page_size\": %u, "
               "\"max_capacity\": %" PRId64 ", \"max_pe_cycle\": %u, \"shared_pages\": %u, "
               "\"gc_free_limit\": %u},\n",
               unsigned{g.bankCount}, unsigned{g.channelCount}, unsigned{g.ceCount},
               unsigned{g.diesPerCe}, unsigned{g.planeCount}, unsigned{g.blocksPerDie},
               unsigned{g.pagesPerBlock}, unsigned{g.sectorsPerPage}, unsigned{g.fullPageSize},
               g.maxCapacity, unsigned{g.maxPeCycle}, unsigned{g.sharedPages},
               unsigned{g.gcFreeLimit});
}

// A bank's list of `kind` as a JSON array, or null while Block/Die is unknown.
void jsonList(const Inspection& inspection, const BankWear& bank, uint8_t kind, FILE* out) {
  if (!inspection.geometryPresent) {
    std::fputs("null", out);
    return;
  }
  uint16_t numbers[BbecAnswer::kBadBlockEntries];
  jsonNumbers(out, numbers,
              listBadBlocks(bankAnswer(inspection, bank), inspection.firmwareInfo.blocksPerDie,
                            kind, numbers));
}

void jsonBadBlocksAndWear(const Inspection& inspection, FILE* out) {
  std::fputs("  \"bad_blocks\": ", out);
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    jsonItem(out, i);
    std::fprintf(out, "{\"channel\": %u, \"ce\": %u, \"factory\": ", bank.channel, bank.ce);
    jsonList(inspection, bank, kFactoryBadBlock, out);
    std::fputs(", \"grown\": ", out);
    jsonList(inspection, bank, kGrownBadBlock, out);
    std::fputc('}', out);
  }
  jsonEnd(out, inspection.bankCount);
  std::fputs(",\n  \"wear\": ", out);
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    jsonItem(out, i);
    if (inspection.geometryPresent) {
      std::fprintf(out,
                   "{\"channel\": %u, \"ce\": %u, \"blocks\": %u, \"counted\": %u, \"bad\": %u, "
                   "\"no_count\": %u, ",
                   bank.channel, bank.ce, bank.blocks, bank.counted, bank.bad, bank.noCount);
    } else {
      std::fprintf(out,
                   "{\"channel\": %u, \"ce\": %u, \"blocks\": null, \"counted\": null, "
                   "\"bad\": null, \"no_count\": null, ",
                   bank.channel, bank.ce);
    }
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

}  // namespace

int writeSummary(const Inspection& inspection, const char* folder, const Health& health,
                 FILE* out) {
  std::fputs("Dump set: ", out);
  writeShown(out, folder);
  std::fputc('\n', out);
  summaryReading(inspection, "Reading : ", out);
  summaryFiles(inspection, "Missing : ", "Short   : ", out);
  summaryIdentity(inspection, out);
  summaryFlash(inspection, out);
  summaryWear(inspection, out);
  summarySmart(inspection, out);
  summaryHealth(health, out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

int writeJson(const Inspection& inspection, const Health& health, int argc,
              const char* const* argv, FILE* out) {
  jsonHeader(out, argc, argv);
  std::fputs("  \"reading\": ", out);
  jsonReading(inspection, out);
  std::fputs(",\n", out);
  jsonIdentity(inspection, out);
  jsonBanks(inspection, out);
  jsonGeometry(inspection, out);
  jsonBadBlocksAndWear(inspection, out);
  jsonSmart(inspection, out);
  std::fputs("  \"health\": ", out);
  jsonHealth(health, out);
  std::fputs(",\n  ", out);
  jsonFiles(inspection, "\n  ", out);
  std::fputs("\n}\n", out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace kzt
