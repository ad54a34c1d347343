// The Leq300ms spectrum of a long record whose length is not a power of two.
#include <benchmark/benchmark.h>

#include "metrics/Leq300Spectrum.h"
#include "model/Friedlander.h"

namespace {

void BM_Leq300Spectrum(benchmark::State& state) {
  orvek::FriedlanderSpec spec;
  spec.Samples = static_cast<std::int32_t>(state.range(0));
  const std::vector<float> samples = orvek::FriedlanderSamples(spec);
  const auto dt = static_cast<float>(1.0 / spec.SampleRate);
  orvek::Leq300Spectrum spectrum;
  for (auto _ : state) {
    spectrum = orvek::ComputeLeq300Spectrum(samples.data(), spec.Samples, dt);
    benchmark::DoNotOptimize(spectrum.LargestValue);
  }
  state.counters["bands"] = spectrum.LastBand - spectrum.FirstBand + 1;
}
BENCHMARK(BM_Leq300Spectrum)->Arg(1000000)->Arg(999999)->Arg(8192)->Unit(benchmark::kMillisecond);

}  // namespace
