#pragma once
#include <cstdint>

#include "waveform/Waveform.h"

namespace orvek {

// Energy measures of one impulse over samples FirstIndex..LastIndex (inclusive) of the record.
// Levels are dB re 20 uPa (20 log10 p + 94 for p in Pa). An interval without energy (silent, or
// LastIndex = FirstIndex for the levels per unit time) has levels of -infinity; Na is then
// +infinity.
struct TEnergyMetrics {
  std::int32_t FirstIndex = 0, LastIndex = 0;
  float LAeq8hr = 0;      // A-weighted level of the interval's energy spread over 8 hours
  long double LAeq = 0;   // A-weighted equivalent level over (LastIndex - FirstIndex) dt
  long double Leq = 0;    // unweighted equivalent level over the same time
  long double AEnergy = 0;  // A-weighted sound exposure, J/m^2 (integral of pA^2 dt / 415)
  long double Na = 0;     // allowed impulses per 8-hour day: 2^((85 - LAeq8hr) / 3)
  bool HasDuration() const { return LastIndex > FirstIndex; }
};

// A-weights the whole record in the frequency domain (transform of 2 * 2^(trunc(log2 N) + 1)
// points, the record followed by zeros) and sums over the interval. The interval is kept within
// 0..N. The record is not changed. Throws OrvekError for a record of fewer than two samples.
TEnergyMetrics ComputeEnergyMetrics(const TWaveform& waveform, std::int32_t firstIndex,
                                    std::int32_t lastIndex);

// Peak of |p| over first..last (strictly greater wins): its index and 20 log10(|p| + 1e-6) + 94.
struct IntervalPeak {
  std::int32_t Index = 0;
  double LevelDb = 0;
};
IntervalPeak FindIntervalPeak(const TWaveform& waveform, std::int32_t firstIndex,
                              std::int32_t lastIndex);

// The Statistics tool works on records below this count of samples (N < 2^20).
constexpr std::int32_t kLargestStatisticsIndex = 1'048'575;

}  // namespace orvek
