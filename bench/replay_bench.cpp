// The whole replay of the maximal dump set ("0fxy") in-process: option parsing, every dump
// loaded, 62 bank lines decoded, the bad-block lists of 62 banks and 8192 erase-count lines
// written. The set is made once, before the timed loop, by a live run against the simulated drive.
#include <benchmark/benchmark.h>

#include "maximal_drive.h"
#include "sim/harness.h"

namespace {

void BM_ReplayMaximalSet(benchmark::State& state) {
  kzt::sim::ScratchDir folder;
  kzt::sim::SimDrive drive;
  kzt::bench::buildMaximalDrive(drive);
  kzt::sim::SimPlatform machine;
  machine.attach(0, &drive);
  if (kzt::sim::runProgramOn(machine, {"0xy"}).exitStatus != 0) {
    state.SkipWithError("the live run that makes the dump set failed");
    return;
  }
  const size_t commandsToMakeSet = drive.received.size();

  for (auto _ : state) {
    benchmark::DoNotOptimize(kzt::sim::runProgramOn(machine, {"0fxy"}));
  }
  if (drive.received.size() != commandsToMakeSet) state.SkipWithError("the replay reached the drive");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kzt::bench::kReplayDumpBytes));
}
BENCHMARK(BM_ReplayMaximalSet)->Unit(benchmark::kMillisecond);

}  // namespace
