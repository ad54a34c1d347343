#include <gtest/gtest.h>

#include <cmath>

#include "base/Lcg32.h"

namespace orvek {
namespace {

TEST(Lcg32, FollowsTheRecurrenceModuloTwoToThe32) {
  Lcg32 rng(1);
  EXPECT_EQ(rng.Uniform(), 134775814.0 / 4294967296.0);
  rng.Uniform();
  EXPECT_EQ(rng.State(), 3698175007u);  // 134775814 * 134775813 + 1 mod 2^32
  rng.Seed(0xFFFFFFFFu);
  rng.Uniform();
  EXPECT_EQ(rng.State(), 0xFFFFFFFFu * 134775813u + 1u);
  EXPECT_EQ(rng.Gaussian(5.0, 0.0), 5.0);  // a zero spread gives the mean exactly
  // Gaussian: the requested mean and spread, and the share within one spread of the mean.
  const double mean = 3.0, sd = 0.25;
  double sum = 0.0, sumOfSquares = 0.0, withinOneSd = 0.0;
  for (int i = 0; i < 400'000; ++i) {
    const double g = rng.Gaussian(mean, sd);
    sum += g;
    sumOfSquares += (g - mean) * (g - mean);
    withinOneSd += std::fabs(g - mean) < sd;
  }
  EXPECT_NEAR(sum / 4e5, mean, 0.002);
  EXPECT_NEAR(std::sqrt(sumOfSquares / 4e5), sd, 0.002);
  EXPECT_NEAR(withinOneSd / 4e5, 0.6827, 0.003);
}

}  // namespace
}  // namespace orvek
