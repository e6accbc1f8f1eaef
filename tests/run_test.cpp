// Whole runs of the program against the golden drive, one scenario a row: the arguments, the
// typed line, the keys and what is changed on the drive or the machine. The expected console,
// report, erase-count file, exit status and files of each scenario stand in tests/golden/<name>.txt,
// written by hand from the program's rules.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "frontend/run_flow.h"
#include "sim/harness.h"
#include "sim/small_drive.h"

namespace kzt {
namespace {

namespace fs = std::filesystem;
using sim::Command;
using sim::FaultKind;

// The small drive made so that a field read at a wrong offset or length shows: unread IDENTIFY
// words are not zero, the geometry values differ from each other, and the flash ID answer holds
// a bank of another flash and a record with bytes 4 to 7 only.
struct Machine {
  sim::SimDrive drive;
  std::deque<sim::SimDrive> more;  // the further drives of a scan
  sim::SimPlatform platform;
  Machine() {
    sim::buildSmallDrive(drive);
    for (unsigned i : {0u, 94u, 208u}) std::fill_n(&drive.identify[i], 20, 0x5A);
    drive.firmwareInfo[0] = 0x01;
    sim::setGeometry(drive, {2, 3, 4, 6, 12, 384, 4, 32, 7, 128035676160, 3000, 9, 18336});
    for (int i = 0; i < 16; ++i) drive.flashId2[i] = static_cast<uint8_t>(0x10 + i);
    sim::setFlashId(drive, 2, {0xAD, 0x3C, 0x0A, 0x03, 0x00, 0x60, 0x00, 0x00});
    sim::setFlashId(drive, 61, {0, 0, 0, 0, 0x01, 0x02, 0x03, 0x04});
    platform.attach(0, &drive);
  }
};

struct Scenario {
  const char* name;
  std::vector<std::string> args;
  const char* typed = "";
  void (*change)(Machine&) = nullptr;
};

// A modification time given in seconds since 1970 UTC.
fs::file_time_type fileTime(int64_t seconds) {
  return fs::file_time_type::clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds{seconds}});
}

void writeDumps(Machine& m) {
  for (auto [name, command] : {std::pair{"id.bin", Command::Identify}, {"kzt_fwi.bin", Command::GetFwi},
                               {"kzt_fid.bin", Command::GetFid}, {"kzt_fid2.bin", Command::GetFid2}}) {
    const std::vector<uint8_t> bytes = m.drive.answerOf(command);
    sim::writeFile(name, std::string(bytes.begin(), bytes.end()));
  }
  for (auto [name, bank] : {std::pair{"kzt_bbec_0_0.bin", 0x00}, {"kzt_bbec_0_1.bin", 0x01},
                            {"kzt_bbec_1_0.bin", 0x10}, {"kzt_bbec_1_1.bin", 0x11}}) {
    const std::vector<uint8_t> bytes = m.drive.answerOf(Command::GetBbec, static_cast<uint8_t>(bank));
    sim::writeFile(name, std::string(bytes.begin(), bytes.end()));
  }
}

