#include "tools/calibration/HazardCalibration.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>

#include "base/OrvekError.h"
#include "metrics/EnergyMetrics.h"
#include "model/CochlearModel.h"
#include "model/EarResponse.h"
#include "model/Friedlander.h"
#include "model/MiddleEarModel.h"

namespace orvek {
namespace {

using Check = TargetRow::Check;

// 500 ARU are allowed once.
constexpr double kAllowedAru = 500.0;
// The equal-energy anchor: an unwarned free-field impulse where the model is still linear.
constexpr double kAnchorDb = 130.0;
constexpr double kAnchorMs = 0.5;
constexpr double kEnergyTolerance = 0.2;   // relative, on 500/ARU against Na
constexpr double kHighestLevelDb = 180.0;  // the equal-energy bound is asked up to here
// Hazard places span these characteristic frequencies.
constexpr double kHighestPlaceHz = 8000.0;
constexpr double kLowestPlaceHz = 500.0;
// The passive tuning asked for at each hazard place.
constexpr double kPeakShiftOctaves = 1.0 / 3.0;
constexpr double kQ10Min = 0.5, kQ10Max = 3.0;
// Greenwood's map as ear-facts.md derives it.
constexpr double kGreenwoodBaseHz = 20677.0;
constexpr double kGreenwoodLengthCm = 0.724;
// The contracted muscles must attenuate by at least this much in every band, so that a warned
// listener stays below an unwarned one also where the stapes is driven into its nonlinearity.
constexpr double kMuscleMarginDb = 1.0;
// Transfer functions are read on a 3 Hz grid up to 50 kHz.
constexpr std::int32_t kTuningLength = 1 << 15;
constexpr float kTuningInterval = 1.0e-5f;  // s

const char* const kNonlinearitySource =
    "issue target; the human middle ear is nonlinear above about 120 dB SPL and stapes motion "
    "grows compressively (temporal-bone study, Hear Res 2021; Lauxmann et al. 2014), "
    "ear-facts.md";
const char* const kGreenwoodSource =
    "Greenwood 1990, JASA 87:2592: base 20,677 Hz, F ~ 20,677 exp(-d / 0.724 cm) near the base, "
    "ear-facts.md";
const char* const kTuningSource =
    "issue target; passive cochlea: Q10 about 1.5 (gerbil hemicochlea), 0.5 - 2 post mortem; "
    "Gundersen et al. 1978, ear-facts.md";
const char* const kEnergySource =
    "equal energy: 85 dB(A) over 8 h, 3 dB exchange rate (NIOSH 1998, ISO 1999), ear-facts.md; "
    "Na from ComputeEnergyMetrics over the whole record";
const char* const kMonotonySource = "issue target";

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string Significant(double value, int digits) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

std::string ListenerText(Listener listener) {
  return listener == Listener::Warned ? "warned" : "unwarned";
}

std::string ImpulseText(double aDurationMs, Listener listener) {
  return Significant(aDurationMs, 3) + " ms " + ListenerText(listener);
}

double RoundSignificant(double value, int digits) {
  const double scale = std::pow(10.0, std::floor(std::log10(std::abs(value))) - digits + 1);
  return std::nearbyint(value / scale) * scale;
}

FriedlanderSpec ImpulseSpec(double peakDb, double aDurationMs, int micLocation) {
  FriedlanderSpec spec;
  spec.PeakDb = peakDb;
  spec.ADurationMs = aDurationMs;
  spec.MicLocation = micLocation;
  return spec;
}

ImpulseHazard RunImpulse(const TModelParameters& p, double peakDb, double aDurationMs,
                         Listener listener, MovieFrameStore& movie) {
  const FriedlanderSpec spec = ImpulseSpec(peakDb, aDurationMs, 1);
  const std::vector<float> samples = FriedlanderSamples(spec);
  TWaveform waveform(spec.Samples);
  std::copy(samples.begin(), samples.end(), waveform.Samples.begin());
  waveform.LastSampleIndex = spec.Samples - 1;
  waveform.SampleRate = static_cast<float>(spec.SampleRate);
  waveform.SampleInterval = static_cast<float>(1.0 / spec.SampleRate);
  waveform.MicLocation = spec.MicLocation;
  const auto [lowest, highest] = std::minmax_element(samples.begin(), samples.end());
  waveform.DataMax = waveform.AxisMax = *highest;
  waveform.DataMin = waveform.AxisMin = *lowest;

  ImpulseHazard result;
  result.EnergyAllowed =
      static_cast<double>(ComputeEnergyMetrics(waveform, 0, waveform.LastSampleIndex).Na);
  TModelParameters run = p;
  const MuscleTiming timing = ComputeMuscleTiming(MuscleDelay(listener, run),
                                                  waveform.SampleInterval, run.MuscleTimeConstant);
  const HazardResult hazard =
      CalculateHazard(waveform, spec.MicLocation, timing, run, movie, std::nullopt);
  result.Aru = hazard.Cochlea.Hazard;
  result.AllowedExposures =
      AllowedExposures(hazard.Cochlea.Hazard).value_or(std::numeric_limits<double>::infinity());
  result.WorstPlace = hazard.Cochlea.WorstPlace;
  result.Validity = hazard.Validity;
  return result;
}

// |basilar-membrane / stapes displacement| at bins k = 0 .. N/2 of the tuning grid.
std::vector<double> TransferMagnitude(const TModelParameters& parameters, double distanceCm) {
  TModelParameters p = parameters;
  const std::vector<std::complex<double>> termination =
      CochlearTermination(kTuningLength, kTuningInterval, p);
  const std::vector<std::complex<double>> transfer =
      CochlearTransfer(distanceCm, kTuningLength, kTuningInterval, p, termination);
  std::vector<double> magnitude(transfer.size());
  std::transform(transfer.begin(), transfer.end(), magnitude.begin(),
                 [](std::complex<double> h) { return std::abs(h); });
  return magnitude;
}

double TuningBinHz() { return 1.0 / (kTuningLength * static_cast<double>(kTuningInterval)); }

double CfAt(const TModelParameters& p, double distanceCm) {
  return p.BaseFrequency * std::exp(-distanceCm / p.PlaceLengthConstant);
}

double DistanceOf(const TModelParameters& p, double cfHz) {
  return p.PlaceLengthConstant * std::log(p.BaseFrequency / cfHz);
}

// The frequency between bins a and b where the level in dB crosses `level`.
double Crossing(const std::vector<double>& db, std::size_t a, std::size_t b, double level,
                double binHz) {
  const double fraction = (level - db[a]) / (db[b] - db[a]);
  return (static_cast<double>(a) + fraction * (static_cast<double>(b) - a)) * binHz;
}

std::vector<double> Levels(double first, double last, double step) {
  std::vector<double> levels;
  for (double level = first; level <= last + 1e-9; level += step) levels.push_back(level);
  return levels;
}

// Stapes displacement level at a peak level, relative to linear growth from 100 dB.
double DeviationFromLinearDb(const TModelParameters& p, double peakDb, double reference100) {
  return 20.0 * std::log10(PeakStapesDisplacementUm(p, peakDb) / reference100) - (peakDb - 100.0);
}

// The low-level stapes response to eardrum pressure, relaxed muscles; the muscle values do not
// change it.
std::vector<ResponseRow> RelaxedStapesResponse(const TModelParameters& p) {
  return EarResponse(p, ResponseTap::Stapes, 3, false, ResponseFrequencies());
}

double SmallestAttenuationDb(const std::vector<ResponseRow>& relaxed, const TModelParameters& p) {
  const std::vector<ResponseRow> contracted =
      EarResponse(p, ResponseTap::Stapes, 3, true, ResponseFrequencies());
  double smallest = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < relaxed.size(); ++i)
    smallest = std::min(smallest, relaxed[i].Db - contracted[i].Db);
  return smallest;
}

void SetMuscleDampingFileValue(TModelParameters& p, double fileValue) {
  // As the loader does: the file value in single precision, raised by 0.001.
  p.MuscleDampingFactor = static_cast<float>(double{static_cast<float>(fileValue)} + 0.001);
  DeriveModelConstants(p);
}

}  // namespace

