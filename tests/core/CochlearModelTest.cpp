#include "model/CochlearModel.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "ErrorMessage.h"
#include "ShippedParameters.h"
#include "TempFolder.h"
#include "base/OrvekError.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
using Complex = std::complex<double>;

using test::ShippedParameters;

// Stapes displacement (um) of a decaying 2 kHz tone, loud enough to be hazardous.
std::vector<float> Tone(int count, float dt) {
  std::vector<float> x(count);
  for (int i = 0; i < count; ++i)
    x[i] = static_cast<float>(5.0 * std::exp(-i * double{dt} / 0.002) *
                              std::sin(2.0 * std::numbers::pi * 2000.0 * i * double{dt}));
  return x;
}

class CochlearModelTest : public ::testing::Test {
 protected:
  static constexpr float kDt = 1.0f / 50000.0f;

  // Runs the model on `stapes` (samples 0 .. last); the buffers beyond `last` hold garbage that
  // must not be read.
  CochlearResult Run(TModelParameters& p, const std::vector<float>& stapes, int last,
                     int threads = 0, const std::optional<fs::path>& file = std::nullopt) {
    const std::optional<OutputFile> output =
        file ? std::optional<OutputFile>(OutputFile{*file, {}}) : std::nullopt;
    const std::size_t size = std::max<std::size_t>(stapes.size(), CochlearTransformLength(last));
    work_.assign(size, 99.0f);
    pressure_.assign(size, 99.0f);
    for (int i = 0; i <= last; ++i) {
      work_[i] = stapes[i];
      pressure_[i] = 0.01f * i;
    }
    return CochlearModel(pressure_.data(), work_.data(), last, kDt, 3.5f, -2.5f, p, *movie_, output,
                         threads);
  }

  std::unique_ptr<MovieFrameStore> movie_ = std::make_unique<MovieFrameStore>();
  std::vector<float> work_, pressure_;
};

TEST(CochlearTransformLengthTest, RoundsLog2ToNearest) {
  for (const auto& [last, length] : {std::pair{1, 2}, std::pair{1447, 1024}, std::pair{1448, 2048}})
    EXPECT_EQ(CochlearTransformLength(last), length) << last + 1 << " samples";
}

TEST(PlaceHazardTest, HalfCycleRule) {
  const struct {
    const char* name;
    std::vector<float> y;
    double gain, threshold, exponent, expected;
  } cases[] = {
      {"peak equal to threshold adds nothing", {0, 10, 0}, 0.1, 1, 0, 0},
      {"exponent 0 counts the hazardous half-cycles", {0, 30, 0, 50, -1, 5, 0}, 0.1, 1, 0, 2},
      {"open last half-cycle adds nothing", {0, 30, 0, 50}, 0.1, 1, 1, 2},
      {"largest sample of the half-cycle counts", {-1, 20, 40, 30, 0}, 0.1, 1, 2, 9},
      {"first sample positive starts a half-cycle", {30, 0}, 0.1, 1, 1, 2}};
  for (const auto& c : cases)
    EXPECT_NEAR(
        PlaceHazard(c.y.data(), static_cast<int>(c.y.size()), c.gain, c.threshold, c.exponent),
        c.expected, 1e-9)
        << c.name;
}

// The reflecting cochlea (ReflectionMode 0) reflects the wave at the reference place, in both
// forms of the amplitude: the membrane does not move there, at any frequency, while elsewhere the
// reflection changes the transfer.
TEST(CochlearTransferTest, ReflectingCochleaStandsStillAtTheReferencePlace) {
  const int n = 16384;
  const float dt = 2e-5f;
  for (const float mode : {1.0f, 0.0f}) {
    TModelParameters reflecting = ShippedParameters(), open = reflecting;
    reflecting.WkbMode = open.WkbMode = mode;
    reflecting.ReferencePlace = open.ReferencePlace = 2.0f;
    reflecting.ReflectionMode = 0.0f;
    const auto termination = CochlearTermination(n, dt, reflecting);
    const std::vector<Complex> none(n / 2 + 1, Complex(1, 0));
    for (const double x : {1.0, 2.0}) {
      const auto reflected = CochlearTransfer(x, n, dt, reflecting, termination);
      const auto unreflected = CochlearTransfer(x, n, dt, open, none);
      double largest = 0, moved = 0, change = 0;
      for (std::size_t k = 1; k < reflected.size(); ++k) {
        largest = std::max(largest, std::abs(unreflected[k]));
        moved = std::max(moved, std::abs(reflected[k]));
        change = std::max(change, std::abs(reflected[k] - unreflected[k]));
      }
      EXPECT_EQ(moved < 1e-5 * largest, x == 2.0) << "mode " << mode << ", x " << x;
      EXPECT_GT(change, 0.01 * largest) << "mode " << mode << ", x " << x;
    }
  }
}

