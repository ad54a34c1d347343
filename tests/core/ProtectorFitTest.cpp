#include "protection/ProtectorFit.h"

#include <gmock/gmock.h>

#include <cmath>
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
  for (const double f : kThirdOctavesHz)
    t.push_back({static_cast<float>(f), static_cast<float>(ProtectorLevelDb(v, form, f)), 2.0f});
  return t;
}

// The shipped earmuff seed, a circuit inside the fit's limits.
TCircuitValues MuffSeed() {
  return LoadCircuitValues(fs::path(ORVEK_DATA_DIR) / "Dat" / "Hearing Protectors" /
                           "Seed_REAT_Values_Earmuff.txt");
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

// Each anchor is the first row within 10 % of its frequency: 112 Hz is more than 10 % off 125 Hz,
// 113 Hz is not and comes before 120 Hz. A table without one cannot be fitted.
TEST(ProtectorFitTest, AnchorRowsAndUnfittableTables) {
  const FitAnchorRows a =
      FindFitAnchorRows(Table({112, 113, 120, 226, 274, 1801, 7201, 8700}, -20));
  EXPECT_EQ(std::tie(a.Row125, a.Row250, a.Row2000, a.Row8000), std::tuple(1, 3, 5, 6));
  const std::pair<std::vector<AttenuationPoint>, const char*> rows[] = {
      {Table({125, 250, 2000, 7000}, -20), "within 10 % of 8000 Hz"},
      {Table({100, 250, 2000, 8000}, -20), "within 10 % of 125 Hz"},
      {Table({125, 250, 2000}, -20), "3 rows"},
      {Table({125, 250, 250, 2000, 8000}, -20), "row 3"},
      {Table({0, 125, 250, 2000, 8000}, -20), "row 1"},
      {Table({std::nan(""), 125, 250, 2000, 8000}, -20), "row 1"}};
  for (const auto& [table, expected] : rows) {
    EXPECT_THAT(MessageOf([&] { FindFitAnchorRows(table); }), ::testing::HasSubstr(expected))
        << expected;
    EXPECT_NE(MessageOf([&] { FitProtectorCircuit(MuffSeed(), ProtectorFitKind::Muff, table); }),
              "");
  }
  TCircuitValues seed = MuffSeed();
  seed.Rleak = 0.0f;
  EXPECT_THAT(MessageOf([&] {
                FitProtectorCircuit(seed, ProtectorFitKind::Muff, Table(kThirdOctavesHz, -20));
              }),
              ::testing::HasSubstr("Rleak"));
}

TEST(ProtectorFitTest, NoLowFrequencyFlagNeedsExactZerosInFirstThreeRows) {
  // A row that is not exactly zero (-0 is), among the first three; the fourth does not count.
  for (const int row : {-1, 0, 2, 3}) {
    std::vector<AttenuationPoint> t = Table({125, 250, 2000, 8000}, 0);
    t[1].MeanDb = -0.0f;
    if (row >= 0) t[row].MeanDb = row == 2 ? 1e-6f : -10.0f;
    EXPECT_EQ(HasNoLowFrequencyData(t), row < 0 || row == 3) << row;
  }
}

// Material estimate worked out by hand (Kcup = 1e6): a = 10^(2/20) for -30 dB at 2 kHz and -28 dB
// at 8 kHz; -36 dB gives a = 0.5 < 0.6 and keeps the seed.
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

// Without low-frequency data the fit takes the limits that fix the material resonance (and a
// muff's material quality), the same each time.
TEST(ProtectorFitTest, FitIsDeterministicAndHonoursTheNoLowFrequencyFlag) {
  std::vector<AttenuationPoint> t = Table(kThirdOctavesHz, -30);
  t[0].MeanDb = t[1].MeanDb = t[2].MeanDb = 0.0f;
  for (const ProtectorFitKind kind :
       {ProtectorFitKind::Muff, ProtectorFitKind::Plug, ProtectorFitKind::PlugPlusMuff}) {
    const ProtectorFitResult a = FitProtectorCircuit(MuffSeed(), kind, t);
    const ProtectorFitResult b = FitProtectorCircuit(MuffSeed(), kind, t);
    EXPECT_EQ(std::memcmp(&a.Values, &b.Values, sizeof a.Values), 0);
    EXPECT_TRUE(a.NoLowFrequency);
    const ProtectorFitLimits limits = FitLimitsFor(kind, true);
    const double km = double{a.Values.Kcup} + a.Values.Kmat;
    ExpectRel(std::sqrt(km / a.Values.Lmat) / (2 * std::numbers::pi),
              limits.MaterialResonanceHz.Low, "material resonance");
    if (limits.MaterialQ.Low == limits.MaterialQ.High)
      ExpectRel(std::sqrt(a.Values.Lmat * km) / a.Values.Rmat, limits.MaterialQ.Low, "quality");
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

// Rms distance of each shipped fit from its data: plugs 5 dB, pairs 8 dB, muffs no further than
// with their earlier limits; also in the muff form, which the protector network realises.
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

// At the fewest RK4 sub-steps a prediction takes (a quiet record's), every mode of every shipped
// fit keeps the ear model's stability margin at the sampling rates of real recordings.
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
