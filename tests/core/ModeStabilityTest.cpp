#include "model/ModeStability.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <tuple>
#include <vector>

#include "ShippedParameters.h"
#include "base/OrvekError.h"
#include "model/Friedlander.h"
#include "model/MiddleEarModel.h"

namespace orvek {
namespace {

using Complex = std::complex<double>;
using Matrix = std::vector<double>;  // n x n, row-major

using test::ShippedParameters;

// Every expected eigenvalue has its own computed one within tolerance * max(1, |expected|).
void ExpectSameSpectrum(std::vector<Complex> computed, const std::vector<Complex>& expected,
                        double tolerance) {
  ASSERT_EQ(computed.size(), expected.size());
  for (const Complex& e : expected) {
    const auto nearest = std::min_element(
        computed.begin(), computed.end(),
        [&e](const Complex& a, const Complex& b) { return std::abs(a - e) < std::abs(b - e); });
    EXPECT_LE(std::abs(*nearest - e), tolerance * std::max(1.0, std::abs(e)))
        << "expected " << e << ", nearest " << *nearest;
    computed.erase(nearest);
  }
}

Matrix Multiply(const Matrix& a, const Matrix& b, int n) {
  Matrix c(a.size(), 0.0);
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < n; ++k) {
      for (int j = 0; j < n; ++j) c[i * n + j] += a[i * n + k] * b[k * n + j];
    }
  }
  return c;
}

// exp(a) by scaling to a norm below 1/4 (the sum of all |entries| bounds every norm), a Taylor
// series and squaring.
Matrix Exponential(Matrix a, int n) {
  double norm = 0.0;
  for (const double x : a) norm += std::abs(x);
  int squarings = 0;
  for (; norm > 0.25; norm /= 2.0) ++squarings;
  for (double& x : a) x = std::ldexp(x, -squarings);
  Matrix sum(a.size(), 0.0);
  for (int i = 0; i < n; ++i) sum[i * n + i] = 1.0;
  Matrix term = sum;
  for (int k = 1; k <= 20; ++k) {
    term = Multiply(term, a, n);
    for (std::size_t i = 0; i < term.size(); ++i) sum[i] += (term[i] /= k);
  }
  for (int i = 0; i < squarings; ++i) sum = Multiply(sum, sum, n);
  return sum;
}

// The ear models by microphone location 1 to 3.
using EarModel = MiddleEarRun (*)(const float*, float*, std::int32_t, float,
                                  const TModelParameters&, const MuscleTiming&,
                                  const ProgressCallback&);
constexpr EarModel kEarModels[] = {TimeDomainModel1, TimeDomainModel2, TimeDomainModel3};

TEST(Eigenvalues, CompanionJordanAndTrivialMatrices) {
  // Companion matrix of (x-1)(x-2)(x-3)(x-4) = x^4 - 10x^3 + 35x^2 - 50x + 24: far from normal.
  ExpectSameSpectrum(Eigenvalues({10, -35, 50, -24, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0}, 4),
                     {1.0, 2.0, 3.0, 4.0}, 1e-9);
  // A Jordan block: the double root is only determined to about sqrt(epsilon).
  ExpectSameSpectrum(Eigenvalues({-5, 1, 0, -5}, 2), {-5.0, -5.0}, 1e-7);
  ExpectSameSpectrum(Eigenvalues({-2.5}, 1), {-2.5}, 0.0);
  ExpectSameSpectrum(Eigenvalues(Matrix(9, 0.0), 3), {0.0, 0.0, 0.0}, 0.0);
  EXPECT_THROW(Eigenvalues({1, 2, 3}, 2), OrvekError);
}

