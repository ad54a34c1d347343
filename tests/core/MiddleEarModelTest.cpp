#include "model/MiddleEarModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "model/Friedlander.h"
#include "ErrorMessage.h"
#include "waveform/OrvekError.h"

namespace orvek {
namespace {

constexpr float kRate = 200000.0f;
constexpr float kDt = 1.0f / kRate;
constexpr double kEarScale = 31.622776601683793;  // 10 sqrt(10)

TModelParameters Shipped() {
  TModelParameters p;
  LoadModelParameters(std::filesystem::path(ORVEK_DATA_DIR) / "HUMANEAR.PRM", p);
  DeriveModelConstants(p);
  return p;
}

std::vector<float> Impulse(double peakDb, std::int32_t samples) {
  FriedlanderSpec spec;
  spec.PeakDb = peakDb;
  spec.Samples = samples;
  spec.SampleRate = kRate;
  return FriedlanderSamples(spec);
}

double PeakOf(const std::vector<float>& v, std::size_t from = 0) {
  double peak = 0.0;
  for (std::size_t i = from; i < v.size(); ++i) peak = std::max(peak, std::abs(double{v[i]}));
  return peak;
}

enum class Variant {
  FreeField,
  CanalEntrance,
  Eardrum,
  Protector,
  ProtectedDrum,
  ProtectedEntrance
};

struct Options {
  MuscleTiming Timing = {-1, 1.0, 1.0};  // contracted
  float DitherSpan = 0.0f;               // axisMax - axisMin of the protector run
  ProgressCallback Progress;
  MiddleEarRun* Run = nullptr;
};

// Runs one variant on a copy of `input` (variants 9 and 10 in place) and returns its output.
std::vector<float> RunVariant(Variant variant, std::vector<float> input, TModelParameters p,
                              const Options& o = {}) {
  const auto last = static_cast<std::int32_t>(input.size()) - 1;
  std::vector<float> out(input.size(), -1.0f);
  MuscleTiming timing;
  Lcg32 rng(12345);
  MiddleEarRun run;
  switch (variant) {
    case Variant::FreeField:
      run = TimeDomainModel1(input.data(), out.data(), last, kDt, p, o.Timing, o.Progress);
      break;
    case Variant::CanalEntrance:
      run = TimeDomainModel2(input.data(), out.data(), last, kDt, p, o.Timing, o.Progress);
      break;
    case Variant::Eardrum:
      run = TimeDomainModel3(input.data(), out.data(), last, kDt, p, o.Timing, o.Progress);
      break;
    case Variant::Protector:
      run = TimeDomainModel4(input.data(), out.data(), last, kDt, p, {}, o.DitherSpan, 0.0f, rng);
      break;
    case Variant::ProtectedDrum:
      run = TimeDomainModel9(input.data(), last, kDt, p, timing);
      out = input;
      break;
    case Variant::ProtectedEntrance:
      run = TimeDomainModel10(input.data(), last, kDt, p, timing);
      out = input;
      break;
  }
  if (o.Run != nullptr) *o.Run = run;
  return out;
}

constexpr std::array kAllVariants = {Variant::FreeField,     Variant::CanalEntrance,
                                     Variant::Eardrum,       Variant::Protector,
                                     Variant::ProtectedDrum, Variant::ProtectedEntrance};

// ---- Muscle timing and factors ----

struct TimingCase {
  const char* Name;
  float Delay, Rate, Tau;
  std::int32_t Onset;
};

TEST(MuscleTiming, OnsetInSinglePrecisionAndDecayConstants) {
  const TimingCase cases[] = {
      {"warned, 200 kHz", -0.05f, 200000.0f, 0.01f, -9000},
      {"warned, 25 Hz (interval below 45 ms)", -0.05f, 25.0f, 0.01f, -1},
      {"warned, 20 Hz (interval of 50 ms)", -0.05f, 20.0f, 0.01f, 0},
      {"unwarned, 200 kHz", 0.01f, 200000.0f, 0.01f, 3000},
      {"240 on paper truncates to 239", 0.01f, 16000.0f, 0.01f, 239},
      {"120 on paper truncates to 119", 0.01f, 8000.0f, 0.01f, 119},
      {"single-precision quotient is whole", 0.009f, 10000.0f, 0.011f, 140},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const float dt = 1.0f / c.Rate;
    const MuscleTiming t = ComputeMuscleTiming(c.Delay, dt, c.Tau);
    EXPECT_EQ(t.Onset, c.Onset);
    EXPECT_DOUBLE_EQ(t.Q, std::exp(-double{dt} / c.Tau));
    const double onsetTime = 0.005f + c.Delay;
    if (t.Onset > 0) {
      // After the onset the contraction is 1 - exp(-(t - t_on) / tau) at the sample times.
      for (std::int32_t i : {t.Onset + 1, t.Onset + 7}) {
        EXPECT_NEAR(t.B0 * std::pow(t.Q, i - t.Onset),
                    std::exp((onsetTime - i * double{dt}) / c.Tau), 1e-12);
      }
    } else {
      EXPECT_DOUBLE_EQ(t.B0, std::exp((onsetTime - dt) / c.Tau));
    }
  }
}

TEST(MuscleContraction, RelaxedUpToOnsetThenRisesTowardsFullContraction) {
  const TModelParameters p = Shipped();
  const double fs = p.MuscleStiffnessFactor, fd = p.MuscleDampingFactor;  // 8.001, 4.001
  const MuscleTiming timing{5, 1.3, 0.8};
  MuscleContraction muscles(timing, p);
  for (std::int32_t i = 1; i <= 5; ++i) {
    const MuscleFactors f = muscles.Next(i);
    EXPECT_EQ(f.Stiffness, 1.0) << i;
    EXPECT_EQ(f.Damping, 1.0) << i;
  }
  const MuscleFactors first = muscles.Next(6);
  EXPECT_NEAR(first.Stiffness, 1.0 + (1.0 - 1.3 * 0.8) * (fs - 1.0), 1e-12);
  EXPECT_NEAR(first.Damping, 1.0 + (1.0 - 1.3 * 0.8) * (fd - 1.0), 1e-12);
  double previous = first.Stiffness;
  for (std::int32_t i = 7; i <= 200; ++i) {
    const MuscleFactors f = muscles.Next(i);
    if (i < 60) {
      EXPECT_GT(f.Stiffness, previous) << i;
    }
    previous = f.Stiffness;
  }
  EXPECT_NEAR(previous, fs, 1e-9);

  MuscleContraction warned(ComputeMuscleTiming(kWarnedMuscleDelay, kDt, p.MuscleTimeConstant), p);
  for (std::int32_t i = 1; i <= 3; ++i) {
    const MuscleFactors f = warned.Next(i);
    EXPECT_EQ(f.Stiffness, fs);
    EXPECT_EQ(f.Damping, fd);
  }
}

// ---- Stapes nonlinearity ----

TEST(StapesNonlinearity, OneAtRestGrowingSymmetricallyAndFiniteBeyondTheLimit) {
  const std::array<std::pair<float, float>, 5> restAndLimit = {
      {{0.5f, 1.0f}, {0.1f, 1.0f}, {0.3f, 2.0f}, {0.9f, 1.5f}, {2.0f, 3.0f}}};
  for (const auto& [rest, limit] : restAndLimit) {
    SCOPED_TRACE(testing::Message() << "rest " << rest << " limit " << limit);
    TModelParameters p = Shipped();
    p.NonlinRest = rest;
    p.NonlinLimit = limit;
    const StapesNonlinearity nonlinearity(p);
    EXPECT_DOUBLE_EQ(nonlinearity.Factor(0.0), 1.0);
    // x2 giving a displacement of d NonlinScale; u reaches the limit at this d:
    const double unit = p.NonlinScale / p.Derived.StapesDisplacementScale;
    const double dLimit = std::sqrt(std::pow((1.0 + limit) / (1.0 + rest), 2) - 1.0);
    double previous = 1.0;
    for (int k = 1; k <= 20; ++k) {
      const double x2 = 0.99 * dLimit * k / 20.0 * unit;
      const double y = nonlinearity.Factor(x2);
      EXPECT_GT(y, previous) << k;
      EXPECT_EQ(y, nonlinearity.Factor(-x2)) << k;
      previous = y;
    }
    EXPECT_TRUE(std::isfinite(nonlinearity.Factor(2.0 * dLimit * unit)));
    EXPECT_TRUE(std::isfinite(nonlinearity.Factor(1e6 * unit)));
  }
}

// ---- The sample loop ----

TEST(MiddleEarModel, ZerosGiveZerosAndTheCarriedSubStepCountFollowsTheDivisor) {
  struct Case {
    Variant V;
    float Divisor;
    std::vector<std::int32_t> Carried;  // after samples 1, 2, ...
  };
  const Case cases[] = {
      {Variant::FreeField, 2.0f, {256, 256, 256, 256}},
      {Variant::FreeField, 4.0f, {128, 64, 32, 16, 8, 4, 2, 2, 2}},
      {Variant::CanalEntrance, 4.0f, {128, 64, 32, 16, 8, 4, 2, 2}},
      {Variant::Eardrum, 4.0f, {128, 64, 32, 16, 8, 4, 2, 2}},
      {Variant::Protector, 4.0f, {256, 256, 256}},  // floor 128, doubled once
      {Variant::ProtectedDrum, 8.0f, {64, 16, 4, 2, 2}},
  };
  for (const auto& c : cases) {
    TModelParameters p = Shipped();
    p.SubstepDivisor = c.Divisor;
    for (std::size_t last = 0; last <= c.Carried.size(); ++last) {
      SCOPED_TRACE(testing::Message() << "variant " << static_cast<int>(c.V) << " divisor "
                                      << c.Divisor << " last " << last);
      MiddleEarRun run;
      Options o;
      o.Run = &run;
      const std::vector<float> out = RunVariant(c.V, std::vector<float>(last + 1, 0.0f), p, o);
      EXPECT_EQ(out, std::vector<float>(last + 1, 0.0f));
      EXPECT_EQ(run.CarriedSubSteps, last == 0 ? 256 : c.Carried[last - 1]);
    }
  }
}

TEST(MiddleEarModel, FirstSampleHasNoInfluence) {
  const TModelParameters p = Shipped();
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(static_cast<int>(v));
    std::vector<float> input = Impulse(140.0, 1400);
    input[0] = 0.0f;
    Options o;
    o.DitherSpan = 0.5f;
    const std::vector<float> reference = RunVariant(v, input, p, o);
    input[0] = 5000.0f;
    EXPECT_EQ(RunVariant(v, input, p, o), reference);
    EXPECT_EQ(reference[0], 0.0f);
    EXPECT_GT(PeakOf(reference), 0.0);
  }
}

TEST(MiddleEarModel, LinearAtLowLevel) {
  const TModelParameters p = Shipped();
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(static_cast<int>(v));
    const std::vector<float> small = Impulse(60.0, 2048);
    std::vector<float> doubled = small;
    for (float& s : doubled) s *= 2.0f;
    const std::vector<float> a = RunVariant(v, small, p);
    const std::vector<float> b = RunVariant(v, doubled, p);
    const double peak = PeakOf(b);
    ASSERT_GT(peak, 0.0);
    for (std::size_t i = 0; i < a.size(); ++i) {
      ASSERT_NEAR(b[i], 2.0 * a[i], 1e-6 * peak) << i;
    }
  }
}

