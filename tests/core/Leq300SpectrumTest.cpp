#include "metrics/Leq300Spectrum.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "ErrorMessage.h"

namespace orvek {
namespace {

std::vector<float> Noise(int count, unsigned seed) {
  std::mt19937 generator(seed);
  std::normal_distribution<float> value(0.0f, 10.0f);
  std::vector<float> x(count);
  for (float& v : x) v = value(generator);
  return x;
}

Leq300Spectrum Spectrum(const std::vector<float>& x, double rate) {
  return ComputeLeq300Spectrum(x.data(), static_cast<std::int32_t>(x.size()),
                               static_cast<float>(1.0 / rate));
}

TEST(Leq300Spectrum, BandRangeFollowsRecordLengthAndSamplingRate) {
  // Rate, samples, first and last band: df = 1 Hz (50 kHz below band 47), 0.5 Hz (-3.01), 5.38 Hz
  // (22.05 kHz below band 44), 250 Hz (the shortest record at 1 kHz).
  const std::tuple<double, std::int32_t, int, int> cases[] = {
      {100000, 100000, 0, 45}, {48000, 96000, -3, 42}, {44100, 8191, 7, 42}, {1000, 4, 23, 25}};
  for (const auto& [rate, samples, first, last] : cases) {
    const Leq300Spectrum s = Spectrum(Noise(samples, 5), rate);
    EXPECT_EQ(std::tie(s.FirstBand, s.LastBand), std::tie(first, last)) << samples;
    ASSERT_EQ(s.BandEnergy.size(), static_cast<std::size_t>(last - first + 1));
    EXPECT_TRUE(
        std::ranges::all_of(s.BandEnergy, [](double e) { return e > 0 && std::isfinite(e); }));
  }
}

// A unit impulse has a flat spectrum: every bin holds c = 2 df dt^2 / 407 / Eref except 0 Hz (and
// the Nyquist bin of an even count), which hold c/2. The band energy is then the integral of the
// straight lines between bins, in closed form: a ramp from c/2 to c over the first bin, flat after.
TEST(Leq300Spectrum, FlatSpectrumGivesBandwidthOverDf) {
  for (const int count : {1000, 1001}) {
    const float dt = 1e-3f;
    std::vector<float> x(count, 0.0f);
    x[0] = 1.0f;
    const Leq300Spectrum s = ComputeLeq300Spectrum(x.data(), count, dt);
    const double df = s.Df;
    const double c = 2.0 * df * dt * dt / 407.0 / kLeq300ReferenceEnergy;
    const auto integral = [&](double f) {
      return f < df ? c * (0.5 * f + 0.25 * f * f / df) : c * (0.75 * df + (f - df));
    };
    ASSERT_EQ(s.FirstBand, 0) << count;  // bands 1 and 2 lie inside bin 1: a single trapezoid
    double largest = c;
    for (int band = s.FirstBand; band <= s.LastBand; ++band) {
      const double lo = BandCentreHz(band) * std::pow(10.0, -0.05);
      const double hi = BandCentreHz(band) * std::pow(10.0, 0.05);
      const double expected = (integral(hi) - integral(lo)) / df;
      EXPECT_NEAR(s.Band(band) / expected, 1.0, 1e-9) << count << " band " << band;
      largest = std::max(largest, expected);
    }
    EXPECT_NEAR(s.LargestValue / largest, 1.0, 1e-9) << count;
  }
}

// At 1 kHz the upper edge of band 25 lies beyond the last bin of 3 samples and in bin 2 of 4; at
// 200 kHz an odd count of 9 leaves the last band's edge past bin 4, 10 has bin 5.
TEST(Leq300Spectrum, RefusesRecordsTooShortOrNotFinite) {
  const std::tuple<int, double, bool> cases[] = {{0, 1000, true},   {2, 48000, true},
                                                 {3, 1000, true},   {4, 1000, false},
                                                 {9, 200000, true}, {10, 200000, false}};
  for (const auto& [count, rate, refused] : cases) {
    const std::vector<float> x = Noise(count, 9);
    if (refused)
      EXPECT_THAT(MessageOf([&] { Spectrum(x, rate); }),
                  ::testing::HasSubstr(std::to_string(count) + " samples at"));
    else
      EXPECT_NO_THROW(Spectrum(x, rate)) << count << " at " << rate;
  }
  std::vector<float> x = Noise(100, 1);
  x[99] = -std::numeric_limits<float>::infinity();
  EXPECT_THAT(MessageOf([&] { Spectrum(x, 1000); }), ::testing::HasSubstr("Sample 99 "));
  for (const float dt : {0.0f, -1e-3f, std::numeric_limits<float>::infinity()})
    EXPECT_THROW(ComputeLeq300Spectrum(x.data(), 50, dt), OrvekError) << dt;
}

// A level below 0 dB, a band without energy, numbers wider than their field (a whole shot's table
// is a golden run).
TEST(Leq300Spectrum, TobFileTextLayout) {
  Leq300Spectrum s;
  s.FirstBand = 20;
  s.LastBand = 22;
  s.BandEnergy = {1e10, 0.5, 0.0};
  std::string text = TobFileText(s);
  EXPECT_TRUE(text.ends_with("Leq(dB)\r\n 100.00\t  100.00\r\n 125.89\t   -3.01\r\n 158.49\t\r\n"))
      << text;
  s.FirstBand = s.LastBand = 50;
  s.BandEnergy = {1e100};
  text = TobFileText(s);
  EXPECT_TRUE(text.ends_with("\n100000.00\t 1000.00\r\n")) << text;
}

}  // namespace
}  // namespace orvek
