#include "ProtectorExamples.h"
#include "protection/ProtectorFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <map>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "ErrorMessage.h"
#include "ShippedParameters.h"
#include "TempFolder.h"
#include "model/MiddleEarModel.h"
#include "model/ModeStability.h"
#include "protection/ProtectedWaveform.h"
#include "protection/ProtectorCatalogue.h"
#include "protection/ProtectorCircuit.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
const std::vector<double> kThirdOctavesHz = {100,  125,  160,  200,  250,  315,  400,
                                             500,  630,  800,  1000, 1250, 1600, 2000,
                                             2500, 3150, 4000, 5000, 6300, 8000, 10000};

std::vector<AttenuationPoint> Table(const std::vector<double>& frequenciesHz, float meanDb) {
  std::vector<AttenuationPoint> t;
  for (const double f : frequenciesHz) t.push_back({static_cast<float>(f), meanDb, 2.0f});
  return t;
}

// The attenuation a circuit itself predicts at the third-octave frequencies.
std::vector<AttenuationPoint> TableOf(const TCircuitValues& v, ProtectorForm form) {
  std::vector<AttenuationPoint> t;
  for (const double f : kThirdOctavesHz) {
    t.push_back({static_cast<float>(f), static_cast<float>(ProtectorLevelDb(v, form, f)), 2.0f});
  }
  return t;
}

TCircuitValues MuffSeed() {
  TCircuitValues v = test::ExampleMuff();
  v.LleakLevelCoefficient = 0.25f;
  return v;
}

// A plug sealed at 40 dB, with its body at 40 dB too.
TCircuitValues PlugSeed() {
  TCircuitValues v = MuffSeed();
  v.Kcup = 3e6f;
  v.Lcup = 3.0f;  // replaced by the plug mass
  v.Kskin = 1e9f;
  v.Kcush = 3e8f;
  v.Rcush = 5e4f;
  v.Lleak = 4e6f;
  v.Rleak = 2e7f;
  v.Kmat = 3e8f;
  v.Lmat = 0.6f;
  v.Rmat = 1e4f;
  return v;
}

// A plug's seal and body under a muff's cup.
TCircuitValues PairSeed() {
  TCircuitValues v = MuffSeed();
  v.Kcush = v.Kmat = 100.0f * v.Kcup;
  return v;
}

// Relative closeness for values stored in single precision after a few double operations.
void ExpectRel(double actual, double expected, const std::string& what) {
  EXPECT_NEAR(actual / expected, 1.0, 1e-5) << what;
}

// Rms distance (dB) of the circuit's attenuation from the table's means.
double RmsDb(const TCircuitValues& v, ProtectorForm form, const std::vector<AttenuationPoint>& t) {
  double sum = 0.0;
  for (const AttenuationPoint& p : t)
    sum += std::pow(p.MeanDb - ProtectorLevelDb(v, form, p.FrequencyHz), 2);
  return std::sqrt(sum / t.size());
}

TEST(ProtectorFitTest, AnchorRowsAreFirstWithinTenPercent) {
  struct Row {
    std::vector<AttenuationPoint> table;
    FitAnchorRows expected;
  };
  const Row rows[] = {// 112 Hz is more than 10 % off; 113 Hz is not and comes before 120 Hz.
                      {Table({112, 113, 120, 226, 274, 1801, 7201, 8700}, -20), {1, 3, 5, 6}},
                      {Table(kThirdOctavesHz, -20), {1, 4, 13, 19}}};
  for (const Row& r : rows) {
    const FitAnchorRows a = FindFitAnchorRows(r.table), e = r.expected;
    EXPECT_EQ(std::tie(a.Row125, a.Row250, a.Row2000, a.Row8000),
              std::tie(e.Row125, e.Row250, e.Row2000, e.Row8000));
  }
}

TEST(ProtectorFitTest, UnfittableTablesAreRejected) {
  struct Row {
    std::vector<AttenuationPoint> table;
    const char* expected;
  };
  const Row rows[] = {{Table({125, 250, 2000, 7000}, -20), "within 10 % of 8000 Hz"},
                      {Table({100, 250, 2000, 8000}, -20), "within 10 % of 125 Hz"},
                      {Table({125, 250, 2000}, -20), "3 rows"},
                      {Table({125, 250, 250, 2000, 8000}, -20), "row 3"},
                      {Table({0, 125, 250, 2000, 8000}, -20), "row 1"},
                      {Table({std::nan(""), 125, 250, 2000, 8000}, -20), "row 1"}};
  for (const Row& r : rows) {
    EXPECT_NE(MessageOf([&] { FindFitAnchorRows(r.table); }).find(r.expected), std::string::npos)
        << r.expected;
    EXPECT_NE(MessageOf([&] { FitProtectorCircuit(MuffSeed(), ProtectorFitKind::Muff, r.table); }),
              "");
  }
  TCircuitValues seed = MuffSeed();
  seed.Rleak = 0.0f;
  EXPECT_NE(MessageOf([&] {
              FitProtectorCircuit(seed, ProtectorFitKind::Muff, Table(kThirdOctavesHz, -20));
            }).find("Rleak"),
            std::string::npos);
}

