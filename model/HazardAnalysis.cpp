#include "model/HazardAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/ErrorText.h"
#include "base/OrvekError.h"
#include "model/HazardRule.h"
#include "waveform/HeaderEdit.h"

namespace orvek {

float MuscleDelay(Listener listener, const TModelParameters& p) {
  return listener == Listener::Warned ? kWarnedMuscleDelay : p.UnwarnedOnsetDelay;
}

std::string AruText(float hazard) {
  const int decimals = hazard < 1 ? 4 : hazard < 10 ? 3 : hazard < 100 ? 2 : hazard < 1000 ? 1 : 0;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(hazard));
  return text;
}

std::optional<double> AllowedExposures(float hazard) {
  if (hazard == 0.0f) return std::nullopt;
  return 500.0 / hazard;
}

std::string AllowedText(float hazard) {
  const std::optional<double> allowed = AllowedExposures(hazard);
  if (!allowed) return "unlimited";
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", *allowed);
  return text;
}

int MicrophoneCode(const HeaderGrid& grid) {
  const std::string& text = grid.Cell(HeaderColumn::Value, HeaderRow::MicLocation);
  const std::optional<std::int64_t> code = CellWholeNumber(text);
  if (!code || *code < 1 || *code > 4)
    throw OrvekError("The microphone location \"" + text +
                     "\" in header row 3 is not 1 (free field), 2 (ear-canal entrance), "
                     "3 (eardrum) or 4; correct it before the analysis.");
  return static_cast<int>(*code);
}

void CheckHazardInputs(int micLocation, const TWaveform& waveform, const TModelParameters& p) {
  if (micLocation < 1 || micLocation > 4)
    throw OrvekError("The microphone location " + std::to_string(micLocation) +
                     " is not 1 (free field), 2 (ear-canal entrance), 3 (eardrum) or 4; correct "
                     "header row 3 before the analysis.");
  if (p.PlaceCount < 1 || p.PlaceCount > MovieFrameStore::kMaxPlaces)
    throw OrvekError("The parameter file " + Quoted(p.Source) + " asks for " +
                     std::to_string(p.PlaceCount) +
                     " cochlear places (line 59); the analysis takes 1 to 23.");
  if (waveform.LastSampleIndex < 1)
    throw OrvekError("The waveform holds fewer than two samples; there is nothing to analyse.");
  // From the interval the models step by, not the rate cell.
  const double rate = 1.0 / static_cast<double>(waveform.SampleInterval);
  if (const double lowest = LowestUsefulRate(p); rate < lowest) {
    char text[320];
    std::snprintf(text, sizeof text,
                  "The sampling rate of %.6g samples/s is too low for the analysis: its Nyquist "
                  "frequency (%.6g Hz) lies below the characteristic frequency of the highest "
                  "hazard place (%.6g Hz), so the model cannot see what that place answers to. "
                  "The lowest useful rate is %.0f samples/s.",
                  rate, rate / 2.0, lowest / 2.0, std::ceil(lowest));
    throw OrvekError(text);
  }
  const std::int32_t n = CochlearTransformLength(waveform.LastSampleIndex);
  if (n > MovieFrameStore::kFrames || n > waveform.Capacity())
    throw OrvekError("The waveform of " + std::to_string(waveform.Count()) +
                     " samples needs a transform of " + std::to_string(n) +
                     " samples; the analysis takes at most " +
                     std::to_string(std::min(MovieFrameStore::kFrames, waveform.Capacity())) +
                     ". Select a shorter segment.");
}

HazardValidity AssessHazard(const float* pressure, const float* stapesUm, std::int32_t last,
                            int micLocation, const TModelParameters& p) {
  HazardValidity v;
  double peakPa = 0.0, peakUm = 0.0;
  for (std::int32_t i = 0; i <= last; ++i) {
    peakPa = std::max(peakPa, std::abs(double{pressure[i]}));
    peakUm = std::max(peakUm, std::abs(double{stapesUm[i]}));
  }
  v.PeakDb = peakPa > 0.0 ? 20.0 * std::log10(peakPa) + 94.0 : -INFINITY;
  v.FreeField = micLocation == 1 || micLocation == 4;
  v.AbovePeakLimit = v.FreeField && v.PeakDb > kPeakLimitDb;
  v.PeakStapesUm = peakUm;
  v.StapesCeilingUm = StapesCeilingUm(p);
  v.StapesAtCeiling = peakUm >= kStapesCeilingShare * v.StapesCeilingUm;
  return v;
}

std::vector<std::string> ValidityNotes(const HazardValidity& v) {
  char text[512];
  std::vector<std::string> notes;
  if (v.AbovePeakLimit) {
    std::snprintf(text, sizeof text,
                  "The free-field peak is %.1f dB, above the 140 dB limit for unprotected ears "
                  "(MIL-STD-1474D, NIOSH, EU 2003/10/EC): no unprotected exposure is allowed, "
                  "whatever the number of exposures says. Above 140 dB the model allows "
                  "several times the exposures of the equal-energy rule, over ten times from "
                  "about 155 dB.",
                  v.PeakDb);
    notes.emplace_back(text);
  }
  if (v.StapesAtCeiling) {
    std::snprintf(text, sizeof text,
                  "The stapes reached its movement limit (%.1f of %.1f micrometres): from there "
                  "on the model's hazard no longer follows the level and can even fall as the "
                  "level rises, so a louder impulse may wrongly look less hazardous.",
                  v.PeakStapesUm, v.StapesCeilingUm);
    notes.emplace_back(text);
  }
  return notes;
}

std::string ValidityFlags(const HazardValidity& v) {
  std::string flags;
  if (v.AbovePeakLimit) flags = "peak above the 140 dB limit, no unprotected exposure allowed";
  if (v.StapesAtCeiling)
    flags += std::string(flags.empty() ? "" : "; ") +
             "stapes at its movement limit, hazard may not rise with level";
  return flags;
}

HazardResult CalculateHazard(TWaveform& waveform, int micLocation, const MuscleTiming& timing,
                             TModelParameters& p, MovieFrameStore& movie,
                             const std::optional<OutputFile>& hazardFile,
                             const ProgressCallback& progress, int threads) {
  CheckHazardInputs(micLocation, waveform, p);
  const std::int32_t last = waveform.LastSampleIndex;
  const float dt = waveform.SampleInterval;
  const float* input = waveform.Samples.data();
  float* stapes = waveform.WorkSamples.data();
  HazardResult result;
  switch (micLocation) {
    case 2:
      result.MiddleEar = TimeDomainModel2(input, stapes, last, dt, p, timing, progress);
      break;
    case 3:
      result.MiddleEar = TimeDomainModel3(input, stapes, last, dt, p, timing, progress);
      break;
    default:
      result.MiddleEar = TimeDomainModel1(input, stapes, last, dt, p, timing, progress);
      break;
  }
  result.Validity = AssessHazard(input, stapes, last, micLocation, p);
  result.Cochlea = CochlearModel(input, stapes, last, dt, waveform.AxisMax, waveform.AxisMin, p,
                                 movie, hazardFile, threads);
  if (!std::isfinite(result.Cochlea.Hazard))
    throw OrvekError(
        "The cochlear model gave a hazard that is not a finite number; check the "
        "parameter file \"" +
        p.Source.string() + "\".");
  return result;
}

}  // namespace orvek
