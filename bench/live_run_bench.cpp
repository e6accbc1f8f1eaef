// A live run with x ("0xy") against the simulated drive holding the maximal set: every command
// of the run goes through the transport, the simulated drive answers, and every answer is dumped.
// "per_command" is the CPU time of one run divided by its commands.
//
// /fresh: each run writes its files into an empty folder (the files of the run before are
// removed outside the timed part). /rewrite: each run finds the files of the run before, as a
// second run in the same folder does, and moves them into their reading's subfolder first (the
// subfolder is removed outside the timed part). Every file is written under a temporary name,
// flushed to the disk and renamed, so the wall time holds a flush per file.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "maximal_drive.h"
#include "sim/harness.h"

namespace {

// Removes the run's files (`all`) or only the subfolders its archive made.
void removeRunFiles(const std::filesystem::path& folder, bool all) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (all || entry.is_directory()) std::filesystem::remove_all(entry.path());
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
    state.PauseTiming();
    removeRunFiles(std::filesystem::current_path(), fresh);
    state.ResumeTiming();
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
