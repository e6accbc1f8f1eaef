// kzt_inspect --metrics on the maximal dump set: every dump read (62 banks of 8192 blocks), the
// wear figures and the health verdict worked out, and the whole exposition (about 40 KB) written.
// The set is made once, before the timed loop, by a live run against the simulated drive; the
// exposition goes to /dev/null.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "inspect/inspect.h"
#include "maximal_drive.h"
#include "sim/harness.h"

namespace {

void BM_MetricsMaximalSet(benchmark::State& state) {
  kzt::sim::ScratchDir folder;
  kzt::sim::SimDrive drive;
  kzt::bench::buildMaximalDrive(drive);
  kzt::sim::SimPlatform machine;
  machine.attach(0, &drive);
  if (kzt::sim::runProgramOn(machine, {"0xy"}).exitStatus != 0) {
    state.SkipWithError("the live run that makes the dump set failed");
    return;
  }
  std::FILE* out = std::fopen("/dev/null", "w");
  const char* const argv[] = {"kzt_inspect", "--metrics", "."};
  for (auto _ : state) {
    if (kzt::runInspectCommand(3, argv, out, stderr) != kzt::kInspectExitOk) {
      state.SkipWithError("kzt_inspect --metrics failed");
      break;
    }
  }
  std::fclose(out);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kzt::bench::kReplayDumpBytes));
}
BENCHMARK(BM_MetricsMaximalSet)->Unit(benchmark::kMillisecond);

}  // namespace