// A machine with a drive of each kind a scan tells apart, numbered with a gap at 6: served on SATA
// and behind USB, another controller, no rights, the device's error bit, a bridge that knows no
// ATA PASS-THROUGH (and no driver bound), a time-out under uas, and 0x52400 behind USB where the
// quirks parameter sets t, names the bridge without t, and names it not. The USB details (and the
// quirks parameter, in its four forms of entry) are Linux's.
void scanMachine(Machine& m) {
  const bool linux = m.platform.flavour == sim::Flavour::Linux;
  m.platform.quirksParameter = "abcd:1234:u,1d6b:0104:t,0x1234:5678:,ABCD:0009:U";
  m.platform.drives[0].vendor = "ATA     ";
  m.platform.drives[0].product = "KZT GOLDEN SSD  ";
  auto add = [&m](unsigned number, uint8_t bus, std::string vendor, const char* product,
                  std::array<uint16_t, 3> usb = {}, const char* driver = "") -> sim::SimDrive& {
    sim::SimDrive& d = m.more.emplace_back();
    sim::buildSmallDrive(d);
    sim::SimPlatform::Attached& a = m.platform.attach(number, &d, bus, vendor, product);
    std::tie(a.vendorId, a.productId, a.bcdDevice) = std::tuple(usb[0], usb[1], usb[2]);
    a.driver = driver;
    return d;
  };
  auto refuse = [](sim::SimDrive& d, uint32_t sense) {
    d.senseCode = sense;
    d.fail(Command::Identify, FaultKind::Sense);
  };
  add(1, 11, "ATA", "OTHER SSD").setIdentity("  OTHER SSD 512GB", "OT01", "S1", 1000215216, "SM2259XT");
  refuse(add(2, 7, "USB3.0  ", "SATA Bridge", {0x1d6b, 0x0104, 0x0100}, "usb-storage"), 0x52400);
  add(3, 11, "ATA", "LOCKED SSD").openError = linux ? 13 : 5;
  refuse(add(4, 7, "Generic", "Disk \"Q\"\x1b[2J", {0x4321, 0x0578, 0x0508}), 0x52000);
  add(5, 11, std::string(300, 'V'), "FAILING SSD").fail(Command::Identify, FaultKind::DeviceErrorNoData);
  sim::SimDrive& slow = add(7, 7, "Slow", "Bridge", {0x1234, 0x5678, 0x2001}, "uas");
  slow.errorCode = linux ? 0x10003 : 0x79;
  slow.fail(Command::Identify, FaultKind::TransportFailure);
  add(8, 7, "Portable", "SSD", {0xabcd, 0x0009, 0x0100}, "usb-storage")
      .setIdentity("KZT PORTABLE SSD", "RLT20U01", "P1", 500118192, "REALTEK_RL6X47 USB");
  refuse(add(9, 7, "Plain", "Bridge", {0x4321, 0x0579, 0x0100}, "usb-storage"), 0x52400);
  refuse(add(10, 7, "Cleared", "Bridge", {0xabcd, 0x1234, 0x0100}, "usb-storage"), 0x52400);
}

