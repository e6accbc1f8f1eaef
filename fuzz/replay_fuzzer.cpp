// The whole file-mode replay: one input becomes the dump files of a scratch folder (dump_split.h)
// and the program replays them with `0f` and a variant of the other letters. The machine has no
// drive: file mode must send nothing, and it must leave every dump as it found it.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dump_split.h"
#include "output/output.h"
#include "frontend/run_flow.h"
#include "fuzz_platform.h"

namespace {

kzt::fuzz::FuzzPlatform machine;

void writeWhole(const std::string& name, const uint8_t* bytes, size_t length) {
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) kzt::fuzz::finding("a dump file cannot be written in the scratch folder");
  if (length > 0 && std::fwrite(bytes, 1, length, file) != length) kzt::fuzz::finding("short write");
  std::fclose(file);
}

// -1 when the file is missing; otherwise whether it holds exactly `length` bytes equal to `bytes`.
int holds(const std::string& name, const uint8_t* bytes, size_t length) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (file == nullptr) return -1;
  std::vector<uint8_t> content(length + 1);
  const size_t got = std::fread(content.data(), 1, content.size(), file);
  std::fclose(file);
  return got == length && (length == 0 || std::memcmp(content.data(), bytes, length) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  machine.sendsForbidden = true;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const kzt::fuzz::InScratchFolder scratch;

  // The last record of each file is the one on disk.
  std::vector<kzt::fuzz::DumpRecord> files(kzt::fuzz::kDumpFileCount);
  std::vector<bool> present(kzt::fuzz::kDumpFileCount, false);
  for (const kzt::fuzz::DumpRecord& record : kzt::fuzz::splitDumpRecords(data, size)) {
    files[record.index] = record;
    present[record.index] = true;
  }
  for (unsigned i = 0; i < kzt::fuzz::kDumpFileCount; ++i) {
    if (present[i]) writeWhole(kzt::fuzz::dumpFileName(i), files[i].bytes, files[i].length);
  }

  std::string argument = kzt::fuzz::replayArgument(data[0]);
  char program[] = "kzt_fid";
  char* argv[] = {program, argument.data(), nullptr};
  kzt::consoleStream = kzt::fuzz::nullConsole();
  kzt::setPlatform(&machine);
  kzt::runProgram(2, argv);
  kzt::setPlatform(nullptr);

  for (unsigned i = 0; i < kzt::fuzz::kDumpFileCount; ++i) {
    const int state = holds(kzt::fuzz::dumpFileName(i), files[i].bytes, files[i].length);
    if (present[i] && state != 1) kzt::fuzz::finding("file mode changed a dump it loaded");
    if (!present[i] && state != -1) kzt::fuzz::finding("file mode wrote a dump");
  }
  if (holds("smart.bin", nullptr, 0) != -1) kzt::fuzz::finding("file mode wrote smart.bin");
  if (holds(kzt::kReportFileName, nullptr, 0) == -1) kzt::fuzz::finding("no report was written");
  return 0;
}
