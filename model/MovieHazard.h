#pragma once
#include <cstdint>
#include <vector>

#include "model/HazardRule.h"
#include "model/ModelParameters.h"
#include "model/MovieFrameStore.h"

namespace orvek {

// Last frame the movie may show for a record of lastSampleIndex + 1 samples analysed with a
// transform of transformLength samples: frames beyond the transform were not written by that
// analysis, so the movie stops at the shorter of the two.
std::int32_t MovieLastFrame(std::int32_t lastSampleIndex, std::int32_t transformLength);

// Display ranges of the unwrapped cochlea over places 1 .. placeCount of an analysis.
struct MovieExtremes {
  float HazardMax = 0.0f;         // ARU, at least 0
  float DisplacementMax = -1e6f;  // um, largest of the per-place maxima
  float DisplacementMin = 1e6f;   // um, smallest of the per-place minima
};
MovieExtremes FindMovieExtremes(const MovieFrameStore& store, int placeCount);

// The hazard accumulating along the cochlea as the movie plays: the analysis' half-cycle rule
// and gains, applied one frame at a time to the basilar-membrane displacement of every place.
class MovieHazard {
 public:
  // Throws OrvekError unless PlaceCount lies in 1 .. 23 (what the frames can hold).
  explicit MovieHazard(const TModelParameters& p);

  // No place in a half-cycle, every sum 0.
  void Reset();
  // Applies frame `frame` of `store` to every place; the sums before it become the previous ones.
  void Advance(const MovieFrameStore& store, std::int32_t frame);

  int PlaceCount() const { return static_cast<int>(places_.size()); }
  double DistanceCm(int place) const { return places_[place - 1].DistanceCm; }  // place 1-based
  double Sum(int place) const { return rules_[place - 1].Sum(); }               // ARU
  double PreviousSum(int place) const { return previous_[place - 1]; }          // ARU

 private:
  std::vector<HazardPlace> places_;
  double threshold_, exponent_;
  std::vector<HalfCycleHazard> rules_;
  std::vector<double> previous_;
};

}  // namespace orvek
