#include "model/MiddleEarModel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <type_traits>

#include "base/Constants.h"
#include "base/ErrorText.h"
#include "base/OrvekError.h"
#include "model/ModeStability.h"

namespace orvek {
namespace {

// Input pressure in Pa -> dyn/cm^2 (x 10); the ear models' input is raised by a further 10 dB
// (x sqrt(10)), the protector network's is not.
constexpr double kEarInputScale = 31.622776601683793;  // 10 sqrt(10)
constexpr double kProtectorInputScale = 10.0;
constexpr std::int32_t kInitialSubSteps = 256;  // RK4 sub-steps per sample before the first one
// Two successive solutions of a sample agree when their velocities differ by at most this
// fraction (0.1 %).
constexpr double kAgreement = 0.001;
// Output samples are single precision.
constexpr double kLargestSample = std::numeric_limits<float>::max();

// Input pressure (dyn/cm^2) and muscle factors at one instant of a sample interval.
struct Drive {
  double Pressure = 0.0;
  double Stiffness = 1.0;
  double Damping = 1.0;
};

// The drive at the previous and the current sample, interpolated linearly in between.
struct DriveInterval {
  Drive Start, End;
  Drive At(double fraction) const {
    return {Start.Pressure + fraction * (End.Pressure - Start.Pressure),
            Start.Stiffness + fraction * (End.Stiffness - Start.Stiffness),
            Start.Damping + fraction * (End.Damping - Start.Damping)};
  }
};

enum class EarForm { FreeField, CanalEntrance, Eardrum };

// Outer ear, canal and middle ear as an acoustic network in CGS units. State j has a volume
// displacement x[j] (cm^3) and a volume velocity v[j] (cm^3/s), both positive inwards (from the
// canal entrance towards the cochlea); Accelerations gives a[j] = dv[j]/dt (cm^3/s^2). Pressures
// are in dyn/cm^2: a resistance R (dyn s/cm^5) opposes R v, a stiffness K = 1/C (dyn/cm^5)
// opposes K x, and the net pressure on an acoustic mass M (g/cm^4) accelerates it, a = P / M.
//
// States (0-based here; the parameter file numbers the branches from 1), named as the shipped
// parameter file describes them:
//   0  branch 1, the cochlear input
//   1  branch 2, the stapes on its annular ligament
//   2  branch 3, the incus
//   3  branch 4, the malleus
//   4  branch 5, the eardrum's own branch
//   5  branch 6, the eardrum end of the canal
//   6-20  the nodes between the 16 canal sections (section 1 at the eardrum end)
//   21 the canal-entrance node, 22 the radiation mass at the entrance, 23 the head and pinna
//      branch of the free-field form.
// Branches 1 to 3 are referred to the eardrum side through the ossicular lever, T = LeverRatio^2:
// their masses and resistances divided by T, their compliances multiplied by T.
template <EarForm kForm>
class EarNetwork {
 public:
  static constexpr int kStates =
      kForm == EarForm::FreeField ? 24 : (kForm == EarForm::CanalEntrance ? 23 : 6);
  // The velocities compared by the step doubling: V2 to V7 (numbered from 1) as far as they
  // exist.
  static constexpr int kCheckedFirst = 1;
  static constexpr int kCheckedEnd = std::min(7, kStates);
  using State = std::array<double, kStates>;

  explicit EarNetwork(const TModelParameters& p) : nonlinearity_(p) {
    const TDerivedModelConstants& k = p.Derived;
    r12_ = k.Resistance12Referred;
    r23_ = k.Resistance23Referred;
    k23_ = k.Stiffness23Referred;
    r34_ = k.Resistance34Referred;
    k34_ = k.Stiffness34Referred;
    r46_ = p.Resistance46;
    k46_ = k.Stiffness46;
    k56_ = k.Stiffness56;
    r1_ = k.Resistance1Referred;
    invM1_ = k.InverseMass1Referred;
    invM2_ = k.InverseMass2Referred;
    invM3_ = k.InverseMass3Referred;
    k2Var_ = k.Stiffness2VarReferred;
    k2Fixed_ = k.Stiffness2FixedReferred;
    r2_ = k.Resistance2Referred;
    dampingSlope_ = p.NonlinDampingSlope;
    r4_ = p.Resistance4;
    k4_ = k.Stiffness4;
    invM4_ = k.InverseMass4;
    invM46_ = k.InverseMass46;
    r5_ = p.Resistance5;
    k5_ = k.Stiffness5;
    invM5_ = k.InverseMass5;
    blockA_ = k.MassBlockAOverDet;
    blockB_ = k.MassBlockBOverDet;
    blockC_ = k.MassBlockCOverDet;
    std::copy(k.CanalSectionStiffness.begin(), k.CanalSectionStiffness.end(), canalK_.begin());
    std::copy(k.InverseNodeInertance.begin(), k.InverseNodeInertance.end(), invNode_.begin());
    rRad_ = k.EntranceRadiationResistance;
    invMRad_ = k.InverseRadiationMass;
    rHead_ = p.HeadResistance;
    invMHead_ = k.InverseHeadMass;
    canalGain_ = p.CanalSourceGain;
    outerGain_ = double{p.SourceGain} - p.CanalSourceGain;
  }

