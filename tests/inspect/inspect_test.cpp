// SPDX-License-Identifier: GPL-2.0-or-later
// kzt_inspect on the small drive's dump set, made by a live run with x: the summary and the JSON
// against hand-written golden files, the JSON read back by a real parser, then a damaged set.
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

// Missing and short files read as file mode reads them; a Get FWI answer without data; texts
// that a JSON or XML writer must escape.
TEST_F(Inspect, MissingShortAndDamagedFilesAreNamedAndReadAsFileModeReadsThem) {
  fs::remove("smart.bin");
  fs::remove("kzt_bbec_1_0.bin");
  fs::resize_file("kzt_bbec_0_1.bin", BbecAnswer::kEraseCountAreaOffset + 4);  // counts 1, 2
  std::string fwi = sim::readFile("kzt_fwi.bin");
  fwi[0] = '\xCF';
  sim::writeFile("kzt_fwi.bin", fwi);
  std::string id(100, '\0');
  const char model[] = "A\"\\\x01\xE9";
  for (unsigned i = 0; i + 1 < sizeof model; ++i) id[54 + (i ^ 1)] = model[i];
  sim::writeFile("id.bin", id);

  const Result out = inspect({"--json"});
  ASSERT_EQ(out.status, 0) << out.err;
  const json doc = json::parse(out.out);
  EXPECT_EQ(doc["identity"]["model"], "A\"\\\x01\xC3\xA9");
  EXPECT_EQ(doc["identity"]["served"], false);
  EXPECT_EQ(doc["identity"]["sectors"], 0);
  EXPECT_TRUE(doc["geometry"].is_null());
  EXPECT_TRUE(doc["smart"].is_null());
  EXPECT_EQ(doc["missing_files"], json::array({"kzt_bbec_1_0.bin", "smart.bin"}));
  EXPECT_EQ(doc["short_files"][0]["bytes"], 100);
  EXPECT_EQ(doc["short_files"][1]["name"], "kzt_bbec_0_1.bin");
  ASSERT_EQ(doc["wear"].size(), 3u);
  const json& shortBank = doc["wear"][1];  // blocksPerDie is still read behind the 0xCF
  EXPECT_EQ(shortBank["blocks"], 12);
  EXPECT_EQ(shortBank["counted"], 2);
  EXPECT_EQ(shortBank["no_count"], 10);
  EXPECT_EQ(shortBank["median"], 1);
  EXPECT_DOUBLE_EQ(shortBank["mean"].get<double>(), 1.5);
  EXPECT_EQ(doc["bad_blocks"][1]["factory"], json::array({5}));

  EXPECT_NE(inspect({}).out.find("Missing : kzt_bbec_1_0.bin, smart.bin\nShort   : id.bin (100 of "
                                 "512 bytes), kzt_bbec_0_1.bin (16388 of 32768 bytes)\n"),
            std::string::npos);
  fs::create_directory("out");
  EXPECT_EQ(inspect({"--svg", "out/map.svg"}).status, 0);
  const std::string svg = sim::readFile("out/map.svg");
  EXPECT_NE(svg.find("A\"\\&#xfffd;&#xe9; []"), std::string::npos);
  EXPECT_NE(svg.find(">Missing: kzt_bbec_1_0.bin, smart.bin. Short: id.bin (100 of 512 bytes), "
                     "kzt_bbec_0_1.bin (16388 of 32768 bytes).<"), std::string::npos);
}

TEST_F(Inspect, BadArgumentsAndFoldersThatCannotBeReadEndWithStatus2) {
  for (const std::vector<const char*>& args :
       {std::vector<const char*>{"--bogus"}, {"--json", "--svg", "map.svg"}, {"--svg"}, {".", "."},
        {"no/such/folder"}, {"id.bin"}}) {
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
