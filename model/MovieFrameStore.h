#pragma once
#include <cstdint>

#include "base/SampleBuffer.h"

namespace orvek {

// Layout of the hazard-movie store: a 100-value header and 1,048,576 frames of 25 values
// (pressure in Pa, stapes displacement in um, then the basilar-membrane displacement of places
// 1..23 in um).
class MovieFrameStore {
 public:
  static constexpr std::int32_t kHeaderValues = 100;
  static constexpr std::int32_t kFrameValues = 25;
  static constexpr std::int32_t kFrames = 1 << 20;
  static constexpr std::int32_t kMaxPlaces = 23;
  static constexpr std::int32_t kValues = kHeaderValues + kFrames * kFrameValues;

  MovieFrameStore() : values_(kValues) {}

  float& AxisMax() { return values_[50]; }                                // Pa
  float& AxisMin() { return values_[75]; }                                // Pa
  float& StapesMax() { return values_[51]; }                              // um
  float& StapesMin() { return values_[76]; }                              // um
  float& PlaceHazard(int place) { return values_[26 + place]; }           // place 1..23, ARU
  float& PlaceDisplacementMax(int place) { return values_[51 + place]; }  // um
  float& PlaceDisplacementMin(int place) { return values_[76 + place]; }  // um
  float PlaceHazard(int place) const { return values_[26 + place]; }
  float PlaceDisplacementMax(int place) const { return values_[51 + place]; }
  float PlaceDisplacementMin(int place) const { return values_[76 + place]; }
  // value 0 pressure, 1 stapes displacement, 1 + p place p.
  float& Frame(std::int32_t frame, int value) {
    return values_[kHeaderValues + frame * kFrameValues + value];
  }
  float Frame(std::int32_t frame, int value) const {
    return values_[kHeaderValues + frame * kFrameValues + value];
  }

 private:
  SampleBuffer values_;
};

}  // namespace orvek
