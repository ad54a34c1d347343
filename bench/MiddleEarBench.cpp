#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "base/Lcg32.h"
#include "model/Friedlander.h"
#include "model/MiddleEarModel.h"
#include "model/ModelParameters.h"

namespace orvek {
namespace {

constexpr float kDt = 1.0f / 200000.0f;  // s
constexpr std::int32_t kLast = FriedlanderSpec{}.Samples - 1;

TModelParameters ShippedParameters() {
  TModelParameters p;
  LoadModelParameters(std::filesystem::path(ORVEK_DATA_DIR) / "HUMANEAR.PRM", p);
  DeriveModelConstants(p);
  return p;
}

void RunFreeField(benchmark::State& state, const std::vector<float>& input, float delay) {
  const TModelParameters p = ShippedParameters();
  const MuscleTiming timing = ComputeMuscleTiming(delay, kDt, p.MuscleTimeConstant);
  std::vector<float> output(input.size());
  std::int64_t subSteps = 0;
  std::int32_t peak = 0;
  for (auto _ : state) {
    const MiddleEarRun run = TimeDomainModel1(input.data(), output.data(), kLast, kDt, p, timing);
    benchmark::DoNotOptimize(output.data());
    subSteps += run.SubSteps;
    peak = run.PeakSubSteps;
  }
  state.counters["substeps_per_s"] =
      benchmark::Counter(static_cast<double>(subSteps), benchmark::Counter::kIsRate);
  state.counters["substeps_per_sample"] =
      static_cast<double>(subSteps) / static_cast<double>(state.iterations()) / kLast;
  state.counters["peak_substeps"] = peak;
}

// Sub-step throughput of the 24-state network: a loud broadband input keeps the count high, so
// the per-sample overhead hardly counts.
void BM_FreeFieldSubStepRate(benchmark::State& state) {
  Lcg32 rng(7);
  std::vector<float> noise(kLast + 1, 0.0f);
  for (std::int32_t i = 1; i <= kLast; ++i) {
    noise[i] = static_cast<float>((rng.Uniform() - 0.5) * 2000.0);  // about 155 dB
  }
  RunFreeField(state, noise, kWarnedMuscleDelay);
}
BENCHMARK(BM_FreeFieldSubStepRate)->Unit(benchmark::kMillisecond);

// A whole free-field analysis run on the 8192-sample impulse; argument 0 warned, 1 unwarned (10 ms
// reflex delay).
void BM_FreeFieldFriedlander160dB(benchmark::State& state) {
  const float delay =
      state.range(0) == 0 ? kWarnedMuscleDelay : ShippedParameters().UnwarnedOnsetDelay;
  RunFreeField(state, FriedlanderSamples(FriedlanderSpec{}), delay);  // 160 dB, 0.3 ms, 200 kHz
}
BENCHMARK(BM_FreeFieldFriedlander160dB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvek
