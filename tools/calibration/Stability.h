#pragma once
#include <complex>
#include <cstdint>
#include <vector>

#include "model/ModeStability.h"
#include "model/ModelParameters.h"
#include "tools/calibration/CalibrationTarget.h"

namespace orvek {

// The RK4 step of one ear form at one sampling rate, at the fewest sub-steps the adaptation can
// reach with the floor a run of that form takes at that rate.
struct StabilityCase {
  int Location = 0;       // microphone location: 1 free field, 2 ear-canal entrance, 3 eardrum
  double SampleRate = 0;  // Hz
  double MuscleContraction = 0;      // 0 relaxed, 1 contracted
  std::int32_t Floor = 0;            // the run's floor of the divided sub-step count
  std::int32_t SubSteps = 0;         // the fewest accepted per sample
  double Step = 0;                   // h, s
  double SpectralRadius = 0;         // of the step matrix, all modes
  double MovingRadius = 0;           // over the modes not at rest
  std::complex<double> FastestMode;  // lambda h of largest modulus
  double Margin = 0;                 // smallest StepMargin of the modes not at rest
  int RestingModes = 0;
};

// Every ear form (free field, canal entrance, eardrum) at 48, 96, 200 and 500 kHz, relaxed and
// contracted.
std::vector<StabilityCase> StabilityCases(const TModelParameters& p);

// Two rows per case: the spectral radius (at most 1) and the step margin (at least
// kStableStepMargin).
std::vector<TargetRow> StabilityTargets(const TModelParameters& p);

}  // namespace orvek
