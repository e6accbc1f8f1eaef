// A live run with x ("0xy") against the simulated drive holding the maximal set: every command
// of the run goes through the transport, the simulated drive answers, and every answer is dumped.
// "per_command" is the CPU time of one run divided by its commands.
//
// /fresh: each run writes its files into an empty folder (the files of the run before are
// removed outside the timed part). /rewrite: each run empties and rewrites the files of the run
// before, as a second run in the same folder does; on ext4 that also starts the write-back of the
// replaced files at every close, which the wall time shows.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "maximal_drive.h"
#include "sim/harness.h"

namespace {

void removeRunFiles(const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::filesystem::remove(entry.path());
  }
}

void BM_LiveRunAllBanks(benchmark::State& state) {
  const bool fresh = state.range(0) == 0;
  kzt::sim::ScratchDir folder;
  kzt::sim::SimDrive drive;
  kzt::bench::buildMaximalDrive(drive);
  kzt::sim::SimPlatform machine;
  machine.attach(0, &drive);

  size_t commands = 0;
  for (auto _ : state) {
    if (fresh) {
      state.PauseTiming();
      removeRunFiles(std::filesystem::current_path());
      state.ResumeTiming();
    }
    drive.received.clear();
    benchmark::DoNotOptimize(kzt::sim::runProgramOn(machine, {"0xy"}));
    commands += drive.received.size();
  }
  if (commands != static_cast<size_t>(state.iterations()) * kzt::bench::kLiveRunCommands) {
    state.SkipWithError("the run did not send the expected commands");
  }
  state.SetLabel(fresh ? "fresh" : "rewrite");
  state.counters["commands"] = static_cast<double>(kzt::bench::kLiveRunCommands);
  state.counters["per_command"] = benchmark::Counter(
      static_cast<double>(commands), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LiveRunAllBanks)->ArgName("rewrite")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
