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
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
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
  // Prometheus's text format: the figures above, the SMART table; no power-on time (the drive
  // has no attribute 9). Means 65616/8, 72/11, 426/12, 66683/8; life used each over 3000.
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
  for (const char* text : {"<title>Wear map: KZT GOLDEN SSD 128GB                     [REALTEK_RL6X43 FWTEST]</title>",
                           "4 banks read, 12 blocks each; a cell a block, coloured by its erase count, 0 to 65533",
                           "(39 counted, 7 bad, 2 without a count; MaxPECycle 3000)", ">0-8191<", ">8192-16383<",
                           ">57343-65533<", ">37<", ">Bad<"}) {
    EXPECT_NE(svg.find(text), std::string::npos) << text;
  }
}

// Short files read as file mode reads them; texts that a JSON or XML writer must escape.
TEST_F(Inspect, ShortAndDamagedFilesAreNamedAndReadAsFileModeReadsThem) {
  fs::remove("smart.bin");
  fs::remove("kzt_bbec_1_0.bin");
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
  // time from the manifest.
  sim::writeFile("reading.json", "{\"time\": {\"utc\": \"2026-12-07T10:15:00Z\", \"unix\": 1796638500}}");
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
  // The mean of Ch0CE0 by hand: 65616 / 8 = 8202 before, 65600 / 7 = 9371.43 after.
  EXPECT_DOUBLE_EQ(json::parse(out.out)["banks"][0]["mean"]["change"].get<double>(), 1169.43);

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
                           "\nWear: 3 banks read in both sets, 0 blocks compared each; MaxPECycle 3000 old, unknown new\n"}) {
    EXPECT_NE(blind.find(line), std::string::npos) << line;
  }

  // Not one drive, or one not known: refused.
  std::string id = sim::readFile("new/id.bin");
  id[20] = 'X';  // the serial's second character
  sim::writeFile("new/id.bin", id);
  Result refused = inspect({"--diff", "old", "new"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "kzt_inspect: old and new are two drives: serial \"GLD0000000001       \" "
                         "and \"GXD0000000001       \": nothing compared\n");
  fs::remove("old/id.bin");
  refused = inspect({"--diff", "--json", "old", "new"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "kzt_inspect: old: no id.bin, so the drive is unknown: nothing compared\n");
  EXPECT_EQ(refused.out, "");
}

TEST_F(Inspect, BadArgumentsAndFoldersThatCannotBeReadEndWithStatus2) {
  for (const std::vector<const char*>& args :
       {std::vector<const char*>{"--bogus"}, {"--json", "--svg", "map.svg"}, {"--svg"}, {".", "."},
        {"no/such/folder"}, {"id.bin"}, {"--diff", "."}, {"--diff", ".", ".", "."}}) {
    const Result result = inspect(args);
    EXPECT_EQ(result.status, 2) << args[0];
    EXPECT_NE(result.err.find("kzt_inspect: "), std::string::npos);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_NE(inspect({"no/such/folder"}).err.find("no/such/folder: not a folder"), std::string::npos);
  const std::string longName(4001, 'a');
  const Result tooLong = inspect({longName.c_str()});
  EXPECT_EQ(tooLong.status, 2);
  EXPECT_EQ(tooLong.err, "kzt_inspect: the folder name is longer than 4000 characters\n");
  if (fs::exists("/dev/full")) {
    const Result full = inspect({"--svg", "/dev/full"});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "kzt_inspect: /dev/full: Write File Error\n");
  }
  EXPECT_EQ(inspect({"--svg", "no/such/folder/map.svg"}).status, 1);
}

}  // namespace
}  // namespace kzt
