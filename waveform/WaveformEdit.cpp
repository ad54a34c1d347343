#include "waveform/WaveformEdit.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "base/OrvekError.h"

namespace orvek {
namespace {

constexpr float kNoDataMax = -1.0e6f;
constexpr double kStartDelay = 0.005;               // s, where Establish Start puts the impulse
constexpr double kFixedThresholdPa = 100.0;         // 134 dB
constexpr std::int32_t kZeroedThrough = 1'048'575;  // Resample clears the record this far
// 140 dB as a pressure: comparing pressures rather than levels keeps a peak stored as exactly
// this float from falling a rounding error short of the dB rule.
const float kFixedThresholdPeakPa = static_cast<float>(std::pow(10.0, (140.0 - 94.0) / 20.0));

// LastSampleIndex, never beyond the buffer.
std::int32_t LastIndex(const TWaveform& waveform) {
  return std::min(waveform.LastSampleIndex, waveform.Capacity() - 1);
}

// A span kept within 0..n and in order, so that no caller can make an edit leave the record.
SampleSpan Within(SampleSpan span, std::int32_t n) {
  const std::int32_t top = std::max(n, 0);
  span.First = std::clamp(span.First, 0, top);
  span.Last = std::clamp(span.Last, 0, top);
  if (span.First > span.Last) std::swap(span.First, span.Last);
  return span;
}

float TimeOf(std::int32_t index, float interval) {
  return static_cast<float>(index * static_cast<double>(interval));
}

}  // namespace

std::int32_t CursorIndex(int x, const CursorArea& area, std::int32_t n, bool singleRatio) {
  const double offset = static_cast<double>(x) - area.Left;
  const double width = std::max(area.Width, 1);
  // N (x - left) / W is exact up to its last rounding, so halves fall to the even index.
  const double index =
      std::nearbyint(singleRatio ? n * static_cast<double>(static_cast<float>(offset / width))
                                 : n * offset / width);
  // A line far right of the plot maps far beyond N: keep the result an int32.
  using Limits = std::numeric_limits<std::int32_t>;
  return static_cast<std::int32_t>(
      std::clamp(index, static_cast<double>(Limits::min()), static_cast<double>(Limits::max())));
}

SampleSpan ReadCursors(int x1, int x2, const CursorArea& area, std::int32_t n, bool singleRatio) {
  if (x1 > x2) std::swap(x1, x2);
  x1 = std::max(x1, area.Left);
  if (x2 < area.Left) x2 = area.Left + 1;
  return Within({CursorIndex(x1, area, n, singleRatio), CursorIndex(x2, area, n, singleRatio)}, n);
}

float StartLevelDb(float pressurePa) {
  return static_cast<float>(20.0 * std::log10(std::fabs(pressurePa) + 0.000001) + 94.0);
}

void SelectSegment(TWaveform& waveform, SampleSpan span) {
  const std::int32_t n = LastIndex(waveform);
  if (n < 0) return;
  span = Within(span, n);
  float* samples = waveform.Samples.data();
  if (span.First > 0) std::copy(samples + span.First, samples + span.Last + 1, samples);
  const std::int32_t last = span.Last - span.First;
  // Also clears the tail of the old copy of the stretch, so nothing stale follows the record.
  std::fill(samples + last + 1, samples + n + 1, 0.0f);
  waveform.LastSampleIndex = last;
  waveform.TimeStart = static_cast<float>(
      span.First * static_cast<double>(waveform.SampleInterval) + waveform.TimeStart);
  waveform.TimeEnd =
      static_cast<float>(last * static_cast<double>(waveform.SampleInterval) + waveform.TimeStart);
  waveform.WindowStart = waveform.TimeStart;
  waveform.WindowEnd = waveform.TimeEnd;
}

float RemoveBaseline(TWaveform& waveform, SampleSpan span) {
  const std::int32_t n = LastIndex(waveform);
  span = Within(span, n);
  float sum = 0.0f;
  for (std::int32_t i = span.First; i <= span.Last; ++i) sum += waveform.Samples[i];
  const float mean = sum / static_cast<float>(span.Last - span.First + 1);
  for (std::int32_t i = 0; i <= n; ++i) waveform.Samples[i] -= mean;
  RecomputeDataRange(waveform);
  return mean;
}

ImpulseStart FindImpulseStart(const TWaveform& waveform) {
  const std::int32_t n = LastIndex(waveform);
  const float* samples = waveform.Samples.data();
  ImpulseStart start;
  float peak = 0.0f;
  for (std::int32_t i = 0; i <= n; ++i)
    if (std::fabs(samples[i]) > peak) {
      peak = std::fabs(samples[i]);
      start.PeakIndex = i;
    }
  // A silent record has no level (-inf dB); its threshold 0 puts the start at sample 0.
  start.PeakLevelDb = static_cast<float>(20.0 * std::log10(static_cast<double>(peak)) + 94.0);
  start.ThresholdPa =
      peak >= kFixedThresholdPeakPa ? static_cast<float>(kFixedThresholdPa) : peak / 50.0f;
  for (std::int32_t i = 0; i <= n; ++i)
    if (std::fabs(samples[i]) >= start.ThresholdPa) {
      start.StartIndex = i;
      break;
    }
  return start;
}

SampleSpan RiseView(std::int32_t n, std::int32_t peakIndex) {
  const std::int64_t twice = 2 * static_cast<std::int64_t>(std::max(peakIndex, 0));
  // At least two samples, so that the view has a time axis.
  return {0, static_cast<std::int32_t>(
                 std::max<std::int64_t>(std::min<std::int64_t>(twice, n), std::min(1, n)))};
}

void ShiftStart(TWaveform& waveform, std::int32_t chosenStart) {
  const float dt = waveform.SampleInterval;
  if (!(dt > 0.0f) || !std::isfinite(dt))
    throw OrvekError(
        "The sampling interval of the record is not a positive number; the start "
        "cannot be moved.");
  const std::int32_t capacity = waveform.Capacity();
  const std::int32_t n = LastIndex(waveform);
  if (n < 0) return;
  const std::int64_t delay = static_cast<std::int64_t>(
      std::min(std::nearbyint(kStartDelay / dt), static_cast<double>(capacity)));
  const std::int64_t shift = std::clamp(chosenStart, 0, n) - delay;
  float* samples = waveform.Samples.data();
  std::int32_t newLast = 0;
  if (shift < 0) {
    // Moves right behind zeros; what would pass the end of the buffer is cut.
    const std::int64_t grow = -shift;
    newLast = static_cast<std::int32_t>(std::min<std::int64_t>(n + grow, capacity - 1));
    const std::int64_t kept = std::max<std::int64_t>(newLast - grow + 1, 0);
    std::copy_backward(samples, samples + kept, samples + grow + kept);
    std::fill(samples, samples + std::min<std::int64_t>(grow, newLast + 1), 0.0f);
  } else {
    newLast = static_cast<std::int32_t>(n - shift);
    if (shift > 0) std::copy(samples + shift, samples + n + 1, samples);
    std::fill(samples + newLast + 1, samples + n + 1, 0.0f);
  }
  waveform.LastSampleIndex = newLast;
  waveform.TimeStart = 0.0f;
  waveform.TimeEnd = TimeOf(newLast, dt);
}

void ApplyTaper(TWaveform& waveform, SampleSpan span) {
  const std::int32_t n = LastIndex(waveform);
  span = Within(span, n);
  float* samples = waveform.Samples.data();
  const auto scale = [&](std::int32_t i, double weight) {
    samples[i] = static_cast<float>(samples[i] * weight);
  };
  // first = 0 leaves no samples to fade in, last >= N none to fade out.
  for (std::int32_t i = 0; i < span.First; ++i)
    scale(i, 0.5 * (1.0 - std::cos(std::numbers::pi * i / span.First)));
  if (span.Last < n)
    for (std::int32_t i = span.Last; i <= n; ++i)
      scale(i, 0.5 * (1.0 + std::cos(std::numbers::pi * (i - span.Last) / (n - span.Last))));
}

double CalibrationTargetPa(CalibrationUnit unit, double value, float dataMax) {
  switch (unit) {
    case CalibrationUnit::Factor:
      return value * dataMax;
    case CalibrationUnit::Atm:
      return value * 101300.0;
    case CalibrationUnit::Bar:
      return value * 100000.0;
    case CalibrationUnit::PeakLevelDb:
      return std::pow(10.0, (value - 94.0) / 20.0);
    case CalibrationUnit::DynPerCm2:
      return value * 0.1;
    case CalibrationUnit::Millibar:
      return value * 100.0;
    case CalibrationUnit::KiloPascal:
      return value * 1000.0;
    case CalibrationUnit::Pascal:
      return value;
    case CalibrationUnit::Psi:
      return value * 6895.0;
  }
  return value;
}

void ApplyCalibration(TWaveform& waveform, CalibrationUnit unit, float value) {
  const std::int32_t n = LastIndex(waveform);
  float* samples = waveform.Samples.data();
  float dataMax = kNoDataMax;
  double largestMagnitude = 0.0;
  for (std::int32_t i = 0; i <= n; ++i) {
    if (samples[i] > dataMax) dataMax = samples[i];
    largestMagnitude = std::max(largestMagnitude, static_cast<double>(std::fabs(samples[i])));
  }
  double factor = value;
  if (unit != CalibrationUnit::Factor) {
    if (!(dataMax > 0.0f))
      throw OrvekError(
          "The largest sample is 0 (or negative): the record cannot be scaled to a peak "
          "pressure. Use \"Multiply data by keyboard input\" instead.");
    factor = CalibrationTargetPa(unit, value, dataMax) / dataMax;
  }
  if (!std::isfinite(factor) || largestMagnitude * std::fabs(factor) > FLT_MAX)
    throw OrvekError("Scaling by " + std::to_string(factor) +
                     " would take the samples beyond the range of numbers a record can hold; the "
                     "record was not changed.");
  for (std::int32_t i = 0; i <= n; ++i) samples[i] = static_cast<float>(samples[i] * factor);
  RecomputeDataRange(waveform);
}

bool Resample(TWaveform& waveform, double newRate) {
  const float dt = waveform.SampleInterval;
  // The new interval as the record will store it, so that T / dt' is exact for whole ratios.
  const float newDt = std::isfinite(newRate) ? static_cast<float>(1.0 / newRate) : 0.0f;
  if (!(newRate > 0.0) || !(newDt > 0.0f) || !std::isfinite(newDt))
    throw OrvekError("The sampling rate " + std::to_string(newRate) +
                     " samples/s is not a positive number of samples per second.");
  if (!(dt > 0.0f) || !std::isfinite(dt))
    throw OrvekError(
        "The sampling interval of the record is not a positive number; it cannot "
        "be resampled.");
  const std::int32_t n = LastIndex(waveform);
  const std::int32_t capacity = waveform.Capacity();
  const double newCount = n < 0 ? -1.0 : std::floor(n * static_cast<double>(dt) / newDt);
  const bool cut = newCount > capacity - 1;
  const std::int32_t newLast = cut ? capacity - 1 : static_cast<std::int32_t>(newCount);

  const float* samples = waveform.Samples.data();
  float* staged = waveform.WorkSamples.data();
  if (newLast >= 0) staged[0] = samples[0];
  std::int32_t k = 0;
  double tk = 0.0;
  for (std::int32_t j = 1; j <= newLast; ++j) {
    const double t = j * static_cast<double>(newDt);
    // Rounding can leave tk just short of t at the end: never step past sample N.
    while (tk < t && k < n) tk = ++k * static_cast<double>(dt);
    const double step = static_cast<double>(samples[k]) - samples[k - 1];
    staged[j] = static_cast<float>(samples[k] + (t - tk) * step / dt);
  }
  std::copy_n(staged, newLast + 1, waveform.Samples.data());
  const std::int32_t clearedLast = std::min(std::max(kZeroedThrough, n), capacity - 1);
  if (clearedLast > newLast)
    std::fill(waveform.Samples.data() + newLast + 1, waveform.Samples.data() + clearedLast + 1,
              0.0f);

  waveform.LastSampleIndex = newLast;
  waveform.SampleInterval = newDt;
  waveform.SampleRate = static_cast<float>(1.0 / newDt);
  // A segment keeps its start time; the end follows from it.
  waveform.TimeEnd = static_cast<float>(waveform.TimeStart + double(newLast) * newDt);
  return cut;
}

void RecomputeDataRange(TWaveform& waveform) {
  const std::int32_t n = LastIndex(waveform);
  if (n < 0) return;
  waveform.DataMax = waveform.DataMin = waveform.Samples[0];
  for (std::int32_t i = 0; i <= n; ++i) {
    const float v = waveform.Samples[i];
    if (v > waveform.DataMax) waveform.DataMax = v;
    if (v < waveform.DataMin) waveform.DataMin = v;
  }
}

}  // namespace orvek