TEST(MiddleEarModel, ContractedMusclesReduceLowFrequencyStapesMotion) {
  const TModelParameters p = Shipped();
  std::vector<float> tone(4096);
  for (std::size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<float>(2.0 * std::sin(2.0 * std::numbers::pi * 500.0 * i * kDt));
  }
  Options relaxed;
  relaxed.Timing = {static_cast<std::int32_t>(tone.size()), 1.0, 1.0};
  const double contractedPeak = PeakOf(RunVariant(Variant::FreeField, tone, p), tone.size() / 2);
  const double relaxedPeak =
      PeakOf(RunVariant(Variant::FreeField, tone, p, relaxed), tone.size() / 2);
  EXPECT_LT(contractedPeak, 0.5 * relaxedPeak);
}

TEST(MiddleEarModel, ProgressEveryTwentyThirdOfTheRecordOrEverySample) {
  struct Case {
    Variant V;
    std::int32_t Last, Step;
  };
  const Case cases[] = {{Variant::FreeField, 46, 2},
                        {Variant::CanalEntrance, 100, 4},
                        {Variant::Eardrum, 11, 1},
                        {Variant::Eardrum, 12, 1},
                        {Variant::Eardrum, 35, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Last);
    std::vector<std::int32_t> calls;
    Options o;
    o.Progress = [&](std::int32_t i) { calls.push_back(i); };
    RunVariant(c.V, std::vector<float>(c.Last + 1, 0.0f), Shipped(), o);
    std::vector<std::int32_t> expected;
    for (std::int32_t i = c.Step; i <= c.Last; i += c.Step) expected.push_back(i);
    EXPECT_EQ(calls, expected);
  }
}

