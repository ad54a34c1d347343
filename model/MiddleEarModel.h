#pragma once
#include <cstdint>
#include <functional>

#include "model/ModelParameters.h"
#include "waveform/Lcg32.h"

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

// Muscle delays of the two analyses: warned listeners are contracted before the sound.
inline constexpr float kWarnedMuscleDelay = -0.05f;  // s

// Called with the sample index whenever the ear models pass a progress step (every
// round(last / 23) samples, or every sample for records shorter than 12 samples).
using ProgressCallback = std::function<void(std::int32_t sample)>;

// What a run cost: RK4 sub-steps taken over the whole record, counting the step-doubling retries.
struct MiddleEarRun {
  std::int64_t SubSteps = 0;
};

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

// Protector network: outside pressure in Pa -> pressure under the protector in Pa, with the
// protector circuit held in p's ProtectorValue fields. A dither of (r - 0.5)(axisMax - axisMin)
// / 131072 Pa, r from `rng`, is added to each input sample.
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
