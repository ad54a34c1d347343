#include "metrics/Weighting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <tuple>

namespace orvek {
namespace {

using Complex = std::complex<double>;

double MagnitudeDb(float re, float im) { return 20.0 * std::log10(std::hypot(re, im)); }

// IEC 61672-1:2013 Table 3, a row in each stretch of the curves: nominal A and C weightings (dB)
// at the 1/3-octave frequencies 1000 * 10^(x/10) Hz, which the table's values were computed at.
// The table is rounded to 0.1 dB; both weightings stay within that. At 0 Hz both pass nothing.
TEST(WeightingTest, MatchesIecTableForAAndC) {
  const std::tuple<int, double, double> rows[] = {
      {-20, -70.4, -14.3}, {-15, -39.4, -3.0}, {-10, -19.1, -0.3}, {-5, -6.6, 0.0},
      {0, 0.0, 0.0},       {4, 1.3, -0.3},     {8, -0.1, -2.0},    {13, -9.3, -11.2}};
  const WeightingFilters filters = InitWeightingFilters();
  for (const auto& [x, aDb, cDb] : rows) {
    const WeightingValue w = WeightingResponse(filters, 1000.0 * std::pow(10.0, x / 10.0));
    EXPECT_NEAR(MagnitudeDb(w.Are, w.Aim), aDb, 0.1) << "A at x = " << x;
    EXPECT_NEAR(MagnitudeDb(w.Cre, w.Cim), cDb, 0.1) << "C at x = " << x;
  }
  const WeightingValue dc = WeightingResponse(filters, 0.0);
  EXPECT_EQ(std::tuple(dc.Are, dc.Aim, dc.Cre, dc.Cim), std::tuple(0.0f, 0.0f, 0.0f, 0.0f));
}

// Magnitude and phase (which makes the weighted record causal) against the analogue filters with
// the poles of IEC 61672-1:2013 Annex E, each normalised to unit magnitude at 1 kHz.
TEST(WeightingTest, ComplexResponseMatchesPoleZeroForm) {
  const auto analogue = [](double f) {
    const double w1 = 2 * std::numbers::pi * 20.598997, w2 = 2 * std::numbers::pi * 107.65265,
                 w3 = 2 * std::numbers::pi * 737.86223, w4 = 2 * std::numbers::pi * 12194.217;
    const Complex s(0.0, 2 * std::numbers::pi * f);
    const Complex c = s * s * w4 * w4 / ((s + w1) * (s + w1) * (s + w4) * (s + w4));
    return std::pair{c * s * s / ((s + w2) * (s + w3)), c};
  };
  const auto [a1k, c1k] = analogue(1000.0);
  const WeightingFilters filters = InitWeightingFilters();
  for (const double f : {1.0, 10.0, 63.0, 107.65, 500.0, 1000.0, 4000.0, 12194.0, 20000.0, 1e5}) {
    const auto [a, c] = analogue(f);
    const Complex expectedA = a / std::abs(a1k), expectedC = c / std::abs(c1k);
    const WeightingValue w = WeightingResponse(filters, f);
    EXPECT_LT(std::abs(Complex(w.Are, w.Aim) - expectedA), 1e-4 * std::abs(expectedA))
        << "A at " << f << " Hz";
    EXPECT_LT(std::abs(Complex(w.Cre, w.Cim) - expectedC), 1e-4 * std::abs(expectedC))
        << "C at " << f << " Hz";
  }
}

}  // namespace
}  // namespace orvek