  void Accelerations(const State& x, const State& v, const Drive& in, State& a) const {
    // Pressures across the elements two neighbouring branches share, positive when the outer
    // branch (the higher number) has moved further in: each pushes the inner branch in (+q) and
    // holds the outer one back (-q).
    const double q1 = (v[1] - v[0]) * r12_;                         // cochlear input - stapes
    const double q2 = (v[2] - v[1]) * r23_ + (x[2] - x[1]) * k23_;  // incus-stapes joint
    const double q3 = (v[3] - v[2]) * r34_ + (x[3] - x[2]) * k34_;  // malleus-incus joint
    const double q4 = (v[5] - v[3]) * r46_ + (x[5] - x[3]) * k46_;  // eardrum coupling, 4-6
    const double q5 = (x[5] - x[4]) * k56_;                         // middle-ear cavity air, 5-6

    // The annular ligament: a variable stiffness y K2var and a damping R2 (1 + NonlinDampingSlope
    // (y - 1)) that grow as the stapes moves out of rest (y = 1 there), each raised further by its
    // muscle factor; beside them the fixed stiffness K2fixed.
    const double y = nonlinearity_.Factor(x[1]);
    const double kVar = in.Stiffness * y * k2Var_;
    const double rVar = in.Damping * r2_ * (dampingSlope_ * y - (dampingSlope_ - 1.0));

    a[0] = (q1 - v[0] * r1_) * invM1_;
    a[1] = (q2 - q1 - (kVar + k2Fixed_) * x[1] - rVar * v[1]) * invM2_;
    a[2] = (q3 - q2) * invM3_;
    a[4] = (q5 - r5_ * v[4] - x[4] * k5_) * invM5_;

    if constexpr (kForm == EarForm::Eardrum) {
      // The system below without canal mass at the eardrum end and with the eardrum pressure P
      // for the canal's: adding its two rows gives Mass4 a4, its second row Mass46 (a6 - a4).
      a[3] = (in.Pressure - q3 - q5 - r4_ * v[3] - x[3] * k4_) * invM4_;
      a[5] = (in.Pressure - q4 - q5) * invM46_ + a[3];
    } else {
      double q = (x[6] - x[5]) * canalK_[0];  // pressure in canal section 1
      // Branch 4 and the eardrum end of the canal (half the inertance M1 of section 1) share the
      // mass Mass46, which adds Mass46 (a6 - a4) to q4:
      //   (Mass46 + Mass4) a4 - Mass46 a6 = q4 - q3 - R4 v4 - K4 x4 = f4
      //   -Mass46 a4 + (M1/2 + Mass46) a6 = q - q4 - q5 = f6
      // solved with the inverse of the mass block stored with the parameters.
      const double f4 = q4 - q3 - r4_ * v[3] - x[3] * k4_;
      const double f6 = q - q4 - q5;
      a[3] = blockA_ * f4 + blockB_ * f6;
      a[5] = blockB_ * f4 + blockC_ * f6;
      // Canal line: each node between two sections carries half the inertance of both and is
      // pushed in by the pressure of the section outside it, back by the one inside it.
      for (int j = 6; j < 21; ++j) {
        const double next = (x[j + 1] - x[j]) * canalK_[j - 5];
        a[j] = (next - q) * invNode_[j - 5];
        q = next;
      }
      // Radiation at the entrance: a resistance 2 rho c / area in parallel with a mass, both
      // carrying qRad, which holds the entrance node back and accelerates the radiation mass.
      const double qRad = (v[21] - v[22]) * rRad_;
      a[22] = qRad * invMRad_;
      if constexpr (kForm == EarForm::FreeField) {
        // The free field drives the entrance node with CanalSourceGain P and the head and pinna
        // branch with the rest of SourceGain P; HeadResistance couples the two.
        const double qHead = (v[23] - v[21]) * rHead_;
        a[21] = (canalGain_ * in.Pressure + qHead - qRad - q) * invNode_[16];
        a[23] = (outerGain_ * in.Pressure - qHead) * invMHead_;
      } else {
        a[21] = (in.Pressure - qRad - q) * invNode_[16];
      }
    }
  }