ImpulseHazard HazardOfImpulse(const TModelParameters& p, double peakDb, double aDurationMs,
                              Listener listener) {
  auto movie = std::make_unique<MovieFrameStore>();
  return RunImpulse(p, peakDb, aDurationMs, listener, *movie);
}

double PeakStapesDisplacementUm(const TModelParameters& p, double peakDb) {
  const FriedlanderSpec spec = ImpulseSpec(peakDb, kAnchorMs, 3);
  const std::vector<float> samples = FriedlanderSamples(spec);
  std::vector<float> stapes(samples.size());
  const MuscleTiming relaxed{std::numeric_limits<std::int32_t>::max(), 1.0, 1.0};
  TimeDomainModel3(samples.data(), stapes.data(), spec.Samples - 1,
                   static_cast<float>(1.0 / spec.SampleRate), p, relaxed);
  double largest = 0.0;
  for (const float x : stapes) largest = std::max(largest, std::abs(double{x}));
  return largest;
}

PlaceTuning TuningAt(const TModelParameters& p, double distanceCm) {
  const std::vector<double> magnitude = TransferMagnitude(p, distanceCm);
  const double binHz = TuningBinHz();
  std::vector<double> db(magnitude.size(), -std::numeric_limits<double>::infinity());
  for (std::size_t k = 1; k < magnitude.size(); ++k) db[k] = 20.0 * std::log10(magnitude[k]);
  const auto peak =
      static_cast<std::size_t>(std::max_element(db.begin() + 1, db.end()) - db.begin());
  const double edge = db[peak] - 10.0;
  std::size_t below = peak, above = peak;
  while (below > 1 && db[below - 1] > edge) --below;
  while (above + 1 < db.size() && db[above + 1] > edge) ++above;
  const double lowHz = below > 1 ? Crossing(db, below - 1, below, edge, binHz) : binHz;
  const double highHz =
      above + 1 < db.size() ? Crossing(db, above, above + 1, edge, binHz) : above * binHz;

  PlaceTuning tuning;
  tuning.DistanceCm = distanceCm;
  tuning.CfHz = CfAt(p, distanceCm);
  tuning.PeakHz = static_cast<double>(peak) * binHz;
  tuning.PeakGainDb = db[peak];
  tuning.Q10 = tuning.PeakHz / (highHz - lowHz);
  return tuning;
}

