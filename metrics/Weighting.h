#pragma once

namespace orvek {

// The A- and C-frequency weightings as analogue filters: a double pole at F1 and at F4 (both
// weightings), and for A one second-order section at F0 with damping coefficient 3 standing for
// the two poles near 107.7 and 737.9 Hz. Gains make both unity at 1000 Hz.
struct WeightingFilters {
  float F1 = 0, F4 = 0, F0 = 0;  // Hz
  float GainA = 1, GainC = 1;
};

struct WeightingValue {
  float Are = 0, Aim = 0;  // A-weighting, complex
  float Cre = 0, Cim = 0;  // C-weighting, complex
};

// The corner frequencies and the gains normalising both weightings to unit magnitude at 1 kHz.
WeightingFilters InitWeightingFilters();

// Complex A and C responses at `frequencyHz` (0 at 0 Hz); arithmetic in double precision.
WeightingValue WeightingResponse(const WeightingFilters& filters, double frequencyHz);

}  // namespace orvek