 private:
  StapesNonlinearity nonlinearity_;
  double r12_, r23_, k23_, r34_, k34_, r46_, k46_, k56_;
  double r1_, invM1_, invM2_, invM3_, k2Var_, k2Fixed_, r2_, dampingSlope_;
  double r4_, k4_, invM4_, invM46_, r5_, k5_, invM5_;
  double blockA_, blockB_, blockC_;
  std::array<double, CanalSectionCount> canalK_{};
  std::array<double, CanalSectionCount + 1> invNode_{};
  double rRad_, invMRad_, rHead_, invMHead_, canalGain_, outerGain_;
};

// Earmuff or earplug as an acoustic network in the same units as the ear (x in cm^3, v in cm^3/s,
// pressures in dyn/cm^2, positive inwards). Three paths let volume into the space under the
// protector: the cup (or plug) moving as a mass (state 0), the leak (1) and transmission through
// the material (2). State 3 is the deflection of the cushion, which holds the cup on the skin.
class ProtectorNetwork {
 public:
  static constexpr int kStates = 4;
  static constexpr int kCheckedFirst = 0;
  static constexpr int kCheckedEnd = 4;
  static constexpr std::int32_t kMinSubSteps = 128;
  using State = std::array<double, kStates>;

  ProtectorNetwork(const TModelParameters& p, const LeakLevelCoefficients& leak)
      : kCush_(p.ProtectorValue1),
        rCush_(p.ProtectorValue2),
        kSkin_(p.ProtectorValue3),
        rSkin_(p.ProtectorValue4),
        invLLeak_(1.0 / p.ProtectorValue5),
        rLeak_(p.ProtectorValue6),
        invLCup_(1.0 / p.ProtectorValue7),
        kCup_(1.0 / p.ProtectorValue8),
        rMat_(p.ProtectorValue9),
        invLMat_(1.0 / p.ProtectorValue10),
        kMat_(p.ProtectorValue11),
        invRSkinCush_(1.0 / (double{p.ProtectorValue4} + p.ProtectorValue2)),
        lLeakLevel_(leak.Lleak),
        rLeakLevel_(leak.Rleak) {}

  // Pressure under the protector, dyn/cm^2: the volume the three paths let in compresses the
  // space under the cup, of stiffness 1/Ccup.
  double InnerPressure(const State& x) const { return (x[0] + x[1] + x[2]) * kCup_; }

  void Accelerations(const State& x, const State& v, const Drive& in, State& a) const {
    const double pd = in.Pressure - InnerPressure(x);  // across the protector
    const double leakSquared = v[1] * v[1];
    // The cup: driven by pd, held by the cushion (Rcush v3 + Kcush x3).
    a[0] = (pd - rCush_ * v[3] - x[3] * kCush_) * invLCup_;
    // The leak: mass and resistance that grow with the square of the leak flow when the
    // protector's level coefficients are set.
    a[1] = (pd - rLeak_ * (1.0 + rLeakLevel_ * leakSquared) * v[1]) * invLLeak_ /
           (1.0 + lLeakLevel_ * leakSquared);
    // The material: mass, resistance and stiffness in series.
    a[2] = (pd - rMat_ * v[2] - x[2] * kMat_) * invLMat_;
    // Cushion (x3) and skin (x0 - x3) in series carry one pressure:
    //   Rcush v3 + Kcush x3 = Rskin (v0 - v3) + Kskin (x0 - x3);
    // its time derivative, solved for a3.
    a[3] = (rSkin_ * a[0] + v[0] * kSkin_ - (kSkin_ + kCush_) * v[3]) * invRSkinCush_;
  }

