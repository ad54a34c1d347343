#include "model/CochlearModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <numeric>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "waveform/OrvekError.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
using Complex = std::complex<double>;

TModelParameters Shipped() {
  TModelParameters p;
  LoadModelParameters(fs::path(ORVEK_DATA_DIR) / "HUMANEAR.PRM", p);
  DeriveModelConstants(p);
  return p;
}

// Stapes displacement (um) of a decaying 2 kHz tone, loud enough to be hazardous.
std::vector<float> Tone(int count, float dt) {
  std::vector<float> x(count);
  for (int i = 0; i < count; ++i) {
    const double t = i * static_cast<double>(dt);
    x[i] = static_cast<float>(5.0 * std::exp(-t / 0.002) *
                              std::sin(2.0 * std::numbers::pi * 2000.0 * t));
  }
  return x;
}

class CochlearModelTest : public ::testing::Test {
 protected:
  static constexpr float kDt = 1.0f / 50000.0f;

  // Runs the model on `stapes` (samples 0 .. last); the buffers beyond `last` hold garbage that
  // must not be read.
  CochlearResult Run(TModelParameters& p, const std::vector<float>& stapes, int last,
                     int threads = 0, const std::optional<fs::path>& file = std::nullopt) {
    const std::size_t size = std::max<std::size_t>(stapes.size(), CochlearTransformLength(last));
    work_.assign(size, 99.0f);
    pressure_.assign(size, 99.0f);
    for (int i = 0; i <= last; ++i) {
      work_[i] = stapes[i];
      pressure_[i] = 0.01f * i;
    }
    return CochlearModel(pressure_.data(), work_.data(), last, kDt, 3.5f, -2.5f, p, *movie_, file,
                         threads);
  }

  std::unique_ptr<MovieFrameStore> movie_ = std::make_unique<MovieFrameStore>();
  std::vector<float> work_, pressure_;
};

TEST(CochlearTransformLengthTest, RoundsLog2ToNearest) {
  const std::pair<int, int> cases[] = {
      {2999, 4096}, {2799, 2048}, {1, 2}, {2, 4}, {1447, 1024}, {1448, 2048}, {1048575, 1 << 20}};
  for (const auto& [last, length] : cases)
    EXPECT_EQ(CochlearTransformLength(last), length) << last + 1 << " samples";
}

struct HazardCase {
  const char* name;
  std::vector<float> y;
  double gain, threshold, exponent, expected;
};

TEST(PlaceHazardTest, HalfCycleRule) {
  const HazardCase cases[] = {
      {"peak equal to threshold adds nothing", {0, 10, 0}, 0.1, 1, 0, 0},
      {"exponent 0 counts the hazardous half-cycles", {0, 30, 0, 50, -1, 5, 0}, 0.1, 1, 0, 2},
      {"exponent 1 sums the excesses", {0, 30, 0, 50, -1}, 0.1, 1, 1, 6},
      {"exponent 2", {0, 30, 0, 50, -1}, 0.1, 1, 2, 20},
      {"open last half-cycle adds nothing", {0, 30, 0, 50}, 0.1, 1, 1, 2},
      {"largest sample of the half-cycle counts", {-1, 20, 40, 30, 0}, 0.1, 1, 2, 9},
      {"gain applied before the threshold", {0, 15, 0}, 0.1, 1, 1, 0.5},
      {"gain too small to reach the threshold", {0, 15, 0}, 0.05, 1, 1, 0},
      {"first sample positive starts a half-cycle", {30, 0}, 0.1, 1, 1, 2},
      {"negative samples add nothing", {-30, -50, -10}, 0.1, 1, 1, 0},
  };
  for (const HazardCase& c : cases)
    EXPECT_NEAR(
        PlaceHazard(c.y.data(), static_cast<int>(c.y.size()), c.gain, c.threshold, c.exponent),
        c.expected, 1e-9)
        << c.name;
}

