// The hazard movie's core: the running hazard against the analysis, the last frame and the
// display ranges.
#include "model/MovieHazard.h"

#include <gmock/gmock.h>

#include <memory>
#include <tuple>
#include <vector>

#include "ErrorMessage.h"
#include "ShippedParameters.h"
#include "model/CochlearModel.h"
#include "model/Friedlander.h"
#include "model/HazardAnalysis.h"
#include "model/MoviePlayback.h"

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
    EXPECT_THAT(MessageOf([&] { MovieHazard{bad}; }), ::testing::HasSubstr("line 59")) << count;
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

// The movie keys: Up to a delay of 1 and no lower, Down, Enter pausing and resuming where it
// stopped, Home ending the run for one restart (a second Home changes nothing), End, a replaced
// run stopping, and Cancel clearing the restart and the pause.
TEST(MoviePlaybackTest, KeysAndCancel) {
  MoviePlayback movie;
  for (int i = 0; i < 15; ++i) movie.Key(MovieKey::Up);
  movie.Key(MovieKey::Down);
  const std::uint64_t run = movie.Begin(100);
  EXPECT_EQ(movie.DelayMs(), 2);  // kept across runs
  movie.Advance();
  movie.Key(MovieKey::Enter);
  EXPECT_TRUE(movie.Paused());
  movie.Key(MovieKey::Enter);
  EXPECT_EQ(std::tuple(movie.Paused(), movie.Frame()), std::tuple(false, 2));
  movie.Key(MovieKey::Home);  // the frame being drawn becomes the last one
  movie.Advance();
  movie.Key(MovieKey::Home);
  EXPECT_EQ(std::tuple(movie.Frame(), movie.RestartPending(), movie.Playing(run)),
            std::tuple(100, true, false));
  movie.ClearRestart();
  const std::uint64_t again = movie.Begin(100);
  EXPECT_FALSE(movie.Playing(run));
  movie.Key(MovieKey::End);
  EXPECT_EQ(std::tuple(movie.Frame(), movie.RestartPending(), movie.Playing(again)),
            std::tuple(99, false, true));
  movie.Key(MovieKey::Enter);
  movie.Key(MovieKey::Home);
  movie.Cancel();
  EXPECT_EQ(std::tuple(movie.Playing(again), movie.RestartPending(), movie.Paused()),
            std::tuple(false, false, false));
}

}  // namespace
}  // namespace orvek
