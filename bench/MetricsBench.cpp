// The energy measures of the Statistics tool, run on every cursor release: the largest record the
// tool takes (N = 2^20 - 1, a transform of 2^21 points) and the first record that needs a
// transform of 2^22 points.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "metrics/EnergyMetrics.h"
#include "model/Friedlander.h"

namespace {

void BM_EnergyMetrics(benchmark::State& state) {
  const auto last = static_cast<std::int32_t>(state.range(0));
  orvek::FriedlanderSpec spec;
  spec.Samples = last + 1;
  const std::vector<float> samples = orvek::FriedlanderSamples(spec);
  orvek::TWaveform waveform(spec.Samples);
  std::copy(samples.begin(), samples.end(), waveform.Samples.begin());
  waveform.LastSampleIndex = last;
  waveform.SampleInterval = static_cast<float>(1.0 / spec.SampleRate);
  // The first call at a length plans the transform and touches fresh pages; the tool pays that
  // once, on its first release.
  orvek::TEnergyMetrics metrics = orvek::ComputeEnergyMetrics(waveform, last / 4, last / 2);
  for (auto _ : state) {
    metrics = orvek::ComputeEnergyMetrics(waveform, last / 4, last / 2);
    benchmark::DoNotOptimize(metrics);
  }
  state.counters["LAeq"] = static_cast<double>(metrics.LAeq);
}
BENCHMARK(BM_EnergyMetrics)
    ->Arg(orvek::kLargestStatisticsIndex)
    ->Arg(orvek::kLargestStatisticsIndex + 1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
