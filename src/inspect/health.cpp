// SPDX-License-Identifier: GPL-2.0-or-later
// The health verdict: a fixed table of rules over what the readings show. Each rule that applies
// adds one reason with the verdict it sets; settleHealth takes the drive's verdict from them.
#include <cstdarg>
#include <cstring>

#include "inspect/inspect.h"

namespace kzt {

namespace {

constexpr const char* kVerdictNames[kHealthVerdicts] = {"OK", "WATCH", "REPLACE", "UNKNOWN"};
constexpr const char* kRuleNames[] = {"no_geometry", "no_banks",  "not_judged",  "life_used",
                                      "grown",       "growth",    "inconsistent"};

constexpr uint8_t kPowerOnHoursId = 9;

// The verdict of a figure against its two thresholds.
HealthVerdict against(double value, double watch, double replace) {
  if (value >= replace) return kHealthReplace;
  return value >= watch ? kHealthWatch : kHealthOk;
}

}  // namespace

const char* healthVerdictName(HealthVerdict verdict) {
  return verdict < kHealthVerdicts ? kVerdictNames[verdict] : "UNKNOWN";
}

const char* healthRuleName(HealthRule rule) {
  return rule < sizeof kRuleNames / sizeof kRuleNames[0] ? kRuleNames[rule] : "unknown";
}

void addHealthReason(Health* health, HealthVerdict verdict, HealthRule rule, const char* format,
                     ...) {
  health->said[verdict] = true;
  if (health->reasonCount == kHealthReasonsMax) {
    ++health->reasonsDropped;
    return;
  }
  HealthReason& reason = health->reasons[health->reasonCount++];
  reason.verdict = verdict;
  reason.rule = rule;
  va_list args;
  va_start(args, format);
  std::vsnprintf(reason.text, sizeof reason.text, format, args);
  va_end(args);
}

void settleHealth(Health* health) {
  if (health->said[kHealthReplace]) health->verdict = kHealthReplace;
  else if (health->said[kHealthUnknown]) health->verdict = kHealthUnknown;
  else if (health->said[kHealthWatch]) health->verdict = kHealthWatch;
  else health->verdict = kHealthOk;
}

bool powerOnHours(const Inspection& inspection, uint64_t* hours) {
  if (!inspection.smartPresent) return false;
  for (unsigned i = 0; i < kSmartAttributeCount; ++i) {
    const SmartAttribute a = readSmartAttribute(inspection.smart, i);
    if (a.id != kPowerOnHoursId) continue;
    *hours = a.raw;
    return true;
  }
  return false;
}

void judgeReading(const Inspection& inspection, const HealthThresholds& thresholds,
                  Health* health) {
  *health = Health{};
  if (!inspection.geometryPresent) {
    addHealthReason(health, kHealthUnknown, kRuleNoGeometry,
                    "geometry unknown (no usable kzt_fwi.bin): no erase count, no bad-block list "
                    "and no rated PE cycles to judge");
  }
  // The banks of the CE mask whose answer did not arrive cannot be judged.
  unsigned read = 0;
  for (unsigned channel = 0; channel < kChannelCount; ++channel) {
    for (unsigned ce = 0; ce < kCesPerChannel; ++ce) {
      if (!isBankMarked(inspection.ceMask, channel, ce)) continue;
      const bool there = read < inspection.bankCount && inspection.banks[read].channel == channel &&
                         inspection.banks[read].ce == ce;
      if (there) {
        ++read;
        continue;
      }
      addHealthReason(health, kHealthWatch, kRuleNotJudged,
                      "Ch%uCE%u not judged: its Get BBEC answer did not arrive", channel, ce);
    }
  }
  if (inspection.bankCount == 0) {
    addHealthReason(health, kHealthUnknown, kRuleNoBanks,
                    inspection.flashIdTablePresent
                        ? "no bank read: no kzt_bbec_C_E.bin of a bank of the CE mask"
                        : "no bank known: no kzt_fid2.bin (the Get FID2 answer did not arrive)");
  }
  if (!inspection.geometryPresent || inspection.bankCount == 0) {
    settleHealth(health);
    return;
  }

  // The worst bank's life used: the highest mean count over the rated PE cycles.
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    double percent = 0;
    if (!lifeUsedPercent(inspection, bank, &percent)) continue;
    if (health->lifeKnown && percent <= health->worstLifePercent) continue;
    health->lifeKnown = true;
    health->worstLifePercent = percent;
    health->worstChannel = bank.channel;
    health->worstCe = bank.ce;
  }
  if (health->lifeKnown) {
    const HealthVerdict verdict = against(health->worstLifePercent, thresholds.watchLifePercent,
                                          thresholds.replaceLifePercent);
    addHealthReason(health, verdict, kRuleLifeUsed,
                    "worst bank Ch%uCE%u has used %.1f%% of its rated PE cycles (WATCH from "
                    "%g%%, REPLACE from %g%%)",
                    health->worstChannel, health->worstCe, health->worstLifePercent,
                    thresholds.watchLifePercent, thresholds.replaceLifePercent);
  } else {
    addHealthReason(health, kHealthWatch, kRuleLifeUsed,
                    "life used unknown: %s", inspection.firmwareInfo.maxPeCycle == 0
                                                 ? "MaxPECycle is 0"
                                                 : "no bank has a counted block");
  }