// Static transfer of the protector: with a leak the pressure under it follows the outside
// pressure; without one the cup, cushion and material springs share it with the enclosed
// volume, Pc/P = G/(1 + G) with G = Kcup (1/Kcush + 1/Kskin + 1/Kmat).
TEST(MiddleEarModel, ProtectorStaticTransferAndZeroLeakAttenuation) {
  const TModelParameters shipped = Shipped();
  TModelParameters sealed = shipped;
  sealed.ProtectorValue5 = 1e30f;  // Lleak: no leak flow
  sealed.ProtectorValue6 = 0.0f;
  const double g = (1.0 / shipped.ProtectorValue8) *
                   (1.0 / shipped.ProtectorValue1 + 1.0 / shipped.ProtectorValue3 +
                    1.0 / shipped.ProtectorValue11);
  // Slow sampling keeps the run short; a little dither keeps the velocities above round-off.
  const float dt = 1e-4f;
  std::vector<float> step(6001, 1.0f), out(step.size());
  for (const auto& [p, transfer] : {std::pair{shipped, 1.0}, std::pair{sealed, g / (1.0 + g)}}) {
    Lcg32 rng(3);
    TimeDomainModel4(step.data(), out.data(), 6000, dt, p, {}, 1000.0f, 0.0f, rng);
    double mean = 0.0;
    for (std::size_t i = 5000; i < out.size(); ++i) mean += out[i] / 1001.0;
    EXPECT_NEAR(mean, transfer, 0.005 * transfer);
  }

  TModelParameters heavy = sealed;
  heavy.ProtectorValue7 *= 20.0f;  // Lcup
  const std::vector<float> impulse = Impulse(160.0, 2048);
  EXPECT_LT(PeakOf(RunVariant(Variant::Protector, impulse, heavy)), 0.01 * PeakOf(impulse));
}

