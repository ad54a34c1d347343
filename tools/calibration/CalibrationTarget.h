#pragma once
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/ModelParameters.h"

namespace orvek {

// One line of the comparison table: what the model gives against a published figure.
// The source of every target on the middle-ear muscles' attenuation.
inline constexpr char kMuscleSource[] =
    "acoustic reflex attenuates, about 20 dB at 0.5 kHz, under 10 dB at 2 kHz, little above "
    "(Zakrisson 1979; Coles 1969), ear-facts.md";

struct TargetRow {
  std::string Target;     // e.g. "free field -> canal entrance"
  std::string Condition;  // e.g. "1000 Hz"
  double Model = 0;
  double Reference = 0;
  double Tolerance = 0;  // allowed |Model - Reference|; for a bound, see Check
  std::string Unit;      // "dB", "Hz", ...
  enum class Check { Within, AtMost, AtLeast } Kind = Check::Within;
  std::string Source;  // the reference's source, as cited in the docs
  bool Pass() const {
    switch (Kind) {
      case Check::AtMost:
        return Model <= Reference + Tolerance;
      case Check::AtLeast:
        return Model >= Reference - Tolerance;
      default:
        return std::abs(Model - Reference) <= Tolerance;
    }
  }
};

// A parameter value the calibration derives (not looked up), with how.
struct FittedValue {
  std::string Name;
  double Value = 0;
  std::string How;
};

// A curve of the model against its reference, for the validation plots (log-frequency or level
// axes; NaN where a curve has no point).
struct Curve {
  std::string Title;  // plot title
  std::string XTitle, YTitle;
  bool LogX = true;  // X is a frequency in Hz plotted on the logarithmic axis
  std::vector<double> X;
  std::vector<double> Model, Reference;
  std::string ModelName = "model", ReferenceName = "reference";
  // A second model curve (drawn when not empty) and a marked X value (NaN: none).
  std::vector<double> Model2;
  std::string Model2Name;
  double MarkX = std::numeric_limits<double>::quiet_NaN();
  std::string MarkName;
};

// The shipped parameter set, loaded as the program loads it (through "Man.Fig").
TModelParameters LoadShippedParameters(const std::string& dataFolder);

}  // namespace orvek
