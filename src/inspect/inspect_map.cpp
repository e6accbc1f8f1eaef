// SPDX-License-Identifier: GPL-2.0-or-later
// The SVG maps of kzt_inspect, one layout for both: a strip per bank and a cell per block, each
// cell in a colour and with up to two corner marks, under a title; then a histogram of the cells
// over the colours, whose ranges are the scale's legend, and a key to the other colours and the
// marks. The wear map colours a block by its erase count; the growth map of two readings by how
// much its count rose.
#include <cinttypes>

#include "inspect/inspect.h"

namespace kzt {

namespace {

// Colours: eight steps of a scale from cold to hot, then the colours of their own.
constexpr unsigned kScaleSteps = 8;
constexpr uint8_t kBadCell = kScaleSteps;
constexpr uint8_t kNoCountCell = kScaleSteps + 1;
constexpr uint8_t kFellCell = kScaleSteps + 2;
constexpr unsigned kCellColours = kScaleSteps + 3;
constexpr const char* kColour[kCellColours] = {"#4575b4", "#74add1", "#abd9e9", "#e0f3f8",
                                               "#fee090", "#fdae61", "#f46d43", "#d73027",
                                               "#252525", "#bdbdbd", "#7b3294"};
// A cell's byte: its colour in bits 0-3, the first mark (over the top-left corner) in bit 4, the
// second (over the bottom-right corner) in bit 5.
constexpr uint8_t kFirstMark = 0x10;
constexpr uint8_t kSecondMark = 0x20;
constexpr const char* kFactoryMark = "#00c000";
constexpr const char* kGrownMark = "#ff00ff";
constexpr const char* kTurnedBadMark = "#ff8c00";
// The growth map's cell of each kind of change (a rise, and no rise, take the scale's colours).
constexpr uint8_t kCellOfChange[kBlockChangeKinds] = {0, 0, kFellCell, kBadCell | kFirstMark,
                                                      kBadCell, kNoCountCell};

// The layout, in pixels: a header of three text lines, then a strip per bank with its label on
// the left and its cells from x = 96, up to 128 cells a row, 6 to 24 pixels a cell (the cell
// drawn one pixel smaller, so the grid shows); then the histogram and the key.
constexpr unsigned kMargin = 16;
constexpr unsigned kCellsLeft = 96;
constexpr unsigned kStripsTop = 80;
constexpr unsigned kStripGap = 12;
constexpr unsigned kRowCells = 128;
constexpr unsigned kBarPitch = 56;
constexpr unsigned kBarWidth = 48;
constexpr unsigned kBarHeight = 100;
constexpr unsigned kKeyColumn = 280;
constexpr unsigned kKeyRow = 20;

// A bar of the histogram besides the scale's steps, and an entry of the key.
struct MapBar {
  uint8_t colour;
  const char* label;
};
struct MapKey {
  uint8_t cell;  // colour and marks of its swatch
  const char* text;
};

// What a map shows; the cells themselves are in `mapCells`.
struct MapPlan {
  const char* title[5] = {};  // pieces joined, each written as XML character data
  char subtitle[200] = {};
  char histogramTitle[200] = {};
  const char* axis = "";  // what the scale's ranges are
  unsigned low = 0;  // the scale: low to top in kScaleSteps equal parts
  unsigned top = 0;
  unsigned strips = 0;
  unsigned blocks = 0;
  unsigned channel[kBankSlots] = {};
  unsigned ce[kBankSlots] = {};
  const char* markColour[2] = {};
  MapBar bars[3] = {};
  unsigned barCount = 0;
  MapKey keys[6] = {};
  unsigned keyCount = 0;
  const Inspection* sets[2] = {};  // whose missing and short files the header names
  const char* setLabels[2] = {};
  unsigned setCount = 0;
};

uint8_t mapCells[kBankSlots][BbecAnswer::kEraseCountValues];

unsigned scaleStep(unsigned value, const MapPlan& plan) {
  return static_cast<unsigned>(uint64_t{value - plan.low} * kScaleSteps /
                               (plan.top - plan.low + 1));
}

}  // namespace

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

namespace {

// A cell of side `cell` at x, y (drawn a pixel smaller) with its marks: triangles of half its side
// over its top-left and its bottom-right corners.
void svgCell(FILE* out, unsigned x, unsigned y, unsigned cell, uint8_t value,
             const MapPlan& plan) {
  std::fprintf(out, "<rect x=\"%u\" y=\"%u\" width=\"%u\" height=\"%u\" fill=\"%s\"/>\n", x, y,
               cell - 1, cell - 1, kColour[value & 0x0F]);
  const unsigned h = cell / 2, r = x + cell - 1, b = y + cell - 1;
  if (value & kFirstMark) {
    std::fprintf(out, "<polygon points=\"%u,%u %u,%u %u,%u\" fill=\"%s\"/>\n", x, y, x + h, y, x,
                 y + h, plan.markColour[0]);
  }
  if (value & kSecondMark) {
    std::fprintf(out, "<polygon points=\"%u,%u %u,%u %u,%u\" fill=\"%s\"/>\n", r, b, r - h, b, r,
                 b - h, plan.markColour[1]);
  }
}

int writeMap(const MapPlan& plan, FILE* out) {
  const unsigned blocks = plan.blocks;
  const unsigned columns = blocks < kRowCells ? blocks : kRowCells;
  unsigned cell = columns == 0 ? 24 : 1024 / columns;
  cell = cell < 6 ? 6 : cell > 24 ? 24 : cell;
  const unsigned rows = columns == 0 ? 0 : (blocks + columns - 1) / columns;
  const unsigned stripHeight = (rows * cell > 16 ? rows * cell : 16) + kStripGap;

  unsigned histogram[kCellColours] = {};
  for (unsigned i = 0; i < plan.strips; ++i) {
    for (unsigned b = 0; b < blocks; ++b) ++histogram[mapCells[i][b] & 0x0F];
  }
  const unsigned bars = kScaleSteps + plan.barCount;
  unsigned highest = 1;
  for (unsigned n : histogram) highest = n > highest ? n : highest;

  const unsigned chartTop = kStripsTop + plan.strips * stripHeight + 16;
  const unsigned base = chartTop + 40 + kBarHeight;
  const unsigned key = base + 40;
  unsigned width = kCellsLeft + columns * cell + kMargin;
  const unsigned chartWidth = kCellsLeft + bars * kBarPitch + kMargin;
  width = width > chartWidth ? width : chartWidth;
  const unsigned height = key + (plan.keyCount + 1) / 2 * kKeyRow - 6 + kMargin;

  std::fprintf(out,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%u\" height=\"%u\" "
               "viewBox=\"0 0 %u %u\" font-family=\"sans-serif\" font-size=\"12\">\n",
               width, height, width, height);
  for (unsigned pass = 0; pass < 2; ++pass) {
    if (pass == 0) std::fputs("<title>", out);
    else std::fprintf(out, "<text x=\"%u\" y=\"28\" font-size=\"18\" font-weight=\"bold\">", kMargin);
    for (const char* piece : plan.title) {
      if (piece != nullptr) svgText(out, piece);
    }
    if (pass == 0) {
      std::fprintf(out, "</title>\n<rect width=\"%u\" height=\"%u\" fill=\"#ffffff\"/>\n", width,
                   height);
    } else {
      std::fputs("</text>\n", out);
    }
  }
  std::fprintf(out, "<text x=\"%u\" y=\"48\">%s</text>\n", kMargin, plan.subtitle);
  unsigned notes = 0;
  for (unsigned s = 0; s < plan.setCount; ++s) {
    notes += countFiles(*plan.sets[s], false) + countFiles(*plan.sets[s], true);
  }
  if (notes != 0) {
    std::fprintf(out, "<text x=\"%u\" y=\"66\" fill=\"#b00000\">", kMargin);
    const char* separator = "";
    for (unsigned s = 0; s < plan.setCount; ++s) {
      const Inspection& set = *plan.sets[s];
      for (unsigned wantShort = 0; wantShort < 2; ++wantShort) {
        if (countFiles(set, wantShort) == 0) continue;
        std::fprintf(out, "%s%s%s: ", separator, plan.setLabels[s], wantShort ? "Short" : "Missing");
        listFiles(set, out, wantShort);
        std::fputc('.', out);
        separator = " ";
      }
    }
    std::fputs("</text>\n", out);
  }

  std::fputs("<g shape-rendering=\"crispEdges\">\n", out);
  for (unsigned i = 0; i < plan.strips; ++i) {
    const unsigned top0 = kStripsTop + i * stripHeight;
    std::fprintf(out, "<text x=\"%u\" y=\"%u\">Ch%uCE%u</text>\n", kMargin, top0 + 13,
                 plan.channel[i], plan.ce[i]);
    for (unsigned b = 0; b < blocks; ++b) {
      svgCell(out, kCellsLeft + b % columns * cell, top0 + b / columns * cell, cell,
              mapCells[i][b], plan);
    }
  }

  // The histogram: a bar per step of the scale in its colour, then the map's other colours; the
  // step's range under each bar is the scale's legend.
  std::fprintf(out, "<text x=\"%u\" y=\"%u\">%s</text>\n", kMargin, chartTop + 12,
               plan.histogramTitle);
  std::fprintf(out, "<text x=\"%u\" y=\"%u\">Blocks</text>\n<text x=\"%u\" y=\"%u\">%s</text>\n",
               kMargin, base - 4, kMargin, base + 14, plan.axis);
  for (unsigned k = 0; k < bars; ++k) {
    const uint8_t colour = k < kScaleSteps ? static_cast<uint8_t>(k) : plan.bars[k - kScaleSteps].colour;
    const unsigned x = kCellsLeft + k * kBarPitch;
    const unsigned h = (2 * kBarHeight * histogram[colour] + highest) / (2 * highest);
    std::fprintf(out, "<rect x=\"%u\" y=\"%u\" width=\"%u\" height=\"%u\" fill=\"%s\"/>\n", x,
                 base - h, kBarWidth, h, kColour[colour]);
    std::fprintf(out, "<text x=\"%u\" y=\"%u\" text-anchor=\"middle\">%u</text>\n",
                 x + kBarWidth / 2, base - h - 4, histogram[colour]);
    std::fprintf(out, "<text x=\"%u\" y=\"%u\" text-anchor=\"middle\">", x + kBarWidth / 2,
                 base + 14);
    if (k >= kScaleSteps) {
      std::fputs(plan.bars[k - kScaleSteps].label, out);
    } else {
      // Values v with (v - low) * steps / span == k: from low + ceil(k span / steps) up.
      const uint64_t span = plan.top - plan.low + 1;
      const uint64_t first = plan.low + (k * span + kScaleSteps - 1) / kScaleSteps;
      const uint64_t next = plan.low + ((k + 1) * span + kScaleSteps - 1) / kScaleSteps;
      if (next > first) std::fprintf(out, "%" PRIu64 "-%" PRIu64, first, next - 1);
    }
    std::fputs("</text>\n", out);
  }
  std::fputs("</g>\n", out);

  // The key, two entries a row.
  for (unsigned i = 0; i < plan.keyCount; ++i) {
    const unsigned x = kMargin + i % 2 * kKeyColumn, y = key + i / 2 * kKeyRow;
    svgCell(out, x, y, 15, plan.keys[i].cell, plan);
    std::fprintf(out, "<text x=\"%u\" y=\"%u\">%s</text>\n", x + 20, y + 11, plan.keys[i].text);
  }
  std::fputs("</svg>\n", out);
  return std::fflush(out) == 0 && !std::ferror(out);
}

// Marks the cells of the blocks in `numbers` (those of a cell) with `mark`.
void markCells(uint8_t* cells, unsigned blocks, const uint16_t* numbers, unsigned count,
               uint8_t mark) {
  for (unsigned k = 0; k < count; ++k) {
    if (numbers[k] < blocks) cells[numbers[k]] |= mark;
  }
}

}  // namespace

int writeWearMap(const Inspection& inspection, FILE* out) {
  MapPlan plan;
  plan.blocks = inspection.bankCount > 0 ? inspection.banks[0].blocks : 0;
  plan.strips = inspection.bankCount;
  // One scale for every bank: the lowest to the highest count.
  unsigned bad = 0, noCount = 0, counted = 0;
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    if (bank.counted > 0) {
      plan.low = counted == 0 || bank.min < plan.low ? bank.min : plan.low;
      plan.top = bank.max > plan.top ? bank.max : plan.top;
    }
    bad += bank.bad;
    noCount += bank.noCount;
    counted += bank.counted;
  }
  const uint16_t blocksPerDie = inspection.firmwareInfo.blocksPerDie;
  for (unsigned i = 0; i < inspection.bankCount; ++i) {
    const BankWear& bank = inspection.banks[i];
    const BbecAnswer& answer = bankAnswer(inspection, bank);
    plan.channel[i] = bank.channel;
    plan.ce[i] = bank.ce;
    for (unsigned b = 0; b < plan.blocks; ++b) {
      const uint16_t value = eraseCountOf(answer, b);
      mapCells[i][b] = value == kEraseCountBad    ? kBadCell
                       : value == kEraseCountNone ? kNoCountCell
                                                  : static_cast<uint8_t>(scaleStep(value, plan));
    }
    uint16_t numbers[BbecAnswer::kBadBlockEntries];
    markCells(mapCells[i], plan.blocks, numbers,
              listBadBlocks(answer, blocksPerDie, kFactoryBadBlock, numbers), kFirstMark);
    markCells(mapCells[i], plan.blocks, numbers,
              listBadBlocks(answer, blocksPerDie, kGrownBadBlock, numbers), kSecondMark);
  }

