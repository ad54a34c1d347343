#pragma once
#include <complex>
#include <cstdint>
#include <vector>

#include "model/ModelParameters.h"
#include "tools/calibration/CalibrationTarget.h"

namespace orvek {

// Eigenvalues of a real n x n matrix (row-major): balancing, Householder reduction to Hessenberg
// form and the double-shift QR iteration. Throws OrvekError if the iteration does not converge.
std::vector<std::complex<double>> Eigenvalues(std::vector<double> matrix, int n);

// What one classical RK4 step multiplies the mode dz/dt = lambda z by, at z = lambda h:
// 1 + z + z^2/2 + z^3/6 + z^4/24. The step matrix of a linear network has these values at the
// eigenvalues of its matrix as its own eigenvalues.
std::complex<double> RungeKuttaAmplification(std::complex<double> z);

// By how much the step could grow before the mode z = lambda h is amplified: the smallest s > 0
// with |R(s z)| > 1 (0 for a growing mode, infinity for a mode at rest).
double StepMargin(std::complex<double> z);

// Modes with |lambda h| below this are at rest: a branch without stiffness, whose displacement
// nothing feeds back (|R| is 1 there, up to rounding).
inline constexpr double kRestingMode = 1e-9;

// The RK4 step of one ear form at one sampling rate, at the fewest sub-steps the adaptation can
// reach.
struct StabilityCase {
  int Location = 0;       // microphone location: 1 free field, 2 ear-canal entrance, 3 eardrum
  double SampleRate = 0;  // Hz
  double MuscleContraction = 0;  // 0 relaxed, 1 contracted
  std::int32_t SubSteps = 0;
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

// Two rows per case: the spectral radius (at most 1) and the step margin (at least 1).
std::vector<TargetRow> StabilityTargets(const TModelParameters& p);

}  // namespace orvek
