// SPDX-License-Identifier: GPL-2.0-or-later
// kzt_inspect --history: the readings of some folders, grouped per drive and put in order, each
// with its figures and what is inconsistent with the reading before it; per drive the wear rate,
// the projection and the health verdict. The readings are read twice: once for what groups and
// orders them (identity, SMART, manifest), then in order, two at a time, for the rest.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ident/readout.h"
#include "inspect/inspect.h"
#include "output/json.h"
#include "transport/files.h"
#include "transport/platform.h"

namespace kzt {

namespace {

// Two dump sets in turn: the reading and the one before it. About 2 MiB each.
Inspection sets[2];
Comparison pair;

// Whether `folder` holds a dump or a manifest as a regular file.
bool holdsReading(const std::string& folder) {
  for (const char* name : {kIdentifyDumpName, kFirmwareInfoDumpName, kFlashIdTableDumpName,
                           kSmartDumpName, kManifestName}) {
    FileFacts facts;
    if (lookAtName((folder + "/" + name).c_str(), &facts) && facts.kind == FileKind::Regular) {
      return true;
    }
  }
  return false;
}

bool addName(History* history, const std::string& name, unsigned* offset) {
  if (name.size() > kFolderNameMax || history->namesUsed + name.size() + 1 > kHistoryNamesSize) {
    return false;
  }
  *offset = static_cast<unsigned>(history->namesUsed);
  std::memcpy(history->names + history->namesUsed, name.c_str(), name.size() + 1);
  history->namesUsed += name.size() + 1;
  return true;
}

void collectName(void* context, const char* name) {
  static_cast<std::vector<std::string>*>(context)->push_back(name);
}

// The folder and its subfolders, depth first in name order; a link is not followed (it is not a
// folder to lookAtName).
void findReadings(const std::string& folder, unsigned depth, std::vector<std::string>* found) {
  if (holdsReading(folder)) found->push_back(folder);
  if (depth == kHistoryDepthMax) return;
  std::vector<std::string> names;
  if (!listFolder(folder.c_str(), collectName, &names)) return;
  std::sort(names.begin(), names.end());
  const bool slash = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
  for (const std::string& name : names) {
    const std::string path = folder + (slash ? "" : "/") + name;
    FileFacts facts;
    if (path.size() <= kFolderNameMax && lookAtName(path.c_str(), &facts) &&
        facts.kind == FileKind::Directory) {
      findReadings(path, depth + 1, found);
    }
  }
}

unsigned driveOf(History* history, const Inspection& set) {
  const DriveIdentity& id = set.identity;
  for (unsigned d = 0; d < history->driveCount; ++d) {
    const HistoryDrive& drive = history->drives[d];
    if (drive.identityKnown == (set.identityPresent != 0) &&
        (!drive.identityKnown || (std::strcmp(drive.model, id.model) == 0 &&
                                  std::strcmp(drive.serial, id.serialNumber) == 0))) {
      return d;
    }
  }
  if (history->driveCount == kHistoryDrivesMax) return kHistoryDrivesMax;
  HistoryDrive& drive = history->drives[history->driveCount];
  drive = HistoryDrive{};
  drive.identityKnown = set.identityPresent != 0;
  if (drive.identityKnown) {
    std::snprintf(drive.model, sizeof drive.model, "%s", id.model);
    std::snprintf(drive.serial, sizeof drive.serial, "%s", id.serialNumber);
  }
  return history->driveCount++;
}

// The order of a drive's readings: power-on hours (unknown last), then time (unknown last), then
// the folder's name.
bool before(const History& history, unsigned a, unsigned b) {
  const HistoryReading& x = history.readings[a];
  const HistoryReading& y = history.readings[b];
  if (x.hoursKnown != y.hoursKnown) return x.hoursKnown;
  if (x.hoursKnown && x.hours != y.hours) return x.hours < y.hours;
  const bool xt = x.manifest.timeKnown, yt = y.manifest.timeKnown;
  if (xt != yt) return xt;
  if (xt && x.manifest.unixTime != y.manifest.unixTime) return x.manifest.unixTime < y.manifest.unixTime;
  return std::strcmp(history.name(x.folder), history.name(y.folder)) < 0;
}

// The figures of one reading fully read.
void measureReading(const Inspection& set, HistoryReading* r) {
  r->listsKnown = set.geometryPresent != 0;
  r->maxPeCycle = set.geometryPresent ? set.firmwareInfo.maxPeCycle : 0;
  r->banksRead = set.bankCount;
  for (unsigned channel = 0; channel < kChannelCount; ++channel) {
    for (unsigned ce = 0; ce < kCesPerChannel; ++ce) {
      r->banksMarked += isBankMarked(set.ceMask, channel, ce) != 0;
    }
  }
  for (unsigned i = 0; i < set.fileCount; ++i) r->missing += !set.files[i].opened;
  double lifeSum = 0, countSum = 0;
  unsigned lifeBanks = 0, counted = 0;
  for (unsigned i = 0; i < set.bankCount; ++i) {
    const BankWear& bank = set.banks[i];
    r->factory += bank.factoryBadBlocks;
    r->grown += bank.grownBadBlocks;
    if (bank.counted == 0) continue;
    countSum += bank.mean * bank.counted;
    counted += bank.counted;
    if (!r->countKnown || bank.mean > r->worstMeanCount) {
      r->countKnown = true;
      r->worstMeanCount = bank.mean;
      r->worstChannel = bank.channel;
      r->worstCe = bank.ce;
    }
    double percent = 0;
    if (!lifeUsedPercent(set, bank, &percent)) continue;
    lifeSum += percent;
    ++lifeBanks;
  }
  if (counted != 0) r->meanCount = countSum / counted;
  if (lifeBanks != 0 && r->maxPeCycle != 0) {
    r->lifeKnown = true;
    r->worstLife = r->worstMeanCount / r->maxPeCycle * 100.0;
    r->meanLife = lifeSum / lifeBanks;
  }
}

void judgeDrive(const History& history, const HistoryDrive& drive, const Inspection& last,
                const HealthThresholds& thresholds, Health* health) {
  judgeReading(last, thresholds, health);
  unsigned added = 0;
  for (unsigned k = 0; k < drive.count; ++k) {
    added += history.readings[history.order[drive.first + k]].grownAdded;
  }
  judgeGrowth(added, "between consecutive readings", thresholds, health);
  for (unsigned k = 0; k < drive.count; ++k) {
    const HistoryReading& r = history.readings[history.order[drive.first + k]];
    if (r.flags() == 0) continue;
    char what[200] = "";
    size_t used = 0;
    auto add = [&](unsigned n, const char* one, const char* many) {
      if (n == 0 || used >= sizeof what) return;
      char count[16] = "";
      if (many != nullptr) std::snprintf(count, sizeof count, "%u ", n);
      used += static_cast<size_t>(std::snprintf(what + used, sizeof what - used, "%s%s%s",
                                                used ? ", " : "", count,
                                                n == 1 || many == nullptr ? one : many));
    };
    add(r.countsFell, "count fell", "counts fell");
    add(r.grownLeft, "grown block left the list", "grown blocks left the list");
    add(r.turnedCounted, "bad block counted again", "bad blocks counted again");
    add(r.hoursWentBack ? 1 : 0, "power-on hours went back", nullptr);
    addHealthReason(health, kHealthWatch, kRuleInconsistent, "reading %u (%s): %s", k + 1,
                    history.name(r.folder), what);
  }
  settleHealth(health);
}

}  // namespace


void fitWear(const WearPoint* points, unsigned count, unsigned rated, WearFit* fit) {
  *fit = WearFit{};
  fit->readings = count;
  fit->rated = rated;
  // Over power-on hours.
  double meanX = 0, meanY = 0;
  for (unsigned i = 0; i < count; ++i) {
    meanX += points[i].hours / count;
    meanY += points[i].count / count;
  }
  double sxx = 0, sxy = 0;
  for (unsigned i = 0; i < count; ++i) {
    sxx += (points[i].hours - meanX) * (points[i].hours - meanX);
    sxy += (points[i].hours - meanX) * (points[i].count - meanY);
  }
  if (count < 2) {
    fit->why = "fewer than two readings with power-on hours and erase counts";
    return;
  }
  if (sxx == 0) {
    fit->why = "the readings have the same power-on hours";
    return;
  }
  const double slope = sxy / sxx;
  const double intercept = meanY - slope * meanX;
  fit->rateKnown = true;
  fit->perThousandHours = slope * 1000.0;
  // Over the readings' times, where known.
  double meanT = 0, meanC = 0;
  unsigned timed = 0;
  for (unsigned i = 0; i < count; ++i) timed += points[i].timeKnown;
  fit->timedReadings = timed;
  double slopeT = 0, interceptT = 0;
  if (timed >= 2) {
    for (unsigned i = 0; i < count; ++i) {
      if (!points[i].timeKnown) continue;
      meanT += static_cast<double>(points[i].unixTime) / timed;
      meanC += points[i].count / timed;
    }
    double stt = 0, stc = 0;
    for (unsigned i = 0; i < count; ++i) {
      if (!points[i].timeKnown) continue;
      const double t = static_cast<double>(points[i].unixTime) - meanT;
      stt += t * t;
      stc += t * (points[i].count - meanC);
    }
    if (stt != 0) {
      slopeT = stc / stt;
      interceptT = meanC - slopeT * meanT;
      fit->dayRateKnown = true;
      fit->perThirtyDays = slopeT * 30 * 86400;
    }
  }
  if (slope <= 0) {
    fit->why = "no wear growth";
    return;
  }
  if (rated == 0) {
    fit->why = "MaxPECycle unknown";
    return;
  }
  fit->projected = true;
  fit->projectedHours = (rated - intercept) / slope;
  if (fit->dayRateKnown && slopeT > 0) {
    const double when = (rated - interceptT) / slopeT;
    if (std::fabs(when) < 1e15) {
      fit->dateKnown = true;
      fit->projectedUnix = static_cast<int64_t>(std::llround(when));
    }
  }
}

void summaryFit(const WearFit& fit, const char* method, FILE* out) {
  std::fprintf(out, "Wear rate (least squares, %s; %u reading%s): ", method, fit.readings,
               fit.readings == 1 ? "" : "s");
  if (!fit.rateKnown) {
    std::fprintf(out, "none (%s)\nProjection: none\n", fit.why);
    return;
  }
  std::fprintf(out, "%.1f PE cycles per 1,000 power-on hours", fit.perThousandHours);
  if (fit.dayRateKnown) std::fprintf(out, ", %.1f per 30 days", fit.perThirtyDays);
  else std::fputs(", per 30 days unknown (fewer than two readings with a time)", out);
  std::fputc('\n', out);
  if (!fit.projected) {
    std::fprintf(out, "Projection: none (%s)\n", fit.why);
    return;
  }
  std::fprintf(out, "Projection: the worst bank reaches its rated %u PE cycles at about %.0f "
               "power-on hours", fit.rated, fit.projectedHours);
  if (fit.dateKnown) {
    char date[kUtcTextSize];
    formatUtc(date, fit.projectedUnix, UtcForm::Date);
    std::fprintf(out, ", about %s", date);
  }
  std::fputc('\n', out);
}

void jsonFit(const WearFit& fit, const char* method, FILE* out) {
  std::fputs("{\"method\": ", out);
  writeJsonText(out, method);
  std::fprintf(out, ", \"readings\": %u, \"pe_cycles_per_1000_hours\": ", fit.readings);
  jsonNumberOrNull(out, fit.rateKnown, "%.1f", fit.perThousandHours);
  std::fputs(", \"pe_cycles_per_30_days\": ", out);
  jsonNumberOrNull(out, fit.dayRateKnown, "%.1f", fit.perThirtyDays);
  std::fputs(", \"rated_pe_cycles\": ", out);
  jsonNumberOrNull(out, fit.rated != 0, "%.0f", fit.rated);
  std::fputs(", \"projection\": ", out);
  if (!fit.projected) {
    std::fputs("null, \"no_projection\": ", out);
    writeJsonText(out, fit.why);
    std::fputc('}', out);
    return;
  }
  std::fprintf(out, "{\"power_on_hours\": %.0f, \"date\": ", fit.projectedHours);
  if (fit.dateKnown) {
    char date[kUtcTextSize];
    formatUtc(date, fit.projectedUnix, UtcForm::Date);
    writeJsonText(out, date);
  } else {
    std::fputs("null", out);
  }
  std::fputs("}, \"no_projection\": null}", out);
}

int buildHistory(const char* const* folders, unsigned count, const HealthThresholds& thresholds,
                 History* history, FILE* err) {
  history->readingCount = history->driveCount = 0;
  history->namesUsed = 0;
  history->readingsNotTaken = 0;
  std::vector<std::string> found;
  for (unsigned f = 0; f < count; ++f) {
    if (std::strlen(folders[f]) > kFolderNameMax || !folderCanBeRead(folders[f])) {
      std::fputs("kzt_inspect: ", err);
      writeShown(err, folders[f]);
      std::fputs(": not a folder that can be read\n", err);
      return 0;
    }
    findReadings(folders[f], 0, &found);
  }
  // First pass: what groups and orders them.
  for (const std::string& folder : found) {
    unsigned offset = 0;
    if (history->readingCount == kHistoryReadingsMax || !addName(history, folder, &offset)) {
      ++history->readingsNotTaken;
      continue;
    }
    inspectFolder(folder.c_str(), &sets[0], false);
    const unsigned drive = driveOf(history, sets[0]);
    if (drive == kHistoryDrivesMax) {
      ++history->readingsNotTaken;
      continue;
    }
    HistoryReading& r = history->readings[history->readingCount++];
    r = HistoryReading{};
    r.folder = offset;
    r.drive = drive;
    r.hoursKnown = powerOnHours(sets[0], &r.hours);
    r.manifest = sets[0].manifest;
  }
  unsigned placed = 0;
  for (unsigned d = 0; d < history->driveCount; ++d) {
    HistoryDrive& drive = history->drives[d];
    drive.first = placed;
    for (unsigned i = 0; i < history->readingCount; ++i) {
      if (history->readings[i].drive == d) history->order[placed++] = i;
    }
    drive.count = placed - drive.first;
    std::stable_sort(history->order + drive.first, history->order + placed,
                     [history](unsigned a, unsigned b) { return before(*history, a, b); });
  }
  // Power-on hours that went back: a reading taken after another that had more hours.
  for (unsigned i = 0; i < history->readingCount; ++i) {
    HistoryReading& r = history->readings[i];
    if (!r.hoursKnown || !r.manifest.timeKnown) continue;
    for (unsigned j = 0; j < history->readingCount && !r.hoursWentBack; ++j) {
      const HistoryReading& q = history->readings[j];
      r.hoursWentBack = q.drive == r.drive && q.hoursKnown && q.manifest.timeKnown &&
                        q.manifest.unixTime < r.manifest.unixTime && q.hours > r.hours;
    }
  }
  // Second pass: each drive's readings in order, each against the one before it.
  static WearPoint points[kHistoryReadingsMax];
  for (unsigned d = 0; d < history->driveCount; ++d) {
    HistoryDrive& drive = history->drives[d];
    unsigned pointCount = 0;
    for (unsigned k = 0; k < drive.count; ++k) {
      HistoryReading& r = history->readings[history->order[drive.first + k]];
      Inspection& now = sets[k % 2];
      inspectFolder(history->name(r.folder), &now);
      measureReading(now, &r);
      if (k > 0) {
        compareInspections(sets[(k + 1) % 2], now, &pair);
        Inconsistencies found;
        findInconsistencies(pair, &found);
        r.countsFell = found.countsFell;
        r.grownLeft = found.leftGrownList;
        r.turnedCounted = found.turnedCounted;
        r.grownAdded = grownAdded(pair);
      }
      if (r.hoursKnown && r.countKnown) {
        points[pointCount++] = {static_cast<double>(r.hours), r.worstMeanCount,
                                r.manifest.timeKnown, r.manifest.unixTime};
      }
    }
    const HistoryReading& last = history->readings[history->order[drive.first + drive.count - 1]];
    fitWear(points, pointCount, last.maxPeCycle, &drive.fit);
    judgeDrive(*history, drive, sets[(drive.count - 1) % 2], thresholds, &drive.health);
  }
  return 1;
}

}  // namespace kzt