TEST(MiddleEarModel, NonFiniteAndNonConvergingRunsNameModelAndSample) {
  const TModelParameters p = Shipped();
  const std::string file = "\"" + p.Source.string() + "\"";
  const std::pair<Variant, const char*> names[] = {
      {Variant::FreeField, "The free-field ear model "},
      {Variant::CanalEntrance, "The ear-canal-entrance ear model "},
      {Variant::Eardrum, "The eardrum ear model "},
      {Variant::Protector, "The protector model "},
      {Variant::ProtectedDrum, "The protected free-field ear model "},
      {Variant::ProtectedEntrance, "The protected free-field ear model "}};
  for (const auto& [v, name] : names) {
    std::vector<float> input(200, 0.0f);
    input[100] = std::numeric_limits<float>::quiet_NaN();
    const std::string message = MessageOf([&] { RunVariant(v, input, p); });
    EXPECT_EQ(message.find(name), 0u) << message;
    EXPECT_NE(message.find("not a finite number at sample 100;"), std::string::npos) << message;
    if (v != Variant::Protector) {
      EXPECT_NE(message.find(file), std::string::npos) << message;
    }
  }

  // A divisor below one multiplies the count: 8192 sub-steps carried, then 262144, then too
  // many.
  TModelParameters growing = p;
  growing.SubstepDivisor = 1.0f / 16.0f;
  const std::string message =
      MessageOf([&] { RunVariant(Variant::Eardrum, std::vector<float>(10, 0.0f), growing); });
  EXPECT_EQ(message,
            "The eardrum ear model did not converge at sample 3 (more than 1048576 "
            "sub-steps); check the parameter file " +
                file + ".");
}