TEST(ProtectorFitTest, NoLowFrequencyFlagNeedsExactZerosInFirstThreeRows) {
  struct Row {
    float first, second, third, fourth;
    bool expected;
  };
  const Row rows[] = {
      {0, 0, 0, -20, true}, {0, -0.0f, 0, 0, true}, {0, 0, 1e-6f, 0, false}, {-10, 0, 0, 0, false}};
  for (const Row& r : rows) {
    std::vector<AttenuationPoint> t = Table({125, 250, 2000, 8000}, 0);
    t[0].MeanDb = r.first, t[1].MeanDb = r.second, t[2].MeanDb = r.third, t[3].MeanDb = r.fourth;
    EXPECT_EQ(HasNoLowFrequencyData(t), r.expected) << r.first << r.second << r.third;
  }
}

// The material estimate: a = 10^(2/20) for -30 dB at 2 kHz and -28 dB at 8 kHz, worked out by hand
// with Kcup = 1e6; -30 and -36 dB gives a = 0.5 < 0.6 and keeps the seed.
TEST(ProtectorFitTest, PreparationSwapsSkinFixesPlugMassAndSeedsMaterial) {
  std::vector<AttenuationPoint> t = Table(kThirdOctavesHz, -30);
  t[19].MeanDb = -28;
  const FitAnchorRows anchors = FindFitAnchorRows(t);
  TCircuitValues seed = MuffSeed();
  seed.Kskin = 5e6f;
  seed.Rskin = 123.0f;
  const TCircuitValues muff = PrepareFitSeed(seed, ProtectorFitKind::PlugPlusMuff, t, anchors);
  EXPECT_EQ(std::tie(muff.Kskin, muff.Kcush, muff.Rskin, muff.Rcush, muff.Lcup),
            std::tie(seed.Kcush, seed.Kskin, seed.Rcush, seed.Rskin, seed.Lcup));
  ExpectRel(muff.Kmat, 37598897.5, "Kmat");
  ExpectRel(muff.Lmat, 0.0152768984, "Lmat");
  ExpectRel(muff.Rmat, 499.723928, "Rmat");

  const TCircuitValues plug = PrepareFitSeed(MuffSeed(), ProtectorFitKind::Plug, t, anchors);
  EXPECT_EQ(plug.Lcup, static_cast<float>(kPlugFitLimits.FixedMass));
  EXPECT_EQ(plug.Kskin, MuffSeed().Kcush);  // the stiffer skin is exchanged for a plug too

  t[19].MeanDb = -36;
  seed = MuffSeed();
  const TCircuitValues kept = PrepareFitSeed(seed, ProtectorFitKind::Muff, t, anchors);
  EXPECT_EQ(std::tie(kept.Kmat, kept.Lmat, kept.Rmat), std::tie(seed.Kmat, seed.Lmat, seed.Rmat));
}

// A muff that already produced the table is left exactly where it is.
TEST(ProtectorFitTest, SearchPassKeepsACircuitThatFitsExactly) {
  const TCircuitValues truth = MuffSeed();
  const std::vector<AttenuationPoint> own = TableOf(truth, ProtectorForm::Muff);
  TCircuitValues searched = truth;
  SearchCircuitValuesPass(searched, ProtectorFitKind::Muff, own, FindFitAnchorRows(own), 100);
  EXPECT_EQ(std::memcmp(&searched, &truth, sizeof truth), 0);
}

