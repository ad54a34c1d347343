// The protector fit (run once per protector, on its first use) and the prediction of the waveform
// under it (protector network, then the protected ear), on the shipped catalogue and seeds. Each
// fit also reports how close the fitted circuit comes to the measured attenuation.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "base/FileNames.h"
#include "model/Friedlander.h"
#include "model/MiddleEarModel.h"
#include "model/ModelParameters.h"
#include "protection/ProtectedWaveform.h"
#include "protection/ProtectorCatalogue.h"
#include "protection/ProtectorCircuit.h"
#include "protection/ProtectorFit.h"

namespace {

namespace fs = std::filesystem;
const fs::path kData = ORVEK_DATA_DIR;

struct CatalogueRecord {
  orvek::TProtectorEntry Entry;
  std::vector<orvek::AttenuationPoint> Table;
  orvek::TCircuitValues Seed;
};

CatalogueRecord Record(int index) {
  const fs::path file = orvek::ResolveInFolder(kData, "HPD Atten.txt");
  std::ifstream in(file, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const orvek::ProtectorCatalogue catalogue = orvek::ParseProtectorCatalogue(text, file.string());
  CatalogueRecord record{catalogue.Entries.at(static_cast<std::size_t>(index)), {}, {}};
  for (const orvek::AttenuationRow& row :
       orvek::ReadProtectorRecord(text, record.Entry, file.string()).AttenuationTable)
    record.Table.push_back({row.FrequencyHz, row.MeanDb, row.SpreadDb});
  const bool plug = orvek::ProtectorKindOf(record.Entry) == orvek::ProtectorFitKind::Plug;
  record.Seed = orvek::LoadCircuitValues(orvek::ResolveInFolder(
      kData, plug ? "Dat\\Hearing Protectors\\Seed_REAT_Values_Earplug.txt"
                  : "Dat\\Hearing Protectors\\Seed_REAT_Values_Earmuff.txt"));
  return record;
}

// Every shipped protector: the fit's time, and its RMS and largest difference from the measured
// mean attenuation over the protector's frequencies.
void BM_ProtectorFit(benchmark::State& state) {
  const CatalogueRecord r = Record(static_cast<int>(state.range(0)));
  const orvek::ProtectorFitKind kind = orvek::ProtectorKindOf(r.Entry);
  orvek::ProtectorFitResult fit;
  for (auto _ : state) {
    fit = orvek::FitProtectorCircuit(r.Seed, kind, r.Table);
    benchmark::DoNotOptimize(fit);
  }
  double largest = 0.0;
  for (const orvek::AttenuationPoint& row : r.Table)
    largest = std::max(largest, std::abs(row.MeanDb - orvek::ProtectorLevelDb(
                                                          fit.Values, orvek::ProtectorFormOf(kind),
                                                          row.FrequencyHz)));
  state.SetLabel(r.Entry.Name);
  state.counters["rms_db"] = fit.RmsErrorDb;
  state.counters["largest_db"] = largest;
}
BENCHMARK(BM_ProtectorFit)->DenseRange(0, 9)->Unit(benchmark::kMillisecond);

// Variants 4 and 9 on an 8192-sample 165 dB rifle-like impulse under the passive earmuff.
void BM_ProtectedPrediction(benchmark::State& state) {
  const CatalogueRecord r = Record(3);
  orvek::TModelParameters p;
  orvek::LoadModelParameters(
      orvek::ResolveInFolder(kData, orvek::ReadManFig(orvek::ResolveInFolder(kData, "Man.Fig"))),
      p);
  orvek::DeriveModelConstants(p);
  const orvek::ProtectorFitKind kind = orvek::ProtectorKindOf(r.Entry);
  orvek::ApplyCircuitValues(orvek::FitProtectorCircuit(r.Seed, kind, r.Table).Values, p);
  orvek::FriedlanderSpec spec;
  spec.PeakDb = 165.0;
  const std::vector<float> outside = orvek::FriedlanderSamples(spec);
  std::vector<float> under(outside.size());
  const auto last = static_cast<std::int32_t>(outside.size()) - 1;
  const float dt = static_cast<float>(1.0 / spec.SampleRate);
  for (auto _ : state) {
    orvek::Lcg32 rng;
    orvek::TimeDomainModel4(outside.data(), under.data(), last, dt, p, {}, 2000.0f, -500.0f, rng);
    orvek::MuscleTiming timing;
    orvek::TimeDomainModel9(under.data(), last, dt, p, timing);
    benchmark::DoNotOptimize(under.data());
  }
  state.counters["peak_pa"] = *std::max_element(under.begin(), under.end());
}
BENCHMARK(BM_ProtectedPrediction)->Unit(benchmark::kMillisecond);

}  // namespace