const Scenario kScenarios[] = {
    {"full", {"0nxy"}},
    {"bank0", {}, "y\n"},
    {"replay", {"0nfxy"}, "", [](Machine& m) { writeDumps(m); m.platform.drives.clear(); }},
    {"replay_missing", {"0fy"}, "", [](Machine& m) { m.platform.drives.clear(); }},
    {"replay_no_data", {"0fy"}, "", [](Machine& m) {
       m.drive.firmwareInfo[0] = 0xCF;
       writeDumps(m);
       m.platform.drives.clear();
     }},
    {"usb", {"0xy"}, "", [](Machine& m) {
       m.platform.drives[0].busType = 7;
       m.drive.fail(Command::SmartRead, FaultKind::Sense);
       m.drive.fail(Command::GetBbec, FaultKind::TransportFailure, 1);
       m.drive.fail(Command::GetBbec, FaultKind::DeviceError, 3);
     }},
    {"usb_fwi_short", {"0y"}, "", [](Machine& m) {
       m.platform.drives[0].busType = 7;
       m.drive.fail(Command::GetFwi, FaultKind::ShortData);
     }},
    {"usb_refused", {"0y"}, "", [](Machine& m) {
       m.platform.drives[0].busType = 7;
       m.drive.senseCode = 0x52400;
       for (Command c : {Command::SmartEnable, Command::Identify}) m.drive.fail(c, FaultKind::Sense);
     }},
    {"foreign", {"0ny"}, "", [](Machine& m) {
       m.drive.setIdentity("OTHER SSD", "OT01", "S1", 1000215216, "REALTEK");
     }},
    {"control_texts", {"0ny"}, "", [](Machine& m) {
       m.drive.setIdentity("OTHER\x1b[2J SSD\r", "OT\x7f" "1", "S\n1", 1000215216, "REALTEK");
     }},
    {"prompt", {}, "1x\n", [](Machine& m) {
       m.platform.drives[0].vendor = std::string(300, 'V');
       m.platform.drives[0].product = std::string(300, 'P');
       m.platform.attach(1, &m.drive, 11, "KZT ", "GOLDEN SSD");
       m.platform.keys = {' '};
       m.platform.keysArriveAfterPolls = 3;
     }},
    {"prompt_too_high", {}, "100\n"},
    {"prompt_negative", {}, " -1y\n"},
    {"prompt_end_of_input", {}, ""},
    {"prompt_long_line", {}, "0000000000000000000000000000000000000000000000000000000000000000"
                             "0000000000000000000000000000000000000000000000000000000000000000y\n"},
    {"no_such_drive", {}, "99y\n"},
    {"shell_error", {"0"}, "", [](Machine& m) {
       m.platform.keys = {'a', ' '};
       m.platform.shellResult = 2;
     }},
    {"any_key", {"0"}, "", [](Machine& m) { m.platform.keys = {' ', 'q'}; }},
    {"no_geometry_marker", {"0y"}, "", [](Machine& m) { m.drive.firmwareInfo[0] = 0xCF; }},
    {"fwi_fails", {"0y"}, "", [](Machine& m) { m.drive.fail(Command::GetFwi, FaultKind::TransportFailure); }},
    {"fwi_error", {"0y"}, "", [](Machine& m) { m.drive.fail(Command::GetFwi, FaultKind::DeviceError); }},
    {"fwi_short", {"0y"}, "", [](Machine& m) { m.drive.fail(Command::GetFwi, FaultKind::ShortData); }},
    {"fid2_no_data", {"0y"}, "", [](Machine& m) { m.drive.fail(Command::GetFid2, FaultKind::NoData); }},
    {"fid_prefix_fails", {"0y"}, "", [](Machine& m) {
       m.drive.fail(Command::FidPrefix, FaultKind::TransportFailure);
     }},
    {"identify_rejected", {"0y"}, "", [](Machine& m) {
       m.drive.fail(Command::Identify, FaultKind::DeviceErrorNoData);
       for (const char* name : {"id.bin", "kzt_fwi.bin", "kzt_bbec_7_5.bin", "smart.bin"}) {
         sim::writeFile(name, "earlier run");
         fs::last_write_time(name, fileTime(1796638500 - 60));
       }
       fs::last_write_time("smart.bin", fileTime(1796638500));
     }},
    {"smart_enable_fails", {"0y"}, "", [](Machine& m) {
       m.drive.fail(Command::SmartEnable, FaultKind::TransportFailure);
     }},
    {"smart_read_error", {"0y"}, "", [](Machine& m) { m.drive.fail(Command::SmartRead, FaultKind::DeviceError); }},
    {"smart_short", {"0y"}, "", [](Machine& m) { m.drive.fail(Command::SmartRead, FaultKind::ShortData); }},
    {"bbec_error_then_gone", {"0xy"}, "", [](Machine& m) {
       m.drive.fail(Command::GetBbec, FaultKind::DeviceError, 1);
       m.drive.fail(Command::GetBbec, FaultKind::DriveGone, 2);
     }},
    {"bbec_no_data", {"0xy"}, "", [](Machine& m) { m.drive.fail(Command::GetBbec, FaultKind::NoData, 3); }},
    {"report_not_created", {"0y"}, "", [](Machine&) { fs::create_directory("kzt_flash_id.txt"); }},
    {"help", {"--help", "0"}},
    {"scan", {"--scan"}, "", scanMachine},
    {"scan_json", {"--scan", "--json"}, "", scanMachine},
    {"scan_none", {"--scan", "--json"}, "", [](Machine& m) { m.platform.drives.clear(); }},
    {"scan_bad_option", {"--scan", "--json", "--everything"}},
    {"version", {"--version"}},
};