// ---- Independent check of the integration ----

// Classical RK4 with a fixed number of sub-steps per sample, the input (scaled to dyn/cm^2)
// interpolated linearly within each interval and sample 0 taken as zero. States are numbered as
// in the equations (x[1] is X1); accelerations(x, v, pressure, i, w, a) is called for the
// interval ending at sample i at the fraction w of it; tap(x) gives each output sample.
template <int N, class Accelerations, class Tap>
std::vector<double> FineRk4(const std::vector<float>& input, double scale, int subSteps,
                            Accelerations accelerations, Tap tap) {
  using State = std::array<double, N + 1>;
  State x{}, v{};
  std::vector<double> out(input.size(), 0.0);
  const double h = double{kDt} / subSteps;
  for (std::size_t i = 1; i < input.size(); ++i) {
    const double p0 = i == 1 ? 0.0 : scale * input[i - 1];
    const double p1 = scale * input[i];
    for (int k = 0; k < subSteps; ++k) {
      auto at = [&](double fraction, const State& xs, const State& vs, State& a) {
        const double w = (k + fraction) / subSteps;
        accelerations(xs, vs, p0 + w * (p1 - p0), i, w, a);
      };
      State a1, a2, a3, a4, xs, v2, v3, v4;
      at(0.0, x, v, a1);
      for (int j = 1; j <= N; ++j) xs[j] = x[j] + h / 2 * v[j], v2[j] = v[j] + h / 2 * a1[j];
      at(0.5, xs, v2, a2);
      for (int j = 1; j <= N; ++j) xs[j] = x[j] + h / 2 * v2[j], v3[j] = v[j] + h / 2 * a2[j];
      at(0.5, xs, v3, a3);
      for (int j = 1; j <= N; ++j) xs[j] = x[j] + h * v3[j], v4[j] = v[j] + h * a3[j];
      at(1.0, xs, v4, a4);
      for (int j = 1; j <= N; ++j) {
        x[j] += h / 6 * (v[j] + 2 * v2[j] + 2 * v3[j] + v4[j]);
        v[j] += h / 6 * (a1[j] + 2 * a2[j] + 2 * a3[j] + a4[j]);
      }
    }
    out[i] = tap(x);
  }
  return out;
}

// The ear networks written out again from their equations, in plain double arithmetic from the
// file values; the states a form does not have stay at rest.
class ReferenceEar {
 public:
  using State = std::array<double, 25>;
  explicit ReferenceEar(const TModelParameters& p, Variant form = Variant::FreeField)
      : p_(p), form_(form) {}

  // Muscle factors at a sample; the first interval ramps from relaxed.
  std::function<MuscleFactors(std::int32_t)> Factors;

  // Stapes displacement (um) or, for a section s in 1..16, the canal pressure (Pa) behind it.
  std::vector<double> Run(const std::vector<float>& input, int section, int subSteps) const {
    const auto accelerations = [this](const State& x, const State& v, double pressure,
                                      std::size_t i, double w, State& a) {
      const MuscleFactors f0 = i == 1 ? MuscleFactors{} : Factors(i - 1), f1 = Factors(i);
      Accelerations(x, v, pressure, f0.Stiffness + w * (f1.Stiffness - f0.Stiffness),
                    f0.Damping + w * (f1.Damping - f0.Damping), a);
    };
    const auto tap = [this, section](const State& x) {
      return section == 0 ? x[2] * 10000.0 / (double{p_.LeverRatio} * p_.OutputArea)
                          : (x[section + 6] - x[section + 5]) * K(section) / kEarScale;
    };
    return FineRk4<24>(input, kEarScale, subSteps, accelerations, tap);
  }

 private:
  double K(int s) const { return p_.Derived.CanalSectionStiffness[s - 1]; }
  double M(int s) const { return p_.Derived.CanalSectionInertance[s - 1]; }

