#include "nandid/nandid_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace kzt {
namespace {

struct CommandRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string readAll(FILE* file) {
  std::string text;
  std::rewind(file);
  int c = 0;
  while ((c = std::fgetc(file)) != EOF) text += static_cast<char>(c);
  return text;
}

// Runs kzt_nandid in-process with the given arguments and standard input.
CommandRun runCommand(std::vector<const char*> args, const std::string& input = "") {
  args.insert(args.begin(), "kzt_nandid");
  FILE* in = std::tmpfile();
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  CommandRun run;
  if (in == nullptr || out == nullptr || err == nullptr) {
    ADD_FAILURE() << "no temporary file";
  } else {
    std::fputs(input.c_str(), in);
    std::rewind(in);
    run.status = runNandidCommand(static_cast<int>(args.size()), args.data(), in, out, err);
    run.out = readAll(out);
    run.err = readAll(err);
  }
  if (in != nullptr) std::fclose(in);
  if (out != nullptr) std::fclose(out);
  if (err != nullptr) std::fclose(err);
  return run;
}

constexpr char kToshiba[] = "Toshiba 15nm TLC 16k 256Gb/CE 128Gb/die 2Plane/die\n";

TEST(NandidCommand, DecodesSeparateOrJoinedBytes) {
  for (const CommandRun& run : {runCommand({"98", "3C", "99", "B3", "7A", "51"}),
                         runCommand({"983C99B37A51"}), runCommand({"98 3c 99 b3", "7a51"}),
                         runCommand({"0x98,0x3c,0x99,0xb3,0x7a,0x51,0x0,0x0"})}) {
    EXPECT_EQ(run.status, kNandidExitOk);
    EXPECT_EQ(run.out, kToshiba);
    EXPECT_EQ(run.err, "");
  }
}

TEST(NandidCommand, PadsShortIdsWithZeroBytes) {
  const CommandRun run = runCommand({"9B", "C3"});
  EXPECT_EQ(run.status, kNandidExitOk);
  EXPECT_EQ(run.out, "YMTC SLC 8k 256Gb/CE 256Gb/die 1Plane/die\n");
}

TEST(NandidCommand, UnknownMakerPrintsEmptyLineAndExitsOne) {
  const CommandRun run = runCommand({"FF", "FF", "FF", "FF", "FF", "FF"});
  EXPECT_EQ(run.status, kNandidExitUnknownMaker);
  EXPECT_EQ(run.out, "\n");
}

TEST(NandidCommand, RefusesBadHexAndTooManyBytes) {
  CommandRun run = runCommand({"98", "3G", "99"});
  EXPECT_EQ(run.status, kNandidExitBadInput);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("\"3G\""), std::string::npos) << run.err;

  run = runCommand({"983C9"});
  EXPECT_EQ(run.status, kNandidExitBadInput);
  EXPECT_NE(run.err.find("\"983C9\""), std::string::npos) << run.err;

  run = runCommand({"0x"});
  EXPECT_EQ(run.status, kNandidExitBadInput);
  EXPECT_NE(run.err.find("\"0x\""), std::string::npos) << run.err;

  EXPECT_EQ(runCommand({"983C99B37A51", "0000"}).status, kNandidExitOk);
  run = runCommand({"983C99B37A51", "000000"});
  EXPECT_EQ(run.status, kNandidExitBadInput);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("more than 8"), std::string::npos) << run.err;

  run = runCommand({"--frob"});
  EXPECT_EQ(run.status, kNandidExitBadInput);
  EXPECT_NE(run.err.find("--frob"), std::string::npos) << run.err;
}

TEST(NandidCommand, ReadsOneIdPerLineFromStandardInput) {
  const CommandRun run = runCommand({}, "98 3C 99 B3 7A 51\r\n\nFF00\n2c640x44\n9B C6 FF FF FF FF");
  EXPECT_EQ(run.status, kNandidExitBadInput);
  EXPECT_EQ(run.out, std::string(kToshiba) + "\n\n\nYMTC QLC 2048Gb/CE 256Gb/die 8Plane/die\n");
  EXPECT_EQ(run.err.find("line 4"), run.err.find("kzt_nandid: ") + 12) << run.err;
  EXPECT_NE(run.err.find("\"2c640x44\""), std::string::npos) << run.err;
}

TEST(NandidCommand, StandardInputExitStatus) {
  EXPECT_EQ(runCommand({}, "98 3C 99 B3 7A 51\nFF\n").status, kNandidExitOk);
  EXPECT_EQ(runCommand({}, "\nFF\n\n").status, kNandidExitUnknownMaker);
  EXPECT_EQ(runCommand({}, "").status, kNandidExitOk);
  const CommandRun longLine = runCommand({}, std::string(300, '0') + "\n2C\n");
  EXPECT_EQ(longLine.status, kNandidExitBadInput);
  EXPECT_EQ(longLine.out, "\nMicron SLC\n");
}

TEST(NandidCommand, VersionAndHelp) {
  CommandRun run = runCommand({"--version"});
  EXPECT_EQ(run.status, kNandidExitOk);
  EXPECT_EQ(run.out, "v2.68a\n");
  run = runCommand({"--help"});
  EXPECT_EQ(run.status, kNandidExitOk);
  EXPECT_EQ(run.out.rfind("Usage: kzt_nandid", 0), 0u);
}

}  // namespace
}  // namespace kzt
