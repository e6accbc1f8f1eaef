#include "frontend/options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "output/output.h"
#include "frontend/run_flow.h"
#include "frontend/options.h"
#include "sim/harness.h"
#include "sim/small_drive.h"

namespace kzt {
namespace {

// A machine on which any use of the operating system counts: probes, drive requests, console
// keys, the shell.
class WatchedPlatform final : public Platform {
 public:
  int calls = 0;
  SendOutcome sendNative(uint8_t, const AtaRequest&, uint8_t*) override { return touch(SendOutcome::NotSent); }
  SendOutcome sendBridge(uint8_t, const AtaRequest&) override { return touch(SendOutcome::NotSent); }
  uint32_t lastErrorCode() override { return touch(0u); }
  void probeOsVersion(OsVersion*, int*) override { ++calls; }
  int queryBusType(uint8_t, uint8_t*) override { return touch(0); }
  void listDrives(DriveListEntry, void*) override { ++calls; }
  int consoleAvailable() override { return touch(0); }
  int keyWaiting() override { return touch(0); }
  int readKey() override { return touch(0); }
  void sleepMilliseconds(uint32_t) override { ++calls; }
  uint32_t shellOpen(const char*) override { return touch(0u); }

 private:
  template <typename T>
  T touch(T value) {
    ++calls;
    return value;
  }
};

// Runs the program on a watched machine with the given arguments; the console is captured.
struct Request {
  int exitStatus;
  std::string console;
  int platformCalls;
};

Request ask(const std::vector<std::string>& args) {
  WatchedPlatform watched;
  std::vector<std::string> storage{"kzt_fid"};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  std::FILE* console = std::tmpfile();
  std::FILE* saved = consoleStream;
  consoleStream = console;
  setPlatform(&watched);
  const int status = runProgram(static_cast<int>(storage.size()), argv.data());
  setPlatform(nullptr);
  consoleStream = saved;
  std::string text;
  std::rewind(console);
  for (int c; (c = std::fgetc(console)) != EOF;) text += static_cast<char>(c);
  std::fclose(console);
  return {status, text, watched.calls};
}

bool folderIsEmpty() {
  return std::filesystem::is_empty(std::filesystem::current_path());
}

TEST(InformationRequest, HelpInEveryFormPrintsOnlyTheUsageAndTouchesNothing) {
  sim::ScratchDir dir;
  for (const char* form : {"--help", "-h", "/?"}) {
    const Request r = ask({form});
    EXPECT_EQ(r.exitStatus, 0) << form;
    EXPECT_EQ(r.console, kHelpText) << form;  // no banner, no OS line
    EXPECT_EQ(r.platformCalls, 0) << form;
    EXPECT_TRUE(folderIsEmpty()) << form;
  }
}

TEST(InformationRequest, VersionPrintsTheProgramAndDecoderVersionTexts) {
  sim::ScratchDir dir;
  const Request r = ask({"--version"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.console, "kzt_fid 0.15a\nflash-ID decoder v2.68a\n");
  EXPECT_EQ(r.platformCalls, 0);
  EXPECT_TRUE(folderIsEmpty());
}

TEST(InformationRequest, OnlyTheFirstArgumentIsLookedAt) {
  sim::ScratchDir dir;
  EXPECT_EQ(ask({"--version", "0y"}).console, "kzt_fid 0.15a\nflash-ID decoder v2.68a\n");
  // A drive argument first: the run goes to the drive; the later --help is ignored.
  const Request run = ask({"0fy", "--help"});
  EXPECT_EQ(run.console.find("Usage:"), std::string::npos);
  EXPECT_EQ(run.console.rfind("Pellmora v0.15a by ozw\n", 0), 0u);
  EXPECT_GT(run.platformCalls, 0);
}

TEST(InformationRequest, TheUsageNamesEveryLetterTheFilesAndTheExitStatusesInEightyColumns) {
  const std::string help = kHelpText;
  EXPECT_EQ(help.rfind("Usage: kzt_fid [disk_num][b][y][f][n][x]\n", 0), 0u);
  for (const char* part : {"\n  b  ", "\n  y  ", "\n  f  ", "\n  n  ", "\n  x  ", "kzt_flash_id.txt",
                           "kzt_flash_id_ec.txt", "smart.bin", "(0 to 99)", "root", "3 no drive"}) {
    EXPECT_NE(help.find(part), std::string::npos) << part;
  }
  size_t start = 0;
  for (size_t end; (end = help.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_LT(end - start, 80u) << help.substr(start, end - start);
  }
  EXPECT_EQ(start, help.size());  // ends with a line end
}

// Near misses are drive arguments: the number at the start (0 when none) and the letters anywhere.
struct NearMiss {
  const char* name;
  const char* argument;
  bool noPrompt;
  bool allBanks;
  bool serialInReport;
};

class NearMissTest : public ::testing::TestWithParam<NearMiss> {};

TEST_P(NearMissTest, RunsDriveZeroWithItsLetters) {
  sim::ScratchDir dir;
  sim::SimDrive drive;
  sim::buildSmallDrive(drive);
  sim::SimPlatform machine;
  machine.attach(0, &drive);
  machine.keys = {'q'};
  const NearMiss& m = GetParam();
  const sim::RunOutcome run = sim::runProgramOn(machine, {m.argument});
  EXPECT_EQ(run.console.rfind("Pellmora v0.15a by ozw\n", 0), 0u) << run.console;
  EXPECT_NE(run.console.find("Drive: 0(ATA)\n"), std::string::npos);
  EXPECT_EQ(run.console.find("Usage:"), std::string::npos);
  EXPECT_EQ(run.exitStatus, kExitServed);
  EXPECT_FALSE(drive.received.empty());
  EXPECT_EQ(runOptions.noPrompt, m.noPrompt);
  EXPECT_EQ(runOptions.allBanks, m.allBanks);
  EXPECT_EQ(runOptions.serialInReport, m.serialInReport);
}

INSTANTIATE_TEST_SUITE_P(InformationRequest, NearMissTest,
                         ::testing::Values(NearMiss{"DashH1", "-h1", false, false, false},
                                           NearMiss{"HelpX", "--helpx", false, true, false},
                                           NearMiss{"CapitalH", "-H", false, false, false},
                                           NearMiss{"SlashQuestionY", "/?y", true, false, false},
                                           NearMiss{"CapitalVersion", "--Version", false, false, true},
                                           NearMiss{"VersionY", "--versiony", true, false, true},
                                           NearMiss{"BlankHelp", " --help", false, false, false}),
                         [](const ::testing::TestParamInfo<NearMiss>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace kzt