  // Grown bad blocks: the bank with the largest share of its blocks in its grown list.
  unsigned worst = 0;
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    health->grownBadBlocks += bank.grownBadBlocks;
    if (bank.blocks == 0) continue;
    const double percent = 100.0 * bank.grownBadBlocks / bank.blocks;
    if (health->grownKnown && percent <= health->worstGrownPercent) continue;
    health->grownKnown = true;
    health->worstGrownPercent = percent;
    worst = i;
  }
  if (health->grownKnown) {
    const BankWear& bank = inspection.banks[worst];
    addHealthReason(health,
                    against(health->worstGrownPercent, thresholds.watchGrownPercent,
                            thresholds.replaceGrownPercent),
                    kRuleGrown,
                    "%u grown bad block%s in all banks; most in Ch%uCE%u: %u of %u blocks, %.2f%% "
                    "(WATCH from %g%%, REPLACE from %g%%)",
                    health->grownBadBlocks, health->grownBadBlocks == 1 ? "" : "s", bank.channel, bank.ce, bank.grownBadBlocks,
                    bank.blocks, health->worstGrownPercent, thresholds.watchGrownPercent,
                    thresholds.replaceGrownPercent);
  }
  settleHealth(health);
}

void judgeGrowth(unsigned added, const char* between, const HealthThresholds& thresholds,
                 Health* health) {
  if (added == 0) return;
  const HealthVerdict verdict =
      added >= thresholds.replaceGrowth ? kHealthReplace
      : added >= thresholds.watchGrowth ? kHealthWatch
                                        : kHealthOk;
  addHealthReason(health, verdict, kRuleGrowth,
                  "%u grown bad block%s added %s (WATCH from %u, REPLACE from %u)", added,
                  added == 1 ? "" : "s", between, thresholds.watchGrowth,
                  thresholds.replaceGrowth);
}

unsigned grownAdded(const Comparison& comparison) {
  unsigned added = 0;
  for (unsigned i = 0; i < comparison.bankCount; ++i) added += comparison.banks[i].newlyGrown;
  return added;
}

void findInconsistencies(const Comparison& comparison, Inconsistencies* found) {
  *found = Inconsistencies{};
  const Inspection& before = *comparison.before;
  const Inspection& after = *comparison.after;
  for (unsigned i = 0; i < comparison.bankCount; ++i) {
    const BankChange& bank = comparison.banks[i];
    found->countsFell += bank.changes[kFell];
    found->turnedCounted += bank.turnedCounted;
    found->leftGrownList += bank.grownLeft;
  }
  uint64_t hoursBefore = 0, hoursAfter = 0;
  found->hoursWentBack = powerOnHours(before, &hoursBefore) && powerOnHours(after, &hoursAfter) &&
                         hoursAfter < hoursBefore;
}

void judgeComparison(const Comparison& comparison, const HealthThresholds& thresholds,
                     Health* health) {
  judgeReading(*comparison.after, thresholds, health);
  judgeGrowth(grownAdded(comparison), "from OLD to NEW", thresholds, health);
  Inconsistencies found;
  findInconsistencies(comparison, &found);
  if (found.countsFell != 0) {
    addHealthReason(health, kHealthWatch, kRuleInconsistent,
                    "%u erase count%s fell from OLD to NEW", found.countsFell,
                    found.countsFell == 1 ? "" : "s");
  }
  if (found.leftGrownList != 0) {
    addHealthReason(health, kHealthWatch, kRuleInconsistent,
                    "%u grown bad block%s of OLD not in NEW's grown list", found.leftGrownList,
                    found.leftGrownList == 1 ? "" : "s");
  }
  if (found.turnedCounted != 0) {
    addHealthReason(health, kHealthWatch, kRuleInconsistent,
                    "%u block%s bad in OLD counted again in NEW", found.turnedCounted,
                    found.turnedCounted == 1 ? "" : "s");
  }
  if (found.hoursWentBack) {
    addHealthReason(health, kHealthWatch, kRuleInconsistent,
                    "power-on hours went back from OLD to NEW");
  }
  settleHealth(health);
}

}  // namespace kzt
