#include "metrics/ImpulseCriteria.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "base/Constants.h"
#include "base/OrvekError.h"
#include "metrics/Weighting.h"
#include "model/RealFFT.h"

namespace orvek {
namespace {

constexpr double kShortestCorrectedMs = 0.2, kLongestCorrectedMs = 2.5;
constexpr double kDurationCorrectionDbPerDecade = 15.0;
constexpr double kBDurationRatio = 0.1;  // 20 dB below the peak
constexpr double kPhaseRatio = 0.1;      // a positive phase reaches 20 dB below the peak
// Pressures up to 80 dB below the peak count as ambient where a phase begins or ends: dither and
// noise around 0 Pa would otherwise lengthen it by every positive sample next to it. A wave that
// crosses 0 Pa slowly is cut short by at most the time it takes to cross the band (0.14 sample
// intervals for a 2.5 ms Friedlander wave at 200 kHz).
constexpr double kNoiseBandRatio = 1e-4;
// Zeros after the record in which the weightings' responses die away (see the header).
constexpr double kSettlingSeconds = 0.1;
// The work arrays of the longest transform take about 0.5 GB: a 64-sample record at 10 GHz with
// its 0.1 s of settling would otherwise ask for tens of GB. It holds 0.1 s of settling up to a
// sampling rate of 300 MHz, and 33 million samples at the usual rates.
constexpr std::int64_t kLongestTransform = std::int64_t{1} << 25;

// True peak: four points per sample interval, blocks of kBlock samples interpolated with kMargin
// samples on each side, and only blocks near a sample within 6 dB of the sample maximum.
constexpr int kOversampling = 4;
constexpr std::int32_t kBlock = 512;
constexpr std::int32_t kMargin = 256;
constexpr double kCandidateRatio = 0.5;
// A peak sample whose predecessor lies within this fraction of it from ambient, with a true peak
// this far above it, is a step rather than a band-limited peak.
constexpr double kAmbientRatio = 0.1;
constexpr double kStepOvershootDb = 0.2;

struct PeakRule {
  const char* rule;
  bool weightedC;
  double limitDb;
};
constexpr PeakRule kPeakRules[] = {
    {"EU 2003/10/EC lower exposure action value", true, 135.0},
    {"EU 2003/10/EC upper exposure action value", true, 137.0},
    {"EU 2003/10/EC exposure limit value", true, 140.0},
    {"Unprotected peak limit (NIOSH 1998, MIL-STD-1474D)", false, 140.0},
};

double LevelDb(double pascal) { return 20.0 * std::log10(pascal) + kLevelOffsetDb; }

// Smallest even length >= n with no prime factor above 5, which FFTW transforms nearly as fast as
// a power of two: a record of 2^20 samples then needs no transform of 2^21 points.
std::int64_t SmoothEvenLength(std::int64_t n) {
  std::int64_t best = std::numeric_limits<std::int64_t>::max();
  for (std::int64_t p3 = 1; p3 < best && p3 < 4 * n; p3 *= 3)
    for (std::int64_t p35 = p3; p35 < best && p35 < 4 * n; p35 *= 5) {
      std::int64_t length = 2 * p35;
      while (length < n) length *= 2;
      best = std::min(best, length);
    }
  return best;
}

// A record as a function of the sample index, zero outside its samples: the padding of the
// transforms and the margins of the true peak's blocks read as silence.
struct PlainRecord {
  std::span<const float> x;
  float operator()(std::int64_t i) const {
    return i >= 0 && i < static_cast<std::int64_t>(x.size()) ? x[static_cast<std::size_t>(i)]
                                                             : 0.0f;
  }
};

// The same for a record the inverse transform left packed (model/RealFFT.h): the weighted records
// go on after the record's last sample, as the filters ring out in its padding.
struct PackedRecord {
  std::vector<float> re, im;
  std::int32_t length = 0;  // samples, padding included
  float operator()(std::int64_t i) const {
    return i >= 0 && i < length ? PackedSample(re.data(), im.data(), static_cast<std::int32_t>(i))
                                : 0.0f;
  }
};

struct Peak {
  double magnitude = 0;  // Pa
  double position = 0;   // samples from the record's first
};

template <class Record>
Peak SampleMaximum(const Record& x, std::int32_t first, std::int32_t last) {
  Peak peak{-1.0, static_cast<double>(first)};
  for (std::int32_t i = first; i <= last; ++i)
    if (const double v = std::fabs(double{x(i)}); v > peak.magnitude) peak = {v, double(i)};
  return peak;
}

// Raised-cosine ramp over the margins of a block, flat over its centre: the block's ends meet
// without a step when the transform takes the block as periodic.
std::vector<float> BlockTaper() {
  std::vector<float> w(kBlock + 2 * kMargin, 1.0f);
  for (std::int32_t i = 0; i < kMargin; ++i) {
    const double ramp = 0.5 - 0.5 * std::cos(std::numbers::pi * (i + 0.5) / kMargin);
    w[i] = w[w.size() - 1 - i] = static_cast<float>(ramp);
  }
  return w;
}

// The largest magnitude over samples first..last and the points between them on the
// kOversampling-times finer grid of the band-limited interpolation; never below the sample
// maximum `atSamples`.
template <class Record>
Peak TruePeak(const Record& x, std::int32_t first, std::int32_t last, Peak atSamples) {
  constexpr std::int32_t segment = kBlock + 2 * kMargin;
  constexpr std::int32_t fine = kOversampling * segment;
  const std::vector<float> taper = BlockTaper();
  std::vector<float> block(segment), re(fine / 2 + 1), im(fine / 2 + 1);
  const double candidate = kCandidateRatio * atSamples.magnitude;
  Peak peak = atSamples;
  for (std::int64_t start = first; start <= last; start += kBlock) {
    const std::int64_t end = std::min<std::int64_t>(start + kBlock - 1, last);
    bool near = false;
    for (std::int64_t i = start - 1; i <= end + 1 && !near; ++i)
      near = std::fabs(double{x(i)}) >= candidate;
    if (!near) continue;
    const std::int64_t origin = start - kMargin;
    for (std::int32_t i = 0; i < segment; ++i) block[i] = taper[i] * x(origin + i);
    // Packed for the finer grid: the bins above the block's Nyquist frequency start as zeros and
    // stay so, which is the band-limited interpolation.
    PackRealRecord(block.data(), segment, fine, re.data(), im.data());
    RealFFTForward(re.data(), im.data(), segment, 1.0f);
    // The Nyquist term cos(pi n) continues as cos(pi t), half at +fs/2 and half at -fs/2.
    re[segment / 2] *= 0.5f;
    RealFFTInverse(re.data(), im.data(), fine, 1.0f / kOversampling);
    for (std::int64_t n = start; n <= end; ++n)
      for (int j = 0; j < (n < last ? kOversampling : 1); ++j) {
        const auto m = static_cast<std::int32_t>(kOversampling * (n - origin) + j);
        const double v = std::fabs(double{PackedSample(re.data(), im.data(), m)});
        if (v > peak.magnitude) peak = {v, n + double(j) / kOversampling};
      }
  }
  return peak;
}

// Where the pressure reaches ambient between sample i (`a`) and i + 1 (`b`), one above the noise
// band and one within or below it: the linear crossing of 0 Pa when one is at or below it, else the
// sample within the band.
double AmbientCrossing(std::int64_t i, double a, double b) {
  if ((a <= 0.0) != (b <= 0.0)) return i + a / (a - b);
  return a < b ? i : i + 1;
}

// Ta in samples, or the reason there is none.
struct Duration {
  std::optional<double> samples;
  std::string reason;
};

Duration ADuration(const float* p, std::int32_t first, std::int32_t last) {
  const float* top = std::max_element(p + first, p + last + 1);
  const float* bottom = std::min_element(p + first, p + last + 1);
  // Dither and rounding leave tiny positive blips in a wholly negative impulse; they are no phase.
  if (*top <= -kPhaseRatio * *bottom || *top <= 0.0f)
    return {std::nullopt,
            "the interval has no positive phase within 20 dB of its peak, so no A-duration"};
  const auto peak = static_cast<std::int32_t>(top - p);
  const double ambient = kNoiseBandRatio * *top;
  std::int32_t rise = peak;
  while (rise > first && p[rise - 1] > ambient) --rise;
  std::int32_t fall = peak;
  while (fall < last && p[fall + 1] > ambient) ++fall;
  const std::string phase = "the positive phase around the largest positive pressure (sample " +
                            std::to_string(peak) + ")";
  if (rise == first)
    return {std::nullopt, phase + " begins at or before the interval's first sample"};
  if (fall == last)
    return {std::nullopt, phase + " does not return to ambient within the interval"};
  // A phase that starts at its largest sample began with a step, a shock front that arrived
  // somewhere within the sample interval before: its middle is the onset least in error.
  const double onset =
      (rise == peak) ? rise - 0.5 : AmbientCrossing(rise - 1, p[rise - 1], p[rise]);
  return {AmbientCrossing(fall, p[fall], p[fall + 1]) - onset, {}};
}

// Total time, in samples, that the envelope |p + i H(p)| over first..last spends at or above
// `threshold`, linear between samples.
double TimeAbove(const PlainRecord& p, const PackedRecord& hilbert, std::int32_t first,
                 std::int32_t last, double threshold) {
  double time = 0.0;
  double before = 0.0;
  for (std::int32_t i = first; i <= last; ++i) {
    const double x = p(i), h = hilbert(i);
    const double now = std::sqrt(x * x + h * h) - threshold;
    if (i > first) {
      if (before >= 0.0 && now >= 0.0)
        time += 1.0;
      else if (before >= 0.0 || now >= 0.0)
        time += std::max(before, now) / std::fabs(before - now);
    }
    before = now;
  }
  return time;
}

void Validate(std::span<const float> samples, double dt, std::int32_t first, std::int32_t last) {
  if (samples.empty())
    throw OrvekError("The impulse criteria need a record of at least one sample.");
  if (samples.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw OrvekError("The record of " + std::to_string(samples.size()) +
                     " samples is too long for the impulse criteria.");
  if (!(dt > 0.0) || !std::isfinite(dt))
    throw OrvekError("The impulse criteria need a positive sample interval, not " +
                     std::to_string(dt) + " s.");
  const auto count = static_cast<std::int32_t>(samples.size());
  if (first < 0 || last >= count || first > last)
    throw OrvekError("The interval from sample " + std::to_string(first) + " to sample " +
                     std::to_string(last) + " does not lie within the record's samples 0 to " +
                     std::to_string(count - 1) + " in ascending order.");
  const auto bad =
      std::find_if_not(samples.begin(), samples.end(), [](float x) { return std::isfinite(x); });
  if (bad != samples.end())
    throw OrvekError("Sample " + std::to_string(bad - samples.begin()) +
                     " of the record is not a finite number; the impulse criteria need finite "
                     "samples.");
}

void AddVerdicts(ImpulseCriteria& criteria) {
  for (const PeakRule& rule : kPeakRules) {
    const std::optional<double>& level =
        rule.weightedC ? criteria.LCpeakTrueDb : criteria.LpkTrueDb;
    ImpulseVerdict verdict{rule.rule, rule.weightedC ? "LCpeak" : "Lpk", rule.limitDb, {}};
    if (level) verdict.Exceeded = *level > rule.limitDb;
    criteria.Verdicts.push_back(verdict);
  }
}

// The A- and C-weighted records and the Hilbert transform of the record, each followed by the
// settling time, from one transform.
struct TransformedRecords {
  PackedRecord weightedA, weightedC, hilbert;
};

TransformedRecords TransformRecord(std::span<const float> samples, double dt) {
  const auto count = static_cast<std::int64_t>(samples.size());
  // Counted in double first: a tiny sample interval asks for more settling samples than any
  // integer holds.
  const double needed =
      static_cast<double>(count) + std::max(1.0, std::ceil(kSettlingSeconds / dt));
  const std::int64_t smooth = needed <= static_cast<double>(kLongestTransform)
                                  ? SmoothEvenLength(static_cast<std::int64_t>(needed))
                                  : kLongestTransform + 1;
  if (smooth > kLongestTransform)
    throw OrvekError("The record of " + std::to_string(count) +
                     " samples, with the weightings' settling time of 0.1 s after it, is too "
                     "long for the impulse criteria.");
  const auto length = static_cast<std::int32_t>(smooth);
  const std::size_t bins = static_cast<std::size_t>(length / 2) + 1;
  std::vector<float> xRe(bins), xIm(bins);
  TransformedRecords out{{std::vector<float>(bins), std::vector<float>(bins), length},
                         {std::vector<float>(bins), std::vector<float>(bins), length},
                         {{}, {}, length}};
  float *aRe = out.weightedA.re.data(), *aIm = out.weightedA.im.data();
  float *cRe = out.weightedC.re.data(), *cIm = out.weightedC.im.data();

  PackRealRecord(samples.data(), static_cast<std::int32_t>(count), length, xRe.data(), xIm.data());
  // The transform's dt scaling cancels between the pair: 1 keeps it out of single precision.
  RealFFTForward(xRe.data(), xIm.data(), length, 1.0f);
  const WeightingFilters filters = InitWeightingFilters();
  const double df = 1.0 / (static_cast<double>(length) * dt);
  const std::int32_t half = length / 2;
  for (std::int32_t k = 0; k <= half; ++k) {
    const WeightingValue w = WeightingResponse(filters, k * df);
    const double r = xRe[k], i = xIm[k];
    aRe[k] = static_cast<float>(r * w.Are - i * w.Aim);
    aIm[k] = static_cast<float>(r * w.Aim + i * w.Are);
    cRe[k] = static_cast<float>(r * w.Cre - i * w.Cim);
    cIm[k] = static_cast<float>(r * w.Cim + i * w.Cre);
    // Hilbert transform: -i sign(f) X(f), nothing at 0 Hz and at the Nyquist frequency.
    xRe[k] = static_cast<float>(i);
    xIm[k] = static_cast<float>(-r);
  }
  xRe[0] = xIm[0] = xRe[half] = xIm[half] = 0.0f;
  RealFFTInverse(aRe, aIm, length, 1.0f);
  RealFFTInverse(cRe, cIm, length, 1.0f);
  RealFFTInverse(xRe.data(), xIm.data(), length, 1.0f);
  out.hilbert.re = std::move(xRe);
  out.hilbert.im = std::move(xIm);
  return out;
}

// Sample maxima and true peaks, unweighted and C-weighted; returns the unweighted true peak.
Peak AddPeaks(ImpulseCriteria& criteria, std::span<const float> samples,
              const PackedRecord& weightedC, double ms) {
  const std::int32_t first = criteria.First, last = criteria.Last;
  const PlainRecord pressure{samples};
  const Peak z = SampleMaximum(pressure, first, last);
  const Peak zTrue = TruePeak(pressure, first, last, z);
  criteria.LpkDb = LevelDb(z.magnitude);
  criteria.LpkTrueDb = LevelDb(zTrue.magnitude);
  criteria.PeakTimeMs = zTrue.position * ms;
  const auto at = static_cast<std::int32_t>(z.position);
  if (const double excessDb = *criteria.LpkTrueDb - *criteria.LpkDb;
      at > 0 && std::fabs(samples[at - 1]) <= kAmbientRatio * z.magnitude &&
      excessDb >= kStepOvershootDb) {
    char excess[32];
    std::snprintf(excess, sizeof excess, "%.2f", excessDb);
    criteria.Notes.push_back(
        "Lpk: the pressure steps from ambient to its peak within one sample interval (sample " +
        std::to_string(at) +
        "), as a shock front sampled without an anti-aliasing filter does; band-limited "
        "interpolation overshoots such a step, so the true peak, " +
        excess + " dB above the sample maximum, may read high.");
  }
  const Peak c = SampleMaximum(weightedC, first, last);
  if (c.magnitude > 0.0) {
    const Peak cTrue = TruePeak(weightedC, first, last, c);
    criteria.LCpeakDb = LevelDb(c.magnitude);
    criteria.LCpeakTrueDb = LevelDb(cTrue.magnitude);
    criteria.LCpeakTimeMs = cTrue.position * ms;
  } else {
    criteria.Notes.push_back("LCpeak: the C-weighted record is silent in the interval.");
  }
  return zTrue;
}

// LAE and LIAeq100ms; with Ta also the corrected A-duration, LIAeq8hr, dose and allowance.
void AddEnergy(ImpulseCriteria& criteria, const PackedRecord& weightedA, double dt,
               const Duration& ta) {
  double sum = 0.0;
  for (std::int32_t i = criteria.First; i <= criteria.Last; ++i) {
    const double pA = weightedA(i);
    sum += pA * pA;
  }
  if (!(sum > 0.0)) {
    criteria.Notes.push_back("LAE: the A-weighted record is silent in the interval.");
    return;
  }
  criteria.LAEDb = 10.0 * std::log10(sum * dt) + kLevelOffsetDb;
  criteria.LIAeq100msDb = *criteria.LAEDb + 10.0;
  if (!ta.samples) {
    criteria.Notes.push_back("Ta: " + ta.reason +
                             "; the corrected A-duration, LIAeq8hr, dose and allowed number "
                             "depend on it.");
    return;
  }
  const double ac = std::clamp(*ta.samples * dt * 1e3, kShortestCorrectedMs, kLongestCorrectedMs);
  criteria.ADurationCorrectedMs = ac;
  criteria.LIAeq8hrDb = *criteria.LAEDb - 10.0 * std::log10(kWorkingDaySeconds) -
                        kDurationCorrectionDbPerDecade * std::log10(ac / kShortestCorrectedMs);
  criteria.DosePercent = 100.0 * std::exp2((*criteria.LIAeq8hrDb - kCriterionDb) / kExchangeRateDb);
  criteria.Allowed = std::exp2((kCriterionDb - *criteria.LIAeq8hrDb) / kExchangeRateDb);
}

}  // namespace

ImpulseCriteria ComputeImpulseCriteria(std::span<const float> samples, double sampleIntervalS,
                                       std::int32_t first, std::int32_t last) {
  Validate(samples, sampleIntervalS, first, last);
  const double dt = sampleIntervalS;
  const double ms = dt * 1e3;  // per sample
  ImpulseCriteria criteria;
  criteria.First = first;
  criteria.Last = last;
  if (first == last)
    criteria.Notes.push_back("The interval holds one sample (" + std::to_string(first) +
                             "); the criteria need at least two.");
  else if (std::all_of(samples.begin() + first, samples.begin() + last + 1,
                       [](float x) { return x == 0.0f; }))
    criteria.Notes.push_back("The interval from sample " + std::to_string(first) + " to " +
                             std::to_string(last) +
                             " is silent: it has no peak, duration or energy.");
  if (!criteria.Notes.empty()) {
    AddVerdicts(criteria);
    return criteria;
  }

  const TransformedRecords records = TransformRecord(samples, dt);
  const Peak peak = AddPeaks(criteria, samples, records.weightedC, ms);
  AddVerdicts(criteria);
  const Duration ta = ADuration(samples.data(), first, last);
  if (ta.samples) criteria.ADurationMs = *ta.samples * ms;
  criteria.BDurationMs = TimeAbove(PlainRecord{samples}, records.hilbert, first, last,
                                   kBDurationRatio * peak.magnitude) *
                         ms;
  AddEnergy(criteria, records.weightedA, dt, ta);
  return criteria;
}

ImpulseCriteria ComputeImpulseCriteria(std::span<const float> samples, double sampleIntervalS) {
  if (samples.empty())
    throw OrvekError("The impulse criteria need a record of at least one sample.");
  return ComputeImpulseCriteria(samples, sampleIntervalS, 0,
                                static_cast<std::int32_t>(samples.size() - 1));
}

}  // namespace orvek
