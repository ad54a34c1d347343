// The hazard movie's core: the running hazard against the analysis, the last frame and the
// display ranges.
#include "model/MovieHazard.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>

#include "ErrorMessage.h"
#include "ShippedParameters.h"
#include "model/CochlearModel.h"
#include "model/Friedlander.h"
#include "model/HazardAnalysis.h"

namespace orvek {
namespace {

using test::ShippedParameters;

// The movie applies the analysis' rule to frames 1 .. last - 1 only (never frame 0, the padding or
// the end of a record longer than its transform), so each running hazard is the rule over the
// visited frames. It equals the analysis' single-precision hazard bit for bit when the unvisited
// frames are quiet (the 8192-sample record), and is otherwise never larger.
TEST(MovieHazardTest, RunningHazardAtTheLastFrameIsTheAnalysisHazard) {
  TModelParameters p = ShippedParameters();
  // samples, MovieLastFrame (N - 1 when the transform is the shorter), quiet at both ends
  for (const auto& [samples, lastFrame, quietEnds] :
       {std::tuple{8192, 8191, true}, std::tuple{3000, 2999, false},
        std::tuple{2800, 2047, false}}) {
    const std::vector<float> pressure = FriedlanderSamples({.Samples = samples});
    TWaveform w(8192);
    std::copy(pressure.begin(), pressure.end(), w.Samples.data());
    w.LastSampleIndex = samples - 1;
    w.SampleInterval = 1.0f / 200000.0f;
    auto store = std::make_unique<MovieFrameStore>();
    const MuscleTiming timing = ComputeMuscleTiming(MuscleDelay(Listener::Warned, p),
                                                    w.SampleInterval, p.MuscleTimeConstant);
    const HazardResult result = CalculateHazard(w, 1, timing, p, *store, std::nullopt);
    ASSERT_GT(result.Cochlea.Hazard, 0.1f) << samples;  // hazardous, so the sums mean something

    const std::int32_t last = MovieLastFrame(w.LastSampleIndex, result.Cochlea.TransformLength);
    ASSERT_EQ(last, lastFrame);
    MovieHazard hazard(p);
    for (std::int32_t f = 1; f < last; ++f) hazard.Advance(*store, f);
    for (int place = 1; place <= p.PlaceCount; ++place) {
      SCOPED_TRACE(testing::Message() << samples << " place " << place);
      std::vector<float> visited;
      for (std::int32_t f = 1; f < last; ++f) visited.push_back(store->Frame(f, 1 + place));
      EXPECT_EQ(hazard.Sum(place),
                PlaceHazard(visited.data(), last - 1, HazardPlaces(p)[place - 1].Gain,
                            p.HazardThreshold, p.HazardExponent));
      const float running = static_cast<float>(hazard.Sum(place));
      EXPECT_TRUE(quietEnds ? running == store->PlaceHazard(place)
                            : running <= store->PlaceHazard(place));
    }
  }
  TModelParameters bad = p;
  for (const int count : {0, 24}) {  // none, or more places than the frames hold
    bad.PlaceCount = count;
    EXPECT_NE(MessageOf([&] { MovieHazard{bad}; }).find("line 59"), std::string::npos) << count;
  }
}

// Slots of places beyond the analysis' count may hold values of an earlier run; they must not
// widen the display ranges.
TEST(MovieHazardTest, ExtremesCoverTheAnalysedPlacesOnly) {
  auto store = std::make_unique<MovieFrameStore>();
  for (const auto& [place, hazard, largest, smallest] :
       {std::tuple{1, 0.5f, 3.0f, -1.0f}, {2, 2.0f, 1.0f, -4.0f}, {3, 1.0f, 2.0f, -2.0f}}) {
    store->PlaceHazard(place) = hazard;
    store->PlaceDisplacementMax(place) = largest;
    store->PlaceDisplacementMin(place) = smallest;
  }
  store->PlaceHazard(23) = store->PlaceDisplacementMax(23) = 99.0f;  // stale
  store->PlaceDisplacementMin(23) = -99.0f;
  const MovieExtremes e = FindMovieExtremes(*store, 3);
  EXPECT_TRUE(e.HazardMax == 2.0f && e.DisplacementMax == 3.0f && e.DisplacementMin == -4.0f);
}

}  // namespace
}  // namespace orvek
