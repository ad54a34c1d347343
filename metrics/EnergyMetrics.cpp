#include "metrics/EnergyMetrics.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/Constants.h"
#include "base/OrvekError.h"
#include "metrics/Weighting.h"
#include "model/RealFFT.h"

namespace orvek {
namespace {

// The transform length 2^(bits + 1) must stay a 32-bit count.
constexpr int kLongestTransformBits = 30;

// Index of the record's last sample, after checking that the record holds `fewest` samples or
// more within its buffer; `requirement` says so to the user.
std::int32_t CheckedLastIndex(const TWaveform& waveform, std::int32_t fewest,
                              const std::string& requirement) {
  const std::int32_t last = waveform.LastSampleIndex;
  if (last < fewest - 1)
    throw OrvekError(requirement + "; this one has " + std::to_string(std::max(last + 1, 0)) + ".");
  if (last >= waveform.Capacity())
    throw OrvekError("The waveform's last sample index " + std::to_string(last) +
                     " lies beyond its buffer of " + std::to_string(waveform.Capacity()) +
                     " samples.");
  return last;
}

// The interval kept within 0..last, in ascending order.
std::pair<std::int32_t, std::int32_t> ClampedInterval(std::int32_t first, std::int32_t last,
                                                      std::int32_t lastSample) {
  first = std::clamp(first, 0, lastSample);
  last = std::clamp(last, 0, lastSample);
  if (first > last) std::swap(first, last);
  return {first, last};
}

// Sum of squares over first..last (inclusive), accumulated in double.
double SumOfSquares(const float* x, std::int32_t first, std::int32_t last) {
  double sum = 0.0;
  for (std::int32_t i = first; i <= last; ++i) sum += double{x[i]} * double{x[i]};
  return sum;
}

// Level of a mean square, dB; no time span or no energy give -infinity rather than 0/0.
long double MeanSquareLevel(double sumOfSquares, std::int32_t steps) {
  if (steps <= 0 || sumOfSquares <= 0.0) return -std::numeric_limits<long double>::infinity();
  return 10.0L * std::log10(static_cast<long double>(sumOfSquares) / steps) + kLevelOffsetDb;
}

// The packed spectrum arrays, kept between calls by the calling thread: fresh pages for a
// transform of millions of points on every cursor release would cost as much as the transform.
struct SpectrumScratch {
  std::vector<float> re, im;
};

SpectrumScratch& ScratchFor(std::size_t entries) {
  thread_local SpectrumScratch scratch;
  if (scratch.re.size() < entries) {
    scratch.re.resize(entries);
    scratch.im.resize(entries);
  }
  return scratch;
}

}  // namespace

TEnergyMetrics ComputeEnergyMetrics(const TWaveform& waveform, std::int32_t firstIndex,
                                    std::int32_t lastIndex) {
  const std::int32_t n =
      CheckedLastIndex(waveform, 2, "The energy measures need a waveform of at least two samples");
  const float dt = waveform.SampleInterval;
  if (!(dt > 0.0f) || !std::isfinite(dt))
    throw OrvekError("The energy measures need a positive sample interval, not " +
                     std::to_string(dt) + " s.");
  const float* p = waveform.Samples.data();
  // One infinite or undefined sample would spread over the whole weighted record.
  if (const float* bad = std::find_if_not(p, p + n + 1, [](float x) { return std::isfinite(x); });
      bad != p + n + 1)
    throw OrvekError("Sample " + std::to_string(bad - p) +
                     " of the waveform is not a finite number; the energy measures need finite "
                     "samples.");
  const int bits = std::bit_width(static_cast<std::uint32_t>(n));  // trunc(log2 N) + 1
  if (bits + 1 > kLongestTransformBits)
    throw OrvekError("The waveform of " + std::to_string(n + 1) +
                     " samples is too long for the energy measures.");
  const std::int32_t length = std::int32_t{2} << bits;  // at least twice N: no wrap-around
  const std::int32_t half = length / 2;

  TEnergyMetrics metrics;
  std::tie(metrics.FirstIndex, metrics.LastIndex) = ClampedInterval(firstIndex, lastIndex, n);

  SpectrumScratch& scratch = ScratchFor(static_cast<std::size_t>(half) + 1);
  float* re = scratch.re.data();
  float* im = scratch.im.data();
  PackRealRecord(p, n + 1, length, re, im);

  RealFFTForward(re, im, length, dt);
  const WeightingFilters filters = InitWeightingFilters();
  const double df = 1.0 / (static_cast<double>(length) * double{dt});
  for (std::int32_t k = 0; k <= half; ++k) {
    const WeightingValue w = WeightingResponse(filters, k * df);
    const double r = re[k], i = im[k];
    re[k] = static_cast<float>(r * w.Are - i * w.Aim);
    im[k] = static_cast<float>(r * w.Aim + i * w.Are);
  }
  im[half] = 0.0f;
  RealFFTInverse(re, im, length, dt);

  // S over the interval of the A-weighted record, read from the packed arrays.
  double weighted = 0.0;
  for (std::int32_t i = metrics.FirstIndex; i <= metrics.LastIndex; ++i) {
    const double pA = PackedSample(re, im, i);
    weighted += pA * pA;
  }
  const std::int32_t steps = metrics.LastIndex - metrics.FirstIndex;
  metrics.LAeq8hr =
      static_cast<float>(10.0 * std::log10(weighted * dt / kWorkingDaySeconds) + kLevelOffsetDb);
  metrics.Na = std::pow(2.0L, (kCriterionDb - metrics.LAeq8hr) / kExchangeRateDb);
  metrics.LAeq = MeanSquareLevel(weighted, steps);
  metrics.AEnergy = static_cast<long double>(weighted) * dt / kAirImpedanceRayl;
  metrics.Leq = MeanSquareLevel(SumOfSquares(p, metrics.FirstIndex, metrics.LastIndex), steps);
  return metrics;
}

IntervalPeak FindIntervalPeak(const TWaveform& waveform, std::int32_t firstIndex,
                              std::int32_t lastIndex) {
  const std::int32_t n =
      CheckedLastIndex(waveform, 1, "The peak level needs a waveform of at least one sample");
  const auto [first, last] = ClampedInterval(firstIndex, lastIndex, n);
  IntervalPeak peak{first, 0.0};
  double largest = -1.0;
  for (std::int32_t i = first; i <= last; ++i) {
    const double magnitude = std::fabs(double{waveform.Samples[i]});
    if (magnitude > largest) {
      largest = magnitude;
      peak.Index = i;
    }
  }
  peak.LevelDb = 20.0 * std::log10(std::max(largest, 0.0) + 1e-6) + kLevelOffsetDb;
  return peak;
}

}  // namespace orvek
