#pragma once
#include <complex>
#include <vector>

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

// The smallest StepMargin of the modes (eigenvalues lambda, 1/s) that are not at rest under the
// step h (s); infinity if all are.
double SmallestStepMargin(const std::vector<std::complex<double>>& modes, double step);

}  // namespace orvek
