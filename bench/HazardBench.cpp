// The whole warned analysis on a Friedlander impulse, and its cochlear part alone, with the
// shipped parameter file.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "base/FileNames.h"
#include "model/Friedlander.h"
#include "model/HazardAnalysis.h"
#include "model/RealFFT.h"
#include "waveform/OrvFile.h"

namespace {

orvek::TModelParameters ShippedParameters() {
  orvek::TModelParameters p;
  const std::filesystem::path data = ORVEK_DATA_DIR;
  orvek::LoadModelParameters(
      orvek::ResolveInFolder(data, orvek::ReadManFig(orvek::ResolveInFolder(data, "Man.Fig"))), p);
  orvek::DeriveModelConstants(p);
  return p;
}

// Peak resident memory of the process so far, MB.
double PeakResidentMb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      double kb = 0;
      status >> kb;
      return kb / 1024.0;
    }
  }
  return 0.0;
}

// A rifle-like impulse (160 dB, 0.3 ms, 200 kHz) saved as an ORV file and read back as the window
// reads it, dither included.
struct Rifle {
  explicit Rifle(std::int32_t n) : waveform(n) {
    orvek::FriedlanderSpec spec;
    spec.Samples = n;
    const std::vector<float> samples = orvek::FriedlanderSamples(spec);
    std::copy(samples.begin(), samples.end(), waveform.Samples.begin());
    waveform.LastSampleIndex = n - 1;
    orvek::HeaderGrid grid;
    orvek::FillDefaultHeader(grid);
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("orvek-bench-rifle-" + std::to_string(n) + ".ORV");
    orvek::SaveOrvFile(file, true, grid, waveform, {});
    orvek::Lcg32 random;
    orvek::OpenNewFileType5(file, false, waveform, grid, random);
    std::filesystem::remove(file);
    timing = orvek::ComputeMuscleTiming(orvek::kWarnedMuscleDelay, waveform.SampleInterval,
                                        p.MuscleTimeConstant);
  }
  void Restore() {
    std::copy_n(waveform.ReferenceSamples.begin(), waveform.Count(), waveform.Samples.begin());
  }
  orvek::TModelParameters p = ShippedParameters();
  orvek::TWaveform waveform;
  orvek::MuscleTiming timing;
  orvek::MovieFrameStore movie;
};

void BM_WarnedAnalysis(benchmark::State& state) {
  Rifle rifle(static_cast<std::int32_t>(state.range(0)));
  const double before = PeakResidentMb();
  orvek::HazardResult result;
  for (auto _ : state) {
    rifle.Restore();
    result =
        orvek::CalculateHazard(rifle.waveform, 1, rifle.timing, rifle.p, rifle.movie, std::nullopt);
  }
  state.counters["aru"] = result.Cochlea.Hazard;
  state.counters["substeps_per_sample"] =
      static_cast<double>(result.MiddleEar.SubSteps) / rifle.waveform.LastSampleIndex;
  state.counters["peak_rss_growth_mb"] = PeakResidentMb() - before;
}
BENCHMARK(BM_WarnedAnalysis)->Arg(8192)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// The cochlear part alone (transforms, 23 transfer functions, hazard rule), on the stapes
// displacement of the rifle shot.
void BM_CochlearModel(benchmark::State& state) {
  Rifle rifle(static_cast<std::int32_t>(state.range(0)));
  rifle.Restore();
  orvek::CalculateHazard(rifle.waveform, 1, rifle.timing, rifle.p, rifle.movie, std::nullopt);
  std::vector<float> stapes(rifle.waveform.Count());
  for (std::int32_t i = 0; i < rifle.waveform.Count(); ++i) stapes[i] = rifle.movie.Frame(i, 1);
  for (auto _ : state) {
    std::copy(stapes.begin(), stapes.end(), rifle.waveform.WorkSamples.begin());
    benchmark::DoNotOptimize(orvek::CochlearModel(
        rifle.waveform.Samples.data(), rifle.waveform.WorkSamples.data(),
        rifle.waveform.LastSampleIndex, rifle.waveform.SampleInterval, rifle.waveform.AxisMax,
        rifle.waveform.AxisMin, rifle.p, rifle.movie, std::nullopt));
  }
}
BENCHMARK(BM_CochlearModel)->Arg(8192)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

// One forward and one inverse transform.
void BM_TransformPair(benchmark::State& state) {
  const auto n = static_cast<std::int32_t>(state.range(0));
  std::vector<float> re(n / 2 + 1, 0.5f), im(n / 2 + 1, -0.25f);
  for (auto _ : state) {
    orvek::RealFFTForward(re.data(), im.data(), n, 5e-6f);
    orvek::RealFFTInverse(re.data(), im.data(), n, 5e-6f);
  }
}
BENCHMARK(BM_TransformPair)->Arg(8192)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