 private:
  double kCush_, rCush_, kSkin_, rSkin_, invLLeak_, rLeak_, invLCup_, kCup_;
  double rMat_, invLMat_, kMat_, invRSkinCush_, lLeakLevel_, rLeakLevel_;
};

// One sample interval by classical RK4 with n sub-steps from (x0, v0) into (x, v); the drive is
// interpolated at the start, middle and end of each sub-step.
template <class Network>
void RungeKuttaStep(const Network& net, const typename Network::State& x0,
                    const typename Network::State& v0, const DriveInterval& drive, double dt,
                    std::int32_t n, typename Network::State& x, typename Network::State& v) {
  using State = typename Network::State;
  constexpr int kN = Network::kStates;
  const double h = dt / n;
  const double half = h / 2.0;
  const double sixth = h / 6.0;
  x = x0;
  v = v0;
  State a1, a2, a3, a4, xs, v2, v3, v4;
  for (std::int32_t k = 1; k <= n; ++k) {
    const Drive start = drive.At((k - 1.0) / n);
    const Drive middle = drive.At((k - 0.5) / n);
    const Drive end = drive.At(static_cast<double>(k) / n);
    net.Accelerations(x, v, start, a1);
    for (int j = 0; j < kN; ++j) {
      xs[j] = x[j] + half * v[j];
      v2[j] = v[j] + half * a1[j];
    }
    net.Accelerations(xs, v2, middle, a2);
    for (int j = 0; j < kN; ++j) {
      xs[j] = x[j] + half * v2[j];
      v3[j] = v[j] + half * a2[j];
    }
    net.Accelerations(xs, v3, middle, a3);
    for (int j = 0; j < kN; ++j) {
      xs[j] = x[j] + h * v3[j];
      v4[j] = v[j] + h * a3[j];
    }
    net.Accelerations(xs, v4, end, a4);
    for (int j = 0; j < kN; ++j) {
      x[j] += sixth * (v[j] + 2.0 * (v2[j] + v3[j]) + v4[j]);
      v[j] += sixth * (a1[j] + 2.0 * (a2[j] + a3[j]) + a4[j]);
    }
  }
}

// Sub-stepping a linear network is itself linear: n RK4 sub-steps with the drive interpolated
// between two samples map (x0, v0, previous pressure, current pressure) to (x, v) by one matrix.
// The matrix of each sub-step count is found once, by sub-stepping unit inputs, and then replaces
// the n sub-steps of every sample that uses that count. It agrees with sub-stepping to rounding.
template <class Network>
class LinearSubStepMaps {
 public:
  using State = typename Network::State;
  LinearSubStepMaps(const Network& net, double dt) : net_(net), dt_(dt) {}

  void operator()(const State& x0, const State& v0, const DriveInterval& drive, std::int32_t n,
                  State& x, State& v) {
    const Map& map = MapFor(n);
    std::array<double, kInputs> in{};
    std::copy(x0.begin(), x0.end(), in.begin());
    std::copy(v0.begin(), v0.end(), in.begin() + kN);
    in[2 * kN] = drive.Start.Pressure;
    in[2 * kN + 1] = drive.End.Pressure;
    for (int row = 0; row < 2 * kN; ++row) {
      double sum = 0.0;
      for (int j = 0; j < kInputs; ++j) sum += map[row * kInputs + j] * in[j];
      (row < kN ? x[row] : v[row - kN]) = sum;
    }
  }

 private:
  static constexpr int kN = Network::kStates;
  static constexpr int kInputs = 2 * kN + 2;
  using Map = std::array<double, 2 * kN * kInputs>;  // row-major, one row per state

  const Map& MapFor(std::int32_t n) {
    const auto found = maps_.find(n);
    if (found != maps_.end()) return found->second;
    Map map{};
    for (int j = 0; j < kInputs; ++j) {
      State x0{}, v0{}, x, v;
      DriveInterval drive;
      drive.Start.Pressure = drive.End.Pressure = 0.0;
      if (j < kN)
        x0[j] = 1.0;
      else if (j < 2 * kN)
        v0[j - kN] = 1.0;
      else
        (j == 2 * kN ? drive.Start : drive.End).Pressure = 1.0;
      RungeKuttaStep(net_, x0, v0, drive, dt_, n, x, v);
      for (int row = 0; row < kN; ++row) {
        map[row * kInputs + j] = x[row];
        map[(row + kN) * kInputs + j] = v[row];
      }
    }
    return maps_.emplace(n, map).first->second;
  }