std::vector<double> HazardPlaceDistances(const TModelParameters& p) {
  const int places = p.PlaceCount;
  const double spacing =
      places > 1 ? (static_cast<double>(p.LastPlace) - p.FirstPlace) / (places - 1) : 0.0;
  std::vector<double> distances;
  for (int place = 1; place <= places; ++place)
    distances.push_back(p.FirstPlace + (place - 1) * spacing);
  return distances;
}

double MinimumMuscleAttenuationDb(const TModelParameters& p) {
  return SmallestAttenuationDb(RelaxedStapesResponse(p), p);
}

std::vector<TargetRow> NonlinearityRows(const TModelParameters& p) {
  const double reference = PeakStapesDisplacementUm(p, 100.0);
  const std::string condition =
      "peak |stapes displacement|, 0.5 ms impulse at the eardrum, relaxed muscles, against "
      "linear growth from 100 dB";
  return {
      {"stapes nonlinearity: linear at 120 dB", condition,
       DeviationFromLinearDb(p, 120.0, reference), 0.0, 1.0, "dB", Check::Within,
       kNonlinearitySource},
      {"stapes nonlinearity: compressive at 170 dB", condition,
       DeviationFromLinearDb(p, 170.0, reference), -6.0, 0.0, "dB", Check::AtMost,
       kNonlinearitySource},
  };
}