TEST(WkbComplexTest, SquareRootBranches) {
  struct Case {
    Complex z, root;
  };
  const Case cases[] = {
      {{4, 0}, {2, 0}},
      {{3, 4}, {2, 1}},
      {{-3, 4}, {1, 2}},
      {{-3, -4}, {1, -2}},
      {{0, 2}, {1, 1}},
      {{0, 0}, {0, 0}},
      {{4, 1e-5}, {2, 2.5e-6}},     // nearly real, Re > 0
      {{-4, 0}, {0, 2}},            // negative real: upper root
      {{-4, -1e-4}, {2.5e-5, 2}},   // nearly real, Re < 0: upper half plane whatever the sign
      {{-4, -1e-3}, {2.5e-4, -2}},  // outside the band: the principal root again
  };
  for (const Case& c : cases) {
    const Complex root = WkbSquareRoot(c.z);
    EXPECT_NEAR(root.real(), c.root.real(), 1e-6 * std::abs(c.root.real()) + 1e-15) << c.z;
    EXPECT_NEAR(root.imag(), c.root.imag(), 1e-6 * std::abs(c.root.imag()) + 1e-15) << c.z;
  }
}

TEST(WkbComplexTest, ArgumentAndLogarithm) {
  const double pi = std::numbers::pi;
  const std::pair<Complex, double> arguments[] = {
      {{1, 1}, pi / 4}, {{-1, 1}, 3 * pi / 4}, {{-1, -1}, -3 * pi / 4},
      {{-1, 0}, pi},    {{0, 2}, pi / 2},      {{0, -2}, -pi / 2},
      {{0, 0}, 0},      {{2, 0}, 0},           {{1, -1}, -pi / 4}};
  for (const auto& [z, argument] : arguments) EXPECT_NEAR(WkbArgument(z), argument, 1e-15) << z;
  EXPECT_EQ(WkbLog({0, 0}), Complex(std::log(1e-20), 0));
  EXPECT_NEAR(WkbLog({-std::exp(2.0), 0}).real(), 2.0, 1e-15);
  EXPECT_NEAR(WkbLog({-std::exp(2.0), 0}).imag(), pi, 1e-15);
}

// With the shipped values and with the derived form, a place responds most near its
// characteristic frequency, and far less above it than below it.
TEST(CochlearTransferTest, PlacePeaksNearItsCharacteristicFrequency) {
  const int n = 65536;
  const float dt = 1e-5f;
  const double df = 1.0 / (n * static_cast<double>(dt));
  for (const float mode : {1.0f, 0.0f}) {
    TModelParameters p = Shipped();
    p.WkbMode = mode;
    const auto termination = CochlearTermination(n, dt, p);
    for (const double x : {0.5, 1.0, 1.5, 2.0}) {
      const auto h = CochlearTransfer(x, n, dt, p, termination);
      ASSERT_EQ(h.size(), static_cast<std::size_t>(n / 2 + 1));
      EXPECT_EQ(h[0], Complex(0, 0));
      EXPECT_EQ(h[n / 2].imag(), 0.0);
      const double cf = p.BaseFrequency * std::exp(-x / p.PlaceLengthConstant);
      const auto peak = std::max_element(
          h.begin(), h.end(), [](Complex a, Complex b) { return std::abs(a) < std::abs(b); });
      const double peakFrequency = (peak - h.begin()) * df, peakSize = std::abs(*peak);
      const auto at = [&](double f) { return std::abs(h[std::lround(f / df)]) / peakSize; };
      SCOPED_TRACE("mode " + std::to_string(mode) + " x " + std::to_string(x));
      EXPECT_GT(peakFrequency, cf / 2);
      EXPECT_LT(peakFrequency, cf * 2);
      EXPECT_LT(at(2 * cf), 1e-2);
      EXPECT_LT(at(cf / 4), 0.5);
    }
  }
}

TEST(CochlearTransferTest, DerivedFormSetsBmMass) {
  TModelParameters p = Shipped();
  const float fileMass = p.BmMass;
  CochlearTermination(64, 1e-4f, p);
  EXPECT_EQ(p.BmMass, fileMass);
  p.WkbMode = 0.0f;
  CochlearTermination(64, 1e-4f, p);
  const double omega = 2 * std::numbers::pi * p.BaseFrequency;
  EXPECT_FLOAT_EQ(p.BmMass, static_cast<float>(p.BmStiffness / (omega * omega)));
}

