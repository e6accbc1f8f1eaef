// The whole replay of the maximal dump set ("0fxy") in-process: option parsing, every dump
// loaded, 62 bank lines decoded, the bad-block lists of 62 banks and 8192 erase-count lines
// written. The set is made once, before the timed loop, by a live run against the simulated drive.
//
// /fresh: the report and the erase-count file of the run before are removed outside the timed
// part, so each run creates them. /rewrite: each run empties and rewrites them, as a second replay
// in the same folder does; on ext4 emptying a file whose write-back is still under way waits for
// it, which the wall time shows when runs follow each other closely.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "maximal_drive.h"
#include "sim/harness.h"

namespace {

void BM_ReplayMaximalSet(benchmark::State& state) {
  const bool fresh = state.range(0) == 0;
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
    if (fresh) {
      state.PauseTiming();
      std::remove("kzt_flash_id.txt");
      std::remove("kzt_flash_id_ec.txt");
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(kzt::sim::runProgramOn(machine, {"0fxy"}));
  }
  if (drive.received.size() != commandsToMakeSet) state.SkipWithError("the replay reached the drive");
  state.SetLabel(fresh ? "fresh" : "rewrite");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kzt::bench::kReplayDumpBytes));
}
BENCHMARK(BM_ReplayMaximalSet)->ArgName("rewrite")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