std::vector<TargetRow> PlaceMapRows(const TModelParameters& p) {
  std::vector<TargetRow> rows{
      {"place map: BaseFrequency", "characteristic frequency at the stapes", p.BaseFrequency,
       kGreenwoodBaseHz, 0.5, "Hz", Check::Within, kGreenwoodSource},
      {"place map: PlaceLengthConstant", "exponential map near the base", p.PlaceLengthConstant,
       kGreenwoodLengthCm, 0.0005, "cm", Check::Within, kGreenwoodSource},
  };
  const std::vector<double> distances = HazardPlaceDistances(p);
  if (distances.empty()) return rows;
  rows.push_back({"hazard places cover 8 kHz", "characteristic frequency of the first place",
                  CfAt(p, distances.front()), kHighestPlaceHz, 0.0, "Hz", Check::AtLeast,
                  "issue target"});
  rows.push_back({"hazard places cover 500 Hz", "characteristic frequency of the last place",
                  CfAt(p, distances.back()), kLowestPlaceHz, 0.0, "Hz", Check::AtMost,
                  "issue target"});
  return rows;
}

std::vector<TargetRow> TuningRows(const TModelParameters& p) {
  std::vector<TargetRow> rows;
  const std::vector<double> distances = HazardPlaceDistances(p);
  for (std::size_t i = 0; i < distances.size(); ++i) {
    const PlaceTuning tuning = TuningAt(p, distances[i]);
    const std::string place = "place " + std::to_string(i + 1) + " (" +
                              Fixed(tuning.DistanceCm, 3) + " cm, CF " + Fixed(tuning.CfHz, 0) +
                              " Hz)";
    rows.push_back({"basilar-membrane peak within 1/3 octave of CF", place,
                    std::log2(tuning.PeakHz / tuning.CfHz), 0.0, kPeakShiftOctaves, "octave",
                    Check::Within, kTuningSource});
    rows.push_back({"passive tuning: Q10 from 0.5 to 3", place, tuning.Q10, (kQ10Min + kQ10Max) / 2,
                    (kQ10Max - kQ10Min) / 2, "", Check::Within, kTuningSource});
  }
  return rows;
}

std::vector<TargetRow> MuscleRows(const TModelParameters& p) {
  return {{"contracted muscles never raise the stapes response",
           "smallest attenuation, low-level eardrum input, 1/3 octaves 100 Hz - 10 kHz",
           MinimumMuscleAttenuationDb(p), 0.0, 0.0, "dB", Check::AtLeast, kMuscleSource}};
}

std::vector<TargetRow> EqualEnergyAnchorRows(const TModelParameters& p) {
  auto movie = std::make_unique<MovieFrameStore>();
  const ImpulseHazard anchor = RunImpulse(p, kAnchorDb, kAnchorMs, Listener::Unwarned, *movie);
  const ImpulseHazard below =
      RunImpulse(p, kAnchorDb - 10.0, kAnchorMs, Listener::Unwarned, *movie);
  const double energyRatio = below.EnergyAllowed / anchor.EnergyAllowed;
  return {
      {"equal-energy anchor: 500/ARU = Na", "0.5 ms unwarned free field, 130 dB: (500/ARU) / Na",
       anchor.AllowedExposures / anchor.EnergyAllowed, 1.0, kEnergyTolerance, "ratio",
       Check::Within, kEnergySource},
      {"hazard follows energy in the linear range",
       "0.5 ms unwarned: ARU(130 dB) / ARU(120 dB) against the energy ratio",
       anchor.Aru / below.Aru, energyRatio, 0.1 * energyRatio, "ratio", Check::Within,
       kEnergySource},
  };
}

std::vector<double> GridLevelsDb(double stepDb) { return Levels(120.0, 185.0, stepDb); }

std::vector<double> GridDurationsMs() { return {0.3, 0.5, 1.0, 2.0, 3.0, 5.0}; }

std::vector<GridPoint> HazardGrid(const TModelParameters& p, const std::vector<double>& levelsDb,
                                  const std::vector<double>& durationsMs) {
  auto movie = std::make_unique<MovieFrameStore>();
  std::vector<GridPoint> grid;
  for (const double duration : durationsMs)
    for (const double level : levelsDb)
      grid.push_back({level, duration, RunImpulse(p, level, duration, Listener::Warned, *movie),
                      RunImpulse(p, level, duration, Listener::Unwarned, *movie)});
  return grid;
}

namespace {

// The grid's points of one duration, in level order, as index ranges [first, last).
template <class Each>
void ForEachDuration(const std::vector<GridPoint>& grid, const Each& each) {
  for (std::size_t first = 0; first < grid.size();) {
    std::size_t last = first;
    while (last < grid.size() && grid[last].DurationMs == grid[first].DurationMs) ++last;
    each(first, last);
    first = last;
  }
}

}  // namespace

