#include <gtest/gtest.h>

#include <cmath>

#include "waveform/Lcg32.h"

namespace orvek {
namespace {

TEST(Lcg32, FollowsTheRecurrenceModuloTwoToThe32) {
  Lcg32 rng(1);
  EXPECT_EQ(rng.Uniform(), 134775814.0 / 4294967296.0);
  EXPECT_EQ(rng.State(), 134775814u);
  rng.Uniform();
  EXPECT_EQ(rng.State(), 3698175007u);  // 134775814 * 134775813 + 1 mod 2^32
  rng.Seed(0xFFFFFFFFu);
  rng.Uniform();
  EXPECT_EQ(rng.State(), 0xFFFFFFFFu * 134775813u + 1u);
}

TEST(Lcg32, UniformsFillTheUnitInterval) {
  Lcg32 rng(1);
  constexpr int kDraws = 1'000'000;
  double sum = 0.0, low = 1.0, high = 0.0;
  for (int i = 0; i < kDraws; ++i) {
    const double r = rng.Uniform();
    sum += r;
    low = std::min(low, r);
    high = std::max(high, r);
  }
  EXPECT_GE(low, 0.0);
  EXPECT_LT(high, 1.0);
  EXPECT_NEAR(sum / kDraws, 0.5, 0.001);  // standard error 0.0003
}

TEST(Lcg32, GaussianHasTheRequestedMeanAndSpread) {
  Lcg32 rng(1);
  constexpr int kDraws = 400'000;
  const double mean = 3.0, sd = 0.25;
  double sum = 0.0, sumOfSquares = 0.0;
  int withinOneSd = 0;
  for (int i = 0; i < kDraws; ++i) {
    const double g = rng.Gaussian(mean, sd);
    sum += g;
    sumOfSquares += (g - mean) * (g - mean);
    withinOneSd += std::fabs(g - mean) < sd;
  }
  EXPECT_NEAR(sum / kDraws, mean, 0.002);
  EXPECT_NEAR(std::sqrt(sumOfSquares / kDraws), sd, 0.002);
  EXPECT_NEAR(static_cast<double>(withinOneSd) / kDraws, 0.6827, 0.003);
}

TEST(Lcg32, ReseedingRepeatsTheSequence) {
  Lcg32 a(1), b(99);
  const double first = a.Gaussian(0.0, 1.0);
  b.Seed(1);
  EXPECT_EQ(b.Gaussian(0.0, 1.0), first);
  // A zero spread gives the mean exactly: an all-zero waveform gets no dither.
  EXPECT_EQ(a.Gaussian(5.0, 0.0), 5.0);
}

}  // namespace
}  // namespace orvek