  void Accelerations(const State& X, const State& V, double P, double fs, double fd,
                     State& A) const {
    const TModelParameters& p = p_;
    const double T = double{p.LeverRatio} * p.LeverRatio;
    std::array<double, 24> Q{};
    Q[1] = (V[2] - V[1]) * p.Resistance12 / T;
    Q[2] = (V[3] - V[2]) * p.Resistance23 / T + (X[3] - X[2]) / (p.Compliance23 * T);
    Q[3] = (V[4] - V[3]) * p.Resistance34 / T + (X[4] - X[3]) / (p.Compliance34 * T);
    Q[4] = (V[6] - V[4]) * p.Resistance46 + (X[6] - X[4]) / p.Compliance46;
    Q[5] = (X[6] - X[5]) / p.Compliance56;
    Q[6] = (X[7] - X[6]) * K(1);

    const double pi = std::numbers::pi;
    const double d = X[2] * 10000.0 / (double{p.LeverRatio} * p.OutputArea) / p.NonlinScale;
    const double u = std::sqrt(d * d + 1.0) * (1.0 + p.NonlinRest) - 1.0;
    const double theta = std::min(u * pi / (2.0 * p.NonlinLimit), 0.9997 * pi / 2.0);
    const double y = std::tan(theta) * (1.0 + p.NonlinRest) /
                     (std::tan(p.NonlinRest * pi / (2.0 * p.NonlinLimit)) * (u + 1.0));
    const double kv = fs * y / (p.Compliance2Var * T);
    const double rv =
        fd * (p.Resistance2 / T) * (p.NonlinDampingSlope * y - (p.NonlinDampingSlope - 1.0));

    A[1] = (Q[1] - V[1] * p.Resistance1 / T) / (p.Mass1 / T);
    A[2] = (Q[2] - Q[1] - (kv + 1.0 / (p.Compliance2Fixed * T)) * X[2] - rv * V[2]) /
           ((double{p.Mass2A} + p.Mass2B) / T);
    A[3] = (Q[3] - Q[2]) / (p.Mass3 / T);
    // (Mass46 + Mass4) A4 - Mass46 A6 = r4;  -Mass46 A4 + (M1/2 + Mass46) A6 = r6 (Cramer).
    const double r4 = Q[4] - Q[3] - p.Resistance4 * V[4] - X[4] / p.Compliance4;
    const double r6 = Q[6] - Q[4] - Q[5];
    const double m11 = double{p.Mass46} + p.Mass4, m12 = -double{p.Mass46};
    const double m22 = M(1) / 2.0 + p.Mass46;
    const double det = m11 * m22 - m12 * m12;
    A[4] = (r4 * m22 - m12 * r6) / det;
    A[6] = (m11 * r6 - m12 * r4) / det;
    A[5] = (Q[5] - p.Resistance5 * V[5] - X[5] / p.Compliance5) / p.Mass5;
    if (form_ == Variant::Eardrum) {
      A[4] = (P - Q[3] - Q[5] - p.Resistance4 * V[4] - X[4] / p.Compliance4) / p.Mass4;
      A[6] = (P - Q[4] - Q[5]) / p.Mass46 + A[4];
      return;
    }
    for (int j = 7; j <= 21; ++j) {
      Q[j] = (X[j + 1] - X[j]) * K(j - 5);
      A[j] = (Q[j] - Q[j - 1]) * 2.0 / (M(j - 6) + M(j - 5));
    }
    const double q22 = (V[22] - V[23]) * 2.0 * AirImpedance / p.CanalEntranceArea;
    A[23] = q22 / (2.55 * AirDensity / std::sqrt(pi * p.CanalEntranceArea));
    if (form_ == Variant::CanalEntrance) {
      A[22] = (P - q22 - Q[21]) * 2.0 / M(16);
      return;
    }
    const double q23 = (V[24] - V[22]) * p.HeadResistance;
    A[22] = (p.CanalSourceGain * P + q23 - q22 - Q[21]) * 2.0 / M(16);
    A[24] = ((double{p.SourceGain} - p.CanalSourceGain) * P - q23) / p.HeadMass;
  }

  TModelParameters p_;
  Variant form_;
};