std::vector<HazardDip> HazardDips(const std::vector<GridPoint>& grid) {
  std::vector<HazardDip> dips;
  ForEachDuration(grid, [&](std::size_t first, std::size_t last) {
    for (const Listener who : {Listener::Unwarned, Listener::Warned}) {
      const auto aru = [&](std::size_t i) { return grid[i].Of(who).Aru; };
      for (std::size_t i = first; i + 1 < last;) {
        if (!(aru(i + 1) < aru(i))) {
          ++i;
          continue;
        }
        std::size_t j = i + 1;
        while (j + 1 < last && aru(j + 1) < aru(j)) ++j;
        dips.push_back(
            {grid[i].DurationMs, who, grid[i].LevelDb, grid[j].LevelDb, aru(j) / aru(i)});
        i = j;
      }
    }
  });
  return dips;
}

std::vector<WarnedAbove> WarnedAboveUnwarned(const std::vector<GridPoint>& grid) {
  std::vector<WarnedAbove> runs;
  ForEachDuration(grid, [&](std::size_t first, std::size_t last) {
    const auto ratio = [&](std::size_t i) { return grid[i].Warned.Aru / grid[i].Unwarned.Aru; };
    for (std::size_t i = first; i < last;) {
      if (!(ratio(i) > 1.0)) {
        ++i;
        continue;
      }
      WarnedAbove run{grid[i].DurationMs, grid[i].LevelDb, grid[i].LevelDb, ratio(i),
                      grid[i].LevelDb};
      for (; i < last && ratio(i) > 1.0; ++i) {
        run.ToDb = grid[i].LevelDb;
        if (ratio(i) > run.LargestRatio)
          run.LargestRatio = ratio(i), run.LargestAtDb = grid[i].LevelDb;
      }
      runs.push_back(run);
    }
  });
  return runs;
}

std::vector<TargetRow> HazardGridRows(const std::vector<GridPoint>& grid) {
  std::vector<TargetRow> energy, rising, warnedBelow;
  ForEachDuration(grid, [&](std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
      const GridPoint& point = grid[i];
      for (const Listener listener : {Listener::Unwarned, Listener::Warned}) {
        const ImpulseHazard& hazard = point.Of(listener);
        const std::string impulse = ImpulseText(point.DurationMs, listener);
        if (point.LevelDb <= kHighestLevelDb + 1e-9)
          energy.push_back({"500/ARU at least Na", impulse + ", " + Fixed(point.LevelDb, 1) + " dB",
                            hazard.AllowedExposures / hazard.EnergyAllowed, 1.0, kEnergyTolerance,
                            "ratio", Check::AtLeast, kEnergySource});
        if (i > first)
          rising.push_back({"ARU rises with peak level",
                            impulse + ", " + Fixed(grid[i - 1].LevelDb, 1) + " -> " +
                                Fixed(point.LevelDb, 1) + " dB",
                            hazard.Aru / grid[i - 1].Of(listener).Aru, 1.0, 0.0, "ratio",
                            Check::AtLeast, kMonotonySource});
      }
      warnedBelow.push_back(
          {"warned ARU at most unwarned",
           Significant(point.DurationMs, 3) + " ms, " + Fixed(point.LevelDb, 1) + " dB",
           point.Warned.Aru / point.Unwarned.Aru, 1.0, 0.0, "ratio", Check::AtMost,
           kMonotonySource});
    }
  });
  std::vector<TargetRow> rows = std::move(energy);
  rows.insert(rows.end(), rising.begin(), rising.end());
  rows.insert(rows.end(), warnedBelow.begin(), warnedBelow.end());
  return rows;
}

std::vector<TargetRow> HazardTargets(const TModelParameters& p,
                                     const std::vector<GridPoint>& grid) {
  std::vector<TargetRow> rows = NonlinearityRows(p);
  for (const auto& part : {PlaceMapRows(p), TuningRows(p), MuscleRows(p), EqualEnergyAnchorRows(p),
                           HazardGridRows(grid)})
    rows.insert(rows.end(), part.begin(), part.end());
  return rows;
}