TEST(CochlearTransferTest, ReflectionCancelsTheWaveAtTheReferencePlace) {
  const int n = 4096;
  const float dt = 1e-4f;
  TModelParameters p = Shipped();
  p.ReflectionMode = 0.0f;
  const auto termination = CochlearTermination(n, dt, p);
  const std::vector<Complex> ones(n / 2 + 1, 1.0);
  const auto reflected = CochlearTransfer(p.ReferencePlace, n, dt, p, termination);
  const auto open = CochlearTransfer(p.ReferencePlace, n, dt, p, ones);
  const double cf = p.BaseFrequency * std::exp(-p.ReferencePlace / p.PlaceLengthConstant);
  for (int k = 1; k * (1.0 / (n * dt)) < cf; ++k)
    EXPECT_LT(std::abs(reflected[k]), 1e-12 * std::abs(open[k])) << "bin " << k;

  p.ReflectionMode = 1.0f;
  const auto none = CochlearTermination(n, dt, p);
  EXPECT_TRUE(std::all_of(none.begin() + 1, none.end(), [](Complex r) { return r == 1.0; }));
}

TEST_F(CochlearModelTest, ReferencePlaceMattersOnlyWithReflection) {
  const std::vector<float> stapes = Tone(4096, kDt);
  for (const float reflection : {0.0f, 1.0f}) {
    TModelParameters p = Shipped();
    p.ReflectionMode = reflection;
    const CochlearResult near = Run(p, stapes, 4095);
    p.ReferencePlace = 2.0f;  // gain ratio 1: the reference length does not scale the gain
    const CochlearResult far = Run(p, stapes, 4095);
    EXPECT_EQ(near.Hazard == far.Hazard, reflection != 0.0f) << "reflection mode " << reflection;
  }
}

TEST_F(CochlearModelTest, PaddingAndTruncation) {
  TModelParameters p = Shipped();
  const std::vector<float> stapes = Tone(3000, kDt);
  const CochlearResult padded = Run(p, stapes, 2999);
  EXPECT_EQ(padded.TransformLength, 4096);
  for (int i = 3000; i < 4096; ++i) {
    ASSERT_EQ(movie_->Frame(i, 0), 0.0f) << i;
    ASSERT_EQ(movie_->Frame(i, 1), 0.0f) << i;
  }
  // What the buffers hold beyond the record does not matter: it is padded with zeros.
  std::vector<float> zeros = stapes;
  zeros.resize(4096, 0.0f);
  EXPECT_EQ(Run(p, zeros, 4095).Hazard, padded.Hazard);
  // 2800 samples use the first 2048 only.
  const CochlearResult cut = Run(p, stapes, 2799);
  EXPECT_EQ(cut.TransformLength, 2048);
  std::vector<float> changedTail = stapes;
  std::fill(changedTail.begin() + 2048, changedTail.end(), 1000.0f);
  EXPECT_EQ(Run(p, changedTail, 2799).Hazard, cut.Hazard);
}

TEST_F(CochlearModelTest, MovieStoreLayout) {
  TModelParameters p = Shipped();
  const std::vector<float> stapes = Tone(3000, kDt);
  const CochlearResult result = Run(p, stapes, 2999);
  const int n = result.TransformLength;
  EXPECT_EQ(movie_->AxisMax(), 3.5f);
  EXPECT_EQ(movie_->AxisMin(), -2.5f);
  EXPECT_EQ(movie_->StapesMax(), *std::max_element(stapes.begin(), stapes.end()));
  EXPECT_EQ(movie_->StapesMin(), *std::min_element(stapes.begin(), stapes.end()));
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(movie_->Frame(i, 0), 0.01f * i);
    ASSERT_EQ(movie_->Frame(i, 1), stapes[i]);
  }
  for (int place = 1; place <= p.PlaceCount; ++place) {
    std::vector<float> y(n);
    for (int i = 0; i < n; ++i) y[i] = movie_->Frame(i, 1 + place);
    EXPECT_EQ(movie_->PlaceHazard(place), result.Places[place - 1].Hazard);
    EXPECT_EQ(movie_->PlaceDisplacementMax(place), *std::max_element(y.begin(), y.end()));
    EXPECT_EQ(movie_->PlaceDisplacementMin(place), *std::min_element(y.begin(), y.end()));
    EXPECT_FLOAT_EQ(result.Places[place - 1].Hazard,
                    PlaceHazard(y.data(), n, p.HazardGain, p.HazardThreshold, p.HazardExponent));
    if (place == p.PlaceCount) {
      EXPECT_TRUE(std::equal(y.begin(), y.end(), work_.begin()));
    }
  }
  // An all-positive record counts its zero padding in the stapes range.
  std::vector<float> positive(3000, 2.0f);
  Run(p, positive, 2999);
  EXPECT_EQ(movie_->StapesMax(), 2.0f);
  EXPECT_EQ(movie_->StapesMin(), 0.0f);
}

