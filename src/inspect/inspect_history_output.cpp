// SPDX-License-Identifier: GPL-2.0-or-later
// The outputs of a history: the summary, the JSON object and the chart. Figures are rounded as
// printf rounds them: life used with "%.1f", mean counts with "%.2f", rates with "%.1f",
// projected hours with "%.0f".
#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstring>

#include "inspect/inspect.h"
#include "output/json.h"

namespace kzt {

namespace {

constexpr const char* kHistoryMethod = "each reading's worst-bank mean erase count over power-on hours";

void summaryFlags(const HistoryReading& r, FILE* out) {
  if (r.flags() == 0) return;
  std::fputs("      odd:", out);
  if (r.countsFell) std::fprintf(out, " %u counts fell;", r.countsFell);
  if (r.grownLeft) std::fprintf(out, " %u grown blocks left the list;", r.grownLeft);
  if (r.turnedCounted) std::fprintf(out, " %u bad blocks counted again;", r.turnedCounted);
  if (r.hoursWentBack) std::fputs(" power-on hours went back (an earlier reading had more);", out);
  std::fputc('\n', out);
}

void summaryDrive(const History& history, const HistoryDrive& drive, FILE* out) {
  std::fputs("\nDrive: ", out);
  if (drive.identityKnown) {
    writeShown(out, drive.model[0] != '\0' ? drive.model : "(empty model)");
    std::fputs(", S/N ", out);
    writeShown(out, drive.serial[0] != '\0' ? drive.serial : "(empty)");
  } else {
    std::fputs("unknown (no id.bin)", out);
  }
  std::fprintf(out, ": %u reading%s, in order of power-on hours, then time\n", drive.count,
               drive.count == 1 ? "" : "s");
  std::fprintf(out, "%3s %-20s %7s %13s %6s %10s %7s %5s %7s  %s\n", "#", "Time", "Hours",
               "Worst life", "Mean", "Mean count", "Factory", "Grown", "Missing", "Folder");
  for (unsigned k = 0; k < drive.count; ++k) {
    const HistoryReading& r = history.readings[history.order[drive.first + k]];
    char hours[24] = "-", worst[32] = "-", mean[16] = "-", count[24] = "-", factory[12] = "-",
         grown[16] = "-", missing[16];
    if (r.hoursKnown) std::snprintf(hours, sizeof hours, "%" PRIu64, r.hours);
    if (r.lifeKnown) {
      std::snprintf(worst, sizeof worst, "%.1f%% Ch%uCE%u", r.worstLife, r.worstChannel, r.worstCe);
      std::snprintf(mean, sizeof mean, "%.1f%%", r.meanLife);
    }
    if (r.countKnown) std::snprintf(count, sizeof count, "%.2f", r.meanCount);
    if (r.listsKnown) {
      std::snprintf(factory, sizeof factory, "%u", r.factory);
      std::snprintf(grown, sizeof grown, r.grownAdded ? "%u+%u" : "%u", r.grown, r.grownAdded);
    }
    std::snprintf(missing, sizeof missing, "%u", r.missing);
    char time[kUtcTextSize];
    readingTime(r.manifest, time);
    std::fprintf(out, "%3u ", k + 1);
    writeShown(out, time);
    std::fprintf(out, "%*s %7s %13s %6s %10s %7s %5s %7s  ",
                 static_cast<int>(20 - std::min<size_t>(20, std::strlen(time))), "", hours, worst,
                 mean, count, factory, grown, missing);
    writeShown(out, history.name(r.folder));
    std::fputc('\n', out);
    summaryFlags(r, out);
  }
}

void jsonReadingItem(const History& history, const HistoryReading& r, FILE* out) {
  std::fputs("{\"folder\": ", out);
  writeJsonText(out, history.name(r.folder));
  std::fputs(", \"reading\": ", out);
  jsonManifest(r.manifest, out);
  std::fputs(", \"power_on_hours\": ", out);
  if (r.hoursKnown) std::fprintf(out, "%" PRIu64, r.hours);
  else std::fputs("null", out);
  std::fputs(", \"worst_life_used_percent\": ", out);
  jsonNumberOrNull(out, r.lifeKnown, "%.1f", r.worstLife);
  std::fputs(", \"worst_bank\": ", out);
  if (r.countKnown) std::fprintf(out, "{\"channel\": %u, \"ce\": %u}", r.worstChannel, r.worstCe);
  else std::fputs("null", out);
  std::fputs(", \"mean_life_used_percent\": ", out);
  jsonNumberOrNull(out, r.lifeKnown, "%.1f", r.meanLife);
  std::fputs(", \"worst_mean_erase_count\": ", out);
  jsonNumberOrNull(out, r.countKnown, "%.2f", r.worstMeanCount);
  std::fputs(", \"mean_erase_count\": ", out);
  jsonNumberOrNull(out, r.countKnown, "%.2f", r.meanCount);
  std::fputs(", \"factory_bad_blocks\": ", out);
  jsonNumberOrNull(out, r.listsKnown, "%.0f", r.factory);
  std::fputs(", \"grown_bad_blocks\": ", out);
  jsonNumberOrNull(out, r.listsKnown, "%.0f", r.grown);
  std::fprintf(out, ", \"answers_missing\": %u, \"banks_read\": %u, \"banks_in_mask\": %u, "
               "\"flags\": {\"counts_fell\": %u, \"grown_left\": %u, \"turned_counted\": %u, "
               "\"hours_went_back\": %s, \"grown_added\": %u}}",
               r.missing, r.banksRead, r.banksMarked, r.countsFell, r.grownLeft, r.turnedCounted,
               r.hoursWentBack ? "true" : "false", r.grownAdded);
}

}  // namespace

int writeHistoryJson(const History& history, int argc, const char* const* argv, FILE* out) {
  jsonHeader(out, argc, argv);
  std::fprintf(out, "  \"readings_not_taken\": %u,\n  \"drives\": ", history.readingsNotTaken);
  for (unsigned d = 0; d < history.driveCount; ++d) {
    const HistoryDrive& drive = history.drives[d];
    jsonItem(out, d);
    std::fputs("{\"model\": ", out);
    if (drive.identityKnown) writeJsonText(out, drive.model);
    else std::fputs("null", out);
    std::fputs(", \"serial\": ", out);
    if (drive.identityKnown) writeJsonText(out, drive.serial);
    else std::fputs("null", out);
    std::fputs(",\n     \"readings\": [", out);
    for (unsigned k = 0; k < drive.count; ++k) {
      std::fputs(k == 0 ? "\n      " : ",\n      ", out);
      jsonReadingItem(history, history.readings[history.order[drive.first + k]], out);
    }
    std::fputs("],\n     \"wear\": ", out);
    jsonFit(drive.fit, kHistoryMethod, out);
    std::fputs(",\n     \"health\": ", out);
    jsonHealth(drive.health, out);
    std::fputc('}', out);
  }
  jsonEnd(out, history.driveCount);
  std::fputs("\n}\n", out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

int writeHistorySummary(const History& history, FILE* out) {
  std::fprintf(out, "History: %u reading%s of %u drive%s\n", history.readingCount,
               history.readingCount == 1 ? "" : "s", history.driveCount,
               history.driveCount == 1 ? "" : "s");
  if (history.readingsNotTaken != 0) {
    std::fprintf(out, "Not taken: %u readings beyond %u readings or %u drives\n",
                 history.readingsNotTaken, kHistoryReadingsMax, kHistoryDrivesMax);
  }
  for (unsigned d = 0; d < history.driveCount; ++d) {
    const HistoryDrive& drive = history.drives[d];
    summaryDrive(history, drive, out);
    summaryFit(drive.fit, kHistoryMethod, out);
    summaryHealth(drive.health, out);
  }
  return std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace kzt

namespace kzt {

namespace {

// The chart's layout, in pixels: a panel per drive, one under the other; in each, the plot from
// x = 80 to 680 (power-on hours 0 to the axis' end) and from y = top + 50 (the life axis' end,
// and the grown axis' end) down to y = top + 330 (0).
constexpr double kPlotLeft = 80, kPlotWidth = 600, kPlotTop = 50, kPlotHeight = 280;
constexpr unsigned kPanelHeight = 380, kChartWidth = 760;
constexpr const char* kWorstColour = "#d73027";
constexpr const char* kMeanColour = "#4575b4";
constexpr const char* kGrownColour = "#ff00ff";
constexpr const char* kProjectionEnd = "#ff8c00";

// The smallest of 1, 2, 5 times a power of ten that is at least `value` (1 for 0).
double axisEnd(double value) {
  if (value <= 1) return 1;
  double unit = std::pow(10.0, std::floor(std::log10(value)));
  for (;; unit *= 10) {
    for (double step : {1.0, 2.0, 5.0}) {
      if (step * unit >= value) return step * unit;
    }
  }
}

struct Axes {
  double top, hoursEnd, lifeEnd, grownEnd;
  double x(double hours) const { return kPlotLeft + kPlotWidth * hours / hoursEnd; }
  double y(double percent) const { return top + kPlotTop + kPlotHeight - kPlotHeight * percent / lifeEnd; }
  double yGrown(double grown) const {
    return top + kPlotTop + kPlotHeight - kPlotHeight * grown / grownEnd;
  }
};

void chartLine(const History& history, const HistoryDrive& drive, const Axes& axes, int which,
               FILE* out) {
  const char* colour = which == 0 ? kWorstColour : which == 1 ? kMeanColour : kGrownColour;
  std::fprintf(out, "<polyline fill=\"none\" stroke=\"%s\" stroke-width=\"2\" points=\"", colour);
  for (unsigned k = 0; k < drive.count; ++k) {
    const HistoryReading& r = history.readings[history.order[drive.first + k]];
    if (!r.hoursKnown || (which < 2 ? !r.lifeKnown : !r.listsKnown)) continue;
    const double y = which == 0 ? axes.y(r.worstLife) : which == 1 ? axes.y(r.meanLife)
                                                                   : axes.yGrown(r.grown);
    std::fprintf(out, "%.1f,%.1f ", axes.x(static_cast<double>(r.hours)), y);
  }
  std::fputs("\"/>\n", out);
}

void chartDrive(const History& history, const HistoryDrive& drive, unsigned index, FILE* out) {
  Axes axes{static_cast<double>(index * kPanelHeight), 1, 100, 1};
  double hours = 0, life = 100, grown = 0;
  for (unsigned k = 0; k < drive.count; ++k) {
    const HistoryReading& r = history.readings[history.order[drive.first + k]];
    if (r.hoursKnown) hours = std::max(hours, static_cast<double>(r.hours));
    if (r.lifeKnown) life = std::max(life, r.worstLife);
    if (r.listsKnown) grown = std::max(grown, static_cast<double>(r.grown));
  }
  const WearFit& fit = drive.fit;
  const bool projectionShown = fit.projected && fit.projectedHours > 0 &&
                               fit.projectedHours <= 20 * std::max(hours, 1.0);
  if (projectionShown) hours = std::max(hours, fit.projectedHours);
  axes.hoursEnd = axisEnd(hours * 1.05);
  axes.lifeEnd = axisEnd(life);
  axes.grownEnd = 4 * axisEnd(std::max(grown, 4.0) / 4);  // quarters in whole blocks
  const double top = axes.top;
  std::fprintf(out, "<g>\n<text x=\"16\" y=\"%.0f\" font-size=\"16\">Wear history: ", top + 24);
  if (drive.identityKnown) {
    svgText(out, drive.model[0] != '\0' ? drive.model : "(empty model)");
    std::fputs(", S/N ", out);
    svgText(out, drive.serial[0] != '\0' ? drive.serial : "(empty)");
  } else {
    std::fputs("drive unknown (no id.bin)", out);
  }
  std::fprintf(out, " (%u readings)</text>\n", drive.count);
  // Frame, grid and scales.
  std::fprintf(out, "<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" "
               "stroke=\"#000000\"/>\n", kPlotLeft, top + kPlotTop, kPlotWidth, kPlotHeight);
  for (unsigned q = 0; q <= 4; ++q) {
    const double percent = axes.lifeEnd * q / 4;
    std::fprintf(out, "<line x1=\"%.0f\" y1=\"%.1f\" x2=\"%.0f\" y2=\"%.1f\" stroke=\"#d9d9d9\"/>"
                 "<text x=\"%.0f\" y=\"%.1f\" font-size=\"11\" text-anchor=\"end\">%g%%</text>"
                 "<text x=\"%.0f\" y=\"%.1f\" font-size=\"11\">%g</text>"
                 "<text x=\"%.1f\" y=\"%.0f\" font-size=\"11\" text-anchor=\"middle\">%g</text>\n",
                 kPlotLeft, axes.y(percent), kPlotLeft + kPlotWidth, axes.y(percent),
                 kPlotLeft - 6, axes.y(percent) + 4, percent, kPlotLeft + kPlotWidth + 6,
                 axes.y(percent) + 4, axes.grownEnd * q / 4, axes.x(axes.hoursEnd * q / 4),
                 top + kPlotTop + kPlotHeight + 16, axes.hoursEnd * q / 4);
  }
  std::fprintf(out, "<text x=\"380\" y=\"%.0f\" font-size=\"12\" text-anchor=\"middle\">power-on "
               "hours; left: life used (%% of rated PE cycles), right: grown bad blocks</text>\n",
               top + kPlotTop + kPlotHeight + 34);
  chartLine(history, drive, axes, 0, out);
  chartLine(history, drive, axes, 1, out);
  chartLine(history, drive, axes, 2, out);
  // The projection: the fitted line from the last reading's hours to 100% of the rated cycles,
  // dashed, its end marked.
  if (projectionShown) {
    const HistoryReading& last = history.readings[history.order[drive.first + drive.count - 1]];
    const double slope = fit.perThousandHours / 1000;
    const double from = last.hoursKnown ? static_cast<double>(last.hours) : 0;
    const double atFrom = 100.0 * (fit.rated + slope * (from - fit.projectedHours)) / fit.rated;
    std::fprintf(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\" "
                 "stroke-width=\"2\" stroke-dasharray=\"8 5\"/>\n"
                 "<circle cx=\"%.1f\" cy=\"%.1f\" r=\"6\" fill=\"%s\"/>\n",
                 axes.x(from), axes.y(atFrom), axes.x(fit.projectedHours), axes.y(100),
                 kWorstColour, axes.x(fit.projectedHours), axes.y(100), kProjectionEnd);
  }
  // Key.
  const char* names[3] = {"worst bank's life used", "mean life used of the banks",
                          "grown bad blocks"};
  const char* colours[3] = {kWorstColour, kMeanColour, kGrownColour};
  for (unsigned i = 0; i < 3; ++i) {
    std::fprintf(out, "<rect x=\"%u\" y=\"%.0f\" width=\"14\" height=\"4\" fill=\"%s\"/>"
                 "<text x=\"%u\" y=\"%.0f\" font-size=\"12\">%s</text>\n",
                 80 + 200 * i, top + 38, colours[i], 98 + 200 * i, top + 44, names[i]);
  }
  std::fputs("</g>\n", out);
}

}  // namespace

int writeHistoryChart(const History& history, FILE* out) {
  const unsigned height = kPanelHeight * std::max(history.driveCount, 1u);
  std::fprintf(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%u\" height=\"%u\" "
               "viewBox=\"0 0 %u %u\" font-family=\"sans-serif\">\n"
               "<title>Wear history</title>\n<rect width=\"%u\" height=\"%u\" fill=\"#ffffff\"/>\n",
               kChartWidth, height, kChartWidth, height, kChartWidth, height);
  for (unsigned d = 0; d < history.driveCount; ++d) chartDrive(history, history.drives[d], d, out);
  std::fputs("</svg>\n", out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace kzt