std::vector<FittedValue> FitHazard(TModelParameters& p) {
  std::vector<FittedValue> fitted;

  // Places: 8 kHz .. 500 Hz on the model's own map, widened to the next 1e-4 cm so that the
  // rounded file values still cover both ends. Outside that range the passive tuning fails the
  // cochlear targets by far.
  p.FirstPlace = static_cast<float>(std::floor(DistanceOf(p, kHighestPlaceHz) * 1e4) / 1e4);
  p.LastPlace = static_cast<float>(std::ceil(DistanceOf(p, kLowestPlaceHz) * 1e4) / 1e4);
  fitted.push_back({"FirstPlace", p.FirstPlace,
                    "cm; the 8 kHz place, PlaceLengthConstant ln(BaseFrequency / 8000 Hz), "
                    "rounded down to 1e-4 cm"});
  fitted.push_back({"LastPlace", p.LastPlace,
                    "cm; the 500 Hz place, PlaceLengthConstant ln(BaseFrequency / 500 Hz), "
                    "rounded up to 1e-4 cm"});

  // With a threshold the hazard grows faster than the energy at every level; without one it is
  // the sum of squared half-cycle peaks, which scales with the energy where the model is linear.
  p.HazardThreshold = 0.0f;
  fitted.push_back({"HazardThreshold", 0.0,
                    "1/um scaled displacement; zero so that the hazard follows the energy where "
                    "the model is linear"});

  // Muscle damping: the smallest factor (bisected on a log scale, 4 significant digits) with
  // which the contracted muscles attenuate the low-level stapes response by kMuscleMarginDb in
  // every band; the stiffening alone raises it by up to about 2 dB near 2 kHz.
  const std::vector<ResponseRow> relaxed = RelaxedStapesResponse(p);
  const auto marginAt = [&](double fileValue) {
    SetMuscleDampingFileValue(p, fileValue);
    return SmallestAttenuationDb(relaxed, p) - kMuscleMarginDb;
  };
  double low = 1.0, high = 1000.0;
  if (!(marginAt(low) < 0.0) || !(marginAt(high) > 0.0))
    throw OrvekError(
        "The muscle damping factor cannot be fitted: between 1 and 1000 the "
        "contracted muscles do not reach " +
        Fixed(kMuscleMarginDb, 1) +
        " dB of attenuation in every band; check "
        "MuscleStiffnessFactor in \"" +
        p.Source.string() + "\".");
  while (high / low > 1.0 + 1e-4) {
    const double middle = std::sqrt(low * high);
    (marginAt(middle) < 0.0 ? low : high) = middle;
  }
  const double damping = RoundSignificant(high, 4);
  SetMuscleDampingFileValue(p, damping);
  fitted.push_back({"MuscleDampingFactor", damping,
                    "factor (file value; 0.001 is added on load); smallest with at least " +
                        Fixed(kMuscleMarginDb, 1) +
                        " dB attenuation by the contracted muscles in every 1/3 octave "
                        "100 Hz - 10 kHz (now " +
                        Fixed(SmallestAttenuationDb(relaxed, p), 3) + " dB)"});

  // Gain last: with no threshold the hazard scales as gain^HazardExponent, so one run at the
  // anchor gives the gain at which 500/ARU equals Na.
  if (!(p.HazardGain > 0.0f)) p.HazardGain = 1.0f;
  const ImpulseHazard before = HazardOfImpulse(p, kAnchorDb, kAnchorMs, Listener::Unwarned);
  if (!(before.Aru > 0.0))
    throw OrvekError(
        "The hazard gain cannot be fitted: the 130 dB impulse gives no hazard with "
        "the parameter file \"" +
        p.Source.string() + "\".");
  p.HazardGain = static_cast<float>(RoundSignificant(
      p.HazardGain *
          std::pow(kAllowedAru / (before.Aru * before.EnergyAllowed), 1.0 / p.HazardExponent),
      4));
  const ImpulseHazard after = HazardOfImpulse(p, kAnchorDb, kAnchorMs, Listener::Unwarned);
  fitted.push_back({"HazardGain", p.HazardGain,
                    "1/um; 500/ARU = Na for the unwarned 0.5 ms free-field impulse at 130 dB "
                    "(now ARU " +
                        Significant(after.Aru, 5) + ", 500/ARU " +
                        Significant(after.AllowedExposures, 5) + ", Na " +
                        Significant(after.EnergyAllowed, 5) + ")"});
  return fitted;
}

