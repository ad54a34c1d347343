#include "model/MovieHazard.h"

#include <algorithm>
#include <string>

#include "base/ErrorText.h"
#include "base/OrvekError.h"

namespace orvek {

std::int32_t MovieLastFrame(std::int32_t lastSampleIndex, std::int32_t transformLength) {
  return std::min(lastSampleIndex, transformLength - 1);
}

MovieExtremes FindMovieExtremes(const MovieFrameStore& store, int placeCount) {
  MovieExtremes extremes;
  for (int place = 1; place <= std::min(placeCount, MovieFrameStore::kMaxPlaces); ++place) {
    extremes.HazardMax = std::max(extremes.HazardMax, store.PlaceHazard(place));
    extremes.DisplacementMax =
        std::max(extremes.DisplacementMax, store.PlaceDisplacementMax(place));
    extremes.DisplacementMin =
        std::min(extremes.DisplacementMin, store.PlaceDisplacementMin(place));
  }
  return extremes;
}

MovieHazard::MovieHazard(const TModelParameters& p)
    : places_(HazardPlaces(p)), threshold_(p.HazardThreshold), exponent_(p.HazardExponent) {
  if (places_.empty() || PlaceCount() > MovieFrameStore::kMaxPlaces)
    throw OrvekError("The parameter file " + Quoted(p.Source) + " asks for " +
                     std::to_string(p.PlaceCount) +
                     " cochlear places (line 59); the movie shows 1 to 23.");
  Reset();
}

void MovieHazard::Reset() {
  rules_.clear();
  for (const HazardPlace& place : places_) rules_.emplace_back(place.Gain, threshold_, exponent_);
  previous_.assign(places_.size(), 0.0);
}

void MovieHazard::Advance(const MovieFrameStore& store, std::int32_t frame) {
  for (int place = 1; place <= PlaceCount(); ++place) {
    previous_[place - 1] = rules_[place - 1].Sum();
    rules_[place - 1].Add(store.Frame(frame, 1 + place));
  }
}

}  // namespace orvek
