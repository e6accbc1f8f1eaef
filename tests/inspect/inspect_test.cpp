// SPDX-License-Identifier: GPL-2.0-or-later
// kzt_inspect on the small drive's dump set, made by a live run with x, on damaged copies of it
// and on a later reading of the drive: the summaries and the JSON against hand-written golden
// files (each JSON golden file is also checked against its schema in doc/), the JSON read back by
// a real parser, and the texts of the maps.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "inspect/inspect.h"
#include "sim/harness.h"
#include "sim/small_drive.h"

namespace kzt {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string golden(const char* name) {
  return sim::readFile(std::string(KZT_INSPECT_GOLDEN_DIR) + "/" + name);
}

struct Result {
  int status = 0;
  std::string out, err;
};

std::string drain(FILE* file) {
  std::string text(static_cast<size_t>(std::ftell(file)), '\0');
  std::rewind(file);
  text.resize(std::fread(text.data(), 1, text.size(), file));
  std::fclose(file);
  return text;
}

Result inspect(std::vector<const char*> args) {
  args.insert(args.begin(), "kzt_inspect");
  FILE* out = sim::scratchStream();
  FILE* err = sim::scratchStream();
  Result result;
  result.status = runInspectCommand(static_cast<int>(args.size()), args.data(), out, err);
  result.out = drain(out);
  result.err = drain(err);
  return result;
}

size_t entriesHere() {
  return static_cast<size_t>(std::distance(fs::directory_iterator("."), fs::directory_iterator()));
}

struct Inspect : ::testing::Test {
  sim::ScratchDir scratch;
  Inspect() {
    sim::SimDrive drive;
    sim::buildSmallDrive(drive);
    sim::RunOutcome run;
    EXPECT_TRUE(sim::runOnDriveInFolder(drive, ".", {"0xy"}, &run));
  }
};

TEST_F(Inspect, SummaryAndJsonOfTheSmallDriveMatchTheGoldenFiles) {
  const size_t entries = entriesHere();
  const Result summary = inspect({});
  EXPECT_EQ(summary.status, 0);
  EXPECT_EQ(summary.out, golden("small_drive_inspect.txt"));
  const Result out = inspect({"--json", "."});
  EXPECT_EQ(out.status, 0);
  EXPECT_EQ(out.out, golden("small_drive_inspect.json"));
  // Prometheus's text format: the figures above, the SMART table, the manifest's time
  // (2026-12-07T10:15:00Z); no power-on time (the drive has no attribute 9). Means 65616/8, 72/11,
  // 426/12, 66683/8; life used each over 3000.
  const Result metrics = inspect({"--metrics", "."});
  EXPECT_EQ(metrics.status, 0);
  EXPECT_EQ(metrics.out, golden("small_drive_metrics.prom"));
  EXPECT_EQ(inspect({"--diff", "--metrics", ".", "."}).status, kInspectExitBadUsage);
  EXPECT_EQ(entriesHere(), entries) << "kzt_inspect wrote into the folder";

  const json doc = json::parse(out.out);  // a JSON parser takes it
  EXPECT_DOUBLE_EQ(doc["wear"][3]["mean"].get<double>(), 8335.38);  // 8335.375, a tie: to even

  // The wear map's texts: its title, the scale from the lowest to the highest count of all banks
  // (0 and 65533), the histogram's totals and its eight steps of ceil(65534 / 8) = 8192 counts:
  // 37 counts up to 8191, the two 65533 in the last step, from ceil(7 * 65534 / 8) = 57343.
  fs::create_directory("maps");
  const Result map = inspect({"--svg", "maps/map.svg"});
  EXPECT_EQ(map.out, "Wear map of 4 banks written to maps/map.svg\n");
  const std::string svg = sim::readFile("maps/map.svg");
  for (const char* text : {"<title>Wear map: KZT GOLDEN SSD 128GB [REALTEK_RL6X43 FWTEST]</title>",
                           "4 banks read, 12 blocks each; a cell a block, coloured by its erase count, 0 to 65533",
                           "(39 counted, 7 bad, 2 without a count; MaxPECycle 3000)", ">0-8191<", ">8192-16383<",
                           ">57343-65533<", ">37<", ">Bad<"}) {
    EXPECT_NE(svg.find(text), std::string::npos) << text;
  }
}

// Short files read as file mode reads them; an empty dump or one that is not a regular file is an
// answer that did not arrive; texts that a JSON or XML writer must escape.
TEST_F(Inspect, ShortAndDamagedFilesAreNamedAndReadAsFileModeReadsThem) {
  sim::writeFile("smart.bin", "");
  fs::remove("kzt_bbec_1_0.bin");
  fs::create_directory("kzt_bbec_1_0.bin");
  fs::resize_file("kzt_bbec_0_1.bin", BbecAnswer::kEraseCountAreaOffset + 8);  // counts 1 to 4
  std::string id(100, '\0');
  const char model[] = "A\"\\\x01\xE9";
  for (unsigned i = 0; i + 1 < sizeof model; ++i) id[54 + (i ^ 1)] = model[i];
  sim::writeFile("id.bin", id);

  const Result out = inspect({"--json"});
  EXPECT_EQ(out.out, golden("short_files_inspect.json"));
  EXPECT_EQ(json::parse(out.out)["identity"]["model"], "A\"\\\x01\xC3\xA9");  // as a parser reads it
  EXPECT_NE(inspect({}).out.find("Missing : kzt_bbec_1_0.bin, smart.bin\nShort   : id.bin (100 of "
                                 "512 bytes), kzt_bbec_0_1.bin (16392 of 32768 bytes)\n"),
            std::string::npos);
  // The metrics: the model's quote and backslash escaped, its control byte and byte 0xE9 shown
  // as '?'; bank Ch1CE0 has no sample at all; the short bank's counts 1 to 4 give its mean; the
  // time from the run's manifest (2026-12-07T10:15:00Z).
  const std::string metrics = inspect({"--metrics"}).out;
  const std::string labels = "{model=\"A\\\"\\\\??\",serial=\"\"";
  for (const std::string& line : {"kzt_fid_reading_ok" + labels + "} 0\n",
                                 "kzt_fid_answers_missing" + labels + "} 2\n",
                                 "kzt_fid_reading_timestamp_seconds" + labels + "} 1796638500\n",
                                 "kzt_fid_bank_erase_count_mean" + labels + ",bank=\"Ch0CE1\"} 2.5\n",
                                 "kzt_fid_bank_bad_blocks" + labels + ",bank=\"Ch1CE1\",list=\"grown\"} 2\n"}) {
    EXPECT_NE(metrics.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(metrics.find("Ch1CE0"), std::string::npos);
  EXPECT_EQ(metrics.find("kzt_fid_smart_attribute_raw{"), std::string::npos);
  fs::create_directory("out");
  EXPECT_EQ(inspect({"--svg", "out/map.svg"}).status, 0);
  const std::string svg = sim::readFile("out/map.svg");
  EXPECT_NE(svg.find("A\"\\&#xfffd;&#xe9; []"), std::string::npos);
  EXPECT_NE(svg.find(">Missing: kzt_bbec_1_0.bin, smart.bin. Short: id.bin (100 of 512 bytes), "
                     "kzt_bbec_0_1.bin (16392 of 32768 bytes).<"), std::string::npos);
}

// A missing dump is an answer that did not arrive: no figure is taken from it.
TEST_F(Inspect, MissingAnswersGiveNoFigures) {
  for (const char* name : {"id.bin", "kzt_fwi.bin", "smart.bin"}) fs::remove(name);
  EXPECT_EQ(inspect({}).out, golden("missing_answers_inspect.txt"));
  EXPECT_EQ(inspect({"--json", "."}).out, golden("missing_answers_inspect.json"));
  EXPECT_EQ(inspect({"--metrics"}).out, golden("missing_answers_metrics.prom"));
  sim::writeFile("kzt_fwi.bin", std::string(4096, '\xCF'));  // an answer without data
  EXPECT_NE(inspect({}).out.find("Geometry: none (kzt_fwi.bin begins with the no-data marker 0xCF)"
                                 "\n\nWear: 4 banks read: Ch0CE0"), std::string::npos);
  fs::remove("kzt_fid2.bin");
  EXPECT_EQ(inspect({"--json"}).out, golden("no_flash_ids_inspect.json"));
  // Without the manifest, as in older sets and file mode, the reading is unknown; so with one
  // that is not a JSON object.
  for (const char* manifest : {"", "{\"time\": {\"unix\": 1,}}"}) {
    if (manifest[0] == '\0') fs::remove("reading.json");
    else sim::writeFile("reading.json", manifest);
    EXPECT_NE(inspect({}).out.find("\nReading : time, host and node unknown (no reading.json)\n"),
              std::string::npos);
    EXPECT_TRUE(json::parse(inspect({"--json"}).out)["reading"].is_null());
  }
}

// A second reading of the small drive after more wear: three banks rose, one block's count fell,
// two turned bad (one of them newly in the grown list, one newly in the factory list), one bank
// was not read and two SMART raw values went up (+5, +256: the checksum no longer holds).
TEST_F(Inspect, DiffOfTwoReadingsMatchesTheGoldenFiles) {
  sim::SimDrive later;
  sim::buildSmallDrive(later);
  using sim::kBad, sim::kFactory, sim::kGrown, sim::kNoCount;
  sim::setBbec(later, 0, 0, sim::bbecAnswer({{kFactory, 3}, {kGrown, 7}, {kFactory, 11}, {kGrown, 4}},
                                            {15, 15, 10, kBad, kBad, 65533, 2, kBad, 12, kNoCount, 13, kBad}));
  sim::setBbec(later, 0, 1, sim::bbecAnswer({{kFactory, 5}, {1, 6}, {kFactory, 9}},
                                            {2, 3, 4, 5, 6, kBad, 8, 9, 10, kBad, 12, 13}));
  sim::setBbec(later, 1, 0, sim::bbecAnswer({}, {40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51}));
  later.smartData[7] += 5;   // lowest raw byte of attribute 7
  later.smartData[20] += 1;  // second raw byte of attribute 43
  sim::SimDrive first;
  sim::buildSmallDrive(first);
  for (auto [folder, drive] : {std::pair{"old", &first}, std::pair{"new", &later}}) {
    fs::create_directory(folder);
    sim::RunOutcome run;
    EXPECT_TRUE(sim::runOnDriveInFolder(*drive, folder, {"0xy"}, &run));
    fs::current_path("..");
  }
  fs::remove("new/kzt_bbec_1_1.bin");

  EXPECT_EQ(inspect({"--diff", "old", "new"}).out, golden("small_drive_diff.txt"));
  const Result out = inspect({"--diff", "--json", "old", "new"});
  EXPECT_EQ(out.out, golden("small_drive_diff.json"));
  // The mean of Ch0CE0 by hand over the 7 blocks both sets count (0, 1, 2, 5, 6, 8, 10; block 4
  // turned bad): 65596 / 7 = 9370.86 before, 65600 / 7 = 9371.43 after, +0.57.
  EXPECT_DOUBLE_EQ(json::parse(out.out)["banks"][0]["mean"]["change"].get<double>(), 0.57);

  // The growth map: rises of 0 to 10 in eight steps of 11/8: 0-1 (14 blocks) ... 10-10 (12).
  EXPECT_EQ(inspect({"--diff", "--svg", "growth.svg", "old", "new"}).out,
            "Growth map of 3 banks written to growth.svg\n");
  const std::string svg = sim::readFile("growth.svg");
  for (const char* text : {"<title>Growth map: old to new</title>", ">New: Missing: kzt_bbec_1_1.bin.<",
                           "3 banks read in both sets, 12 blocks each; a cell a block, coloured by the rise of its erase count, 0 to 10<",
                           "(29 counts compared, 1 fell, 2 turned bad, 1 newly in the grown list)",
                           ">0-1<", ">2-2<", ">10-10<", ">14<", ">12<"}) {
    EXPECT_NE(svg.find(text), std::string::npos) << text;
  }

  // Without one set's geometry, its Block/Die and MaxPECycle are unknown: no block is compared.
  fs::remove("new/kzt_fwi.bin");
  const std::string blind = inspect({"--diff", "old", "new"}).out;
  for (const char* line : {"\nBlock/Die is unknown in new without the geometry: no counts and no bad-block lists compared\n",
                           "\nWear: 3 banks read in both sets, 0 blocks each; MaxPECycle 3000 old, unknown new; figures over the blocks both sets count\n",
                           "\nCh0CE0       0        -        -        -       -       -      -    0      0    0        -        -\n"}) {
    EXPECT_NE(blind.find(line), std::string::npos) << line;
  }
  // Nor are its lists: the JSON says so with nulls, not with empty lists.
  const json blindBank = json::parse(inspect({"--diff", "--json", "old", "new"}).out)["banks"][0];
  for (const char* key : {"newly_grown", "left_grown", "factory_added", "factory_removed",
                          "factory_changed"}) {
    EXPECT_TRUE(blindBank.at(key).is_null()) << key;
  }

  // Not one drive, or one not known: refused.
  std::string id = sim::readFile("new/id.bin");
  id[20] = 'X';  // the serial's second character
  sim::writeFile("new/id.bin", id);
  Result refused = inspect({"--diff", "old", "new"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "kzt_inspect: old and new are two drives: serial \"GLD0000000001\" "
                         "and \"GXD0000000001\": nothing compared\n");
  // Identities that are empty, short or not there name no drive.
  const std::pair<std::string, const char*> unknown[] = {
      {std::string(512, ' '), "old and new: the serial number is empty"},
      {id.substr(0, 100), "new: a short id.bin"},
      {"", "new: no id.bin (or an empty one)"}};
  for (const auto& [bytes, message] : unknown) {
    sim::writeFile("new/id.bin", bytes);
    if (bytes.size() == 512) sim::writeFile("old/id.bin", bytes);
    refused = inspect({"--diff", "--json", "old", "new"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, std::string("kzt_inspect: ") + message +
                               (bytes.size() == 512 ? ", so the drive is unknown: nothing compared\n"
                                                    : ", so the drive is unknown: nothing compared\n"));
    EXPECT_EQ(refused.out, "");
  }
}

// A reading of the series drive, written as the live run writes it: 2 banks (channel 0, CE 0 and
// 1) of 4 blocks, MaxPECycle 1000, power-on hours in SMART attribute 9, the time in reading.json.
// A bank without counts has no file (its answer did not arrive); a count of kBad in bank 0's
// block 3 goes with block 3 in its grown list.
void writeSeriesReading(const std::string& folder, uint64_t hours, int64_t unixTime,
                        const std::vector<std::vector<uint16_t>>& banks) {
  fs::create_directories(folder);
  std::string id(512, '\0');
  const std::string model = "KZT SERIES SSD", serial = "SER0001";
  for (size_t i = 0; i < serial.size(); ++i) id[20 + (i ^ 1)] = serial[i];
  for (size_t i = 0; i < model.size(); ++i) id[54 + (i ^ 1)] = model[i];
  sim::writeFile(folder + "/id.bin", id);
  std::string fwi(4096, '\0');
  fwi[0xC54] = 4;                                   // Block/Die
  fwi[0xC7C] = static_cast<char>(1000 & 0xFF);      // MaxPECycle, little-endian
  fwi[0xC7D] = static_cast<char>(1000 >> 8);
  sim::writeFile(folder + "/kzt_fwi.bin", fwi);
  std::string fid2(512, '\0');
  for (unsigned bank = 0; bank < 2; ++bank) {
    fid2.replace(16 + 8 * bank, 8, "\x98\x3C\x99\xB3\x7A\x51\x08\x04", 8);
  }
  sim::writeFile(folder + "/kzt_fid2.bin", fid2);
  for (unsigned ce = 0; ce < banks.size(); ++ce) {
    if (banks[ce].empty()) continue;
    std::vector<sim::BadBlock> grown;
    if (banks[ce][3] == sim::kBad) grown.push_back({sim::kGrown, 3});
    const std::vector<uint8_t> answer = sim::bbecAnswer(grown, banks[ce]);
    sim::writeFile(folder + "/kzt_bbec_0_" + std::to_string(ce) + ".bin",
                   std::string(answer.begin(), answer.end()));
  }
  std::string smart(512, '\0');
  smart[2] = 9;  // the first entry: attribute 9, raw value from byte 7
  for (unsigned k = 0; k < 6; ++k) smart[7 + k] = static_cast<char>((hours >> (8 * k)) & 0xFF);
  sim::writeFile(folder + "/smart.bin", smart);
  sim::writeFile(folder + "/reading.json",
                 "{\"json_format_version\": [1, 0], \"time\": {\"utc\": \"T" + std::to_string(unixTime) +
                     "\", \"unix\": " + std::to_string(unixTime) +
                     ", \"local_offset\": \"+00:00\"}, \"host\": \"bench\\u001b7\", "
                     "\"drive\": {\"number\": 0, \"node\": \"/dev/sdb\", \"bus\": \"USB\"}}\n");
}

// Four readings of one drive, found in subfolders, with the figures worked out by hand. The
// readings, by time (T0 = 1800000000, 2027-01-15T08:00:00Z; 30 days = 2592000 s):
//   a  T0       1000 h  bank 0: 100 100 100 100       bank 1: 50 50 50 50
//   b  T0+30d   2000 h  bank 0: 200 200 200 Bad (grown 3)  bank 1: 80 80 80 80
//   c  T0+60d   3000 h  bank 0: 300 300 300 Bad (grown 3)  bank 1: its answer did not arrive
//   d  T0+90d   2500 h  bank 0: 400 400 400 Bad (grown 3)  bank 1: 110 110 110 110
// In order of power-on hours: a, b, d, c. The worst bank (bank 0) has mean counts 100, 200, 400,
// 300 at 1000, 2000, 2500, 3000 h. Least squares: mean hours 2125, mean count 250; deviations
// -1125, -125, 375, 875 and -150, -50, 150, 50; Sxx = 2187500, Sxy = 275000; slope 0.1257143 per
// hour (125.7 per 1,000 h), intercept 250 - 0.1257143 * 2125 = -17.142857; 1000 cycles at
// 1017.142857 / 0.1257143 = 8090.9 h. Over the times (days 0, 30, 60, 90 carry 100, 200, 300,
// 400): exactly 100 per 30 days, 1000 at day 270: 2027-10-12.
TEST_F(Inspect, HistoryOfFourReadingsGivesTheHandWorkedRateProjectionFlagsAndVerdict) {
  using sim::kBad;
  const int64_t t0 = 1800000000, month = 2592000;
  writeSeriesReading("series/a", 1000, t0, {{100, 100, 100, 100}, {50, 50, 50, 50}});
  writeSeriesReading("series/b", 2000, t0 + month, {{200, 200, 200, kBad}, {80, 80, 80, 80}});
  writeSeriesReading("series/archive/c", 3000, t0 + 2 * month, {{300, 300, 300, kBad}, {}});
  writeSeriesReading("series/archive/d", 2500, t0 + 3 * month,
                     {{400, 400, 400, kBad}, {110, 110, 110, 110}});
  // A 1 of 4 blocks grown is 25%: the grown rule is set above it, to see the others.
  const std::vector<const char*> thresholds = {"--watch-grown", "30", "--replace-grown", "50"};
  std::vector<const char*> args = {"--history", "--health", "series"};
  args.insert(args.end(), thresholds.begin(), thresholds.end());
  const Result text = inspect(args);
  EXPECT_EQ(text.status, 3);  // WATCH
  for (const char* line : {
           "History: 4 readings of 1 drive\n",
           "\nDrive: KZT SERIES SSD, S/N SER0001: 4 readings, in order of power-on hours, then time\n",
           // worst life 10.0%, mean of 10% and 5%; mean count (400 + 200) / 8
           "  1 T1800000000             1000  10.0% Ch0CE0   7.5%      75.00       0     0       0  series/a\n",
           // (20% + 8%) / 2; (600 + 320) / 7 = 131.43; one grown block added
           "  2 T1802592000             2000  20.0% Ch0CE0  14.0%     131.43       0   1+1       0  series/b\n",
           // (40% + 11%) / 2; (1200 + 440) / 7 = 234.29; c, taken before it, had more hours
           "  3 T1807776000             2500  40.0% Ch0CE0  25.5%     234.29       0     1       0  series/archive/d\n"
           "      odd: power-on hours went back (an earlier reading had more);\n",
           // bank 1 missing; bank 0 fell from 400 to 300 on blocks 0-2 against d
           "  4 T1805184000             3000  30.0% Ch0CE0  30.0%     300.00       0     1       1  series/archive/c\n"
           "      odd: 3 counts fell;\n",
           "Wear rate (least squares, each reading's worst-bank mean erase count over power-on hours; 4 readings): "
           "125.7 PE cycles per 1,000 power-on hours, 100.0 per 30 days\n",
           "Projection: the worst bank reaches its rated 1000 PE cycles at about 8091 power-on hours, about 2027-10-12\n",
           "\nHealth: WATCH\n"
           "  WATCH   Ch0CE1 not judged: its Get BBEC answer did not arrive\n"
           "  OK      worst bank Ch0CE0 has used 30.0% of its rated PE cycles (WATCH from 90%, REPLACE from 100%)\n"
           "  OK      1 grown bad block in all banks; most in Ch0CE0: 1 of 4 blocks, 25.00% (WATCH from 30%, REPLACE from 50%)\n"
           "  WATCH   1 grown bad block added between consecutive readings (WATCH from 1, REPLACE from 50)\n"
           "  WATCH   reading 3 (series/archive/d): power-on hours went back\n"
           "  WATCH   reading 4 (series/archive/c): 3 counts fell\n"}) {
    EXPECT_NE(text.out.find(line), std::string::npos) << line << "\nin:\n" << text.out;
  }

  args[0] = "--history";
  args.insert(args.begin() + 1, "--json");
  const Result out = inspect(args);
  const json doc = json::parse(out.out);
  const json& drive = doc["drives"][0];
  EXPECT_EQ(drive["serial"], "SER0001");
  EXPECT_EQ(drive["readings"][2]["folder"], "series/archive/d");
  EXPECT_EQ(drive["readings"][2]["flags"]["hours_went_back"], true);
  EXPECT_EQ(drive["readings"][3]["flags"]["counts_fell"], 3);
  EXPECT_EQ(drive["readings"][1]["flags"]["grown_added"], 1);
  EXPECT_EQ(drive["readings"][0]["reading"]["host"], "bench\x1b" "7");  // the JSON keeps it escaped
  EXPECT_DOUBLE_EQ(drive["wear"]["pe_cycles_per_1000_hours"].get<double>(), 125.7);
  EXPECT_DOUBLE_EQ(drive["wear"]["projection"]["power_on_hours"].get<double>(), 8091);
  EXPECT_EQ(drive["wear"]["projection"]["date"], "2027-10-12");
  EXPECT_EQ(drive["health"]["verdict"], "WATCH");

  // Any added grown block at REPLACE: status 4.
  args.insert(args.end(), {"--replace-growth", "1"});
  EXPECT_EQ(inspect(args).status, 4);
  // The newest pair given the wrong way round: the hours fell, and the fallen counts are a range.
  const std::string swapped = inspect({"--diff", "series/archive/d", "series/archive/c"}).out;
  for (const char* line : {"Power-on hours: 2500 old, 3000 new (+500)\n",
                           "Old reading : T1807776000 (local offset +00:00), host bench?7, node /dev/sdb\n",
                           "Ch0CE0: counts fell (odd) (3): 0-2\n"}) {
    EXPECT_NE(swapped.find(line), std::string::npos) << line << "\nin:\n" << swapped;
  }
  // A grown bad block that leaves the list and is counted again: both flagged, the verdict WATCH.
  writeSeriesReading("later", 2600, t0 + 4 * month, {{410, 410, 410, 450}, {120, 120, 120, 120}});
  const Result healed = inspect({"--diff", "--health", "series/archive/d", "later"});
  EXPECT_EQ(healed.status, 3);
  for (const char* line : {"Ch0CE0: bad before, counted now (odd) (1): 3; left the grown list (odd) (1): 3\n",
                           "  WATCH   1 grown bad block of OLD not in NEW's grown list\n",
                           "  WATCH   1 block bad in OLD counted again in NEW\n"}) {
    EXPECT_NE(healed.out.find(line), std::string::npos) << line << "\nin:\n" << healed.out;
  }
  const std::string back = inspect({"--diff", "series/archive/c", "series/archive/d"}).out;
  EXPECT_NE(back.find("WARNING: power-on hours fell from OLD to NEW: OLD and NEW may be swapped\n"),
            std::string::npos) << back;
  // The pair b to d: bank 0 from 200 to 400 over 500 h: 400 per 1,000 h; 1000 at 2500 + 600 / 0.4
  // = 4000 h; over 60 days 200, so 100 per 30 days, 1000 at day 90 + 180 = 270 again.
  EXPECT_NE(inspect({"--diff", "series/b", "series/archive/d"})
                .out.find("2 readings): 400.0 PE cycles per 1,000 power-on hours, 100.0 per 30 days\n"
                          "Projection: the worst bank reaches its rated 1000 PE cycles at about 4000 "
                          "power-on hours, about 2027-10-12\n"),
            std::string::npos);
}

TEST_F(Inspect, BadArgumentsAndFoldersThatCannotBeReadEndWithStatus2) {
  for (const std::vector<const char*>& args :
       {std::vector<const char*>{"--bogus"}, {"--json", "--svg", "map.svg"}, {"--svg"}, {".", "."},
        {"no/such/folder"}, {"id.bin"}, {"--diff", "."}, {"--diff", ".", ".", "."},
        {"--svg", "./kzt_bbec_0_1.bin"}, {"--history"}, {"--history", ".", "no/such/folder"},
        {"--diff", "--history", ".", "."},
        {"--watch-life", "x", "."}, {"--watch-growth", "1.5", "."}}) {
    const Result result = inspect(args);
    EXPECT_EQ(result.status, 2) << args[0];
    EXPECT_NE(result.err.find("kzt_inspect: "), std::string::npos);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_NE(inspect({"no/such/folder"}).err.find("no/such/folder: not a folder"), std::string::npos);
  EXPECT_EQ(inspect({"--svg", "./kzt_bbec_0_1.bin"}).err,
            "kzt_inspect: ./kzt_bbec_0_1.bin: one of the inputs: not overwritten\n");
  EXPECT_EQ(inspect({"--version"}).out, "kzt_inspect 0.15a\nflash-ID decoder v2.68a\n");
  const std::string longName(4001, 'a');
  const Result tooLong = inspect({longName.c_str()});
  EXPECT_EQ(tooLong.status, 2);
  EXPECT_EQ(tooLong.err, "kzt_inspect: the folder name is longer than 4000 characters\n");
  // A device is not replaced by the map.
  if (fs::exists("/dev/full")) {
    const Result full = inspect({"--svg", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "kzt_inspect: /dev/full: cannot be written: not a regular file\n");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }
  EXPECT_EQ(inspect({"--svg", "no/such/folder/map.svg"}).status, 1);
  // A standard output that cannot be written is named, with the system's reason.
  if (FILE* full = std::fopen("/dev/full", "w")) {
    FILE* err = sim::scratchStream();
    const char* args[] = {"kzt_inspect", "--json"};
    EXPECT_EQ(runInspectCommand(2, args, full, err), 1);
    std::fclose(full);
    EXPECT_EQ(drain(err), "kzt_inspect: standard output: Write File Error: No space left on device\n");
  }
}

}  // namespace
}  // namespace kzt