std::vector<Curve> HazardCurves(const TModelParameters& p, const std::vector<GridPoint>& grid) {
  std::vector<Curve> curves;
  ForEachDuration(grid, [&](std::size_t first, std::size_t last) {
    Curve curve;
    curve.Title = "Hazard grid, " + Significant(grid[first].DurationMs, 3) + " ms free field";
    curve.XTitle = "Peak level (dB)";
    curve.YTitle = "log10 allowed exposures";
    curve.LogX = false;
    curve.ModelName = "500/ARU unwarned";
    curve.Model2Name = "500/ARU warned";
    curve.ReferenceName = "Na (equal A-weighted energy)";
    curve.MarkX = kPeakLimitDb;
    curve.MarkName = "140 dB peak limit";
    for (std::size_t i = first; i < last; ++i) {
      curve.X.push_back(grid[i].LevelDb);
      curve.Model.push_back(std::log10(grid[i].Unwarned.AllowedExposures));
      curve.Model2.push_back(std::log10(grid[i].Warned.AllowedExposures));
      curve.Reference.push_back(std::log10(grid[i].Unwarned.EnergyAllowed));
    }
    curves.push_back(std::move(curve));
  });

  Curve stapes;
  stapes.Title = "Stapes nonlinearity, 0.5 ms impulse at the eardrum, relaxed muscles";
  stapes.XTitle = "Peak level (dB)";
  stapes.YTitle = "Peak stapes displacement (dB re 1 um)";
  stapes.LogX = false;
  stapes.ReferenceName = "linear growth from 100 dB";
  const double reference = 20.0 * std::log10(PeakStapesDisplacementUm(p, 100.0));
  for (const double level : Levels(100.0, 185.0, 5.0)) {
    stapes.X.push_back(level);
    stapes.Model.push_back(20.0 * std::log10(PeakStapesDisplacementUm(p, level)));
    stapes.Reference.push_back(reference + level - 100.0);
  }
  curves.push_back(std::move(stapes));

  // Tuning: the model against the passive shape anchored at the place's CF and peak gain (rising
  // 10 dB/octave below CF, falling 100 dB/octave above, Gundersen et al. 1978).
  const double binHz = TuningBinHz();
  for (const double cf : {8000.0, 4000.0, 2000.0, 1000.0, 500.0}) {
    const double distance = DistanceOf(p, cf);
    const std::vector<double> magnitude = TransferMagnitude(p, distance);
    const double peakDb = TuningAt(p, distance).PeakGainDb;
    Curve tuning;
    tuning.Title = "Basilar-membrane tuning at the " + Fixed(cf, 0) + " Hz place (" +
                   Fixed(distance, 3) + " cm)";
    tuning.XTitle = "Frequency (Hz)";
    tuning.YTitle = "Basilar-membrane / stapes displacement (dB)";
    tuning.ReferenceName = "passive shape, +10 / -100 dB per octave";
    for (int step = 0; 100.0 * std::pow(2.0, step / 12.0) <= 20000.0; ++step) {
      const double f = 100.0 * std::pow(2.0, step / 12.0);
      const auto bin = static_cast<std::size_t>(std::nearbyint(f / binHz));
      const double octaves = std::log2(f / cf);
      const double shape = peakDb + (octaves < 0.0 ? 10.0 * octaves : -100.0 * octaves);
      tuning.X.push_back(f);
      tuning.Model.push_back(20.0 * std::log10(magnitude[bin]));
      tuning.Reference.push_back(shape >= peakDb - 60.0 ? shape
                                                        : std::numeric_limits<double>::quiet_NaN());
    }
    curves.push_back(std::move(tuning));
  }
  return curves;
}

}  // namespace orvek
