#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/sim_platform.h"

namespace kzt::sim {

// A fresh scratch folder that is the current directory for the lifetime of the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
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
// attached as drive 0: how a dump set is generated. False (with a message on standard error)
// when the folder cannot be entered.
bool runOnDriveInFolder(SimDrive& drive, const char* folder, const std::vector<std::string>& args,
                        RunOutcome* outcome);

std::string readFile(const std::string& name);
bool fileExists(const std::string& name);
void writeFile(const std::string& name, const std::string& bytes);
std::string bytesOf(const uint8_t* data, size_t length);

}  // namespace kzt::sim
