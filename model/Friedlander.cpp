#include "model/Friedlander.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "base/ErrorText.h"
#include "base/OrvekError.h"
#include "waveform/OrvFile.h"

namespace orvek {

std::vector<float> FriedlanderSamples(const FriedlanderSpec& spec) {
  if (!(spec.SampleRate >= 1.0) || spec.Samples < 2 || !(spec.ADurationMs > 0.0) ||
      !(spec.OnsetMs >= 0.0) || !std::isfinite(spec.PeakDb) || spec.MicLocation < 1 ||
      spec.MicLocation > 3)
    throw OrvekError(
        "A Friedlander impulse needs a sampling rate of at least 1 sample/s, at least 2 samples, "
        "a positive A-duration, a non-negative onset, a finite peak level and a microphone "
        "location of 1, 2 or 3.");
  // Checked before anything is allocated; the readers refuse what lies beyond these.
  if (spec.Samples > kMaxOrvSamples)
    throw OrvekError("A Friedlander impulse of " + std::to_string(spec.Samples) +
                     " samples cannot be written: an ORV file holds at most " +
                     std::to_string(kMaxOrvSamples) + " samples.");
  if (spec.SampleRate > std::numeric_limits<float>::max())
    throw OrvekError("A sampling rate of " + ShortNumber(spec.SampleRate) +
                     " samples/s cannot be written: the readers take rates within the "
                     "single-precision range (at most 3.4E38).");
  const double peak = std::pow(10.0, (spec.PeakDb - 94.0) / 20.0);
  const double duration = spec.ADurationMs * 1e-3;
  const double onset = spec.OnsetMs * 1e-3;
  std::vector<float> samples(static_cast<std::size_t>(spec.Samples), 0.0f);
  for (std::int32_t i = 0; i < spec.Samples; ++i) {
    const double t = i / spec.SampleRate - onset;
    if (t >= 0.0)
      samples[i] = static_cast<float>(peak * (1.0 - t / duration) * std::exp(-t / duration));
  }
  return samples;
}

std::string FriedlanderTitle(const FriedlanderSpec& spec) {
  char text[96];
  std::snprintf(text, sizeof text, "FRIEDLANDER %.1f DB %.2f MS", spec.PeakDb, spec.ADurationMs);
  return text;
}

}  // namespace orvek
