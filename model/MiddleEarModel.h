#pragma once
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

#include "base/Lcg32.h"
#include "model/ModelParameters.h"

namespace orvek {

// When the middle-ear muscles contract: from sample `Onset` + 1 on, the contraction rises as
// 1 - b with b starting at B0 and multiplied by Q each sample. A negative onset means contracted
// from the first sample (a warned listener).
struct MuscleTiming {
  std::int32_t Onset = 0;
  double B0 = 1.0;
  double Q = 1.0;
};

// t_on = 0.005 s + delay; onset = trunc(t_on / dt) in single precision, as the stored values are.
MuscleTiming ComputeMuscleTiming(float delaySeconds, float sampleInterval,
                                 float muscleTimeConstant);

// Factors on the stapes branch at one sample: Stiffness multiplies its variable stiffness, Damping
// its nonlinear damping; both are 1 for relaxed muscles.
struct MuscleFactors {
  double Stiffness = 1.0;
  double Damping = 1.0;
};

// The muscle factors of one run, sample by sample. Next must be called for samples 1, 2, ... in
// turn: the decay value b is consumed as the run advances.
class MuscleContraction {
 public:
  MuscleContraction(const MuscleTiming& timing, const TModelParameters& p);
  MuscleFactors Next(std::int32_t sample);

 private:
  MuscleTiming timing_;
  double b_;
  double stiffnessIncrement_;  // full contraction minus 1
  double dampingIncrement_;
};

// Stiffening of the stapes suspension (the annular ligament) with displacement: the factor y on
// the variable stiffness of the stapes branch is 1 at rest and grows without bound towards
// NonlinLimit (clamped just short of it so that it stays finite). With d the stapes displacement in
// units of NonlinScale (um), u = sqrt(d^2 + 1) (1 + NonlinRest) - 1 (even in d, NonlinRest at
// d = 0) and y = tan(pi u / (2 NonlinLimit)) (1 + NonlinRest) / (tan(pi NonlinRest /
// (2 NonlinLimit)) (u + 1)).
class StapesNonlinearity {
 public:
  explicit StapesNonlinearity(const TModelParameters& p);
  // y at the branch-2 volume displacement x2 (cm^3).
  double Factor(double x2) const {
    const double d = x2 * displacementScale_;
    const double u = std::sqrt(d * d + 1.0) * restPlusOne_ - 1.0;
    double theta = u * angleScale_;
    if (!(theta < kMaxAngle)) theta = kMaxAngle;
    return std::tan(theta) * restPlusOne_ / (restTan_ * (u + 1.0));
  }

