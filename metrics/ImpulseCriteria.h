#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace orvek {

// Published impulse-noise criteria of one record, or of an interval of it, computed beside the ear
// model. Levels are dB re 20 uPa (20 log10 p + 94 for p in Pa, as everywhere in the program);
// times are ms from the record's first sample.
//
// Methods:
// - Weightings: the IEC 61672-1 analogue A and C filters (metrics/Weighting), complex response
//   applied to the transform of the whole record followed by zeros: at least 0.1 s of them, in
//   which the slowest part of the responses (the C weighting's double pole at 20.6 Hz, 7.7 ms)
//   falls below 1e-4 of its largest value before it could wrap onto the record's start. The
//   weighted record is the analogue filter's output for the band-limited record, causal, phase
//   included: a weighted peak depends on the phase. Values in an interval see the record before
//   it, as a meter would.
// - True peak: the largest magnitude of the band-limited (transform) interpolation of the record
//   at four points per sample interval. Only blocks near a sample within 6 dB of the sample
//   maximum are interpolated, each with a quarter of its length in tapered margins on both sides.
//   A step (a shock front sampled without an anti-aliasing filter) is not band-limited: the
//   interpolation overshoots it by up to about 1 dB, and a note says so.
// - A-duration Ta: the positive phase holding the largest positive pressure, from the last
//   crossing of ambient (0 Pa) before it to the first after it, crossings interpolated linearly;
//   pressures up to 80 dB below the phase's peak count as ambient there, so that dither and
//   noise next to the phase do not lengthen it. A phase that starts at its largest sample (a shock
//   front) starts in the middle of the sample interval before. A positive phase more than 20 dB
//   below the interval's peak is none.
// - B-duration Tb: the total time the envelope lies at or above a tenth of the (true) peak
//   pressure, crossings interpolated linearly. The envelope is the magnitude of the analytic
//   signal: the record with its Hilbert transform (by the same padded transform) as imaginary
//   part, which follows oscillations where |p| drops to 0 twice a cycle.
// - LAE = 10 lg(sum of pA^2 dt over the interval) + 94, LIAeq100ms = LAE + 10 dB; with the
//   A-duration clamped to 0.2 .. 2.5 ms (Ac), LIAeq8hr = LAE - 10 lg(28 800) - 15 lg(Ac / 0.2 ms),
//   dose = 100 * 2^((LIAeq8hr - 85) / 3) % and the allowed number per day 2^((85 - LIAeq8hr) / 3)
//   (MIL-STD-1474E Appendix B; without the correction this is the equal-energy allowance Na).
// - Verdicts compare the true peaks with the limits (EU 2003/10/EC Article 3; NIOSH 1998).
//
// A value that the record does not define is left empty and a note says why.

struct ImpulseVerdict {
  std::string Rule;              // who sets the limit
  std::string Level;             // "LCpeak" or "Lpk", as true peak
  double LimitDb = 0;            // the level may not exceed this
  std::optional<bool> Exceeded;  // empty when the level is undefined
};

struct ImpulseCriteria {
  std::int32_t First = 0, Last = 0;  // interval, sample indices, inclusive
  std::optional<double> LpkDb;       // unweighted sample maximum
  std::optional<double> LpkTrueDb;   // unweighted true peak
  std::optional<double> PeakTimeMs;  // time of the unweighted true peak
  std::optional<double> LCpeakDb;    // C-weighted sample maximum
  std::optional<double> LCpeakTrueDb;
  std::optional<double> LCpeakTimeMs;  // time of the C-weighted true peak
  std::optional<double> ADurationMs;   // Ta
  std::optional<double> BDurationMs;   // Tb
  std::optional<double> LAEDb;         // A-weighted sound exposure level, re 1 s
  std::optional<double> LIAeq100msDb;
  std::optional<double> ADurationCorrectedMs;  // Ac
  std::optional<double> LIAeq8hrDb;
  std::optional<double> DosePercent;
  std::optional<double> Allowed;  // impulses per day
  std::vector<ImpulseVerdict> Verdicts;
  std::vector<std::string> Notes;
};

// Criteria of samples[first..last] (Pa) of a record sampled every `sampleIntervalS` seconds.
// Throws OrvekError for an empty record, a sample interval that is not positive and finite, a
// sample that is not finite, an interval outside the record or with first > last, or a record
// that with 0.1 s of silence after it needs a transform of more than 2^25 points.
ImpulseCriteria ComputeImpulseCriteria(std::span<const float> samples, double sampleIntervalS,
                                       std::int32_t first, std::int32_t last);

// Criteria of the whole record.
ImpulseCriteria ComputeImpulseCriteria(std::span<const float> samples, double sampleIntervalS);

}  // namespace orvek
