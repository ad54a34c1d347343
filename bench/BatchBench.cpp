// Files per second of the batch analysis (both listeners, peak level, LAeq8hr, Na) on the bundled
// samples, four copies of each, with 1 and 2 jobs.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

#include "cli/BatchCommand.h"
#include "cli/FileAnalysis.h"

namespace {

void BM_BatchOfSamples(benchmark::State& state) {
  const std::filesystem::path data = ORVEK_DATA_DIR;
  const orvek::TModelParameters p = orvek::cli::LoadParameters(data);
  std::vector<std::filesystem::path> files;
  for (int copy = 0; copy < 4; ++copy)
    for (const char* name : {"BLAST170.ORV", "PISTOL155.ORV", "RIFLE160.ORV"})
      files.push_back(data / "samples" / name);
  const orvek::cli::BatchSettings settings{true, true, static_cast<int>(state.range(0))};
  for (auto _ : state) benchmark::DoNotOptimize(orvek::cli::AnalyzeFiles(files, p, settings));
  state.counters["files_per_s"] = benchmark::Counter(
      static_cast<double>(files.size() * state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BatchOfSamples)
    ->ArgName("jobs")
    ->Arg(1)
    ->Arg(2)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
