// kzt_inspect --history over 1,000 readings of the bundled sample's size (8 banks of 1390 blocks,
// 13 dumps, 268 KiB a reading): every reading found in its subfolder, read twice (once for what
// groups and orders it, once in order against the reading before it), the figures, the
// least-squares fit and the verdict, and the summary written to /dev/null. The readings are copies
// of the sample, each with its own power-on hours, made once before the timed loop.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "inspect/inspect.h"
#include "sim/harness.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned kReadings = 1000;

// The sample's power-on hours (SMART attribute 9) raised by `extra` in its raw value.
void raiseHours(const fs::path& smart, unsigned extra) {
  std::string bytes = kzt::sim::readFile(smart.string());
  for (unsigned i = 0; i < kzt::kSmartAttributeCount; ++i) {
    const size_t entry = 2 + 12 * i;
    if (static_cast<uint8_t>(bytes[entry]) != 9) continue;
    unsigned hours = static_cast<uint8_t>(bytes[entry + 5]) | static_cast<uint8_t>(bytes[entry + 6]) << 8;
    hours += extra;
    bytes[entry + 5] = static_cast<char>(hours & 0xFF);
    bytes[entry + 6] = static_cast<char>(hours >> 8);
  }
  kzt::sim::writeFile(smart.string(), bytes);
}

void BM_History1000Readings(benchmark::State& state) {
  kzt::sim::ScratchDir folder;
  for (unsigned r = 0; r < kReadings; ++r) {
    const fs::path reading = fs::path("readings") / ("reading-" + std::to_string(r));
    fs::create_directories(reading);
    for (const auto& entry : fs::directory_iterator(KZT_SAMPLE_DIR)) {
      if (entry.path().extension() == ".bin") fs::copy_file(entry.path(), reading / entry.path().filename());
    }
    raiseHours(reading / "smart.bin", r * 24);
  }
  std::FILE* out = std::fopen("/dev/null", "w");
  const char* args[] = {"kzt_inspect", "--history", "readings"};
  for (auto _ : state) {
    benchmark::DoNotOptimize(kzt::runInspectCommand(3, args, out, stderr));
  }
  std::fclose(out);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kReadings));
}
BENCHMARK(BM_History1000Readings)->Unit(benchmark::kMillisecond);

}  // namespace