  const DriveIdentity& id = inspection.identity;
  if (inspection.identityPresent) {
    plan.title[0] = "Wear map: ";
    plan.title[1] = id.model;
    plan.title[2] = " [";
    plan.title[3] = id.vendorString;
    plan.title[4] = "]";
  } else {
    plan.title[0] = "Wear map: identity unknown (no id.bin)";
  }
  if (inspection.geometryPresent) {
    std::snprintf(plan.subtitle, sizeof plan.subtitle,
                  "%u banks read, %u blocks each; a cell a block, coloured by its erase count, "
                  "%u to %u on one scale for all banks",
                  inspection.bankCount, plan.blocks, plan.low, plan.top);
  } else {
    std::snprintf(plan.subtitle, sizeof plan.subtitle,
                  "%u banks read; Block/Die is unknown without the geometry: no erase counts "
                  "and no bad-block lists read",
                  inspection.bankCount);
  }
  std::snprintf(plan.histogramTitle, sizeof plan.histogramTitle,
                "Histogram of the erase counts of all banks read (%u counted, %u bad, %u without "
                "a count; MaxPECycle %u)",
                counted, bad, noCount, unsigned{inspection.firmwareInfo.maxPeCycle});
  plan.axis = "Count";
  plan.markColour[0] = kFactoryMark;
  plan.markColour[1] = kGrownMark;
  plan.bars[0] = {kBadCell, "Bad"};
  plan.bars[1] = {kNoCountCell, "none"};
  plan.barCount = 2;
  plan.keys[0] = {kBadCell, "bad block (65534)"};
  plan.keys[1] = {kBadCell | kFirstMark, "factory bad block (Fabric list)"};
  plan.keys[2] = {kNoCountCell, "no count (65535)"};
  plan.keys[3] = {kBadCell | kSecondMark, "grown bad block (Later list)"};
  plan.keyCount = 4;
  plan.sets[0] = &inspection;
  plan.setLabels[0] = "";
  plan.setCount = 1;
  return writeMap(plan, out);
}

