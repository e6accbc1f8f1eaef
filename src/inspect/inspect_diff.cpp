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

void jsonHours(const Inspection& set, FILE* out);

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
double meanChange(const BankChange& bank) {
  const double change = bank.meanAfter - bank.meanBefore;
  return change > -0.005 && change < 0.005 ? 0.0 : change;
}

// The share of the rated life that a mean count has used, as "%.1f%%", or "-".
void lifeText(const Inspection& set, bool known, double mean, char* text, size_t size) {
  const unsigned rated = set.firmwareInfo.maxPeCycle;
  if (known && rated != 0) std::snprintf(text, size, "%.1f%%", mean / rated * 100.0);
}

void summaryBankLine(const Comparison& comparison, const BankChange& bank, FILE* out) {
  char name[16], meanThen[24] = "-", meanNow[24] = "-", meanText[24] = "-";
  char maxThen[12] = "-", maxNow[12] = "-", maxChange[12] = "-", fell[16];
  char lifeThen[24] = "-", lifeNow[24] = "-";
  std::snprintf(name, sizeof name, "Ch%uCE%u", bank.after->channel, bank.after->ce);
  const bool known = bank.compared > 0;
  if (known) {
    std::snprintf(meanThen, sizeof meanThen, "%.2f", bank.meanBefore);
    std::snprintf(maxThen, sizeof maxThen, "%u", unsigned{bank.maxBefore});
    std::snprintf(meanNow, sizeof meanNow, "%.2f", bank.meanAfter);
    std::snprintf(maxNow, sizeof maxNow, "%u", unsigned{bank.maxAfter});
    std::snprintf(meanText, sizeof meanText, "%+.2f", meanChange(bank));
    std::snprintf(maxChange, sizeof maxChange, "%+d", int{bank.maxAfter} - int{bank.maxBefore});
  }
  std::snprintf(fell, sizeof fell, "%u%s", bank.changes[kFell], bank.changes[kFell] ? "!" : "");
  lifeText(*comparison.before, known, bank.meanBefore, lifeThen, sizeof lifeThen);
  lifeText(*comparison.after, known, bank.meanAfter, lifeNow, sizeof lifeNow);
  std::fprintf(out, "%-6s %7u %8s %8s %8s %7s %7s %6s %4u %6u %4s %8s %8s\n", name, bank.compared,
               meanThen, meanNow, meanText, maxThen, maxNow, maxChange, bank.changes[kRose],
               bank.changes[kStayed], fell, lifeThen, lifeNow);
}

// "; <label> (<count>): a-b c" when the list is not empty: ascending numbers, runs of three or
// more as ranges.
void summaryNumbers(FILE* out, const char* label, unsigned count, unsigned* written) {
  if (count == 0) return;
  std::fprintf(out, "%s%s (%u):", *written ? "; " : "", label, count);
  for (unsigned k = 0; k < count;) {
    unsigned last = k;
    while (last + 1 < count && numbers[last + 1] == numbers[last] + 1) ++last;
    if (last - k >= 2) {
      std::fprintf(out, " %u-%u", unsigned{numbers[k]}, unsigned{numbers[last]});
      k = last + 1;
    } else {
      std::fprintf(out, " %u", unsigned{numbers[k++]});
    }
  }
  ++*written;
}

// The blocks of a bank that were bad (65534) in the old set and are counted in the new one.
unsigned listTurnedCounted(const Comparison& comparison, const BankChange& bank) {
  const BbecAnswer& oldAnswer = bankAnswer(*comparison.before, *bank.before);
  const BbecAnswer& newAnswer = bankAnswer(*comparison.after, *bank.after);
  unsigned count = 0;
  for (unsigned block = 0; block < bank.blocks; ++block) {
    if (eraseCountOf(oldAnswer, block) == kEraseCountBad &&
        eraseCountOf(newAnswer, block) < kEraseCountBad) {
      numbers[count++] = static_cast<uint16_t>(block);
    }
  }
  return count;
}

