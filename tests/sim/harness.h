#pragma once
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_drive.h"
#include "transport/platform.h"

namespace kzt::sim {

// A machine with simulated drives attached, as the program sees it through the platform seam.
// A number with no drive does not open. Every request reaching a drive is logged by the drive.
// Its replies take the form of one system's: SG_IO's statuses, sense data and residue as libata
// and USB bridges give them on Linux, or the output images of the Windows control requests, read
// back by the program's own readers.
enum class Flavour : uint8_t { Linux, Windows };

struct SimPlatform : Platform {
  Flavour flavour = Flavour::Linux;
  struct Attached {
    SimDrive* drive = nullptr;
    uint8_t busType = 11;  // SATA; 7 puts the drive behind a USB bridge
    std::string vendor, product;
    // The USB device above the disk as Linux's sysfs names it (vendorId 0: none).
    uint16_t vendorId = 0, productId = 0, bcdDevice = 0;
    std::string driver;
  };
  std::map<unsigned, Attached> drives;
  Attached& attach(unsigned number, SimDrive* drive, uint8_t busType = 11, std::string vendor = "",
                   std::string product = "") {
    Attached& a = drives[number] = Attached{};
    a.drive = drive, a.busType = busType, a.vendor = vendor, a.product = product;
    return a;
  }

  std::string quirksParameter;  // usb-storage's, on Linux
  OsVersion version{10, 0, 19045, ""};
  bool console = true;
  std::deque<int> keys;          // keys waiting on the console
  int keysArriveAfterPolls = 0;  // polls of an empty console before the keys show up
  uint32_t shellResult = 42;
  std::vector<std::string> opened;  // files handed to the shell
  int emptyPolls = 0;
  unsigned requests = 0;  // requests handed to the machine, to a drive attached or not
  bool residueReported = true;  // Linux, native: whether the driver tells the residue (libata does not)

  void sendNative(uint8_t drive, const AtaRequest& request, RequestReply* reply) override;
  void sendBridge(uint8_t drive, const AtaRequest& request, RequestReply* reply) override;
  void carry(uint8_t drive, const AtaRequest& request, bool native, RequestReply* reply);
  void probeOsVersion(OsVersion* out, int* available) override {
    *out = version;
    *available = 1;
  }
  int queryBusType(uint8_t drive, uint8_t* type) override;
  void listDrives(DriveListEntry entry, void* context) override;
  // Every attached drive that is there, named as the flavour's system names it.
  void nameDrives(DriveNamingEntry entry, void* context) override;
  SystemCodes systemCodes() override {
    return flavour == Flavour::Linux ? SystemCodes::Errno : SystemCodes::Windows;
  }
  int consoleAvailable() override { return console ? 1 : 0; }
  int keyWaiting() override;
  int readKey() override;
  void sleepMilliseconds(uint32_t) override {}
  uint32_t shellOpen(const char* fileName) override {
    opened.emplace_back(fileName);
    return shellResult;
  }
  // The bench the manifests of the golden files were written on: 2026-12-07 10:15:00 UTC, an hour
  // east of Greenwich; drives named as the flavour's system names them.
  std::string host = "bench-7";
  int64_t now = 1796638500;
  int32_t offsetMinutes = 60;
  void hostName(char* name, size_t size) override { std::snprintf(name, size, "%s", host.c_str()); }
  void driveNode(uint8_t drive, char* node, size_t size) override;
  int64_t currentTime(int32_t* localOffsetMinutes) override {
    *localOffsetMinutes = offsetMinutes;
    return now;
  }
};

// A fresh scratch folder that is the current directory for the lifetime of the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

 private:
  std::filesystem::path path_, previous_;
};

struct RunOutcome {
  int exitStatus = 0;
  std::string console;
};

// Runs the whole program in-process on the given platform, with `args` after the program name
// and `typed` as standard input; captures the console.
RunOutcome runProgramOn(SimPlatform& platform, const std::vector<std::string>& args,
                        const std::string& typed = "");

// Makes `folder` the current directory and runs the program there with `args` against `drive`
// attached as drive 0: how a dump set is made. False when the folder cannot be entered.
bool runOnDriveInFolder(SimDrive& drive, const char* folder, const std::vector<std::string>& args,
                        RunOutcome* outcome);

// A stream for a console, an input or an output, removed when closed: std::tmpfile, tried again
// when it fails (Wine's C library can hand two test processes the same name, and one of them then
// gets none).
std::FILE* scratchStream();

std::string readFile(const std::string& name);
void writeFile(const std::string& name, const std::string& bytes);

}  // namespace kzt::sim