int writeGrowthMap(const Comparison& comparison, const char* oldFolder, const char* newFolder,
                   FILE* out) {
  MapPlan plan;
  plan.strips = comparison.bankCount;
  plan.blocks = comparison.bankCount > 0 ? comparison.banks[0].blocks : 0;
  // One scale for every bank: from no rise to the highest rise.
  unsigned compared = 0, fell = 0, turnedBad = 0, newlyGrown = 0;
  for (unsigned i = 0; i < comparison.bankCount; ++i) {
    const BankChange& bank = comparison.banks[i];
    const BbecAnswer& before = bankAnswer(*comparison.before, *bank.before);
    const BbecAnswer& after = bankAnswer(*comparison.after, *bank.after);
    for (unsigned b = 0; b < bank.blocks; ++b) {
      const uint16_t then = eraseCountOf(before, b), now = eraseCountOf(after, b);
      if (compareBlock(then, now) <= kStayed && unsigned{now} - then > plan.top) {
        plan.top = now - then;
      }
    }
    compared += bank.changes[kRose] + bank.changes[kStayed] + bank.changes[kFell];
    fell += bank.changes[kFell];
    turnedBad += bank.changes[kTurnedBad];
    newlyGrown += bank.newlyGrown;
  }
  for (unsigned i = 0; i < comparison.bankCount; ++i) {
    const BankChange& bank = comparison.banks[i];
    const BbecAnswer& before = bankAnswer(*comparison.before, *bank.before);
    const BbecAnswer& after = bankAnswer(*comparison.after, *bank.after);
    plan.channel[i] = bank.after->channel;
    plan.ce[i] = bank.after->ce;
    for (unsigned b = 0; b < plan.blocks; ++b) {
      const uint16_t then = eraseCountOf(before, b), now = eraseCountOf(after, b);
      const BlockChange change = compareBlock(then, now);
      mapCells[i][b] = change <= kStayed ? static_cast<uint8_t>(scaleStep(now - then, plan))
                                         : kCellOfChange[change];
    }
    uint16_t numbers[BbecAnswer::kBadBlockEntries];
    if (comparison.before->geometryPresent && comparison.after->geometryPresent) {
      markCells(mapCells[i], plan.blocks, numbers,
                listEntriesNotIn(*comparison.after, *bank.after, *comparison.before,
                                 *bank.before, kGrownBadBlock, numbers),
                kSecondMark);
    }
  }

  plan.title[0] = "Growth map: ";
  plan.title[1] = oldFolder;
  plan.title[2] = " to ";
  plan.title[3] = newFolder;
  std::snprintf(plan.subtitle, sizeof plan.subtitle,
                "%u banks read in both sets, %u blocks each; a cell a block, coloured by the rise "
                "of its erase count, 0 to %u",
                comparison.bankCount, plan.blocks, plan.top);
  std::snprintf(plan.histogramTitle, sizeof plan.histogramTitle,
                "Histogram of the rises (%u counts compared, %u fell, %u turned bad, %u newly in "
                "the grown list)",
                compared, fell, turnedBad, newlyGrown);
  plan.axis = "Rise";
  plan.markColour[0] = kTurnedBadMark;
  plan.markColour[1] = kGrownMark;
  plan.bars[0] = {kFellCell, "fell"};
  plan.bars[1] = {kBadCell, "bad"};
  plan.bars[2] = {kNoCountCell, "other"};
  plan.barCount = 3;
  plan.keys[0] = {kFellCell, "count fell (odd: wear only rises)"};
  plan.keys[1] = {kBadCell | kFirstMark, "turned bad (a count before, 65534 now)"};
  plan.keys[2] = {kBadCell, "bad (65534) now, and no count before"};
  plan.keys[3] = {kBadCell | kSecondMark, "newly in the grown list (Later)"};
  plan.keys[4] = {kNoCountCell, "other: no count now, or none before"};
  plan.keyCount = 5;
  plan.sets[0] = comparison.before;
  plan.sets[1] = comparison.after;
  plan.setLabels[0] = "Old: ";
  plan.setLabels[1] = "New: ";
  plan.setCount = 2;
  return writeMap(plan, out);
}

}  // namespace kzt