// A table made by a circuit inside the limits, fitted from a seed off by factors 0.5 to 3 (more
// than 3 dB rms away): every kind comes back to within 1 dB rms over the 21 bands.
TEST(ProtectorFitTest, FitReproducesTheCircuitThatMadeTheTable) {
  for (const ProtectorFitKind kind :
       {ProtectorFitKind::Muff, ProtectorFitKind::Plug, ProtectorFitKind::PlugPlusMuff}) {
    const bool plug = kind == ProtectorFitKind::Plug;
    const ProtectorFitLimits limits = FitLimitsFor(kind, false);
    TCircuitValues truth = plug                                     ? PlugSeed()
                           : kind == ProtectorFitKind::PlugPlusMuff ? PairSeed()
                                                                    : MuffSeed();
    if (limits.FixedMass > 0) truth.Lcup = static_cast<float>(limits.FixedMass);
    // Twice: the cushion follows the cup stiffness the first application moved.
    ApplyProtectorLimits(truth, limits);
    ApplyProtectorLimits(truth, limits);
    const ProtectorForm form = plug ? ProtectorForm::Plug : ProtectorForm::Muff;
    const std::vector<AttenuationPoint> t = TableOf(truth, form);
    TCircuitValues seed = truth;
    const float factors[] = {2.0f, 0.5f, 3.0f, 0.6f, 1.8f, 0.7f, 2.5f, 0.5f, 2.0f, 1.5f};
    float* values[] = {&seed.Kcup,  &seed.Kskin, &seed.Rskin, &seed.Kcush, &seed.Rcush,
                       &seed.Lleak, &seed.Rleak, &seed.Kmat,  &seed.Lmat,  &seed.Rmat};
    for (int i = 0; i < 10; ++i) *values[i] *= factors[i];
    const ProtectorFitResult fit = FitProtectorCircuit(seed, kind, t);
    SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind));
    EXPECT_GT(RmsDb(seed, form, t), 3.0);
    EXPECT_LT(fit.RmsErrorDb, 1.0);
    EXPECT_FALSE(fit.NoLowFrequency);
    EXPECT_EQ(fit.Values.LleakLevelCoefficient, 0.25f);  // values the fit does not touch are kept
    EXPECT_EQ(fit.Values.Lcup, truth.Lcup);
  }
}

// Without low-frequency data the fit takes the limits for such a table, which fix the material
// resonance (and a muff's material quality).
TEST(ProtectorFitTest, FitIsDeterministicAndHonoursTheNoLowFrequencyFlag) {
  std::vector<AttenuationPoint> t = Table(kThirdOctavesHz, -30);
  t[0].MeanDb = t[1].MeanDb = t[2].MeanDb = 0.0f;
  for (const ProtectorFitKind kind :
       {ProtectorFitKind::Muff, ProtectorFitKind::Plug, ProtectorFitKind::PlugPlusMuff}) {
    const TCircuitValues seed = kind == ProtectorFitKind::Plug ? PlugSeed() : MuffSeed();
    const ProtectorFitResult a = FitProtectorCircuit(seed, kind, t);
    const ProtectorFitResult b = FitProtectorCircuit(seed, kind, t);
    EXPECT_EQ(std::memcmp(&a.Values, &b.Values, sizeof a.Values), 0);
    EXPECT_TRUE(a.NoLowFrequency);
    const ProtectorFitLimits limits = FitLimitsFor(kind, true);
    const double km = double{a.Values.Kcup} + a.Values.Kmat;
    ExpectRel(std::sqrt(km / a.Values.Lmat) / (2 * std::numbers::pi),
              limits.MaterialResonanceHz.Low, "material resonance");
    if (limits.MaterialQ.Low == limits.MaterialQ.High) {
      ExpectRel(std::sqrt(a.Values.Lmat * km) / a.Values.Rmat, limits.MaterialQ.Low,
                "material quality");
    }
  }
}

// The shipped catalogue, each protector fitted from its kind's seed file.
struct ShippedFit {
  std::string Name;
  ProtectorFitKind Kind;
  std::vector<AttenuationPoint> Table;
  ProtectorFitResult Fit;
};

const std::vector<ShippedFit>& ShippedFits() {
  static const std::vector<ShippedFit> fits = [] {
    const fs::path data = ORVEK_DATA_DIR;
    const fs::path file = data / "HPD Atten.txt";
    const std::string text = test::TempFolder::Read(file);
    std::vector<ShippedFit> all;
    for (const TProtectorEntry& e : ParseProtectorCatalogue(text, file.string()).Entries) {
      ShippedFit f{e.Name, ProtectorKindOf(e), {}, {}};
      for (const AttenuationRow& row : ReadProtectorRecord(text, e, file.string()).AttenuationTable)
        f.Table.push_back({row.FrequencyHz, row.MeanDb, row.SpreadDb});
      const TCircuitValues seed =
          LoadCircuitValues(data / "Dat" / "Hearing Protectors" /
                            (f.Kind == ProtectorFitKind::Plug ? "Seed_REAT_Values_Earplug.txt"
                                                              : "Seed_REAT_Values_Earmuff.txt"));
      f.Fit = FitProtectorCircuit(seed, f.Kind, f.Table);
      all.push_back(std::move(f));
    }
    return all;
  }();
  return fits;
}