TEST_F(CochlearModelTest, HazardIsTheLargestPlaceNotTheSum) {
  TModelParameters p = Shipped();
  const CochlearResult result = Run(p, Tone(4096, kDt), 4095);
  ASSERT_EQ(result.Places.size(), 23u);
  const auto worst = std::max_element(result.Places.begin(), result.Places.end(),
                                      [](auto& a, auto& b) { return a.Hazard < b.Hazard; });
  EXPECT_EQ(result.Hazard, worst->Hazard);
  EXPECT_EQ(result.WorstPlace, worst->Place);
  const double sum = std::accumulate(result.Places.begin(), result.Places.end(), 0.0,
                                     [](double s, auto& place) { return s + place.Hazard; });
  EXPECT_GT(sum, 1.5 * result.Hazard);
  // Equal maxima: the first place wins.
  p.PlaceCount = 2;
  p.LastPlace = p.FirstPlace = 1.0f;
  const CochlearResult tie = Run(p, Tone(4096, kDt), 4095);
  EXPECT_GT(tie.Hazard, 0.0f);
  EXPECT_EQ(tie.Places[0].Hazard, tie.Places[1].Hazard);
  EXPECT_EQ(tie.WorstPlace, 1);
}

TEST_F(CochlearModelTest, SinglePlaceLiesAtFirstPlace) {
  TModelParameters p = Shipped();
  const std::vector<float> stapes = Tone(4096, kDt);
  const float firstOfMany = Run(p, stapes, 4095).Places[0].Hazard;
  p.PlaceCount = 1;
  p.LastPlace = 1e30f;
  const CochlearResult single = Run(p, stapes, 4095);
  ASSERT_EQ(single.Places.size(), 1u);
  EXPECT_EQ(single.Places[0].DistanceCm, static_cast<double>(p.FirstPlace));
  EXPECT_EQ(single.Places[0].Hazard, firstOfMany);
}

// With threshold 0 and exponent 1 the hazard is linear in the gain, so it shows the gain of each
// place: HazardGain * HazardGainRatio^(x / ReferencePlace).
TEST_F(CochlearModelTest, GainGrowsWithDistance) {
  TModelParameters p = Shipped();
  p.HazardThreshold = 0.0f;
  p.HazardExponent = 1.0f;
  const std::vector<float> stapes = Tone(4096, kDt);
  const CochlearResult flat = Run(p, stapes, 4095);
  p.HazardGainRatio = 3.0f;
  const CochlearResult growing = Run(p, stapes, 4095);
  for (int i = 0; i < p.PlaceCount; ++i) {
    const double x = flat.Places[i].DistanceCm;
    EXPECT_NEAR(growing.Places[i].Hazard / flat.Places[i].Hazard,
                std::pow(3.0, x / p.ReferencePlace), 1e-5 * std::pow(3.0, x / p.ReferencePlace))
        << "x " << x;
  }
}

TEST_F(CochlearModelTest, ThreadCountDoesNotChangeAnyResult) {
  TModelParameters p = Shipped();
  const std::vector<float> stapes = Tone(3000, kDt);
  const auto frames = [&] {
    std::vector<float> all;
    for (int i = 0; i < 4096; ++i)
      for (int v = 0; v < MovieFrameStore::kFrameValues; ++v) all.push_back(movie_->Frame(i, v));
    for (int place = 1; place <= 23; ++place)
      all.insert(all.end(), {movie_->PlaceHazard(place), movie_->PlaceDisplacementMax(place),
                             movie_->PlaceDisplacementMin(place)});
    all.insert(all.end(), work_.begin(), work_.begin() + 4096);
    return all;
  };
  const CochlearResult serial = Run(p, stapes, 2999, 1);
  const std::vector<float> serialFrames = frames();
  for (const int threads : {2, 3, 7}) {
    const CochlearResult parallel = Run(p, stapes, 2999, threads);
    EXPECT_EQ(parallel.Hazard, serial.Hazard) << threads;
    EXPECT_EQ(parallel.WorstPlace, serial.WorstPlace) << threads;
    EXPECT_TRUE(frames() == serialFrames) << threads << " threads";
  }
}

