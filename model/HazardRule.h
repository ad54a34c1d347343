#pragma once
#include <algorithm>
#include <cmath>
#include <vector>

#include "model/ModelParameters.h"

namespace orvek {

// One place of the hazard rule: where it lies and how strongly its displacement counts.
struct HazardPlace {
  double DistanceCm = 0.0;  // from the stapes
  double Gain = 0.0;        // 1/um, applied to the displacement before the threshold
};

// Places 1 .. PlaceCount (none for a count below 1): x_p = FirstPlace + (p - 1) spacing with
// spacing (LastPlace - FirstPlace) / (PlaceCount - 1), a single place at FirstPlace. The gain
// starts at HazardGain exp(-k FirstPlace), k = -ln(HazardGainRatio) / ReferencePlace, and is
// carried from place to place by the factor exp(-k spacing), so the analysis and the movie apply
// bit-identical gains.
std::vector<HazardPlace> HazardPlaces(const TModelParameters& p);

// Characteristic frequency (Hz) of the place `distanceCm` from the stapes:
// BaseFrequency exp(-x / PlaceLengthConstant).
double PlaceFrequencyHz(const TModelParameters& p, double distanceCm);

// The lowest sampling rate (samples/s) at which every hazard place's characteristic frequency lies
// below the Nyquist frequency: twice the highest of them. Below it the analysis means nothing.
double LowestUsefulRate(const TModelParameters& p);

// The hazard rule of one place fed one displacement sample (um) at a time: a positive half-cycle
// keeps its largest value times the gain; when it ends, a peak above the threshold adds
// (peak - threshold)^exponent. A half-cycle still open adds nothing.
class HalfCycleHazard {
 public:
  HalfCycleHazard(double gain, double threshold, double exponent)
      : gain_(gain), threshold_(threshold), exponent_(exponent) {}

  void Add(double y) {
    if (y > 0.0) {
      peak_ = inHalfCycle_ ? std::max(peak_, y * gain_) : y * gain_;
      inHalfCycle_ = true;
    } else if (inHalfCycle_) {
      inHalfCycle_ = false;
      if (peak_ > threshold_) sum_ += std::exp(exponent_ * std::log(peak_ - threshold_));
    }
  }
  double Sum() const { return sum_; }

 private:
  double gain_, threshold_, exponent_;
  bool inHalfCycle_ = false;
  double peak_ = 0.0;
  double sum_ = 0.0;
};

}  // namespace orvek
