#include "protection/ProtectorCircuit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "ErrorMessage.h"
#include "protection/ProtectorCatalogue.h"

namespace orvek {
namespace {

using Complex = std::complex<double>;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr float kOpen = 1e30f;  // a branch this large carries nothing

// The shipped earmuff seed.
TCircuitValues Muff() {
  TCircuitValues v = LoadCircuitValues(std::filesystem::path(ORVEK_DATA_DIR) / "Dat" /
                                       "Hearing Protectors" / "Seed_REAT_Values_Earmuff.txt");
  v.Kmat2 = 123.0f;  // must not matter
  return v;
}

// A plug-like set: heavy mass on a stiff seal, little leak.
TCircuitValues Plug() {
  TCircuitValues v = Muff();
  v.Kcup = 2e8f;
  v.Lcup = 10.25641f;
  v.Kcush = 1.56e8f;
  v.Rcush = 2e5f;
  v.Lleak = 5.07e6f;
  v.Rleak = 3.2e7f;
  v.Kmat = 6.1e9f;
  v.Lmat = 0.9f;
  v.Rmat = 1.5e4f;
  return v;
}

// The circuit seen as a voltage divider: the outside pressure drives the cup volume through three
// paths in parallel (moving part, leak, material), each an impedance written out here on its own.
Complex DividerReference(const TCircuitValues& v, ProtectorForm form, double f) {
  const double w = kTwoPi * f;
  const Complex j(0.0, 1.0);
  const auto stiff = [&](double k) { return k / (j * w); };
  Complex piston;
  if (form == ProtectorForm::Muff) {
    const Complex skin = double{v.Rskin} + stiff(v.Kskin);
    const Complex cush = double{v.Rcush} + stiff(v.Kcush);
    piston = j * w * double{v.Lcup} + 1.0 / (1.0 / skin + 1.0 / cush);
  } else {
    piston = double{v.Rcush} + j * w * double{v.Lcup} + stiff(v.Kcush);
  }
  const Complex leak = double{v.Rleak} + j * w * double{v.Lleak};
  const Complex mat = double{v.Rmat} + j * w * double{v.Lmat} + stiff(v.Kmat);
  const Complex series = 1.0 / (1.0 / piston + 1.0 / leak + 1.0 / mat);
  const Complex cup = stiff(v.Kcup);
  return cup / (cup + series);
}

// Both closed forms against the parallel-path divider, from 1 Hz to 100 kHz, to 1e-9 relative.
TEST(ProtectorCircuitTest, ClosedFormsMatchParallelPathDivider) {
  TCircuitValues leakFree = Muff();
  leakFree.Rleak = leakFree.Lleak = kOpen;
  for (const TCircuitValues& v : {Muff(), Plug(), leakFree}) {
    for (const ProtectorForm form : {ProtectorForm::Muff, ProtectorForm::Plug}) {
      for (double f = 1.0; f <= 1e5; f *= 1.7) {
        const Complex h = ProtectorPressureRatio(v, form, f);
        const Complex ref = DividerReference(v, form, f);
        EXPECT_LT(std::abs(h - ref), 1e-9 * std::abs(ref)) << "f " << f << " Hz";
        EXPECT_DOUBLE_EQ(ProtectorLevelDb(v, form, f), RatioLevelDb(h));
      }
    }
  }
}

// Below the leak the pressure equalises (|H - 1| ~ w Rleak / Kcup); above every resonance the
// masses act in parallel: H -> -Kcup (1/Lcup + 1/Lleak + 1/Lmat) / w^2, 40 dB per decade.
TEST(ProtectorCircuitTest, LowAndHighFrequencyLimits) {
  for (const TCircuitValues& v : {Muff(), Plug()}) {
    for (const ProtectorForm form : {ProtectorForm::Muff, ProtectorForm::Plug}) {
      EXPECT_LT(std::abs(ProtectorPressureRatio(v, form, 1e-3) - 1.0), 2e-3);
      const double f = 1e7, w = kTwoPi * f;
      const double massLaw =
          -double{v.Kcup} * (1.0 / v.Lcup + 1.0 / v.Lleak + 1.0 / v.Lmat) / (w * w);
      const Complex h = ProtectorPressureRatio(v, form, f);
      EXPECT_NEAR(h.real() / massLaw, 1.0, 1e-3);
      EXPECT_LT(std::abs(h.imag() / massLaw), 1e-3);
      EXPECT_NEAR(ProtectorLevelDb(v, form, f) - ProtectorLevelDb(v, form, f / 10.0), -40.0, 0.01);
    }
  }
}

// Each partial curve is the total with the other two paths opened.
TEST(ProtectorCircuitTest, PartialCurvesAreTheTotalWithOnePathLeft) {
  using enum InsertionLossPath;
  // The path and which of piston, leak and material are opened.
  const std::tuple<InsertionLossPath, bool, bool, bool> rows[] = {
      {RigidPiston, false, true, true},
      {Leakage, true, false, true},
      {MaterialDeformation, true, true, false},
      {Total, false, false, false}};
  const TCircuitValues v = Muff();
  for (const auto& [path, openPiston, openLeak, openMaterial] : rows) {
    TCircuitValues opened = v;
    if (openPiston) opened.Lcup = kOpen;
    if (openLeak) opened.Rleak = opened.Lleak = kOpen;
    if (openMaterial) opened.Rmat = opened.Lmat = kOpen;
    for (double f = 5.0; f <= 50000.0; f *= 2.3) {
      const Complex total = ProtectorPressureRatio(opened, ProtectorForm::Muff, f);
      EXPECT_LT(std::abs(InsertionLossPathRatio(v, path, f) - total), 1e-6 * std::abs(total))
          << InsertionLossPathCaption(path) << " at " << f << " Hz";
    }
  }
}

TEST(ProtectorCircuitTest, CurveFrequenciesSpanADecadeEachSide) {
  std::vector<double> f(kInsertionLossCurvePoints);
  InsertionLossCurveFrequencies(100.0, 8000.0, f);
  EXPECT_NEAR(f.front(), 10.0, 1e-9);
  EXPECT_NEAR(f.back(), 80000.0, 1e-6);
  EXPECT_NEAR(f[1] / f[0], f.back() / f[f.size() - 2], 1e-12);  // evenly spaced in log f
  EXPECT_NE(MessageOf([&] { InsertionLossCurveFrequencies(200.0, 100.0, f); }), "");
}

}  // namespace
}  // namespace orvek