void summaryBankBlocks(const Comparison& comparison, const BankChange& bank, FILE* out) {
  const BankWear& then = *bank.before;
  const BankWear& now = *bank.after;
  if (bank.changes[kFell] + bank.changes[kTurnedBad] + bank.turnedCounted + bank.newlyGrown +
          bank.grownLeft + bank.factoryAdded + bank.factoryRemoved == 0) {
    return;
  }
  std::fprintf(out, "Ch%uCE%u: ", now.channel, now.ce);
  unsigned written = 0;
  summaryNumbers(out, "counts fell (odd)", listChangedBlocks(comparison, bank, kFell, numbers),
                 &written);
  summaryNumbers(out, "turned bad", listChangedBlocks(comparison, bank, kTurnedBad, numbers),
                 &written);
  summaryNumbers(out, "bad before, counted now (odd)", listTurnedCounted(comparison, bank),
                 &written);
  const Inspection& before = *comparison.before;
  const Inspection& after = *comparison.after;
  if (!listsCompared(comparison)) {
    std::fputc('\n', out);
    return;
  }
  summaryNumbers(out, "newly in the grown list",
                 listEntriesNotIn(after, now, before, then, kGrownBadBlock, numbers), &written);
  summaryNumbers(out, "left the grown list (odd)",
                 listEntriesNotIn(before, then, after, now, kGrownBadBlock, numbers), &written);
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
    std::fprintf(out, "\nWear: %u banks read in both sets, %u blocks each; MaxPECycle %s old, "
                 "%s new; figures over the blocks both sets count\n", comparison.bankCount,
                 comparison.banks[0].blocks, ratedCycles[0], ratedCycles[1]);
    std::fprintf(out, "%-6s %7s %8s %8s %8s %7s %7s %6s %4s %6s %4s %8s %8s\n", "Bank",
                 "Counted", "Mean old", "Mean new", "Change", "Max old", "Max new", "Change",
                 "Rose", "Stayed", "Fell", "Life old", "Life new");
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
  std::fputs(", \"reading\": ", out);
  jsonReading(set, out);
  std::fputs(", \"power_on_hours\": ", out);
  jsonHours(set, out);
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

// "<key>": {"old": ..., "new": ..., "change": ...} of a bank's mean or highest count over the
// blocks both sets count, null when none is compared.
void jsonFigure(FILE* out, const char* key, const BankChange& bank, bool mean) {
  if (bank.compared == 0) {
    std::fprintf(out, "\"%s\": {\"old\": null, \"new\": null, \"change\": null}, ", key);
  } else if (mean) {
    std::fprintf(out, "\"%s\": {\"old\": %.2f, \"new\": %.2f, \"change\": %.2f}, ", key,
                 bank.meanBefore, bank.meanAfter, meanChange(bank));
  } else {
    std::fprintf(out, "\"%s\": {\"old\": %u, \"new\": %u, \"change\": %d}, ", key,
                 unsigned{bank.maxBefore}, unsigned{bank.maxAfter},
                 int{bank.maxAfter} - int{bank.maxBefore});
  }
}

void jsonBank(const Comparison& comparison, const BankChange& bank, FILE* out) {
  const BankWear& then = *bank.before;
  const BankWear& now = *bank.after;
  const Inspection& before = *comparison.before;
  const Inspection& after = *comparison.after;
  std::fprintf(out, "{\"channel\": %u, \"ce\": %u, \"blocks\": %u, \"compared\": %u, ",
               now.channel, now.ce, bank.blocks, bank.compared);
  jsonFigure(out, "mean", bank, true);
  jsonFigure(out, "max", bank, false);
  const bool known = bank.compared > 0;
  const unsigned ratedThen = before.firmwareInfo.maxPeCycle, ratedNow = after.firmwareInfo.maxPeCycle;
  std::fputs("\"life_used_percent\": {\"old\": ", out);
  jsonNumberOrNull(out, known && ratedThen != 0, "%.1f", bank.meanBefore / ratedThen * 100.0);
  std::fputs(", \"new\": ", out);
  jsonNumberOrNull(out, known && ratedNow != 0, "%.1f", bank.meanAfter / ratedNow * 100.0);
  std::fputc('}', out);
  std::fprintf(out, ", \"rose\": %u, \"stayed\": %u, \"fell\": %u, \"fell_blocks\": ",
               bank.changes[kRose], bank.changes[kStayed], bank.changes[kFell]);
  jsonNumbers(out, numbers, listChangedBlocks(comparison, bank, kFell, numbers));
  std::fputs(", \"turned_bad\": ", out);
  jsonNumbers(out, numbers, listChangedBlocks(comparison, bank, kTurnedBad, numbers));
  std::fputs(", \"turned_counted\": ", out);
  jsonNumbers(out, numbers, listTurnedCounted(comparison, bank));
  if (!listsCompared(comparison)) {
    std::fputs(", \"newly_grown\": null, \"left_grown\": null, \"factory_added\": null, "
               "\"factory_removed\": null, \"factory_changed\": null}", out);
    return;
  }
  std::fputs(", \"newly_grown\": ", out);
  jsonNumbers(out, numbers, listEntriesNotIn(after, now, before, then, kGrownBadBlock, numbers));
  std::fputs(", \"left_grown\": ", out);
  jsonNumbers(out, numbers, listEntriesNotIn(before, then, after, now, kGrownBadBlock, numbers));
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

// The pair's wear: the worst bank (the highest new mean over the blocks both sets count) from its
// old mean at the old power-on hours to its new mean at the new ones.
void fitPair(const Comparison& comparison, WearFit* fit) {
  const BankChange* worst = nullptr;
  for (unsigned i = 0; i < comparison.bankCount; ++i) {
    const BankChange& bank = comparison.banks[i];
    if (bank.compared != 0 && (worst == nullptr || bank.meanAfter > worst->meanAfter)) worst = &bank;
  }
  const Inspection* sets[2] = {comparison.before, comparison.after};
  WearPoint points[2] = {};
  unsigned count = 0;
  for (unsigned s = 0; s < 2 && worst != nullptr; ++s) {
    uint64_t hours = 0;
    if (!powerOnHours(*sets[s], &hours)) continue;
    const ReadingManifest& m = sets[s]->manifest;
    points[count++] = {static_cast<double>(hours), s == 0 ? worst->meanBefore : worst->meanAfter,
                       m.timeKnown, m.unixTime};
  }
  fitWear(points, count, comparison.after->geometryPresent ? comparison.after->firmwareInfo.maxPeCycle : 0,
          fit);
  if (worst == nullptr) fit->why = "no bank with blocks both sets count";
}

constexpr const char* kPairMethod = "worst bank's mean over the blocks both sets count, OLD to NEW";

void summaryHours(const Comparison& comparison, FILE* out) {
  uint64_t then = 0, now = 0;
  if (!powerOnHours(*comparison.before, &then) || !powerOnHours(*comparison.after, &now)) {
    std::fputs("Power-on hours: unknown (no attribute 9 in a smart.bin)\n", out);
    return;
  }
  std::fprintf(out, "Power-on hours: %" PRIu64 " old, %" PRIu64 " new (%+" PRId64 ")\n", then, now,
               static_cast<int64_t>(now - then));
  if (now < then) {
    std::fputs("WARNING: power-on hours fell from OLD to NEW: OLD and NEW may be swapped\n", out);
  }
}

void jsonHours(const Inspection& set, FILE* out) {
  uint64_t hours = 0;
  if (powerOnHours(set, &hours)) std::fprintf(out, "%" PRIu64, hours);
  else std::fputs("null", out);
}

}  // namespace

int writeDiffSummary(const Comparison& comparison, const char* oldFolder, const char* newFolder,
                     const Health& health, FILE* out) {
  std::fputs("Old dump set: ", out);
  writeShown(out, oldFolder);
  std::fputs("\nNew dump set: ", out);
  writeShown(out, newFolder);
  std::fputc('\n', out);
  summaryReading(*comparison.before, "Old reading : ", out);
  summaryReading(*comparison.after, "New reading : ", out);
  summaryFiles(*comparison.before, "Missing in old: ", "Short in old  : ", out);
  summaryFiles(*comparison.after, "Missing in new: ", "Short in new  : ", out);
  const DriveIdentity& then = comparison.before->identity;
  const DriveIdentity& now = comparison.after->identity;
  std::fputs("Model: ", out);
  writeShown(out, now.model);
  std::fputs("\nS/N  : ", out);
  writeShown(out, now.serialNumber);
  std::fputs("\nFw   : ", out);
  writeShown(out, then.firmwareRevision);
  if (std::strcmp(then.firmwareRevision, now.firmwareRevision) != 0) {
    std::fputs(" old, ", out);
    writeShown(out, now.firmwareRevision);
    std::fputs(" new", out);
  }
  std::fputc('\n', out);
  summaryHours(comparison, out);
  summaryWear(comparison, out);
  WearFit fit;
  fitPair(comparison, &fit);
  std::fputc('\n', out);
  summaryFit(fit, kPairMethod, out);
  summarySmart(comparison, out);
  summaryHealth(health, out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

int writeDiffJson(const Comparison& comparison, const char* oldFolder, const char* newFolder,
                  const Health& health, int argc, const char* const* argv, FILE* out) {
  jsonHeader(out, argc, argv);
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
  uint64_t then = 0, now = 0;
  std::fprintf(out, ",\n  \"hours_fell\": %s,\n  \"wear\": ",
               powerOnHours(*comparison.before, &then) && powerOnHours(*comparison.after, &now) &&
                       now < then
                   ? "true"
                   : "false");
  WearFit fit;
  fitPair(comparison, &fit);
  jsonFit(fit, kPairMethod, out);
  jsonSmart(comparison, out);
  std::fputs(",\n  \"health\": ", out);
  jsonHealth(health, out);
  std::fputs("\n}\n", out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace kzt