// The expectations of one golden file.
struct Expected {
  int exitStatus = -1;
  std::string console, report, eraseCounts, shell, manifest;
  bool hasReport = false, hasEraseCounts = false;
  std::vector<std::string> files;  // the dumps in the folder
  std::vector<std::pair<std::string, std::string>> moved;  // subfolder, file of an earlier reading
  bool sentChecked = false;
  std::vector<unsigned> sent;  // the drives that received one IDENTIFY, and nothing else any drive
};

// A scenario whose output differs between the systems has a golden file per flavour.
Expected readGolden(std::string name, sim::Flavour flavour) {
  const std::string flavoured = name + (flavour == sim::Flavour::Linux ? "_linux" : "_windows");
  if (fs::exists(std::string(KZT_GOLDEN_DIR) + "/" + flavoured + ".txt")) name = flavoured;
  std::ifstream in(std::string(KZT_GOLDEN_DIR) + "/" + name + ".txt");
  EXPECT_TRUE(in.good()) << "no golden file " << name;
  Expected e;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::string text = line.size() > 2 ? line.substr(2) : "";
    if (line[0] == '=') {
      std::istringstream words(text);
      std::string key;
      words >> key;
      if (key == "exit") words >> e.exitStatus;
      if (key == "shell") words >> e.shell;
      if (key == "manifest") words >> e.manifest;
      if (key == "console") words >> key, e.console = sim::readFile(std::string(KZT_GOLDEN_DIR) + "/" + key);
      if (key == "sent") e.sentChecked = true;
      for (unsigned number; key == "sent" && words >> number;) e.sent.push_back(number);
      continue;
    }
    if (line[0] == 'D') {
      e.files.push_back(text);
      continue;
    }
    if (line[0] == 'M') {
      const size_t blank = text.find(' ');
      e.moved.emplace_back(text.substr(0, blank), text.substr(blank + 1));
      continue;
    }
    for (size_t at; (at = text.find("\\r")) != std::string::npos;) text.replace(at, 2, 1, '\r');
    const bool open = text.size() >= 2 && text.compare(text.size() - 2, 2, "\\c") == 0;
    text = open ? text.substr(0, text.size() - 2) : text + "\n";
    if (line[0] == 'C' || line[0] == 'B') e.console += text;
    if (line[0] == 'R' || line[0] == 'B') e.report += text, e.hasReport = true;
    if (line[0] == 'E') e.eraseCounts += text, e.hasEraseCounts = true;
  }
  return e;
}

// A dump holds the drive's whole answer: nothing else is ever dumped.
std::string answerBytes(const Machine& m, const std::string& name) {
  Command command = Command::Identify;
  uint8_t bank = 0;
  if (name == "smart.bin") command = Command::SmartRead;
  if (name == "kzt_fwi.bin") command = Command::GetFwi;
  if (name == "kzt_fid.bin") command = Command::GetFid;
  if (name == "kzt_fid2.bin") command = Command::GetFid2;
  if (name.rfind("kzt_bbec_", 0) == 0) {
    command = Command::GetBbec;
    bank = static_cast<uint8_t>((name[9] - '0') << 4 | (name[11] - '0'));
  }
  const std::vector<uint8_t> answer = m.drive.answerOf(command, bank);
  return {answer.begin(), answer.end()};
}

// Every scenario runs twice, with the replies in the form of each system: what SG_IO hands back,
// and the Windows control requests' output images. The verdicts, and so the golden files, are the
// same.
class Run : public ::testing::TestWithParam<std::tuple<Scenario, sim::Flavour>> {};

