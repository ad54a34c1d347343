#include "model/HazardRule.h"

namespace orvek {

std::vector<HazardPlace> HazardPlaces(const TModelParameters& p) {
  const int places = std::max(p.PlaceCount, 0);
  const double gainRate = -std::log(static_cast<double>(p.HazardGainRatio)) / p.ReferencePlace;
  const double spacing =
      places > 1 ? (static_cast<double>(p.LastPlace) - p.FirstPlace) / (places - 1) : 0.0;
  const double gainStep = std::exp(-gainRate * spacing);
  double gain = p.HazardGain * std::exp(-gainRate * p.FirstPlace);
  std::vector<HazardPlace> result(static_cast<std::size_t>(places));
  for (int place = 1; place <= places; ++place) {
    result[place - 1] = {p.FirstPlace + (place - 1) * spacing, gain};
    gain *= gainStep;
  }
  return result;
}

double PlaceFrequencyHz(const TModelParameters& p, double distanceCm) {
  return p.BaseFrequency * std::exp(-distanceCm / p.PlaceLengthConstant);
}

double LowestUsefulRate(const TModelParameters& p) {
  double highest = 0.0;
  for (const HazardPlace& place : HazardPlaces(p))
    highest = std::max(highest, PlaceFrequencyHz(p, place.DistanceCm));
  return 2.0 * highest;
}

}  // namespace orvek
