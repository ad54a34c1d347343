#include "tools/calibration/Stability.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "model/MiddleEarModel.h"

namespace orvek {
namespace {

const char* FormName(int location) {
  switch (location) {
    case 1:
      return "free field";
    case 2:
      return "ear-canal entrance";
    default:
      return "eardrum";
  }
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::vector<StabilityCase> StabilityCases(const TModelParameters& p) {
  constexpr double kRates[] = {48000.0, 96000.0, 200000.0, 500000.0};
  std::vector<StabilityCase> cases;
  for (int location = 1; location <= 3; ++location) {
    for (double contraction : {0.0, 1.0}) {
      const LinearisedEar ear = LinearisedEarMatrix(p, location, contraction);
      const std::vector<std::complex<double>> modes = Eigenvalues(ear.Matrix, ear.Order);
      for (double rate : kRates) {
        StabilityCase c;
        c.Location = location;
        c.SampleRate = rate;
        c.MuscleContraction = contraction;
        // The sample interval as a record holds it, in single precision.
        const float dt = static_cast<float>(1.0 / rate);
        c.Floor = StableSubStepFloor(p, location, dt);
        c.SubSteps = SmallestEarSubSteps(p, location, dt);
        c.Step = dt / static_cast<double>(c.SubSteps);
        c.Margin = SmallestStepMargin(modes, c.Step);
        for (const std::complex<double>& lambda : modes) {
          const std::complex<double> z = lambda * c.Step;
          const double amplification = std::abs(RungeKuttaAmplification(z));
          c.SpectralRadius = std::max(c.SpectralRadius, amplification);
          if (std::abs(z) > std::abs(c.FastestMode)) c.FastestMode = z;
          if (std::abs(z) < kRestingMode) {
            ++c.RestingModes;
            continue;
          }
          c.MovingRadius = std::max(c.MovingRadius, amplification);
        }
        cases.push_back(c);
      }
    }
  }
  return cases;
}

std::vector<TargetRow> StabilityTargets(const TModelParameters& p) {
  // Resting modes have |R| = 1 up to the rounding of their eigenvalues.
  constexpr double kRadiusTolerance = 1e-9;
  std::vector<TargetRow> rows;
  for (const StabilityCase& c : StabilityCases(p)) {
    const std::string condition = Format("%.0f kHz", c.SampleRate / 1000.0) +
                                  (c.MuscleContraction > 0.0 ? ", contracted" : ", relaxed") +
                                  ", h = dt/" + std::to_string(c.SubSteps) + " (floor " +
                                  std::to_string(c.Floor) + ")";
    const std::string form = FormName(c.Location);
    TargetRow radius;
    radius.Target = "RK4 spectral radius, " + form;
    radius.Condition = condition;
    radius.Model = c.SpectralRadius;
    radius.Reference = 1.0;
    radius.Tolerance = kRadiusTolerance;
    radius.Kind = TargetRow::Check::AtMost;
    radius.Source = "classical Runge-Kutta stability region";
    rows.push_back(radius);

    TargetRow margin = radius;
    margin.Target = "RK4 step margin, " + form;
    margin.Model = c.Margin;
    margin.Reference = kStableStepMargin;
    margin.Tolerance = 0.0;
    margin.Unit = "x h";
    margin.Kind = TargetRow::Check::AtLeast;
    rows.push_back(margin);
  }
  return rows;
}

}  // namespace orvek