TEST_F(CochlearModelTest, PaddingTruncationAndMovieStoreLayout) {
  TModelParameters p = ShippedParameters();
  const std::vector<float> stapes = Tone(3000, kDt);
  const CochlearResult result = Run(p, stapes, 2999);
  const int n = result.TransformLength;  // 4096
  EXPECT_EQ(movie_->StapesMax(), *std::max_element(stapes.begin(), stapes.end()));
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(movie_->Frame(i, 0), i < 3000 ? 0.01f * i : 0.0f) << i;
    ASSERT_EQ(movie_->Frame(i, 1), i < 3000 ? stapes[i] : 0.0f) << i;
  }
  for (int place = 1; place <= p.PlaceCount; ++place) {
    std::vector<float> y(n);
    for (int i = 0; i < n; ++i) y[i] = movie_->Frame(i, 1 + place);
    EXPECT_EQ(movie_->PlaceHazard(place), result.Places[place - 1].Hazard);
    EXPECT_EQ(movie_->PlaceDisplacementMax(place), *std::max_element(y.begin(), y.end()));
    EXPECT_EQ(movie_->PlaceDisplacementMin(place), *std::min_element(y.begin(), y.end()));
    EXPECT_FLOAT_EQ(result.Places[place - 1].Hazard,
                    PlaceHazard(y.data(), n, p.HazardGain, p.HazardThreshold, p.HazardExponent));
    EXPECT_TRUE(place < p.PlaceCount || std::equal(y.begin(), y.end(), work_.begin()));
  }
  // What the buffers hold beyond the record does not matter: it is padded with zeros (above), or
  // 2800 samples use the first 2048 only.
  const CochlearResult cut = Run(p, stapes, 2799);
  std::vector<float> changedTail = stapes;
  std::fill(changedTail.begin() + 2048, changedTail.end(), 1000.0f);
  EXPECT_EQ(Run(p, changedTail, 2799).Hazard, cut.Hazard);
  // An all-positive record counts its zero padding in the stapes range.
  Run(p, std::vector<float>(3000, 2.0f), 2999);
  EXPECT_EQ(movie_->StapesMax(), 2.0f);
  EXPECT_EQ(movie_->StapesMin(), 0.0f);
}

TEST_F(CochlearModelTest, HazardIsTheLargestPlaceWhateverTheThreadCount) {
  TModelParameters p = ShippedParameters();
  const std::vector<float> stapes = Tone(4096, kDt);
  const CochlearResult result = Run(p, stapes, 4095);
  const auto worst = std::max_element(result.Places.begin(), result.Places.end(),
                                      [](auto& a, auto& b) { return a.Hazard < b.Hazard; });
  EXPECT_EQ(result.Hazard, worst->Hazard);
  EXPECT_EQ(result.WorstPlace, worst->Place);
  for (const int threads : {1, 7}) {  // each place's transfer and hazard as the default run's
    const CochlearResult other = Run(p, stapes, 4095, threads);
    for (std::size_t i = 0; i < other.Places.size(); ++i)
      EXPECT_EQ(other.Places[i].Hazard, result.Places[i].Hazard) << threads << " threads, " << i;
  }
  // One place lies at FirstPlace whatever LastPlace says.
  p.PlaceCount = 1;
  p.LastPlace = 1e30f;
  const CochlearResult single = Run(p, stapes, 4095);
  ASSERT_EQ(single.Places.size(), 1u);
  EXPECT_EQ(single.Places[0].DistanceCm, static_cast<double>(p.FirstPlace));
  EXPECT_EQ(single.Places[0].Hazard, result.Places[0].Hazard);
  // Equal maxima: the first place wins.
  p.PlaceCount = 2;
  p.LastPlace = p.FirstPlace = 1.0f;
  const CochlearResult tie = Run(p, stapes, 4095);
  EXPECT_GT(tie.Hazard, 0.0f);
  EXPECT_EQ(tie.Places[0].Hazard, tie.Places[1].Hazard);
  EXPECT_EQ(tie.WorstPlace, 1);
}

TEST_F(CochlearModelTest, HazardFileText) {
  test::TempFolder folder;
  const fs::path file = folder.Path() / "SHOT.HAZ";
  for (const auto& [baseFrequency, text] :
       {std::pair{20677.0f,
                  "BIndex Freq(kHz) Hazard(AHU) Distance(cm)\r\n"
                  "   1    18.01      0.00000      0.100\r\n"
                  "   2     0.19      0.00000      3.400\r\n"},
        std::pair{2e8f,  // frequencies widen their field
                  "BIndex Freq(kHz) Hazard(AHU) Distance(cm)\r\n"
                  "   1    174198.56      0.00000      0.100\r\n"
                  "   2    1826.10      0.00000      3.400\r\n"}}) {
    TModelParameters p = ShippedParameters();
    p.PlaceCount = 2, p.FirstPlace = 0.1f, p.LastPlace = 3.4f, p.BaseFrequency = baseFrequency;
    EXPECT_FALSE(Run(p, std::vector<float>(1024, 0.0f), 1023, 0, file).HazardFileError);
    EXPECT_EQ(test::TempFolder::Read(file), text);
  }
}

// How the write fails is SafeWriteTest's; here, that the hazard of a run stands when it does.
TEST_F(CochlearModelTest, AnUnwritableHazardFileIsReportedAndTheHazardStands) {
  TModelParameters p = ShippedParameters();
  const test::TempFolder folder;
  const CochlearResult result = Run(p, Tone(4096, kDt), 4095, 0, folder.Path() / "no" / "A.HAZ");
  ASSERT_TRUE(result.HazardFileError);
  EXPECT_NE(result.HazardFileError->find("does not exist"), std::string::npos);
  EXPECT_GT(result.Hazard, 0.0f);
}

TEST_F(CochlearModelTest, BadValuesAreRefusedWithTheirSource) {
  const std::pair<void (*)(TModelParameters&), const char*> cases[] = {
      {[](TModelParameters& p) { p.DampingDivisor = 0.0f; }, "place 1 "},
      {[](TModelParameters& p) { p.DampingDivisor = p.ReflectionMode = 0.0f; }, "reference place"},
      {[](TModelParameters& p) { p.PlaceCount = 24; }, "1 to 23"}};
  for (const auto& [change, expected] : cases) {
    TModelParameters p = ShippedParameters();
    change(p);
    const std::string message = MessageOf([&] { Run(p, Tone(4096, kDt), 4095); });
    EXPECT_THAT(message, ::testing::HasSubstr(expected));
    EXPECT_THAT(message, ::testing::HasSubstr("HUMANEAR.PRM"));
  }
}

}  // namespace
}  // namespace orvek
