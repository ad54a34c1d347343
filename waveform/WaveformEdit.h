#pragma once
#include <cstdint>

#include "waveform/Waveform.h"

namespace orvek {

// Editing of the current record in place. Indices are sample indices of waveform.Samples;
// N is LastSampleIndex, dt SampleInterval. No routine reads or writes outside the buffers.

// Plot area of the pressure-time plot the cursors move over (pixels).
struct CursorArea {
  int Left = 0, Top = 0, Width = 1, Height = 1;
};

// Sample index under cursor pixel x: rnd(N (x - left) / W), ties to even. With `singleRatio` the
// ratio is rounded to single precision first.
std::int32_t CursorIndex(int x, const CursorArea& area, std::int32_t n, bool singleRatio = false);

// The stretch between two cursor lines as the Done buttons read it: crossed lines are swapped,
// a line left of the plot is put on its left edge (the second one pixel inside), and both indices
// are kept within 0..N.
struct SampleSpan {
  std::int32_t First = 0, Last = 0;
};
SampleSpan ReadCursors(int x1, int x2, const CursorArea& area, std::int32_t n,
                       bool singleRatio = false);

// Live level of the start display: 20 log10(|p| + 1e-6) + 94 dB.
float StartLevelDb(float pressurePa);

// Keeps samples first..last, moved to the front; the rest up to the old N is zeroed. The kept
// stretch keeps its time: TimeStart += first dt, and WindowStart/WindowEnd follow.
void SelectSegment(TWaveform& waveform, SampleSpan span);

// Set Baseline: removes the mean of samples first..last (accumulated in single precision) from
// the whole record and recomputes DataMax/DataMin. Returns the mean removed (Pa).
float RemoveBaseline(TWaveform& waveform, SampleSpan span);

// Establish Start, first stage: the impulse's largest |p|, its level and the threshold rule
// (100 Pa at 140 dB and above, otherwise 1/50 of the peak) giving the first index at or above it.
struct ImpulseStart {
  std::int32_t PeakIndex = 0;
  float PeakLevelDb = 0.0f;
  float ThresholdPa = 0.0f;
  std::int32_t StartIndex = 0;
};
ImpulseStart FindImpulseStart(const TWaveform& waveform);
// The stretch Establish Start shows while the start is chosen: from the first sample to twice the
// peak index, within 0..N, at least two samples when there are.
SampleSpan RiseView(std::int32_t n, std::int32_t peakIndex);
// Second stage: shifts the record so that sample `chosenStart` lands rnd(0.005 / dt) samples
// after the first sample (zeros in front when it moves right; the record grows, within the
// buffer). TimeStart 0.
void ShiftStart(TWaveform& waveform, std::int32_t chosenStart);

// Raised-cosine fade-in over samples 0..first-1 and fade-out over last..N (none when first is 0
// or last is N or beyond).
void ApplyTaper(TWaveform& waveform, SampleSpan span);

// Calibration units of the pop-up menu: 0 plain factor, then the peak pressure in atm, bar,
// dB (peak level), dyn/cm^2, millibar, kPa, Pa and psi.
enum class CalibrationUnit {
  Factor,
  Atm,
  Bar,
  PeakLevelDb,
  DynPerCm2,
  Millibar,
  KiloPascal,
  Pascal,
  Psi
};
// Target peak in Pa for `value` in `unit` (for Factor: value times the largest sample).
double CalibrationTargetPa(CalibrationUnit unit, double value, float dataMax);
// Scales samples 0..N so that the largest sample becomes the target peak (Factor: multiplies by
// the value) and recomputes DataMax/DataMin. A record whose largest sample is not positive cannot
// be scaled to a peak (every unit but Factor): throws OrvekError and leaves it unchanged.
void ApplyCalibration(TWaveform& waveform, CalibrationUnit unit, float value);

// Resamples by linear interpolation to `newRate` samples/s: N' = trunc(N dt / dt'). The samples
// after N' are zeroed up to index 1,048,575 (within the buffer). A record that would outgrow the
// buffer is cut at its end; returns true when that happened.
bool Resample(TWaveform& waveform, double newRate);

// Largest and smallest of samples 0..N as the editing commands recompute them; an empty record
// keeps the values it has.
void RecomputeDataRange(TWaveform& waveform);

}  // namespace orvek