// Factors from the closed form 1 - exp(-(t - t_on) / tau) after the onset sample.
std::function<MuscleFactors(std::int32_t)> ClosedFormFactors(const TModelParameters& p,
                                                             float delay) {
  const double onsetTime = 0.005f + delay;
  const MuscleTiming t = ComputeMuscleTiming(delay, kDt, p.MuscleTimeConstant);
  const double tau = p.MuscleTimeConstant;
  const double fs = p.MuscleStiffnessFactor, fd = p.MuscleDampingFactor;
  return [=](std::int32_t i) {
    if (t.Onset >= 0 && i <= t.Onset) return MuscleFactors{};
    const double c = t.Onset < 0 ? 1.0 : 1.0 - std::exp((onsetTime - i * double{kDt}) / tau);
    return MuscleFactors{1.0 + c * (fs - 1.0), 1.0 + c * (fd - 1.0)};
  };
}

void ExpectCloseToReference(const std::vector<float>& out, const std::vector<double>& reference,
                            double fractionOfPeak) {
  double peak = 0.0, worst = 0.0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    peak = std::max(peak, std::abs(reference[i]));
    worst = std::max(worst, std::abs(out[i] - reference[i]));
  }
  ASSERT_GT(peak, 0.0);
  EXPECT_LT(worst, fractionOfPeak * peak)
      << "largest deviation " << worst / peak * 100 << " % of peak";
}

TEST(MiddleEarModel, FreeFieldAgreesWithFineFixedStepSolution) {
  const TModelParameters p = Shipped();
  const std::vector<float> input = Impulse(160.0, 4096);
  // Warned, and a contraction that starts 4 ms before the impulse and is still rising through
  // the response (onset sample 200).
  for (float delay : {kWarnedMuscleDelay, -0.004f}) {
    SCOPED_TRACE(delay);
    const MuscleTiming timing = ComputeMuscleTiming(delay, kDt, p.MuscleTimeConstant);
    ReferenceEar reference(p);
    reference.Factors = ClosedFormFactors(p, delay);
    Options o;
    o.Timing = timing;
    ExpectCloseToReference(RunVariant(Variant::FreeField, input, p, o), reference.Run(input, 0, 64),
                           0.005);
  }
}

TEST(MiddleEarModel, CanalEntranceAndEardrumFormsAgreeWithFineFixedStepSolution) {
  const TModelParameters p = Shipped();
  const std::vector<float> input = Impulse(155.0, 3072);
  for (Variant form : {Variant::CanalEntrance, Variant::Eardrum}) {
    SCOPED_TRACE(static_cast<int>(form));
    ReferenceEar reference(p, form);
    reference.Factors = ClosedFormFactors(p, kWarnedMuscleDelay);
    ExpectCloseToReference(RunVariant(form, input, p), reference.Run(input, 0, 64), 0.005);
  }
}

TEST(MiddleEarModel, ProtectedEarInPlaceAgreesWithFineFixedStepSolution) {
  const std::vector<float> input = Impulse(150.0, 4096);
  for (const auto& [variant, section] :
       {std::pair{Variant::ProtectedDrum, 2}, std::pair{Variant::ProtectedEntrance, 16}}) {
    SCOPED_TRACE(section);
    TModelParameters p = Shipped();
    std::vector<float> samples = input;
    MuscleTiming timing;
    const auto last = static_cast<std::int32_t>(samples.size()) - 1;
    if (variant == Variant::ProtectedDrum) {
      TimeDomainModel9(samples.data(), last, kDt, p, timing);
    } else {
      TimeDomainModel10(samples.data(), last, kDt, p, timing);
    }
    EXPECT_EQ(p.MuscleTimeConstant, 0.011f);
    const MuscleTiming expected = ComputeMuscleTiming(0.009f, kDt, 0.011f);
    EXPECT_EQ(timing.Onset, expected.Onset);
    EXPECT_EQ(timing.B0, expected.B0);
    ReferenceEar reference(p);
    reference.Factors = ClosedFormFactors(p, 0.009f);
    // The step control watches the middle-ear velocities only, so the canal pressure is a little
    // less accurate where the impulse arrives (0.8 % of the peak at the entrance).
    ExpectCloseToReference(samples, reference.Run(input, section, 64), 0.01);
  }
}