// The real-axis limit of RK4 is the real root of x^3 + 4x^2 + 12x + 24 (R = 1 there); the
// imaginary-axis limit is 2 sqrt(2), where 1 - y^6/72 + y^8/576 = 1.
TEST(RungeKutta, StepMarginOnTheAxes) {
  const double imaginaryLimit = 2.0 * std::sqrt(2.0);
  const std::pair<Complex, double> cases[] = {{-1.0, 2.785293563405282},
                                              {{0.0, -0.5}, 2.0 * imaginaryLimit},
                                              {0.5, 0.0}};  // a growing mode
  for (const auto& [mode, margin] : cases) EXPECT_NEAR(StepMargin(mode), margin, 1e-9) << mode;
  EXPECT_TRUE(std::isinf(StepMargin(0.0)));
}

TEST(LinearisedEar, PassiveNetworkWithRestingModesOfTheUnstiffenedMasses) {
  const TModelParameters p = ShippedParameters();
  // Free field: branch 1, the radiation mass and the head mass have no stiffness; the canal
  // entrance form has no head, the eardrum form only branch 1.
  // location, order, resting modes
  for (const auto& [location, order, resting] :
       {std::tuple{1, 48, 3}, {4, 48, 3}, {2, 46, 2}, {3, 12, 1}}) {
    for (double contraction : {0.0, 1.0}) {
      SCOPED_TRACE(::testing::Message() << "location " << location << ", " << contraction);
      const LinearisedEar ear = LinearisedEarMatrix(p, location, contraction);
      ASSERT_EQ(ear.Order, order);
      int count = 0;
      for (const Complex& lambda : Eigenvalues(ear.Matrix, ear.Order)) {
        count += std::abs(lambda) < 1e-6;
        EXPECT_TRUE(std::abs(lambda) < 1e-6 || lambda.real() < 0.0) << lambda;  // passive
      }
      EXPECT_EQ(count, resting);
    }
  }
  EXPECT_THROW(LinearisedEarMatrix(p, 5, 0.0), OrvekError);
}

// The linearised matrix is the model: its exact solution follows the integrator on a quiet
// impulse, relaxed and contracted.
TEST(LinearisedEar, ReproducesTheIntegratorOnAQuietImpulse) {
  const TModelParameters p = ShippedParameters();
  FriedlanderSpec spec;
  spec.PeakDb = 100.0;  // 2 Pa: the stapes nonlinearity stays at its rest value
  spec.Samples = 2048;
  spec.OnsetMs = 1.0;
  const std::vector<float> input = FriedlanderSamples(spec);
  const float dt = static_cast<float>(1.0 / spec.SampleRate);
  const std::int32_t last = spec.Samples - 1;
  for (int location = 1; location <= 3; ++location) {
    for (double contraction : {0.0, 1.0}) {
      SCOPED_TRACE(::testing::Message() << "location " << location << ", " << contraction);
      MuscleTiming timing;
      timing.Onset = contraction > 0.0 ? -1 : last + 1;  // warned, or never contracting
      std::vector<float> output(input.size());
      kEarModels[location - 1](input.data(), output.data(), last, dt, p, timing, {});

      const LinearisedEar ear = LinearisedEarMatrix(p, location, contraction);
      const int m = ear.Order, n = m + 2;
      Matrix e(static_cast<std::size_t>(n) * n, 0.0);
      const auto scale = [&](int i) { return i < m / 2 ? 1.0 : double{dt}; };
      for (int i = 0; i < m; ++i) {
        for (int j = 0; j < m; ++j) e[i * n + j] = dt * ear.At(i, j) * scale(i) / scale(j);
        e[i * n + m] = dt * scale(i) * ear.Input[i];
      }
      e[m * n + m + 1] = 1.0;  // d(pressure)/d(t/dt) = its rise over the interval
      const Matrix step = Exponential(e, n);
      std::vector<double> z(n, 0.0), next(n);
      double peak = 0.0, worst = 0.0;
      for (std::int32_t i = 1; i <= last; ++i) {
        z[m] = i > 1 ? input[i - 1] : 0.0;  // sample 0 is not used
        z[m + 1] = input[i] - z[m];
        for (int r = 0; r < n; ++r) {
          next[r] = 0.0;
          for (int c = 0; c < n; ++c) next[r] += step[r * n + c] * z[c];
        }
        z = next;
        const double exact = z[1] * p.Derived.StapesDisplacementScale;
        peak = std::max(peak, std::abs(exact));
        worst = std::max(worst, std::abs(exact - output[i]));
      }
      EXPECT_GT(peak, 0.0);
      EXPECT_LT(worst, 1e-4 * peak);  // the step doubling's 0.1 % per sample, well inside
    }
  }
}