 private:
  static constexpr double kMaxAngle = 0.9997 * std::numbers::pi / 2.0;
  double displacementScale_;  // 1/cm^3 -> displacement in units of NonlinScale
  double restPlusOne_;
  double angleScale_;  // pi / (2 NonlinLimit)
  double restTan_;     // tan of the rest angle
};

// The stapes displacement (um, either way) at which the suspension of the nonlinearity becomes
// rigid: sqrt(d^2 + 1)(1 + NonlinRest) - 1 reaches NonlinLimit there, d in units of NonlinScale.
// 0 when the rest point lies at or beyond the limit (the stapes is rigid from rest).
double StapesCeilingUm(const TModelParameters& p);

// Muscle delays of the two analyses: warned listeners are contracted before the sound.
inline constexpr float kWarnedMuscleDelay = -0.05f;  // s

// Called with the sample index whenever the ear models pass a progress step (every
// round(last / 23) samples, or every sample for records shorter than 12 samples). It may throw
// Cancelled (base/Cancelled.h) to stop the run there: the exception leaves the model and
// CalculateHazard before the cochlear model, so no hazard file or movie frame is written.
using ProgressCallback = std::function<void(std::int32_t sample)>;

// What a run cost: RK4 sub-steps taken over the whole record, counting the step-doubling retries;
// the largest count accepted for one sample, and the count carried past the last sample.
struct MiddleEarRun {
  std::int64_t SubSteps = 0;
  std::int32_t PeakSubSteps = 0;
  std::int32_t CarriedSubSteps = 0;
};

// No sample is integrated with more sub-steps than this: a run that would need more fails.
inline constexpr std::int32_t kMaxSubStepsPerSample = 1 << 20;

// Level dependence of the protector leak (zero unless the protector data set them).
struct LeakLevelCoefficients {
  float Lleak = 0.0f;
  float Rleak = 0.0f;
};

// Ear models: pressure in Pa at the microphone (input[0..last]) -> stapes displacement in um
// (output[0..last]). Variant 1 takes a free-field recording (24 states), 2 one at the ear-canal
// entrance (23 states), 3 one at the eardrum (6 states). Sample 0 of the input is not used.
// Throws OrvekError naming the model and the sample if the solution stops being finite or the
// step doubling does not converge.
MiddleEarRun TimeDomainModel1(const float* input, float* output, std::int32_t last, float dt,
                              const TModelParameters& p, const MuscleTiming& timing,
                              const ProgressCallback& progress = {});
MiddleEarRun TimeDomainModel2(const float* input, float* output, std::int32_t last, float dt,
                              const TModelParameters& p, const MuscleTiming& timing,
                              const ProgressCallback& progress = {});
MiddleEarRun TimeDomainModel3(const float* input, float* output, std::int32_t last, float dt,
                              const TModelParameters& p, const MuscleTiming& timing,
                              const ProgressCallback& progress = {});

// The ear network linearised about rest (no drive, the stapes nonlinearity at its rest value), for
// stability analysis: dz/dt = Matrix z + Input p, with z = (X1..Xn, V1..Vn) in cm^3 and cm^3/s and
// p the pressure at the microphone in Pa. Taken from the derivative the integrator evaluates.
struct LinearisedEar {
  int Order = 0;               // 2n for n states
  std::vector<double> Matrix;  // Order x Order, row-major
  std::vector<double> Input;   // Order values, per Pa
  double At(int row, int column) const { return Matrix[row * Order + column]; }
};

// For the form a hazard analysis runs at this microphone location (1 or 4 free field, 24 states;
// 2 ear-canal entrance, 23; 3 eardrum, 6), with the muscle factors at `muscleContraction` (0
// relaxed .. 1 fully contracted) of the way from 1 to their contracted values. Throws OrvekError
// for another location.
LinearisedEar LinearisedEarMatrix(const TModelParameters& p, int location,
                                  double muscleContraction);

// The least step margin (ModeStability.h) every mode of the linearised ear network keeps at the
// fewest sub-steps a run can reach: a little room for the drive and the nonlinearity.
inline constexpr double kStableStepMargin = 1.05;

// The floor of the divided sub-step count in a run of the ear form at this microphone location
// (as LinearisedEarMatrix) with sample interval dt (s): the smallest for which every mode, relaxed
// and fully contracted, keeps kStableStepMargin at the fewest sub-steps the run can reach. Throws
// OrvekError if the network has a growing mode, which no step can hold.
std::int32_t StableSubStepFloor(const TModelParameters& p, int location, float dt);

// The fewest RK4 sub-steps per sample interval with which a run of that form at dt can advance
// its state, for any record: a quiet stretch divides the carried count by p.SubstepDivisor (at
// least the floor) and doubles it once, so the count settles where that no longer lowers it.
std::int32_t SmallestEarSubSteps(const TModelParameters& p, int location, float dt);

// The protector network of TimeDomainModel4 linearised about rest as LinearisedEarMatrix is, with
// z = (X1..X4, V1..V4) (cup, leak, material, cushion) and p the outside pressure in Pa; the
// level-dependent leak terms vanish there.
LinearisedEar LinearisedProtectorMatrix(const TModelParameters& p);

// The fewest RK4 sub-steps per sample interval with which TimeDomainModel4 advances its state,
// for any record at any sampling rate.
std::int32_t SmallestProtectorSubSteps(const TModelParameters& p);

// Protector network: outside pressure in Pa -> pressure under the protector in Pa, with the
// protector circuit held in p's ProtectorValue fields (Ccush, Cskin and Cmat as stiffnesses, Ccup
// as a compliance). A dither of (r - 0.5)(axisMax - axisMin) kDitherScale (2^-17), r from `rng`
// (one draw per sample from sample 1 on), is added to each input sample after its scaling to
// dyn/cm^2.
MiddleEarRun TimeDomainModel4(const float* input, float* output, std::int32_t last, float dt,
                              const TModelParameters& p, const LeakLevelCoefficients& leak,
                              float axisMax, float axisMin, Lcg32& rng);

// Protected ear, in place: free-field pressure in Pa (the pressure under a protector) -> pressure
// in Pa of the canal section next to the eardrum (variant 9) or at the entrance (variant 10).
// Both set p.MuscleTimeConstant to 0.011 s and use a muscle delay of 0.009 s; the timing used is
// returned so that later plots can show it.
inline constexpr float kProtectedMuscleTimeConstant = 0.011f;  // s
inline constexpr float kProtectedMuscleDelay = 0.009f;         // s
MiddleEarRun TimeDomainModel9(float* samples, std::int32_t last, float dt, TModelParameters& p,
                              MuscleTiming& timing);
MiddleEarRun TimeDomainModel10(float* samples, std::int32_t last, float dt, TModelParameters& p,
                               MuscleTiming& timing);

}  // namespace orvek
