#include "model/HazardAnalysis.h"

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
  if (const double lowest = LowestUsefulRate(p); waveform.SampleRate < lowest) {
    char text[320];
    std::snprintf(text, sizeof text,
                  "The sampling rate of %.6g samples/s is too low for the analysis: its Nyquist "
                  "frequency (%.6g Hz) lies below the characteristic frequency of the highest "
                  "hazard place (%.6g Hz), so the model cannot see what that place answers to. "
                  "The lowest useful rate is %.0f samples/s.",
                  static_cast<double>(waveform.SampleRate), waveform.SampleRate / 2.0,
                  lowest / 2.0, std::ceil(lowest));
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
