// SPDX-License-Identifier: GPL-2.0-or-later
// The outputs of a comparison of two dump sets of one drive: the summary for a person and the JSON
// object. Per bank read in both sets: the mean and the highest count before and after and their
// change (the mean rounded as "%.2f"), the share of the rated life used (as "%.1f"), how many
// counts rose, stayed and fell, the blocks that turned bad, the blocks new in the grown list and
// any change of the factory list; then the banks read in one set only and the SMART raw values
// that changed.
#include <cinttypes>
#include <cstring>

#include "inspect/inspect.h"
#include "output/json.h"

namespace kzt {

namespace {

// Room for the block numbers of a bank: every block, or every entry of a list.
uint16_t numbers[BbecAnswer::kEraseCountValues];

bool listsCompared(const Comparison& comparison) {
  return comparison.before->geometryPresent && comparison.after->geometryPresent;
}

// The SMART entry of `id` in a data block, or an entry with id 0 when there is none.
SmartAttribute findAttribute(const uint8_t* smart, uint8_t id) {
  for (unsigned i = 0; i < kSmartAttributeCount; ++i) {
    const SmartAttribute a = readSmartAttribute(smart, i);
    if (a.id == id) return a;
  }
  return SmartAttribute{};
}

// A SMART attribute whose raw value differs between the sets.
struct SmartChange {
  uint8_t id;
  uint64_t before;
  uint64_t after;
};

// The attributes of the new set whose raw value differs from the entry of the same id in the old
// set, into `changes` (room for kSmartAttributeCount); how many.
unsigned listSmartChanges(const Comparison& comparison, SmartChange* changes) {
  unsigned count = 0;
  for (unsigned i = 0; i < kSmartAttributeCount; ++i) {
    const SmartAttribute now = readSmartAttribute(comparison.after->smart, i);
    if (now.id == 0) continue;
    const SmartAttribute then = findAttribute(comparison.before->smart, now.id);
    if (then.id != 0 && then.raw != now.raw) changes[count++] = {now.id, then.raw, now.raw};
  }
  return count;
}

const char* smartMissingIn(const Comparison& comparison) {
  if (!comparison.before->smartPresent) return comparison.after->smartPresent ? "old" : "either set";
  return comparison.after->smartPresent ? nullptr : "new";
}

// ---- Summary ----

// The change of a bank's mean as it is printed ("%.2f"): a change that rounds to zero is zero, not
// "-0.00".
double meanChange(const BankWear& then, const BankWear& now) {
  const double change = now.mean - then.mean;
  return change > -0.005 && change < 0.005 ? 0.0 : change;
}

void summaryBankLine(const Comparison& comparison, const BankChange& bank, FILE* out) {
  const BankWear& then = *bank.before;
  const BankWear& now = *bank.after;
  char name[16], meanThen[24] = "-", meanNow[24] = "-", meanText[24] = "-";
  char maxThen[12] = "-", maxNow[12] = "-", maxChange[12] = "-", fell[16];
  char lifeThen[24] = "-", lifeNow[24] = "-";
  std::snprintf(name, sizeof name, "Ch%uCE%u", now.channel, now.ce);
  if (then.counted > 0) {
    std::snprintf(meanThen, sizeof meanThen, "%.2f", then.mean);
    std::snprintf(maxThen, sizeof maxThen, "%u", unsigned{then.max});
  }
  if (now.counted > 0) {
    std::snprintf(meanNow, sizeof meanNow, "%.2f", now.mean);
    std::snprintf(maxNow, sizeof maxNow, "%u", unsigned{now.max});
  }
  if (then.counted > 0 && now.counted > 0) {
    std::snprintf(meanText, sizeof meanText, "%+.2f", meanChange(then, now));
    std::snprintf(maxChange, sizeof maxChange, "%+d", int{now.max} - int{then.max});
  }
  std::snprintf(fell, sizeof fell, "%u%s", bank.changes[kFell], bank.changes[kFell] ? "!" : "");
  double percent = 0;
  if (lifeUsedPercent(*comparison.before, then, &percent)) {
    std::snprintf(lifeThen, sizeof lifeThen, "%.1f%%", percent);
  }
  if (lifeUsedPercent(*comparison.after, now, &percent)) {
    std::snprintf(lifeNow, sizeof lifeNow, "%.1f%%", percent);
  }
  std::fprintf(out, "%-6s %8s %8s %8s %7s %7s %6s %4u %6u %4s %8s %8s\n", name, meanThen,
               meanNow, meanText, maxThen, maxNow, maxChange, bank.changes[kRose],
               bank.changes[kStayed], fell, lifeThen, lifeNow);
}

// "; <label>: n, n, n" when the list is not empty.
void summaryNumbers(FILE* out, const char* label, unsigned count, unsigned* written) {
  if (count == 0) return;
  std::fprintf(out, "%s%s:", *written ? "; " : "", label);
  for (unsigned k = 0; k < count; ++k) std::fprintf(out, " %u", unsigned{numbers[k]});
  ++*written;
}

void summaryBankBlocks(const Comparison& comparison, const BankChange& bank, FILE* out) {
  const BankWear& then = *bank.before;
  const BankWear& now = *bank.after;
  if (bank.changes[kFell] + bank.changes[kTurnedBad] + bank.newlyGrown + bank.factoryAdded +
          bank.factoryRemoved == 0) {
    return;
  }
  std::fprintf(out, "Ch%uCE%u: ", now.channel, now.ce);
  unsigned written = 0;
  summaryNumbers(out, "counts fell (odd)", listChangedBlocks(comparison, bank, kFell, numbers),
                 &written);
  summaryNumbers(out, "turned bad", listChangedBlocks(comparison, bank, kTurnedBad, numbers),
                 &written);
  const Inspection& before = *comparison.before;
  const Inspection& after = *comparison.after;
  if (!listsCompared(comparison)) {
    std::fputc('\n', out);
    return;
  }
  summaryNumbers(out, "newly in the grown list",
                 listEntriesNotIn(after, now, before, then, kGrownBadBlock, numbers), &written);
  summaryNumbers(out, "FACTORY LIST CHANGED, added",
                 listEntriesNotIn(after, now, before, then, kFactoryBadBlock, numbers), &written);
  summaryNumbers(out, bank.factoryAdded ? "removed" : "FACTORY LIST CHANGED, removed",
                 listEntriesNotIn(before, then, after, now, kFactoryBadBlock, numbers), &written);
  std::fputc('\n', out);
}

void summaryWear(const Comparison& comparison, FILE* out) {
  const Inspection* sets[2] = {comparison.before, comparison.after};
  char ratedCycles[2][12];
  for (unsigned s = 0; s < 2; ++s) {
    std::snprintf(ratedCycles[s], sizeof ratedCycles[s], "%u",
                  unsigned{sets[s]->firmwareInfo.maxPeCycle});
    if (sets[s]->geometryPresent) continue;
    std::snprintf(ratedCycles[s], sizeof ratedCycles[s], "unknown");
    std::fprintf(out, "Block/Die is unknown in %s without the geometry: no counts and no "
                 "bad-block lists compared\n", s == 0 ? "old" : "new");
  }
  if (comparison.bankCount == 0) {
    std::fputs("\nWear: no bank read in both sets\n", out);
  } else {
    std::fprintf(out, "\nWear: %u banks read in both sets, %u blocks compared each; MaxPECycle "
                 "%s old, %s new\n", comparison.bankCount, comparison.banks[0].blocks,
                 ratedCycles[0], ratedCycles[1]);
    std::fprintf(out, "%-6s %8s %8s %8s %7s %7s %6s %4s %6s %4s %8s %8s\n", "Bank", "Mean old",
                 "Mean new", "Change", "Max old", "Max new", "Change", "Rose", "Stayed", "Fell",
                 "Life old", "Life new");
    for (unsigned i = 0; i < comparison.bankCount; ++i) {
      summaryBankLine(comparison, comparison.banks[i], out);
    }
    for (unsigned i = 0; i < comparison.bankCount; ++i) {
      summaryBankBlocks(comparison, comparison.banks[i], out);
    }
  }
  const unsigned counts[2] = {comparison.onlyBeforeCount, comparison.onlyAfterCount};
  const BankWear* const* banks[2] = {comparison.onlyBefore, comparison.onlyAfter};
  for (unsigned s = 0; s < 2; ++s) {
    if (counts[s] == 0) continue;
    std::fprintf(out, "Read only in %s:", s == 0 ? "old" : "new");
    for (unsigned k = 0; k < counts[s]; ++k) {
      std::fprintf(out, " Ch%uCE%u", banks[s][k]->channel, banks[s][k]->ce);
    }
    std::fputc('\n', out);
  }
}

void summarySmart(const Comparison& comparison, FILE* out) {
  if (const char* missing = smartMissingIn(comparison)) {
    std::fprintf(out, "\nSMART: not compared (no smart.bin in %s)\n", missing);
    return;
  }
  std::fprintf(out, "\nSMART: checksum %s in old, %s in new\n",
               smartChecksumValid(comparison.before->smart) ? "valid" : "error",
               smartChecksumValid(comparison.after->smart) ? "valid" : "error");
  SmartChange changes[kSmartAttributeCount];
  const unsigned changed = listSmartChanges(comparison, changes);
  for (unsigned k = 0; k < changed; ++k) {
    const SmartChange& c = changes[k];
    if (k == 0) std::fprintf(out, "%3s %15s %15s %15s\n", "ID", "Old", "New", "Change");
    std::fprintf(out, "%3u %15" PRIu64 " %15" PRIu64 " %+15" PRId64 "\n", unsigned{c.id},
                 c.before, c.after, static_cast<int64_t>(c.after - c.before));
  }
  if (changed == 0) std::fputs("No raw value changed\n", out);
}

// ---- JSON ----

void jsonSet(const Inspection& set, const char* key, const char* folder, FILE* out) {
  std::fprintf(out, "  \"%s\": {\"folder\": ", key);
  writeJsonText(out, folder);
  std::fputs(", \"firmware\": ", out);
  writeJsonText(out, set.identity.firmwareRevision);
  if (set.geometryPresent) {
    std::fprintf(out, ", \"max_pe_cycle\": %u, ", unsigned{set.firmwareInfo.maxPeCycle});
  } else {
    std::fputs(", \"max_pe_cycle\": null, ", out);
  }
  jsonFiles(set, " ", out);
  std::fputs("},\n", out);
}

// "<key>": {"old": ..., "new": ..., "change": ...} of a bank's mean or highest count.
void jsonFigure(FILE* out, const char* key, const BankWear& then, const BankWear& now, bool mean) {
  std::fprintf(out, "\"%s\": {", key);
  const BankWear* sides[2] = {&then, &now};
  for (unsigned s = 0; s < 2; ++s) {
    std::fputs(s == 0 ? "\"old\": " : ", \"new\": ", out);
    if (sides[s]->counted == 0) std::fputs("null", out);
    else if (mean) std::fprintf(out, "%.2f", sides[s]->mean);
    else std::fprintf(out, "%u", unsigned{sides[s]->max});
  }
  std::fputs(", \"change\": ", out);
  if (then.counted == 0 || now.counted == 0) std::fputs("null", out);
  else if (mean) std::fprintf(out, "%.2f", meanChange(then, now));
  else std::fprintf(out, "%d", int{now.max} - int{then.max});
  std::fputs("}, ", out);
}

void jsonBank(const Comparison& comparison, const BankChange& bank, FILE* out) {
  const BankWear& then = *bank.before;
  const BankWear& now = *bank.after;
  const Inspection& before = *comparison.before;
  const Inspection& after = *comparison.after;
  std::fprintf(out, "{\"channel\": %u, \"ce\": %u, \"blocks\": %u, ", now.channel, now.ce,
               bank.blocks);
  jsonFigure(out, "mean", then, now, true);
  jsonFigure(out, "max", then, now, false);
  std::fputs("\"life_used_percent\": {", out);
  double percent = 0;
  if (lifeUsedPercent(before, then, &percent)) std::fprintf(out, "\"old\": %.1f", percent);
  else std::fputs("\"old\": null", out);
  if (lifeUsedPercent(after, now, &percent)) std::fprintf(out, ", \"new\": %.1f}", percent);
  else std::fputs(", \"new\": null}", out);
  std::fprintf(out, ", \"rose\": %u, \"stayed\": %u, \"fell\": %u, \"fell_blocks\": ",
               bank.changes[kRose], bank.changes[kStayed], bank.changes[kFell]);
  jsonNumbers(out, numbers, listChangedBlocks(comparison, bank, kFell, numbers));
  std::fputs(", \"turned_bad\": ", out);
  jsonNumbers(out, numbers, listChangedBlocks(comparison, bank, kTurnedBad, numbers));
  if (!listsCompared(comparison)) {
    std::fputs(", \"newly_grown\": null, \"factory_added\": null, \"factory_removed\": null, "
               "\"factory_changed\": null}", out);
    return;
  }
  std::fputs(", \"newly_grown\": ", out);
  jsonNumbers(out, numbers, listEntriesNotIn(after, now, before, then, kGrownBadBlock, numbers));
  std::fputs(", \"factory_added\": ", out);
  jsonNumbers(out, numbers, listEntriesNotIn(after, now, before, then, kFactoryBadBlock, numbers));
  std::fputs(", \"factory_removed\": ", out);
  jsonNumbers(out, numbers, listEntriesNotIn(before, then, after, now, kFactoryBadBlock, numbers));
  std::fprintf(out, ", \"factory_changed\": %s}",
               bank.factoryAdded + bank.factoryRemoved != 0 ? "true" : "false");
}

void jsonOnlyIn(FILE* out, const char* key, const BankWear* const* banks, unsigned count) {
  std::fprintf(out, ",\n  \"%s\": [", key);
  for (unsigned k = 0; k < count; ++k) {
    std::fprintf(out, "%s{\"channel\": %u, \"ce\": %u}", k ? ", " : "", banks[k]->channel,
                 banks[k]->ce);
  }
  std::fputc(']', out);
}

void jsonSmart(const Comparison& comparison, FILE* out) {
  if (smartMissingIn(comparison) != nullptr) {
    std::fputs(",\n  \"smart\": null", out);
    return;
  }
  std::fprintf(out,
               ",\n  \"smart\": {\"checksum_valid\": {\"old\": %s, \"new\": %s}, \"changed\": ",
               smartChecksumValid(comparison.before->smart) ? "true" : "false",
               smartChecksumValid(comparison.after->smart) ? "true" : "false");
  SmartChange changes[kSmartAttributeCount];
  const unsigned changed = listSmartChanges(comparison, changes);
  for (unsigned k = 0; k < changed; ++k) {
    const SmartChange& c = changes[k];
    jsonItem(out, k);
    std::fprintf(out,
                 "{\"id\": %u, \"old\": %" PRIu64 ", \"new\": %" PRIu64 ", \"change\": %" PRId64 "}",
                 unsigned{c.id}, c.before, c.after, static_cast<int64_t>(c.after - c.before));
  }
  jsonEnd(out, changed);
  std::fputc('}', out);
}

}  // namespace

int writeDiffSummary(const Comparison& comparison, const char* oldFolder, const char* newFolder,
                     FILE* out) {
  std::fprintf(out, "Old dump set: %s\nNew dump set: %s\n", oldFolder, newFolder);
  summaryFiles(*comparison.before, "Missing in old: ", "Short in old  : ", out);
  summaryFiles(*comparison.after, "Missing in new: ", "Short in new  : ", out);
  const DriveIdentity& then = comparison.before->identity;
  const DriveIdentity& now = comparison.after->identity;
  std::fprintf(out, "Model: %s\nS/N  : %s\nFw   : %s", now.model, now.serialNumber,
               then.firmwareRevision);
  if (std::strcmp(then.firmwareRevision, now.firmwareRevision) != 0) {
    std::fprintf(out, " old, %s new", now.firmwareRevision);
  }
  std::fputc('\n', out);
  summaryWear(comparison, out);
  summarySmart(comparison, out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

int writeDiffJson(const Comparison& comparison, const char* oldFolder, const char* newFolder,
                  int argc, const char* const* argv, FILE* out) {
  writeJsonHeader(out, "kzt_inspect", KZT_VERSION_TEXT, argc, argv);
  jsonSet(*comparison.before, "old", oldFolder, out);
  jsonSet(*comparison.after, "new", newFolder, out);
  std::fputs("  \"drive\": {\"model\": ", out);
  writeJsonText(out, comparison.after->identity.model);
  std::fputs(", \"serial\": ", out);
  writeJsonText(out, comparison.after->identity.serialNumber);
  std::fputs("},\n  \"banks\": ", out);
  for (unsigned i = 0; i < comparison.bankCount; ++i) {
    jsonItem(out, i);
    jsonBank(comparison, comparison.banks[i], out);
  }
  jsonEnd(out, comparison.bankCount);
  jsonOnlyIn(out, "banks_only_old", comparison.onlyBefore, comparison.onlyBeforeCount);
  jsonOnlyIn(out, "banks_only_new", comparison.onlyAfter, comparison.onlyAfterCount);
  jsonSmart(comparison, out);
  std::fputs("\n}\n", out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace kzt