// The pressure ratio of the linearised protector network at `hz`: the steady state
// X = (j omega I - A)^-1 B by Gauss-Jordan elimination, then Kcup (X1 + X2 + X3) under the
// protector, back from dyn/cm^2 to Pa.
std::complex<double> LinearisedRatio(const LinearisedEar& net, double kcup, double hz) {
  using Complex = std::complex<double>;
  constexpr double kDynPerPa = 10.0;
  const int n = net.Order, w = n + 1;
  std::vector<Complex> m(static_cast<std::size_t>(n) * w);
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c)
      m[r * w + c] = (r == c ? Complex(0.0, 2 * std::numbers::pi * hz) : 0.0) - net.At(r, c);
    m[r * w + n] = net.Input[r];
  }
  for (int k = 0; k < n; ++k) {
    int pivot = k;
    for (int r = k + 1; r < n; ++r)
      if (std::abs(m[r * w + k]) > std::abs(m[pivot * w + k])) pivot = r;
    for (int c = 0; c < w; ++c) std::swap(m[k * w + c], m[pivot * w + c]);
    for (int r = 0; r < n; ++r) {
      if (r == k) continue;
      const Complex f = m[r * w + k] / m[k * w + k];
      for (int c = k; c < w; ++c) m[r * w + c] -= f * m[k * w + c];
    }
  }
  Complex volume = 0.0;
  for (int i = 0; i < 3; ++i) volume += m[i * w + n] / m[i * w + i];
  return kcup * volume / kDynPerPa;
}

// How far each shipped fit may end from the mean attenuation it was fitted to, rms over its
// frequencies: plugs 5 dB, plug-muff pairs 8 dB, muffs no further than with the limits they have
// always had. Both in the form fitted and in the muff form, which the protector network realises
// (for a plug with its skin beside the seal).
TEST(ProtectorFitTest, ShippedProtectorsEndCloseToTheirData) {
  const std::map<std::string, double> muffRmsDb = {
      {"PASSIVE EARMUFF", 4.3}, {"LEVEL_DEPENDENT EARMUFF", 6.7}, {"EARMUFF, 1 SD MARGIN", 2.3}};
  ASSERT_EQ(ShippedFits().size(), 10u);
  for (const ShippedFit& f : ShippedFits()) {
    double boundDb = 8.0;
    if (f.Kind == ProtectorFitKind::Plug) boundDb = 5.0;
    if (f.Kind == ProtectorFitKind::Muff) boundDb = muffRmsDb.at(f.Name) + 0.05;
    EXPECT_LE(f.Fit.RmsErrorDb, boundDb) << f.Name;
    EXPECT_LE(RmsDb(f.Fit.Values, ProtectorForm::Muff, f.Table), boundDb) << f.Name;
  }
}

// The prediction advances the protector network by RK4 at no fewer sub-steps per sample than
// SmallestProtectorSubSteps, which a quiet record reaches: at that step every mode of every
// shipped fit, linearised as the integrator evaluates it, keeps the ear model's stability margin at
// the sampling rates of real recordings. The linearised network is checked against the muff form
// first, so that the modes are those of the circuit that was fitted.
TEST(ProtectorFitTest, ShippedFitsAreStableAtEverySamplingRate) {
  TModelParameters p = test::ShippedParameters();
  const std::int32_t subSteps = SmallestProtectorSubSteps(p);
  ApplyCircuitValues(ShippedFits().front().Fit.Values, p);
  const std::vector<float> silence(64, 0.0f);
  std::vector<float> out(silence.size());
  Lcg32 rng;
  EXPECT_EQ(TimeDomainModel4(silence.data(), out.data(), 63, 1e-5f, p, {}, 0.0f, 0.0f, rng)
                .CarriedSubSteps,
            subSteps);
  for (const ShippedFit& f : ShippedFits()) {
    SCOPED_TRACE(f.Name);
    ApplyCircuitValues(f.Fit.Values, p);
    const LinearisedEar net = LinearisedProtectorMatrix(p);
    for (const double hz : {125.0, 1000.0, 8000.0}) {
      const std::complex<double> ratio = LinearisedRatio(net, f.Fit.Values.Kcup, hz);
      const std::complex<double> muff =
          ProtectorPressureRatio(f.Fit.Values, ProtectorForm::Muff, hz);
      EXPECT_LT(std::abs(ratio / muff - 1.0), 1e-6) << hz << " Hz";
    }
    const std::vector<std::complex<double>> modes = Eigenvalues(net.Matrix, net.Order);
    for (const double rate : {48000.0, 96000.0, 200000.0, 500000.0}) {
      const double step = static_cast<float>(1.0 / rate) / static_cast<double>(subSteps);
      EXPECT_GE(SmallestStepMargin(modes, step), kStableStepMargin) << rate << " Hz";
    }
  }
}

}  // namespace
}  // namespace orvek
