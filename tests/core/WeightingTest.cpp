#include "metrics/Weighting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

namespace orvek {
namespace {

using Complex = std::complex<double>;

double MagnitudeDb(float re, float im) { return 20.0 * std::log10(std::hypot(re, im)); }

// IEC 61672-1:2013 Table 3: nominal A and C weightings (dB) at the 1/3-octave frequencies
// 1000 * 10^(x/10) Hz, x = -20 .. 13, which the table's values were computed at.
struct TableRow {
  int x;
  double nominalHz, aDb, cDb;
};
constexpr TableRow kIecTable3[] = {
    {-20, 10, -70.4, -14.3},  {-19, 12.5, -63.4, -11.2}, {-18, 16, -56.7, -8.5},
    {-17, 20, -50.5, -6.2},   {-16, 25, -44.7, -4.4},    {-15, 31.5, -39.4, -3.0},
    {-14, 40, -34.6, -2.0},   {-13, 50, -30.2, -1.3},    {-12, 63, -26.2, -0.8},
    {-11, 80, -22.5, -0.5},   {-10, 100, -19.1, -0.3},   {-9, 125, -16.1, -0.2},
    {-8, 160, -13.4, -0.1},   {-7, 200, -10.9, 0.0},     {-6, 250, -8.6, 0.0},
    {-5, 315, -6.6, 0.0},     {-4, 400, -4.8, 0.0},      {-3, 500, -3.2, 0.0},
    {-2, 630, -1.9, 0.0},     {-1, 800, -0.8, 0.0},      {0, 1000, 0.0, 0.0},
    {1, 1250, 0.6, 0.0},      {2, 1600, 1.0, -0.1},      {3, 2000, 1.2, -0.2},
    {4, 2500, 1.3, -0.3},     {5, 3150, 1.2, -0.5},      {6, 4000, 1.0, -0.8},
    {7, 5000, 0.5, -1.3},     {8, 6300, -0.1, -2.0},     {9, 8000, -1.1, -3.0},
    {10, 10000, -2.5, -4.4},  {11, 12500, -4.3, -6.2},   {12, 16000, -6.6, -8.5},
    {13, 20000, -9.3, -11.2},
};

// The table is rounded to 0.1 dB; both weightings stay within that of every row.
TEST(WeightingTest, MatchesIecTableForAAndC) {
  const WeightingFilters filters = InitWeightingFilters();
  for (const TableRow& row : kIecTable3) {
    const double f = 1000.0 * std::pow(10.0, row.x / 10.0);
    const WeightingValue w = WeightingResponse(filters, f);
    EXPECT_NEAR(MagnitudeDb(w.Are, w.Aim), row.aDb, 0.1) << "A at " << row.nominalHz << " Hz";
    EXPECT_NEAR(MagnitudeDb(w.Cre, w.Cim), row.cDb, 0.1) << "C at " << row.nominalHz << " Hz";
  }
}

// The pole-zero comparison below fixes the gain at 1 kHz; at 0 Hz both weightings pass nothing.
TEST(WeightingTest, NothingAtDc) {
  const WeightingFilters filters = InitWeightingFilters();
  const WeightingValue dc = WeightingResponse(filters, 0.0);
  EXPECT_EQ(dc.Are, 0.0f);
  EXPECT_EQ(dc.Aim, 0.0f);
  EXPECT_EQ(dc.Cre, 0.0f);
  EXPECT_EQ(dc.Cim, 0.0f);
}

// Magnitude and phase against the analogue filters with the four published poles
// (IEC 61672-1:2013 Annex E: f1 = 20.598997, f2 = 107.65265, f3 = 737.86223, f4 = 12194.217 Hz),
// evaluated at s = i 2 pi f: C(s) = s^2 w4^2 / ((s + w1)^2 (s + w4)^2) and
// A(s) = C(s) s^2 / ((s + w2)(s + w3)), each normalised to unit magnitude at 1 kHz. The phase
// matters: it makes the weighted record causal.
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
