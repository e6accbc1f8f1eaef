#include "fuzz_platform.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace kzt::fuzz {

namespace fs = std::filesystem;

void finding(const char* what) {
  std::fprintf(stderr, "FINDING: %s\n", what);
  std::abort();
}

SendOutcome FuzzPlatform::sendNative(uint8_t, const AtaRequest&, uint8_t*) {
  if (sendsForbidden) finding("a drive command was sent in file mode");
  return SendOutcome::NotSent;
}

SendOutcome FuzzPlatform::sendBridge(uint8_t, const AtaRequest&) {
  if (sendsForbidden) finding("a drive command was sent in file mode");
  return SendOutcome::NotSent;
}

void FuzzPlatform::probeOsVersion(OsVersion* version, int* ataPassThroughAvailable) {
  *version = OsVersion{};
  version->dwMajorVersion = 6;
  version->dwMinorVersion = 1;
  version->dwBuildNumber = 7601;
  *ataPassThroughAvailable = 1;
}

int FuzzPlatform::queryBusType(uint8_t, uint8_t*) { return 0; }

void FuzzPlatform::listDrives(DriveListEntry, void*) {}

int FuzzPlatform::keyWaiting() { finding("the run tested for a key with no console"); }

int FuzzPlatform::readKey() { finding("the run read a key with no console"); }

void FuzzPlatform::sleepMilliseconds(uint32_t) { finding("the run waited with no console"); }

uint32_t FuzzPlatform::shellOpen(const char*) { finding("the run opened the report with no console"); }

namespace {

fs::path scratch;
fs::path home;

void removeScratch() {
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
}

void makeScratch() {
  // A memory-backed folder where there is one: every run writes its report and dumps.
  std::error_code error;
  fs::path base = "/dev/shm";
  if (!fs::is_directory(base, error)) base = fs::temp_directory_path();
  std::random_device entropy;
  for (unsigned n = entropy();; ++n) {
    scratch = base / ("kzt_fuzz_" + std::to_string(n));
    if (fs::create_directory(scratch, error)) break;
    if (error) finding("no scratch folder can be made");
  }
  std::atexit(removeScratch);
}

}  // namespace

InScratchFolder::InScratchFolder() {
  if (scratch.empty()) makeScratch();
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(scratch, ignored)) fs::remove_all(entry.path(), ignored);
  home = fs::current_path();
  fs::current_path(scratch);
}

InScratchFolder::~InScratchFolder() { fs::current_path(home); }

std::FILE* nullConsole() {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  if (sink == nullptr) finding("/dev/null does not open");
  return sink;
}

}  // namespace kzt::fuzz
