#include "metrics/PairedRecords.h"

#include <algorithm>
#include <cmath>

#include "base/ErrorText.h"
#include "base/OrvekError.h"
#include "waveform/HeaderEdit.h"

namespace orvek {

void RequireSameRate(const TWaveform& freeField, const TWaveform& ear,
                     const std::filesystem::path& freeFieldFile,
                     const std::filesystem::path& earFile) {
  if (freeField.SampleInterval == ear.SampleInterval) return;
  throw OrvekError("The free-field record " + Quoted(freeFieldFile) + " is sampled at " +
                   RateText(freeField.SampleRate) + " samples/s and the record at the ear " +
                   Quoted(earFile) + " at " + RateText(ear.SampleRate) +
                   " samples/s; records are compared at one rate. Resample one of them "
                   "(pop-up menu \"Resample\") and save it first.");
}

ComparisonStretch ComparisonWindow(const TWaveform& record, float windowStart, float windowEnd) {
  const float recordEnd = record.TimeEnd;
  ComparisonStretch stretch{{}, record.TimeStart, recordEnd};
  if (windowStart < record.TimeStart || windowStart > recordEnd) {
    stretch.TimeEnd = stretch.TimeStart;
  } else {
    stretch.TimeStart = windowStart;
    if (windowEnd <= recordEnd) stretch.TimeEnd = windowEnd;
  }
  const double dt = record.SampleInterval;
  const std::int32_t n = std::max(std::min(record.LastSampleIndex, record.Capacity() - 1), 0);
  const auto index = [&](float t) {
    return std::clamp(static_cast<std::int32_t>(std::nearbyint((t - record.TimeStart) / dt)), 0, n);
  };
  stretch.Span.First = index(stretch.TimeStart);
  stretch.Span.Last = std::max(stretch.Span.First, index(stretch.TimeEnd));
  return stretch;
}

void CutToComparisonWindow(TWaveform& ear, float windowStart, float windowEnd) {
  const ComparisonStretch stretch = ComparisonWindow(ear, windowStart, windowEnd);
  float* samples = ear.Samples.data();
  std::copy(samples + stretch.Span.First, samples + stretch.Span.Last + 1, samples);
  ear.LastSampleIndex = stretch.Span.Last - stretch.Span.First;
  ear.TimeStart = stretch.TimeStart;
  ear.TimeEnd = stretch.TimeEnd;
}

std::vector<float> FreeFieldAtEarLength(const TWaveform& freeField, SampleSpan span,
                                        std::int32_t earCount) {
  std::vector<float> samples(static_cast<std::size_t>(std::max(earCount, 0)), 0.0f);
  const std::int32_t kept = std::clamp(span.Last - span.First + 1, 0, std::max(earCount, 0));
  std::copy_n(freeField.Samples.begin() + span.First, kept, samples.begin());
  return samples;
}

}  // namespace orvek
