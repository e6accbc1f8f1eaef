#include "sim/harness.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include "output/output.h"
#include "frontend/run_flow.h"

namespace kzt::sim {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  previous_ = fs::current_path();
  std::random_device entropy;
  for (;;) {
    path_ = fs::temp_directory_path() / ("kzt_test_" + std::to_string(entropy()));
    if (fs::create_directory(path_)) break;
  }
  fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

namespace {
std::string drain(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  return text;
}
}  // namespace

RunOutcome runProgramOn(SimPlatform& platform, const std::vector<std::string>& args,
                        const std::string& typed) {
  std::vector<std::string> storage;
  storage.emplace_back("kzt_fid");
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);

  std::FILE* console = std::tmpfile();
  std::FILE* input = std::tmpfile();
  std::fwrite(typed.data(), 1, typed.size(), input);
  std::rewind(input);

  std::FILE* savedConsole = consoleStream;
  std::FILE* savedInput = inputStream;
  consoleStream = console;
  inputStream = input;
  setPlatform(&platform);
  RunOutcome outcome;
  outcome.exitStatus = runProgram(static_cast<int>(storage.size()), argv.data());
  consoleStream = savedConsole;
  inputStream = savedInput;
  setPlatform(nullptr);

  outcome.console = drain(console);
  std::fclose(console);
  std::fclose(input);
  return outcome;
}

bool runOnDriveInFolder(SimDrive& drive, const char* folder, const std::vector<std::string>& args,
                        RunOutcome* outcome) {
  std::error_code error;
  fs::current_path(folder, error);
  if (error) {
    std::fprintf(stderr, "%s: %s\n", folder, error.message().c_str());
    return false;
  }
  SimPlatform machine;
  machine.attach(0, &drive);
  *outcome = runProgramOn(machine, args);
  return true;
}

std::string readFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& name) { return fs::exists(name); }

void writeFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string bytesOf(const uint8_t* data, size_t length) {
  return std::string(reinterpret_cast<const char*>(data), length);
}

}  // namespace kzt::sim
