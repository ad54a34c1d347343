#include "metrics/PairedRecords.h"

#include <algorithm>
#include <cmath>

namespace orvek {

void CutToComparisonWindow(TWaveform& ear, float windowStart, float windowEnd) {
  if (windowStart < ear.TimeStart || windowStart > ear.TimeEnd) {
    ear.TimeEnd = ear.TimeStart;
  } else {
    ear.TimeStart = windowStart;
    if (windowEnd <= ear.TimeEnd) ear.TimeEnd = windowEnd;
  }
  const double dt = ear.SampleInterval;
  const std::int32_t n = std::min(ear.LastSampleIndex, ear.Capacity() - 1);
  const auto index = [&](float t) {
    return std::clamp(static_cast<std::int32_t>(std::nearbyint(t / dt)), 0, std::max(n, 0));
  };
  const std::int32_t first = index(ear.TimeStart);
  const std::int32_t last = std::max(first, index(ear.TimeEnd));
  float* samples = ear.Samples.data();
  std::copy(samples + first, samples + last + 1, samples);
  ear.LastSampleIndex = last - first;
}

void FreeFieldAtEarLength(TWaveform& waveform, std::int32_t freeFieldCount) {
  const std::int32_t count = std::min(waveform.Count(), waveform.Capacity());
  const std::int32_t kept = std::clamp(freeFieldCount, 0, count);
  std::copy(waveform.ReferenceSamples.begin(), waveform.ReferenceSamples.begin() + kept,
            waveform.Samples.begin());
  std::fill(waveform.Samples.begin() + kept, waveform.Samples.begin() + count, 0.0f);
}

}  // namespace orvek
