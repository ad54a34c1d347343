// The impulse criteria of a record of 2^20 samples: one transform of the record with its settling
// time, three inverse ones, and the true peaks around the impulse.
#include <benchmark/benchmark.h>

#include <vector>

#include "metrics/ImpulseCriteria.h"
#include "model/Friedlander.h"

namespace {

void BM_ImpulseCriteria(benchmark::State& state) {
  orvek::FriedlanderSpec spec;
  spec.Samples = static_cast<std::int32_t>(state.range(0));
  const std::vector<float> samples = orvek::FriedlanderSamples(spec);
  const double dt = 1.0 / spec.SampleRate;
  // The first call at a length plans the transforms and touches fresh pages.
  orvek::ImpulseCriteria criteria = orvek::ComputeImpulseCriteria(samples, dt);
  for (auto _ : state) {
    criteria = orvek::ComputeImpulseCriteria(samples, dt);
    benchmark::DoNotOptimize(criteria);
  }
  state.counters["LCpeak"] = criteria.LCpeakTrueDb.value_or(0.0);
}
BENCHMARK(BM_ImpulseCriteria)->Arg(1'048'576)->Unit(benchmark::kMillisecond);

}  // namespace