TEST_P(Run, MatchesItsGoldenFile) {
  const Scenario& s = std::get<0>(GetParam());
  const Expected expected = readGolden(s.name, std::get<1>(GetParam()));
  sim::ScratchDir scratch;
  Machine m;
  m.platform.flavour = std::get<1>(GetParam());
  if (s.change != nullptr) s.change(m);
  std::map<std::string, std::string> before;  // what the folder held: an earlier reading's files
  for (const auto& entry : fs::directory_iterator(".")) {
    if (entry.is_regular_file()) before[entry.path().filename().string()] = sim::readFile(entry.path().string());
  }
  const sim::RunOutcome out = sim::runProgramOn(m.platform, s.args, s.typed);

  EXPECT_EQ(out.exitStatus, expected.exitStatus);
  EXPECT_EQ(out.console, expected.console);
  EXPECT_EQ(m.platform.opened, expected.shell.empty() ? std::vector<std::string>{}
                                                       : std::vector<std::string>{expected.shell});
  std::vector<std::string> named = {"kzt_flash_id.txt", "kzt_flash_id_ec.txt", "kzt_fid.lock", "reading.json"};
  // The manifest as written by hand (the node in the form of the flavour's system), or none.
  if (expected.manifest == "none") {
    EXPECT_FALSE(fs::exists("reading.json"));
  }
  if (!expected.manifest.empty() && expected.manifest != "none") {
    std::string manifest = sim::readFile(std::string(KZT_GOLDEN_DIR) + "/" + expected.manifest);
    if (m.platform.flavour == sim::Flavour::Windows) {
      manifest.replace(manifest.find("\"/dev/sda\""), 10, R"("\\\\.\\PhysicalDrive0")");
    }
    EXPECT_EQ(sim::readFile("reading.json"), manifest);
  }
  if (expected.hasReport) {
    std::string report = sim::readFile("kzt_flash_id.txt");
    for (size_t at = 0; (at = report.find('\n', at)) != std::string::npos;) {
      const bool crlf = at > 0 && report[at - 1] == '\r';
      EXPECT_TRUE(crlf) << "a bare LF in the report";
      crlf ? void(report.erase(at - 1, 1)) : void(++at);
    }
    EXPECT_EQ(report, expected.report);
  } else {
    EXPECT_FALSE(fs::is_regular_file("kzt_flash_id.txt"));
  }
  EXPECT_EQ(fs::exists("kzt_flash_id_ec.txt"), expected.hasEraseCounts);
  if (expected.hasEraseCounts) {
    EXPECT_EQ(sim::readFile("kzt_flash_id_ec.txt"), expected.eraseCounts);
  }
  for (const std::string& name : expected.files) {
    named.push_back(name);
    EXPECT_TRUE(sim::readFile(name) == answerBytes(m, name)) << name << " is not the answer";
  }
  // An earlier reading's files stand unchanged in their subfolder, and nothing else does.
  for (const auto& [folder, name] : expected.moved) {
    named.push_back(folder);
    EXPECT_EQ(sim::readFile(folder + "/" + name), before[name]) << folder << "/" << name;
    EXPECT_EQ(std::count_if(fs::directory_iterator(folder), fs::directory_iterator(), [&](auto&) { return true; }),
              std::count_if(expected.moved.begin(), expected.moved.end(), [&](auto& m) { return m.first == folder; }));
  }
  for (const auto& entry : fs::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    EXPECT_NE(std::find(named.begin(), named.end(), name), named.end()) << "unexpected " << name;
  }
  // Each listed drive got one IDENTIFY, by the road of its bus; nothing else reached any drive.
  for (const auto& [number, a] : m.platform.drives) {
    if (!expected.sentChecked) break;
    const bool listed = std::find(expected.sent.begin(), expected.sent.end(), number) != expected.sent.end();
    ASSERT_EQ(a.drive->received.size(), listed ? 1u : 0u) << "drive " << number;
    if (!listed) continue;
    EXPECT_EQ(a.drive->received[0].command, Command::Identify) << "drive " << number;
    EXPECT_EQ(a.drive->received[0].viaBridge, a.busType == 7) << "drive " << number;
  }
}

INSTANTIATE_TEST_SUITE_P(Golden, Run,
                         ::testing::Combine(::testing::ValuesIn(kScenarios),
                                            ::testing::Values(sim::Flavour::Linux, sim::Flavour::Windows)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == sim::Flavour::Linux ? "_linux" : "_windows");
                         });