TEST_F(CochlearModelTest, HazardFileText) {
  struct Case {
    int places;
    float baseFrequency;
    const char* text;
  };
  const Case cases[] = {
      {3, 20677.0f,
       "BIndex Freq(kHz) Hazard(AHU) Distance(cm)\r\n"
       "   1    18.01      0.00000      0.100\r\n"
       "   2     1.84      0.00000      1.750\r\n"
       "   3     0.19      0.00000      3.400\r\n"},
      {2, 2e8f,  // frequencies widen their field
       "BIndex Freq(kHz) Hazard(AHU) Distance(cm)\r\n"
       "   1    174198.56      0.00000      0.100\r\n"
       "   2    1826.10      0.00000      3.400\r\n"},
  };
  test::TempFolder folder;
  for (const Case& c : cases) {
    TModelParameters p = Shipped();
    p.PlaceCount = c.places;
    p.BaseFrequency = c.baseFrequency;
    const CochlearResult result =
        Run(p, std::vector<float>(1024, 0.0f), 1023, 0, folder.Path() / "SHOT.HAZ");
    EXPECT_FALSE(result.HazardFileError);
    EXPECT_EQ(test::TempFolder::Read(folder.Path() / "SHOT.HAZ"), c.text);
    EXPECT_EQ(folder.EntryCount(), 1);
  }
  // A real run: the hazard column reads back as the place hazards.
  TModelParameters p = Shipped();
  const CochlearResult result = Run(p, Tone(4096, kDt), 4095, 0, folder.Path() / "SHOT.HAZ");
  const std::string text = test::TempFolder::Read(folder.Path() / "SHOT.HAZ");
  std::size_t at = text.find("\r\n") + 2;
  for (const PlaceResult& place : result.Places) {
    const std::size_t end = text.find("\r\n", at);
    const std::string line = text.substr(at, end - at);
    at = end + 2;
    EXPECT_EQ(line.size(), 37u) << line;
    EXPECT_NEAR(std::stod(line.substr(15, 11)), place.Hazard, 5e-6 + 1e-6 * place.Hazard) << line;
  }
}

TEST_F(CochlearModelTest, UnwritableHazardFileIsReportedAndTheOldOneKept) {
  test::TempFolder folder;
  const fs::path file = folder.Path() / "SHOT.HAZ";
  folder.Write("SHOT.HAZ", "old table");
  fs::permissions(folder.Path(),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  TModelParameters p = Shipped();
  const CochlearResult result = Run(p, Tone(4096, kDt), 4095, 0, file);
  fs::permissions(folder.Path(), fs::perms::owner_all, fs::perm_options::add);
  ASSERT_TRUE(result.HazardFileError);
  EXPECT_NE(result.HazardFileError->find(file.string()), std::string::npos);
  EXPECT_NE(result.HazardFileError->find("read-only"), std::string::npos);
  EXPECT_GT(result.Hazard, 0.0f);
  EXPECT_EQ(test::TempFolder::Read(file), "old table");
  EXPECT_EQ(folder.EntryCount(), 1);

  const CochlearResult missing = Run(p, Tone(4096, kDt), 4095, 0, folder.Path() / "no" / "A.HAZ");
  ASSERT_TRUE(missing.HazardFileError);
  EXPECT_NE(missing.HazardFileError->find("does not exist"), std::string::npos);
}

TEST_F(CochlearModelTest, BadValuesAreRefusedWithTheirSource) {
  struct Case {
    const char* name;
    void (*change)(TModelParameters&);
    const char* expected;  // part of the message
  };
  const Case cases[] = {
      {"zero damping divisor", [](TModelParameters& p) { p.DampingDivisor = 0.0f; }, "place 1 "},
      {"zero divisor with reflection",
       [](TModelParameters& p) {
         p.DampingDivisor = 0.0f;
         p.ReflectionMode = 0.0f;
       },
       "reference place"},
      {"no places", [](TModelParameters& p) { p.PlaceCount = 0; }, "1 to 23"},
      {"too many places", [](TModelParameters& p) { p.PlaceCount = 24; }, "1 to 23"},
  };
  for (const Case& c : cases) {
    TModelParameters p = Shipped();
    c.change(p);
    try {
      Run(p, Tone(4096, kDt), 4095);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const OrvekError& e) {
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("HUMANEAR.PRM"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace orvek