  const Network& net_;
  double dt_;
  std::map<std::int32_t, Map> maps_;
};

// How a run names itself in its messages.
struct RunLabel {
  const char* Model;  // "free-field ear model"
  std::string Check;  // what the user should look at
};

[[noreturn]] void FailNotConverged(const RunLabel& label, std::int32_t sample) {
  throw OrvekError(std::string("The ") + label.Model + " did not converge at sample " +
                   std::to_string(sample) + " (more than " + std::to_string(kMaxSubStepsPerSample) +
                   " sub-steps); check " + label.Check + ".");
}

[[noreturn]] void FailNotFinite(const RunLabel& label, std::int32_t sample) {
  throw OrvekError(std::string("The ") + label.Model +
                   " gave a value that is not a finite number at sample " + std::to_string(sample) +
                   "; check " + label.Check + " and the waveform.");
}

template <class State>
bool AllFinite(const State& s) {
  return std::all_of(s.begin(), s.end(), [](double value) { return std::isfinite(value); });
}

// The sub-step count a new sample starts from: the carried count divided by SubstepDivisor,
// rounded, at least `floor`; capped so that it converts safely (the caller rejects anything
// above half the maximum, since it doubles at least once).
std::int32_t DividedSubSteps(std::int32_t carried, double divisor, std::int32_t floor) {
  const double divided = std::nearbyint(carried / divisor);
  if (!(divided >= floor)) return floor;
  return static_cast<std::int32_t>(std::min(divided, double{kMaxSubStepsPerSample}));
}

// The count accepted on a quiet sample settles here. The map from the carried count is monotone,
// so the counts of any record stay at or above those of a silent one, which fall (or rise)
// steadily.
std::int32_t FewestSubSteps(double divisor, std::int32_t floor) {
  const auto quiet = [divisor, floor](std::int32_t carried) {
    return 2 * DividedSubSteps(carried, divisor, floor);
  };
  std::int32_t n = quiet(kInitialSubSteps);
  for (std::int32_t next = quiet(n); next < n; next = quiet(n)) n = next;
  return n;
}

// n RK4 sub-steps of `net` over one sample interval, one at a time.
template <class Network>
auto SubStepsOf(const Network& net, double dt) {
  return [&net, dt](const auto& x0, const auto& v0, const DriveInterval& drive, std::int32_t n,
                    auto& x, auto& v) { RungeKuttaStep(net, x0, v0, drive, dt, n, x, v); };
}

// Everything a run needs besides how it advances a sample interval by n sub-steps (`step`, for
// the network whose velocities it checks): where its input comes from (inputAt(i) gives the
// pressure of sample i in dyn/cm^2, called once per sample in order), what it writes (tap(x)),
// the floor of the divided sub-step count, the muscles (none for the protector) and the progress
// callback (ear models only).
template <class Network, class InputAt, class Tap, class Step>
MiddleEarRun IntegrateRecord(const Network& /*net*/, Step step, InputAt inputAt, Tap tap,
                             float* output, std::int32_t last, double substepDivisor,
                             std::int32_t minSubSteps, MuscleContraction* muscles,
                             const ProgressCallback* progress, const RunLabel& label) {
  using State = typename Network::State;
  MiddleEarRun run;
  run.CarriedSubSteps = kInitialSubSteps;
  if (last < 0) return run;

  State x{}, v{}, x0{}, v0{};
  output[0] = static_cast<float>(tap(x));
  Drive previous;  // sample 0 is not used: zero pressure, relaxed muscles
  std::int32_t n = kInitialSubSteps;
  const std::int32_t progressStep = std::max<std::int32_t>(
      1, static_cast<std::int32_t>(std::nearbyint(static_cast<double>(last) / 23.0)));
  std::array<double, Network::kCheckedEnd - Network::kCheckedFirst> coarse{};

  for (std::int32_t i = 1; i <= last; ++i) {
    Drive current;
    current.Pressure = inputAt(i);
    if (muscles != nullptr) {
      const MuscleFactors f = muscles->Next(i);
      current.Stiffness = f.Stiffness;
      current.Damping = f.Damping;
    }
    const DriveInterval drive{previous, current};

    n = DividedSubSteps(n, substepDivisor, minSubSteps);
    if (n > kMaxSubStepsPerSample / 2) FailNotConverged(label, i);  // it doubles at least once
    x0 = x;
    v0 = v;
    step(x0, v0, drive, n, x, v);
    run.SubSteps += n;
    // Halve the step until two successive solutions agree; at least once.
    double disagreement = 0.0;
    do {
      std::copy(v.begin() + Network::kCheckedFirst, v.begin() + Network::kCheckedEnd,
                coarse.begin());
      n *= 2;
      step(x0, v0, drive, n, x, v);
      run.SubSteps += n;
      disagreement = 0.0;
      for (std::size_t j = 0; j < coarse.size(); ++j) {
        const double fine = v[Network::kCheckedFirst + j];
        if (fine != 0.0) disagreement = std::max(disagreement, std::abs(coarse[j] / fine - 1.0));
      }
      if (disagreement > kAgreement && n > kMaxSubStepsPerSample / 2) FailNotConverged(label, i);
    } while (disagreement > kAgreement);
    run.PeakSubSteps = std::max(run.PeakSubSteps, n);

    const double out = tap(x);
    if (!AllFinite(x) || !AllFinite(v) || !(std::abs(out) <= kLargestSample)) {
      FailNotFinite(label, i);
    }
    output[i] = static_cast<float>(out);
    if (progress != nullptr && *progress && i % progressStep == 0) (*progress)(i);
    previous = current;
  }
  run.CarriedSubSteps = n;
  return run;
}

std::string ParameterFileCheck(const TModelParameters& p) {
  return "the parameter file " + Quoted(p.Source);
}

// A network about rest by central differences of its own derivative, with the muscle factors
// given. Apart from the stapes nonlinearity the networks are linear (the protector's is taken
// without its level-dependent leak, which vanishes at rest), so the differences are exact to
// rounding; the probe keeps the nonlinearity (even, and quadratic about rest) at its rest value.
template <class Network>
LinearisedEar LineariseAboutRest(const Network& net, double inputScale, double stiffness,
                                 double damping) {
  using State = typename Network::State;
  constexpr int kN = Network::kStates;
  constexpr double kProbe = 1e-12;  // cm^3 or cm^3/s

  LinearisedEar ear;
  ear.Order = 2 * kN;
  ear.Matrix.assign(static_cast<std::size_t>(ear.Order) * ear.Order, 0.0);
  ear.Input.assign(ear.Order, 0.0);
  // dz/dt at z = sign * probe * e_column (column < 0: z = 0) and pressure `pascals`.
  const auto derivative = [&](int column, double sign, double pascals) {
    State x{}, v{}, a{};
    if (column >= kN) {
      v[column - kN] = sign * kProbe;
    } else if (column >= 0) {
      x[column] = sign * kProbe;
    }
    net.Accelerations(x, v, Drive{inputScale * pascals, stiffness, damping}, a);
    std::array<double, 2 * kN> dz;
    std::copy(v.begin(), v.end(), dz.begin());
    std::copy(a.begin(), a.end(), dz.begin() + kN);
    return dz;
  };
  for (int column = 0; column < ear.Order; ++column) {
    const auto up = derivative(column, 1.0, 0.0);
    const auto down = derivative(column, -1.0, 0.0);
    for (int row = 0; row < ear.Order; ++row) {
      ear.Matrix[static_cast<std::size_t>(row) * ear.Order + column] =
          (up[row] - down[row]) / (2.0 * kProbe);
    }
  }
  const auto up = derivative(-1, 0.0, 1.0);
  const auto down = derivative(-1, 0.0, -1.0);
  for (int row = 0; row < ear.Order; ++row) ear.Input[row] = (up[row] - down[row]) / 2.0;
  return ear;
}

template <EarForm kForm>
LinearisedEar Linearise(const TModelParameters& p, double muscleContraction) {
  return LineariseAboutRest(EarNetwork<kForm>(p), kEarInputScale,
                            1.0 + muscleContraction * p.Derived.MuscleStiffnessIncrement,
                            1.0 + muscleContraction * p.Derived.MuscleDampingIncrement);
}

// The smallest floor that keeps every mode of the network stable at the fewest sub-steps a run
// can reach. The classic form of this integrator has a fixed floor of 1, which leaves the stiffest
// canal modes unstable at 48 and 96 kHz; a floor that follows the sampling interval keeps every
// mode stable at any rate and costs nothing where 1 is already stable.
template <EarForm kForm>
std::int32_t StableFloor(const TModelParameters& p, float dt) {
  double margin = std::numeric_limits<double>::infinity();  // at one sub-step per sample
  try {
    for (double contraction : {0.0, 1.0}) {
      const LinearisedEar ear = Linearise<kForm>(p, contraction);
      margin = std::min(margin, SmallestStepMargin(Eigenvalues(ear.Matrix, ear.Order), dt));
    }
  } catch (const OrvekError& e) {
    // The matrix is built from the parameter file alone: that is what the user must check.
    throw OrvekError("The stability check of the ear network of " + ParameterFileCheck(p) +
                     " failed: " + e.what());
  }
  // The margin grows in proportion to the sub-step count.
  const double needed = kStableStepMargin / margin;
  if (!(needed <= kMaxSubStepsPerSample / 2)) {
    throw OrvekError("The ear network of " + ParameterFileCheck(p) +
                     " has a mode that grows by itself or needs more than " +
                     std::to_string(kMaxSubStepsPerSample / 2) +
                     " sub-steps per sample to stay stable; check its resistances and masses.");
  }
  std::int32_t floor = 1;
  while (FewestSubSteps(p.SubstepDivisor, floor) < needed) ++floor;
  return floor;
}

template <EarForm kForm>
MiddleEarRun RunEarModel(const char* model, const float* input, float* output, std::int32_t last,
                         float dt, const TModelParameters& p, const MuscleTiming& timing,
                         const ProgressCallback& progress) {
  const EarNetwork<kForm> net(p);
  const std::int32_t floor = StableFloor<kForm>(p, dt);
  MuscleContraction muscles(timing, p);
  const auto inputAt = [input](std::int32_t i) { return kEarInputScale * input[i]; };
  const double scale = p.Derived.StapesDisplacementScale;
  const auto stapes = [scale](const auto& x) { return x[1] * scale; };
  return IntegrateRecord(net, SubStepsOf(net, dt), inputAt, stapes, output, last, p.SubstepDivisor,
                         floor, &muscles, &progress, RunLabel{model, ParameterFileCheck(p)});
}

// The free-field ear behind a protector, in place, tapping the pressure of one canal section
// (0-based, 0 at the eardrum end).
MiddleEarRun RunProtectedEar(int section, float* samples, std::int32_t last, float dt,
                             TModelParameters& p, MuscleTiming& timing) {
  p.MuscleTimeConstant = kProtectedMuscleTimeConstant;
  timing = ComputeMuscleTiming(kProtectedMuscleDelay, dt, p.MuscleTimeConstant);
  const EarNetwork<EarForm::FreeField> net(p);
  const std::int32_t floor = StableFloor<EarForm::FreeField>(p, dt);
  MuscleContraction muscles(timing, p);
  // Sample i is read before output i is written, so reading and writing one buffer is sound.
  const auto inputAt = [samples](std::int32_t i) { return kEarInputScale * samples[i]; };
  const double stiffness = p.Derived.CanalSectionStiffness[section];
  const int node = 5 + section;  // the eardrum-end node of the section
  const auto pressure = [stiffness, node](const auto& x) {
    return (x[node + 1] - x[node]) * stiffness / kEarInputScale;
  };
  return IntegrateRecord(net, SubStepsOf(net, dt), inputAt, pressure, samples, last,
                         p.SubstepDivisor, floor, &muscles, nullptr,
                         RunLabel{"protected free-field ear model", ParameterFileCheck(p)});
}

// Calls visit with the ear form a hazard analysis runs at this microphone location (1 or 4 free
// field, 2 ear-canal entrance, 3 eardrum) as a std::integral_constant.
template <class Visit>
auto ForLocation(int location, Visit visit) {
  switch (location) {
    case 1:
    case 4:
      return visit(std::integral_constant<EarForm, EarForm::FreeField>{});
    case 2:
      return visit(std::integral_constant<EarForm, EarForm::CanalEntrance>{});
    case 3:
      return visit(std::integral_constant<EarForm, EarForm::Eardrum>{});
    default:
      throw OrvekError("The microphone location " + std::to_string(location) +
                       " is not 1 (free field), 2 (ear-canal entrance), 3 (eardrum) or 4.");
  }
}

}  // namespace

MuscleTiming ComputeMuscleTiming(float delaySeconds, float sampleInterval,
                                 float muscleTimeConstant) {
  // Single precision as the stored values are: a quotient that is whole on paper may truncate to
  // one less.
  const float onsetTime = 0.005f + delaySeconds;
  const float quotient = std::trunc(onsetTime / sampleInterval);
  constexpr float kLimit = 2147483520.0f;  // largest float below 2^31
  MuscleTiming timing;
  timing.Onset =
      std::isnan(quotient) ? 0 : static_cast<std::int32_t>(std::clamp(quotient, -kLimit, kLimit));
  const double dt = sampleInterval;
  const double tau = muscleTimeConstant;
  const double past = timing.Onset > 0 ? onsetTime - timing.Onset * dt : onsetTime - dt;
  timing.B0 = std::exp(past / tau);
  timing.Q = std::exp(-dt / tau);
  return timing;
}

MuscleContraction::MuscleContraction(const MuscleTiming& timing, const TModelParameters& p)
    : timing_(timing),
      b_(timing.B0),
      stiffnessIncrement_(p.Derived.MuscleStiffnessIncrement),
      dampingIncrement_(p.Derived.MuscleDampingIncrement) {}

MuscleFactors MuscleContraction::Next(std::int32_t sample) {
  if (timing_.Onset < 0) return {1.0 + stiffnessIncrement_, 1.0 + dampingIncrement_};
  if (sample <= timing_.Onset) return {};
  b_ *= timing_.Q;
  const double contraction = 1.0 - b_;
  return {1.0 + contraction * stiffnessIncrement_, 1.0 + contraction * dampingIncrement_};
}

StapesNonlinearity::StapesNonlinearity(const TModelParameters& p)
    : displacementScale_(double{p.Derived.StapesDisplacementScale} / p.NonlinScale),
      restPlusOne_(1.0 + p.NonlinRest),
      angleScale_(std::numbers::pi / (2.0 * p.NonlinLimit)),
      // Written as Factor computes its angle, so that y is exactly 1 at rest.
      restTan_(std::tan((restPlusOne_ - 1.0) * angleScale_)) {}

double StapesCeilingUm(const TModelParameters& p) {
  const double ratio = (1.0 + double{p.NonlinLimit}) / (1.0 + double{p.NonlinRest});
  return ratio > 1.0 ? double{p.NonlinScale} * std::sqrt(ratio * ratio - 1.0) : 0.0;
}

MiddleEarRun TimeDomainModel1(const float* input, float* output, std::int32_t last, float dt,
                              const TModelParameters& p, const MuscleTiming& timing,
                              const ProgressCallback& progress) {
  return RunEarModel<EarForm::FreeField>("free-field ear model", input, output, last, dt, p, timing,
                                         progress);
}

MiddleEarRun TimeDomainModel2(const float* input, float* output, std::int32_t last, float dt,
                              const TModelParameters& p, const MuscleTiming& timing,
                              const ProgressCallback& progress) {
  return RunEarModel<EarForm::CanalEntrance>("ear-canal-entrance ear model", input, output, last,
                                             dt, p, timing, progress);
}

MiddleEarRun TimeDomainModel3(const float* input, float* output, std::int32_t last, float dt,
                              const TModelParameters& p, const MuscleTiming& timing,
                              const ProgressCallback& progress) {
  return RunEarModel<EarForm::Eardrum>("eardrum ear model", input, output, last, dt, p, timing,
                                       progress);
}

MiddleEarRun TimeDomainModel4(const float* input, float* output, std::int32_t last, float dt,
                              const TModelParameters& p, const LeakLevelCoefficients& leak,
                              float axisMax, float axisMin, Lcg32& rng) {
  const ProtectorNetwork net(p, leak);
  const double ditherSpan = (double{axisMax} - axisMin) * kDitherScale;
  const auto inputAt = [&](std::int32_t i) {
    return kProtectorInputScale * input[i] + (rng.Uniform() - 0.5) * ditherSpan;
  };
  const auto inner = [&net](const ProtectorNetwork::State& x) {
    return net.InnerPressure(x) / kProtectorInputScale;
  };
  const RunLabel label{"protector model", "the protector circuit values"};
  if (leak.Lleak == 0.0f && leak.Rleak == 0.0f) {
    // Without the level-dependent leak the network is linear.
    LinearSubStepMaps<ProtectorNetwork> maps(net, dt);
    return IntegrateRecord(net, std::ref(maps), inputAt, inner, output, last, p.SubstepDivisor,
                           ProtectorNetwork::kMinSubSteps, nullptr, nullptr, label);
  }
  return IntegrateRecord(net, SubStepsOf(net, dt), inputAt, inner, output, last, p.SubstepDivisor,
                         ProtectorNetwork::kMinSubSteps, nullptr, nullptr, label);
}

MiddleEarRun TimeDomainModel9(float* samples, std::int32_t last, float dt, TModelParameters& p,
                              MuscleTiming& timing) {
  return RunProtectedEar(1, samples, last, dt, p, timing);
}

MiddleEarRun TimeDomainModel10(float* samples, std::int32_t last, float dt, TModelParameters& p,
                               MuscleTiming& timing) {
  return RunProtectedEar(CanalSectionCount - 1, samples, last, dt, p, timing);
}

LinearisedEar LinearisedEarMatrix(const TModelParameters& p, int location,
                                  double muscleContraction) {
  return ForLocation(location,
                     [&](auto form) { return Linearise<form.value>(p, muscleContraction); });
}

std::int32_t StableSubStepFloor(const TModelParameters& p, int location, float dt) {
  return ForLocation(location, [&](auto form) { return StableFloor<form.value>(p, dt); });
}

std::int32_t SmallestEarSubSteps(const TModelParameters& p, int location, float dt) {
  return FewestSubSteps(p.SubstepDivisor, StableSubStepFloor(p, location, dt));
}

LinearisedEar LinearisedProtectorMatrix(const TModelParameters& p) {
  return LineariseAboutRest(ProtectorNetwork(p, {}), kProtectorInputScale, 1.0, 1.0);
}

std::int32_t SmallestProtectorSubSteps(const TModelParameters& p) {
  return FewestSubSteps(p.SubstepDivisor, ProtectorNetwork::kMinSubSteps);
}

}  // namespace orvek