// A run's dumps, replayed: the live report and erase-count file, each line that named a failed
// answer replaced by its dump's load message, and the same exit status.
TEST(Replay, GivesTheLiveRunWithLoadMessagesForWhatDidNotArrive) {
  sim::ScratchDir scratch;
  Machine m;
  m.drive.fail(Command::GetFid, FaultKind::NoData);
  m.drive.fail(Command::GetBbec, FaultKind::DeviceError, 1);
  EXPECT_EQ(sim::runProgramOn(m.platform, {"0xy"}).exitStatus, kExitAnswersMissing);
  std::string report = sim::readFile("kzt_flash_id.txt");
  const std::string counts = sim::readFile("kzt_flash_id_ec.txt");
  for (auto [failure, message] : {std::pair{"IOCtl: Get FID failed 0x1000000!", "kzt_fid.bin: Open File Error"},
                                  {"ATA: Get BBEC failed! Error: 0x51", "kzt_bbec_0_1.bin: Open File Error"}}) {
    const size_t at = report.find(failure);
    ASSERT_NE(at, std::string::npos) << failure;
    report.replace(at, std::string(failure).size(), message);
  }
  EXPECT_EQ(sim::runProgramOn(m.platform, {"0fxy"}).exitStatus, kExitAnswersMissing);
  EXPECT_EQ(sim::readFile("kzt_flash_id.txt"), report);
  EXPECT_EQ(sim::readFile("kzt_flash_id_ec.txt"), counts);
}

// A first argument that names no drive (empty, a path, an option) is refused before anything is
// probed, sent or written, with its control bytes shown as '?'.
TEST(Arguments, OneThatNamesNoDriveIsRefused) {
  for (const char* argument : {"", "/dev/sdb", "\\\\.\\PhysicalDrive1", "-1", "--json", "-\x1b[2J"}) {
    sim::ScratchDir scratch;
    Machine m;
    const sim::RunOutcome out = sim::runProgramOn(m.platform, {argument, "0"});
    std::string shown = argument;
    std::replace(shown.begin(), shown.end(), '\x1b', '?');
    EXPECT_EQ(out.exitStatus, kExitNoDrive) << argument;
    EXPECT_EQ(out.console, "kzt_fid: \"" + shown + "\" names no drive: give its number (kzt_fid --scan lists them)\n");
    EXPECT_TRUE(m.drive.received.empty() && m.platform.requests == 0);
    EXPECT_TRUE(fs::is_empty("."));
  }
}

// Geometry beyond what the answer holds: a bad-block list without terminator is walked to the end
// of its 512 entries (not into the next bank's), and the erase-count file stops at the 8192
// values of the answer.
TEST(LargeGeometry, WalksStopAtTheEndsOfTheAnswer) {
  sim::ScratchDir scratch;
  Machine m;
  sim::setGeometry(m.drive, {2, 3, 4, 6, 9000, 384, 4, 32, 7, 128035676160, 3000, 9, 18336});
  std::vector<sim::BadBlock> all(511, {sim::kFactory, 1});
  sim::setBbec(m.drive, 0, 0, sim::bbecAnswer(all, {}, false));
  sim::runProgramOn(m.platform, {"0xy"});
  const std::string report = sim::readFile("kzt_flash_id.txt");
  std::string list = "Ch0CE0:";
  for (int i = 0; i < 511; ++i) list += " 1";
  EXPECT_NE(report.find(list + " =511\r\nCh0CE1: 5 =1\r\n"), std::string::npos);
  const std::string counts = sim::readFile("kzt_flash_id_ec.txt");
  EXPECT_EQ(std::count(counts.begin(), counts.end(), '\n'), 8193);
  EXPECT_EQ(counts.substr(counts.size() - 8), " 8191 -\n");
}

}  // namespace
}  // namespace kzt