// The protector network from its equations; compliances Ccush, Cskin, Cmat are held as
// stiffnesses, Ccup as a compliance. Output: pressure under the protector in Pa.
std::vector<double> ReferenceProtector(const TModelParameters& p, const LeakLevelCoefficients& leak,
                                       const std::vector<float>& input) {
  using State = std::array<double, 5>;
  const double kCush = p.ProtectorValue1, rCush = p.ProtectorValue2, kSkin = p.ProtectorValue3,
               rSkin = p.ProtectorValue4, lLeak = p.ProtectorValue5, rLeak = p.ProtectorValue6,
               lCup = p.ProtectorValue7, cCup = p.ProtectorValue8, rMat = p.ProtectorValue9,
               lMat = p.ProtectorValue10, kMat = p.ProtectorValue11;
  const auto accelerations = [&](const State& x, const State& v, double pressure, std::size_t,
                                 double, State& a) {
    const double pd = pressure - (x[1] + x[2] + x[3]) / cCup;
    a[1] = (pd - rCush * v[4] - x[4] * kCush) / lCup;
    const double v2 = v[2] * v[2];
    a[2] = (pd - rLeak * (1.0 + leak.Rleak * v2) * v[2]) / (lLeak * (1.0 + leak.Lleak * v2));
    a[3] = (pd - rMat * v[3] - x[3] * kMat) / lMat;
    a[4] = (rSkin * a[1] + v[1] * kSkin - (kSkin + kCush) * v[4]) / (rSkin + rCush);
  };
  const auto tap = [&](const State& x) { return (x[1] + x[2] + x[3]) / cCup / 10.0; };
  return FineRk4<4>(input, 10.0, 512, accelerations, tap);
}

TEST(MiddleEarModel, ProtectorAgreesWithFineFixedStepSolution) {
  const TModelParameters p = Shipped();
  const std::vector<float> input = Impulse(160.0, 2048);
  const auto last = static_cast<std::int32_t>(input.size()) - 1;
  std::vector<float> linear;
  for (const LeakLevelCoefficients leak :
       {LeakLevelCoefficients{}, LeakLevelCoefficients{1e4f, 0.0f},
        LeakLevelCoefficients{0.0f, 2e4f}}) {
    SCOPED_TRACE(testing::Message() << leak.Lleak << " " << leak.Rleak);
    std::vector<float> out(input.size());
    Lcg32 rng;
    TimeDomainModel4(input.data(), out.data(), last, kDt, p, leak, 0.0f, 0.0f, rng);
    ExpectCloseToReference(out, ReferenceProtector(p, leak, input), 0.005);
    if (linear.empty()) {
      linear = out;
    } else {  // the level terms change the result by more than the tolerance
      double change = 0.0;
      for (std::size_t i = 0; i < out.size(); ++i)
        change = std::max(change, std::abs(double{out[i]} - linear[i]));
      EXPECT_GT(change, 0.01 * PeakOf(linear));
    }
  }
}

// One draw per sample from sample 1 on, added to the input after its scaling to dyn/cm^2: the
// same dither given as an input in Pa (a tenth of it) gives the same result.
TEST(MiddleEarModel, ProtectorDitherIsOneDrawPerSampleAddedAfterScaling) {
  const TModelParameters p = Shipped();
  const double amplitude = 400.0;  // dyn/cm^2 from trough to crest
  std::vector<float> zeros(2001, 0.0f), out(zeros.size());
  Lcg32 rng(99), draws(99);
  TimeDomainModel4(zeros.data(), out.data(), 2000, kDt, p, {},
                   static_cast<float>(131072.0 * amplitude), 0.0f, rng);
  std::vector<float> dither(zeros.size(), 0.0f);
  for (std::size_t i = 1; i < dither.size(); ++i) {
    dither[i] = static_cast<float>((draws.Uniform() - 0.5) * amplitude / 10.0);
  }
  EXPECT_EQ(rng.State(), draws.State());
  ExpectCloseToReference(out, ReferenceProtector(p, {}, dither), 0.005);
}

}  // namespace
}  // namespace orvek
