#include "cli/FileAnalysis.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>

#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "base/UserData.h"
#include "metrics/EnergyMetrics.h"

namespace orvek::cli {
namespace fs = std::filesystem;
using nlohmann::ordered_json;

fs::path StartupFolder(const std::string& option) {
  if (option.empty()) return DefaultStartupFolder(fs::current_path(), ORVEK_DATA_DIR);
  if (fs::exists(ResolveInFolder(option, "Man.Fig"))) return option;
  throw OrvekError("The data folder \"" + option + "\" holds no \"Man.Fig\".");
}

TModelParameters LoadParameters(const fs::path& startup) {
  TModelParameters p;
  LoadModelParameters(ResolveInFolder(startup, ReadManFig(ResolveInFolder(startup, "Man.Fig"))), p);
  DeriveModelConstants(p);
  return p;
}

ReadFiles ParameterFiles(const fs::path& startup, const TModelParameters& p) {
  return {ResolveInFolder(startup, "Man.Fig"), p.Source};
}

std::unique_ptr<OpenedWaveform> Open(const fs::path& file) {
  if (file.empty()) throw OrvekError("No waveform file was named: FILE is empty.");
  auto opened = std::make_unique<OpenedWaveform>();
  opened->Writable = FolderWritable(fs::absolute(file).parent_path());
  opened->Report = OpenNewFileType5(file, false, opened->Waveform, opened->Grid,
                                    opened->Random);
  return opened;
}

ordered_json Finite(long double value) {
  return std::isfinite(value) ? ordered_json(static_cast<double>(value)) : ordered_json(nullptr);
}

OutputFile HazardFileBeside(const fs::path& file, ReadFiles reads) {
  return {ResolveInFolder(fs::absolute(file).parent_path(), UpperBaseName(file) + ".HAZ"),
          std::move(reads)};
}

ProgressCallback TerminalProgress(std::int32_t last) {
  if (isatty(fileno(stderr)) == 0) return {};
  return [last](std::int32_t sample) {
    std::cerr << "\rhazard: sample " << sample << " of " << last << std::flush;
  };
}

ordered_json HazardJson(const fs::path& file, OpenedWaveform& opened, Listener listener,
                        TModelParameters p, const std::optional<OutputFile>& hazardFile,
                        int threads, std::string& hazardFileError,
                        const ProgressCallback& progress) {
  TWaveform& w = opened.Waveform;
  const int mic = MicrophoneCode(opened.Grid);
  const MuscleTiming timing =
      ComputeMuscleTiming(MuscleDelay(listener, p), w.SampleInterval, p.MuscleTimeConstant);
  auto movie = std::make_unique<MovieFrameStore>();
  const HazardResult result =
      CalculateHazard(w, mic, timing, p, *movie, hazardFile, progress, threads);
  const float aru = result.Cochlea.Hazard;

  ordered_json out;
  out["file"] = file.string();
  out["condition"] = listener == Listener::Unwarned ? "unwarned" : "warned";
  out["mic_location"] = mic;
  out["samples"] = w.Count();
  out["aru"] = aru;
  out["aru_text"] = AruText(aru);
  const auto allowed = AllowedExposures(aru);
  out["allowed"] = allowed ? ordered_json(*allowed) : ordered_json(nullptr);
  out["allowed_text"] = AllowedText(aru);
  out["worst_place"] = result.Cochlea.WorstPlace;
  const HazardValidity& v = result.Validity;
  out["validity"] = {{"peak_db", v.PeakDb},
                     {"free_field", v.FreeField},
                     {"peak_above_140_db", v.AbovePeakLimit},
                     {"peak_stapes_um", v.PeakStapesUm},
                     {"stapes_ceiling_um", v.StapesCeilingUm},
                     {"stapes_at_limit", v.StapesAtCeiling},
                     {"notes", ValidityNotes(v)}};
  out["places"] = ordered_json::array();
  for (const PlaceResult& place : result.Cochlea.Places)
    out["places"].push_back({{"place", place.Place},
                             {"distance_cm", place.DistanceCm},
                             {"cf_khz", place.CfKhz},
                             {"hazard", place.Hazard}});
  hazardFileError = result.Cochlea.HazardFileError.value_or("");
  return out;
}

ordered_json MetricsJson(const fs::path& file, const OpenedWaveform& opened,
                         std::optional<std::int32_t> first, std::optional<std::int32_t> last) {
  const TWaveform& w = opened.Waveform;
  const std::int32_t i = first.value_or(0), j = last.value_or(w.LastSampleIndex);
  if (i < 0 || j > w.LastSampleIndex || i > j)
    throw OrvekError("The interval must lie within samples 0 to " +
                     std::to_string(w.LastSampleIndex) + " with --first <= --last.");
  const IntervalPeak peak = FindIntervalPeak(w, i, j);
  const TEnergyMetrics m = ComputeEnergyMetrics(w, i, j);
  ordered_json out;
  out["file"] = file.string();
  out["first"] = m.FirstIndex;
  out["last"] = m.LastIndex;
  out["peak_level_db"] = peak.LevelDb;
  out["peak_time_ms"] = peak.Index * static_cast<double>(w.SampleInterval) * 1000.0;
  out["laeq"] = Finite(m.LAeq);
  out["leq"] = Finite(m.Leq);
  out["laeq8hr"] = Finite(m.LAeq8hr);
  out["na"] = Finite(m.Na);
  out["a_energy"] = Finite(m.AEnergy);
  return out;
}

Leq300Spectrum SpectrumOf(const TWaveform& w) {
  return ComputeLeq300Spectrum(w.Samples.data(), w.Count(), w.SampleInterval);
}

}  // namespace orvek::cli