TEST(SmallestEarSubSteps, TheCountASilentRecordSettlesAt) {
  TModelParameters p = ShippedParameters();
  // The middle-ear tests follow the count at the divisors 2 and 4 sample by sample.
  const struct {
    int Location;
    double SampleRate, Divisor;      // Hz
    std::int32_t Expected, Samples;  // enough to settle; one where the count rises
  } cases[] = {
      // At 200 kHz every form is stable with the floor of 1, so the divisor alone decides.
      {3, 2e5, 2.5, 4, 200},
      {3, 2e5, 2.1, 20, 200},
      {3, 2e5, 1.9, 270, 1},
      // At 48 kHz the canal's stiffest modes raise the floor of the 24- and 23-state forms to 3.
      {1, 48000, 4.0, 6, 200},
      {3, 48000, 4.0, 2, 200}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "location " << c.Location << ", " << c.SampleRate
                                      << " Hz, divisor " << c.Divisor);
    p.SubstepDivisor = static_cast<float>(c.Divisor);
    const float dt = static_cast<float>(1.0 / c.SampleRate);
    EXPECT_EQ(SmallestEarSubSteps(p, c.Location, dt), c.Expected);
    const EarModel model = kEarModels[c.Location - 1];
    std::vector<float> silence(c.Samples + 1, 0.0f), output(silence.size());
    EXPECT_EQ(model(silence.data(), output.data(), c.Samples, dt, p, {}, {}).CarriedSubSteps,
              c.Expected);
  }
}

// With the divisor 4, the shipped one, a quiet stretch settles at twice the floor: the floor is the
// smallest for which every mode, relaxed and contracted, keeps the margin at that count, and at
// 200 kHz every form needs none above 1.
TEST(StableSubStepFloor, SmallestFloorThatKeepsTheMargin) {
  TModelParameters p = ShippedParameters();
  p.SubstepDivisor = 4.0f;
  for (int location = 1; location <= 3; ++location) {
    std::vector<Complex> modes;
    for (double contraction : {0.0, 1.0}) {
      const LinearisedEar ear = LinearisedEarMatrix(p, location, contraction);
      const std::vector<Complex> some = Eigenvalues(ear.Matrix, ear.Order);
      modes.insert(modes.end(), some.begin(), some.end());
    }
    for (double rate : {32000.0, 48000.0, 96000.0, 200000.0, 500000.0}) {
      SCOPED_TRACE(::testing::Message() << "location " << location << ", " << rate << " Hz");
      const float dt = static_cast<float>(1.0 / rate);
      const std::int32_t floor = StableSubStepFloor(p, location, dt);
      ASSERT_GE(floor, 1);
      EXPECT_TRUE(rate != 200000.0 || floor == 1);
      EXPECT_GE(SmallestStepMargin(modes, dt / (2.0 * floor)), kStableStepMargin);
      if (floor > 1) {  // one less would not do
        EXPECT_LT(SmallestStepMargin(modes, dt / (2.0 * (floor - 1))), kStableStepMargin);
      }
    }
  }
  EXPECT_THROW(StableSubStepFloor(p, 5, 1e-5f), OrvekError);
}

TEST(StableSubStepFloor, AGrowingModeIsRejected) {
  TModelParameters p = ShippedParameters();
  p.Resistance5 = -p.Resistance5;  // branch 5 feeds energy in
  EXPECT_THROW(StableSubStepFloor(p, 3, 1e-5f), OrvekError);
  std::vector<float> silence(9, 0.0f), out(9);
  EXPECT_THROW(TimeDomainModel3(silence.data(), out.data(), 8, 1e-5f, p, {}, {}), OrvekError);
}

}  // namespace
}  // namespace orvek
