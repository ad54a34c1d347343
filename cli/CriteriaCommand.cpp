// `orvek-cli criteria`: peak levels, A- and B-duration, A-weighted energy with the A-duration
// correction, and the peak-limit verdicts of an ORV file.
#include "cli/CriteriaCommand.h"

#include <cmath>
#include <memory>

#include "cli/Command.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

// `value` rounded (ties to even) to a multiple of 10^-decimals, or null. Dividing the rounded
// integer gives the double nearest the decimal, which JSON then prints as that decimal; adding 0
// prints a value rounded to -0 as 0.
ordered_json RoundedJson(const std::optional<double>& value, int decimals) {
  if (!value) return nullptr;
  if (decimals >= 0) {
    const double scale = std::pow(10.0, decimals);
    return std::nearbyint(*value * scale) / scale + 0.0;
  }
  const double step = std::pow(10.0, -decimals);
  return std::nearbyint(*value / step) * step + 0.0;
}

// `value` rounded to `digits` significant digits, or null.
ordered_json SignificantJson(const std::optional<double>& value, int digits) {
  if (!value || *value == 0.0) return RoundedJson(value, 0);
  const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(*value))));
  return RoundedJson(value, digits - 1 - magnitude);
}

ordered_json TimeJson(const std::optional<double>& ms) { return RoundedJson(ms, 3); }

struct CriteriaOptions {
  std::string File;
  std::optional<std::int32_t> First, Last;
};

}  // namespace

ordered_json LevelJson(const std::optional<double>& db) { return RoundedJson(db, 2); }

ImpulseCriteria CriteriaOf(const TWaveform& w) {
  return ComputeImpulseCriteria({w.Samples.data(), static_cast<std::size_t>(w.Count())},
                                w.SampleInterval);
}

ordered_json CriteriaJson(const fs::path& file, const OpenedWaveform& opened,
                          std::optional<std::int32_t> first, std::optional<std::int32_t> last) {
  const TWaveform& w = opened.Waveform;
  const ImpulseCriteria c =
      ComputeImpulseCriteria({w.Samples.data(), static_cast<std::size_t>(w.Count())},
                             w.SampleInterval, first.value_or(0), last.value_or(w.LastSampleIndex));
  ordered_json out;
  out["file"] = file.string();
  out["first"] = c.First;
  out["last"] = c.Last;
  out["lpk_db"] = LevelJson(c.LpkDb);
  out["lpk_true_db"] = LevelJson(c.LpkTrueDb);
  out["lcpeak_db"] = LevelJson(c.LCpeakDb);
  out["lcpeak_true_db"] = LevelJson(c.LCpeakTrueDb);
  out["peak_time_ms"] = TimeJson(c.PeakTimeMs);
  out["a_duration_ms"] = TimeJson(c.ADurationMs);
  out["b_duration_ms"] = TimeJson(c.BDurationMs);
  out["lae_db"] = LevelJson(c.LAEDb);
  out["liaeq100ms_db"] = LevelJson(c.LIAeq100msDb);
  out["a_duration_corrected_ms"] = TimeJson(c.ADurationCorrectedMs);
  out["liaeq8hr_db"] = LevelJson(c.LIAeq8hrDb);
  out["dose_percent"] = SignificantJson(c.DosePercent, 4);
  out["allowed"] = SignificantJson(c.Allowed, 4);
  out["verdicts"] = ordered_json::array();
  for (const ImpulseVerdict& v : c.Verdicts)
    out["verdicts"].push_back(
        {{"rule", v.Rule + " (" + v.Level + ")"},
         {"limit_db", v.LimitDb},
         {"exceeded", v.Exceeded ? ordered_json(*v.Exceeded) : ordered_json(nullptr)}});
  out["notes"] = c.Notes;
  return out;
}

Command AddCriteriaCommand(CLI::App& app) {
  const auto o = std::make_shared<CriteriaOptions>();
  CLI::App* criteria = app.add_subcommand(
      "criteria",
      "Impulse criteria of an ORV file: peak levels, A- and B-duration, LIAeq, verdicts");
  criteria->add_option("FILE", o->File, "ORV waveform file")->required();
  criteria->add_option("--first", o->First, "first sample of the interval (default 0)");
  criteria->add_option("--last", o->Last, "last sample of the interval (default the last)");
  return {criteria,
          [o] { return PrintResult(CriteriaJson(o->File, *Open(o->File), o->First, o->Last)); }};
}

}  // namespace orvek::cli
