#include "model/ModelParameters.h"

#include <charconv>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <sstream>
#include <string_view>
#include <vector>

#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"

namespace orvek {
namespace {

// Where each line of the parameter file goes; the integer line has no float member.
struct FieldSlot {
  std::string_view Name;
  float TModelParameters::*Member;
};

using P = TModelParameters;
constexpr std::array<FieldSlot, ParameterLineCount> kFields = {{
    {"SourceGain", &P::SourceGain},
    {"SourceGainImag", &P::SourceGainImag},
    {"CanalSourceGain", &P::CanalSourceGain},
    {"CanalSourceGainImag", &P::CanalSourceGainImag},
    {"HeadResistance", &P::HeadResistance},
    {"HeadMass", &P::HeadMass},
    {"CanalUniformLength", &P::CanalUniformLength},
    {"CanalHornLength", &P::CanalHornLength},
    {"CanalUniformArea", &P::CanalUniformArea},
    {"CanalEntranceArea", &P::CanalEntranceArea},
    {"Mass5", &P::Mass5},
    {"Compliance5", &P::Compliance5},
    {"Resistance5", &P::Resistance5},
    {"Compliance56", &P::Compliance56},
    {"Mass46", &P::Mass46},
    {"Resistance46", &P::Resistance46},
    {"Compliance46", &P::Compliance46},
    {"Mass4", &P::Mass4},
    {"Compliance4", &P::Compliance4},
    {"Resistance4", &P::Resistance4},
    {"LeverRatio", &P::LeverRatio},
    {"Resistance34", &P::Resistance34},
    {"Compliance34", &P::Compliance34},
    {"Mass3", &P::Mass3},
    {"Resistance23", &P::Resistance23},
    {"Compliance23", &P::Compliance23},
    {"Mass2A", &P::Mass2A},
    {"Mass2B", &P::Mass2B},
    {"Mass1", &P::Mass1},
    {"Resistance2", &P::Resistance2},
    {"Resistance12", &P::Resistance12},
    {"Resistance1", &P::Resistance1},
    {"Compliance2Var", &P::Compliance2Var},
    {"Compliance2Fixed", &P::Compliance2Fixed},
    {"OutputArea", &P::OutputArea},
    {"NonlinScale", &P::NonlinScale},
    {"NonlinRest", &P::NonlinRest},
    {"NonlinLimit", &P::NonlinLimit},
    {"NonlinDampingSlope", &P::NonlinDampingSlope},
    {"BmStiffness", &P::BmStiffness},
    {"BmMass", &P::BmMass},
    {"UnusedLine42", &P::UnusedLine42},
    {"WkbFactorA", &P::WkbFactorA},
    {"WkbFactorB", &P::WkbFactorB},
    {"BaseFrequency", &P::BaseFrequency},
    {"DampingNumerator", &P::DampingNumerator},
    {"WkbLengthA", &P::WkbLengthA},
    {"WkbLengthB", &P::WkbLengthB},
    {"UnusedLine49", &P::UnusedLine49},
    {"UnusedLine50", &P::UnusedLine50},
    {"UnusedLine51", &P::UnusedLine51},
    {"PlaceLengthConstant", &P::PlaceLengthConstant},
    {"WkbGainAlt", &P::WkbGainAlt},
    {"DampingDivisor", &P::DampingDivisor},
    {"HazardExponent", &P::HazardExponent},
    {"ReferencePlace", &P::ReferencePlace},
    {"FirstPlace", &P::FirstPlace},
    {"LastPlace", &P::LastPlace},
    {"PlaceCount", nullptr},
    {"HazardGain", &P::HazardGain},
    {"HazardGainRatio", &P::HazardGainRatio},
    {"HazardThreshold", &P::HazardThreshold},
    {"UnwarnedOnsetDelay", &P::UnwarnedOnsetDelay},
    {"MuscleTimeConstant", &P::MuscleTimeConstant},
    {"MuscleStiffnessFactor", &P::MuscleStiffnessFactor},
    {"MuscleDampingFactor", &P::MuscleDampingFactor},
    {"SubstepDivisor", &P::SubstepDivisor},
    {"WkbAmplitude", &P::WkbAmplitude},
    {"WkbDecayRate", &P::WkbDecayRate},
    {"WkbMode", &P::WkbMode},
    {"UnusedLine71", &P::UnusedLine71},
    {"UnusedLine72", &P::UnusedLine72},
    {"UnusedLine73", &P::UnusedLine73},
    {"UnusedLine74", &P::UnusedLine74},
    {"UnusedLine75", &P::UnusedLine75},
    {"UnusedLine76", &P::UnusedLine76},
    {"UnusedLine77", &P::UnusedLine77},
    {"UnusedLine78", &P::UnusedLine78},
    {"UnusedLine79", &P::UnusedLine79},
    {"ReflectionMode", &P::ReflectionMode},
    {"ProtectorValue1/Ccush", &P::ProtectorValue1},
    {"ProtectorValue2/Rcush", &P::ProtectorValue2},
    {"ProtectorValue3/Cskin", &P::ProtectorValue3},
    {"ProtectorValue4/Rskin", &P::ProtectorValue4},
    {"ProtectorValue5/Lleak", &P::ProtectorValue5},
    {"ProtectorValue6/Rleak", &P::ProtectorValue6},
    {"ProtectorValue7/Lcup", &P::ProtectorValue7},
    {"ProtectorValue8/Ccup", &P::ProtectorValue8},
    {"ProtectorValue9/Rmat", &P::ProtectorValue9},
    {"ProtectorValue10/Lmat", &P::ProtectorValue10},
    {"ProtectorValue11/Cmat", &P::ProtectorValue11},
}};
static_assert(kFields[PlaceCountLine - 1].Member == nullptr);

// "line 19 (Compliance4)" or "lines 27 and 28 (Mass2A, Mass2B)".
std::string DescribeLines(std::initializer_list<int> lines) {
  std::ostringstream text;
  text << (lines.size() == 1 ? "line " : "lines ");
  std::string names;
  int i = 0;
  for (int line : lines) {
    if (i > 0) {
      text << (i + 1 == static_cast<int>(lines.size()) ? " and " : ", ");
      names += ", ";
    }
    text << line;
    names += kFields[line - 1].Name;
    ++i;
  }
  text << " (" << names << ")";
  return text.str();
}

// One end of a line's allowed range: a number, or a number times the value of another line.
struct RangeEdge {
  bool Present = false;
  bool Inclusive = true;
  double Value = 0.0;
  float TModelParameters::*Times = nullptr;  // the edge is Value x this field
  int TimesLine = 0;
};

constexpr RangeEdge None() { return {}; }
constexpr RangeEdge AtLeast(double value) { return {true, true, value}; }
constexpr RangeEdge Above(double value) { return {true, false, value}; }
constexpr RangeEdge AtMost(double value) { return {true, true, value}; }
constexpr RangeEdge AtMost(float TModelParameters::*field, int line) {
  return {true, true, 1.0, field, line};
}
constexpr RangeEdge Below(double factor, float TModelParameters::*field, int line) {
  return {true, false, factor, field, line};
}

bool SimpleForm(const TModelParameters& p) { return p.WkbMode == 1.0f; }
bool DerivedForm(const TModelParameters& p) { return p.WkbMode != 1.0f; }

// The physical range of a line: outside it every result of the model is meaningless (a hazard of
// 0 at any level, a stiffness that pushes, a damping that feeds energy) or the model degenerates.
// Lines no computation reads, and the two form selectors, take any number.
struct LineRange {
  int Line;
  RangeEdge Low, High;
  const char* Unit;
  const char* Why;
  bool (*Applies)(const TModelParameters&) = nullptr;  // null: always
};

constexpr const char* kMass = "an acoustic mass; the model divides by it";
constexpr const char* kCompliance =
    "a compliance; the model uses its stiffness 1/C, which a spring cannot have negative";
constexpr const char* kResistance =
    "a resistance takes energy out; a negative one would feed it in";
constexpr const char* kG = "g/cm^4";
constexpr const char* kC = "cm^5/dyn";
constexpr const char* kR = "dyn s/cm^5";

const LineRange kRanges[] = {
    {1, Above(0), AtMost(2), "",
     "the weight of the free-field pressure: without it no sound reaches the ear, and a rigid "
     "surface at most doubles a pressure"},
    {3, AtLeast(0), AtMost(2), "", "cos(angle - 90 deg) + 1 over all angles of incidence"},
    {5, AtLeast(0), None(), kR, kResistance},
    {6, Above(0), None(), kG, kMass},
    {7, AtLeast(0), None(), "cm", "a length (0: the canal flares all the way)"},
    {8, Above(0), None(), "cm", "the length of the flare divides its rate of widening"},
    {9, Above(0), None(), "cm^2", "a cross-section"},
    {10, Above(0), None(), "cm^2", "a cross-section"},
    {11, Above(0), None(), kG, kMass},
    {12, Above(0), None(), kC, kCompliance},
    {13, AtLeast(0), None(), kR, kResistance},
    {14, Above(0), None(), kC, kCompliance},
    {15, Above(0), None(), kG, kMass},
    {16, AtLeast(0), None(), kR, kResistance},
    {17, Above(0), None(), kC, kCompliance},
    {18, Above(0), None(), kG, kMass},
    {19, Above(0), None(), kC, kCompliance},
    {20, AtLeast(0), None(), kR, kResistance},
    {21, Above(0), None(), "",
     "the ossicular lever ratio; branches 1 to 3 are divided by its square"},
    {22, AtLeast(0), None(), kR, kResistance},
    {23, Above(0), None(), kC, kCompliance},
    {24, Above(0), None(), kG, kMass},
    {25, AtLeast(0), None(), kR, kResistance},
    {26, Above(0), None(), kC, kCompliance},
    {27, Above(0), None(), kG, kMass},
    {28, AtLeast(0), None(), kG, "a mass added to Mass2A (0: no fluid load)"},
    {29, Above(0), None(), kG, kMass},
    {30, AtLeast(0), None(), kR, kResistance},
    {31, AtLeast(0), None(), kR, kResistance},
    {32, AtLeast(0), None(), kR, kResistance},
    {33, Above(0), None(), kC, kCompliance},
    {34, Above(0), None(), kC, kCompliance},
    {35, Above(0), None(), "cm^2", "the footplate area turns volume into stapes displacement"},
    {36, Above(0), None(), "um",
     "the displacement that scales the stiffening; the model divides by it"},
    {37, Above(0), Below(0.9997, &P::NonlinLimit, 38), "",
     "the rest angle of the stiffening curve tan(angle) must lie between 0, where the rest "
     "stiffness vanishes and the model fails, and the largest angle the curve takes, 0.9997 of "
     "NonlinLimit, at or beyond which the factor at rest collapses to about 1e-13 instead of 1"},
    {38, Above(0), None(), "", "the limit of the stiffening curve; the model divides by it"},
    {39, AtLeast(0), None(), "",
     "the damping must not fall as the ligament stiffens, or it would turn negative"},
    {40, Above(0), None(), "dyn/cm^3", "a stiffness; with the base frequency it sets the mass",
     DerivedForm},
    {43, Above(0), None(), "g/cm^3", "a density; the cochlear amplitude divides by it"},
    {44, Above(0), None(), "cm", "a scala height; the cochlear amplitude divides by it",
     DerivedForm},
    {45, Above(0), None(), "Hz", "the characteristic frequency of the base"},
    {46, Above(0), None(), "",
     "a passive cochlea damps: 0 makes the response infinite at the characteristic frequency and "
     "a negative value amplifies"},
    {47, Above(0), None(), "cm", "a length of the wave-number gain", DerivedForm},
    {48, Above(0), None(), "cm", "a length; the amplitude decay divides by it", DerivedForm},
    {52, Above(0), None(), "cm", "the length over which the characteristic frequency falls"},
    {53, Above(0), None(), "",
     "the wave-number gain: at 0 the cochlear response, and every hazard, is 0", SimpleForm},
    {54, Above(0), None(), "", "it divides the cochlear damping, which must stay positive"},
    {55, Above(0), None(), "", "at 0 every half-cycle would add the same hazard whatever its size"},
    {56, Above(0), None(), "cm",
     "the length of the cochlea, which places the reflection and scales the hazard gain"},
    {57, AtLeast(0), AtMost(&P::LastPlace, 58), "cm",
     "the places run from the first to the last, within the cochlea"},
    {58, AtLeast(0), AtMost(&P::ReferencePlace, 56), "cm",
     "the places lie within the cochlea, whose length is ReferencePlace"},
    {60, Above(0), None(), "per um",
     "at 0 or below no sound gives any hazard: every level would allow unlimited exposures"},
    {61, Above(0), None(), "",
     "a factor; its logarithm sets how the gain changes along the cochlea"},
    {62, AtLeast(0), None(), "",
     "below 0 every half-cycle, however small, would add hazard, so the result would count zero "
     "crossings"},
    {63, AtLeast(0), None(), "s", "a reflex cannot act before the sound"},
    {64, Above(0), None(), "s", "a contraction takes time; 0 or less would make it jump or grow"},
    {65, AtLeast(1), None(), "", "a contracted muscle stiffens the ligament, never softens it"},
    {66, AtLeast(1), None(), "", "a contracted muscle adds damping, never takes it away"},
    {67, AtLeast(1), None(), "",
     "below 1 the sub-step count would grow at every sample instead of falling back"},
    {68, Above(0), None(), "",
     "at 0 the cochlea does not move; below 0 it moves the wrong way and the hazard counts the "
     "wrong half-cycles"},
    {69, AtLeast(0), None(), "per cm", "an amplitude decay along the cochlea", SimpleForm},
    {81, Above(0), None(), kC, kCompliance},
    {82, AtLeast(0), None(), kR, kResistance},
    {83, Above(0), None(), kC, kCompliance},
    {84, AtLeast(0), None(), kR, kResistance},
    {85, Above(0), None(), kG, kMass},
    {86, AtLeast(0), None(), kR, kResistance},
    {87, Above(0), None(), kG, kMass},
    {88, Above(0), None(), kC, kCompliance},
    {89, AtLeast(0), None(), kR, kResistance},
    {90, Above(0), None(), kG, kMass},
    {91, Above(0), None(), kC, kCompliance},
};

// A float as it reads back ("0.9997", "1e-13").
std::string Shortest(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, static_cast<float>(value)).ptr);
}

double EdgeValue(const RangeEdge& edge, const TModelParameters& p) {
  return edge.Times ? edge.Value * (p.*edge.Times) : edge.Value;
}

std::string EdgeText(const RangeEdge& edge, const TModelParameters& p) {
  if (!edge.Times) return Shortest(edge.Value);
  const std::string field = (edge.Value != 1.0 ? Shortest(edge.Value) + " x " : std::string()) +
                            std::string(kFields[edge.TimesLine - 1].Name) + " (line " +
                            std::to_string(edge.TimesLine) + ")";
  return field + ", here " + Shortest(EdgeValue(edge, p));
}

// "more than 0 and less than 0.9997 x NonlinLimit (line 38), here 0.9997", "from 0 to 2".
std::string RangeText(const LineRange& range, const TModelParameters& p) {
  const RangeEdge &low = range.Low, &high = range.High;
  const std::string unit = *range.Unit ? std::string(" ") + range.Unit : "";
  if (low.Present && high.Present && low.Inclusive && high.Inclusive && !low.Times && !high.Times)
    return "from " + EdgeText(low, p) + " to " + EdgeText(high, p) + unit;
  std::string text;
  if (low.Present) text = (low.Inclusive ? "at least " : "more than ") + EdgeText(low, p);
  if (high.Present)
    text += (text.empty() ? "" : " and ") +
            std::string(high.Inclusive ? "at most " : "less than ") + EdgeText(high, p);
  return text + unit;
}

bool Inside(double value, const RangeEdge& low, const RangeEdge& high, const TModelParameters& p) {
  const auto beyond = [&](const RangeEdge& edge, double sign) {
    if (!edge.Present) return false;
    const double d = sign * (value - EdgeValue(edge, p));
    return edge.Inclusive ? d < 0.0 : d <= 0.0;
  };
  return !beyond(low, 1.0) && !beyond(high, -1.0);
}

// Refuses the first line (in file order) whose value lies outside its range, naming the line,
// the value and the range.
void CheckRanges(const TModelParameters& p) {
  for (const LineRange& range : kRanges) {
    if (range.Applies && !range.Applies(p)) continue;
    const double value = p.*kFields[range.Line - 1].Member;
    if (Inside(value, range.Low, range.High, p)) continue;
    throw OrvekError("Model parameter file " + Quoted(p.Source) + ", " +
                     DescribeLines({range.Line}) + ": " + Shortest(value) +
                     " is outside the allowed range, " + RangeText(range, p) + " (" + range.Why +
                     ").");
  }
}

// All lines of a text file with their CR LF or LF ends removed.
std::vector<std::string> ReadLines(const std::filesystem::path& file, const std::string& what) {
  std::string text;
  if (const auto reason = ReadRegularFile(file, text))
    throw OrvekError("Cannot open the " + what + " " + Quoted(file) + ": " + *reason + ".");
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct LeadingNumber {
  double Value = 0.0;
  bool Whole = true;  // written without fraction or exponent
};

enum class NumberStatus { Ok, Missing, OutOfRange };

// The number at the start of `text`: blanks, optional sign, digits, fraction, exponent with E or e.
// Whatever follows it is ignored (a comment).
NumberStatus ParseLeadingNumber(std::string_view text, LeadingNumber& out) {
  std::size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  std::size_t start = pos;  // from_chars takes a '-' but no '+'
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    if (text[pos] == '+') ++start;
    ++pos;
  }
  std::size_t digits = 0;
  auto skipDigits = [&] {
    while (pos < text.size() && IsDigit(text[pos])) {
      ++pos;
      ++digits;
    }
  };
  skipDigits();
  bool whole = true;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    whole = false;
    skipDigits();
  }
  if (digits == 0) return NumberStatus::Missing;
  // An E only starts an exponent when digits follow: "3Eq" reads as 3.
  if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e')) {
    std::size_t e = pos + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (e < text.size() && IsDigit(text[e])) {
      pos = e;
      while (pos < text.size() && IsDigit(text[pos])) ++pos;
      whole = false;
    }
  }
  const std::string_view number = text.substr(start, pos - start);
  double value = 0.0;
  const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec != std::errc() || end != number.data() + number.size()) return NumberStatus::OutOfRange;
  out.Value = value;
  out.Whole = whole;
  return NumberStatus::Ok;
}

// Checked arithmetic for the derived constants: a failure names the responsible file lines.
class Deriver {
 public:
  explicit Deriver(const std::filesystem::path& source) : source_(source) {}

  float Finite(double value, std::initializer_list<int> lines) const {
    const float single = static_cast<float>(value);
    if (!std::isfinite(single)) {
      Fail(lines, std::string(lines.size() == 1 ? "the value makes" : "these values make") +
                      " a model constant that is not a finite number");
    }
    return single;
  }

  void NonZero(double divisor, std::initializer_list<int> lines) const {
    if (divisor == 0.0) {
      Fail(lines, lines.size() == 1 ? "the value is zero, but the model divides by it"
                                    : "these values combine to zero, but the model divides by "
                                      "the result");
    }
  }

  float Quotient(double numerator, double divisor, std::initializer_list<int> lines) const {
    NonZero(divisor, lines);
    return Finite(numerator / divisor, lines);
  }

  float Reciprocal(double divisor, std::initializer_list<int> lines) const {
    return Quotient(1.0, divisor, lines);
  }

 private:
  [[noreturn]] void Fail(std::initializer_list<int> lines, const std::string& what) const {
    throw OrvekError("Model parameter file " + Quoted(source_) + ", " + DescribeLines(lines) +
                     ": " + what + ".");
  }

  const std::filesystem::path& source_;
};

// Steps applied on every load: muscle factors raised, branches referred through the lever,
// default protector compliances turned into stiffnesses.
void ApplyLoadSteps(TModelParameters& p) {
  const Deriver d(p.Source);
  TDerivedModelConstants& k = p.Derived;

  // Even a factor of one must contract a little.
  p.MuscleStiffnessFactor = d.Finite(double{p.MuscleStiffnessFactor} + 0.001, {65});
  p.MuscleDampingFactor = d.Finite(double{p.MuscleDampingFactor} + 0.001, {66});

  k.LeverRatioSquared = d.Finite(double{p.LeverRatio} * p.LeverRatio, {21});
  const double t = k.LeverRatioSquared;
  d.NonZero(t, {21});
  k.Mass1Referred = d.Finite(p.Mass1 / t, {29, 21});
  k.Mass2Referred = d.Finite((double{p.Mass2A} + p.Mass2B) / t, {27, 28, 21});
  k.Mass3Referred = d.Finite(p.Mass3 / t, {24, 21});
  k.Resistance1Referred = d.Finite(p.Resistance1 / t, {32, 21});
  k.Resistance12Referred = d.Finite(p.Resistance12 / t, {31, 21});
  k.Resistance23Referred = d.Finite(p.Resistance23 / t, {25, 21});
  k.Resistance34Referred = d.Finite(p.Resistance34 / t, {22, 21});
  k.Resistance2Referred = d.Finite(p.Resistance2 / t, {30, 21});
  k.Stiffness2VarReferred = d.Reciprocal(p.Compliance2Var * t, {33});
  k.Stiffness2FixedReferred = d.Reciprocal(p.Compliance2Fixed * t, {34});
  k.Stiffness23Referred = d.Reciprocal(p.Compliance23 * t, {26});
  k.Stiffness34Referred = d.Reciprocal(p.Compliance34 * t, {23});
  k.InverseMass1Referred = d.Reciprocal(k.Mass1Referred, {29});
  k.InverseMass2Referred = d.Reciprocal(k.Mass2Referred, {27, 28});
  k.InverseMass3Referred = d.Reciprocal(k.Mass3Referred, {24});
  k.Stiffness4 = d.Reciprocal(p.Compliance4, {19});
  k.Stiffness46 = d.Reciprocal(p.Compliance46, {17});
  k.Stiffness5 = d.Reciprocal(p.Compliance5, {12});
  k.Stiffness56 = d.Reciprocal(p.Compliance56, {14});
  k.InverseMass5 = d.Reciprocal(p.Mass5, {11});
  k.InverseHeadMass = d.Reciprocal(p.HeadMass, {6});
  k.InverseMass4 = d.Reciprocal(p.Mass4, {18});
  k.InverseMass46 = d.Reciprocal(p.Mass46, {15});

  p.ProtectorValue1 = d.Reciprocal(p.ProtectorValue1, {81});    // Ccush -> Kcush
  p.ProtectorValue3 = d.Reciprocal(p.ProtectorValue3, {83});    // Cskin -> Kskin
  p.ProtectorValue11 = d.Reciprocal(p.ProtectorValue11, {91});  // Cmat -> Kmat
  k.InverseCcup = d.Reciprocal(p.ProtectorValue8, {88});
  k.InverseLleak = d.Reciprocal(p.ProtectorValue5, {85});
  k.InverseLcup = d.Reciprocal(p.ProtectorValue7, {87});
  k.InverseSkinCushionResistance =
      d.Reciprocal(double{p.ProtectorValue4} + p.ProtectorValue2, {84, 82});
  k.SkinCushionStiffness = d.Finite(double{p.ProtectorValue3} + p.ProtectorValue1, {83, 81});
}

// Integral of exp(k s) for s from `from` over `length` (k != 0).
double HornIntegral(double k, double from, double length) {
  return std::exp(k * from) * std::expm1(k * length) / k;
}

// Exact volume of section i (from the eardrum end) of length h: the canal is uniform up to
// `uniformLength` and flares as exp(k (x - uniformLength)) beyond. A horn that does not flare
// (k = 0) leaves the whole canal uniform.
double CanalSectionVolume(int i, double h, double uniformLength, double uniformArea, double k) {
  const double x0 = i * h;
  const double x1 = (i + 1) * h;
  if (k == 0.0 || x1 < uniformLength) return h * uniformArea;
  if (x0 >= uniformLength) return uniformArea * HornIntegral(k, x0 - uniformLength, h);
  return (uniformLength - x0) * uniformArea +
         uniformArea * HornIntegral(k, 0.0, x1 - uniformLength);
}

}  // namespace

int ParameterLine(std::string_view name) {
  for (std::size_t i = 0; i < kFields.size(); ++i)
    if (kFields[i].Name == name) return static_cast<int>(i) + 1;
  return 0;
}

std::string ReadManFig(const std::filesystem::path& manFig) {
  const std::vector<std::string> lines = ReadLines(manFig, "pointer file");
  if (lines.empty()) {
    throw OrvekError("The pointer file " + Quoted(manFig) +
                     " is empty; its first line must name the model parameter file.");
  }
  const std::string_view first = std::string_view(lines[0]).substr(0, 12);
  const std::size_t begin = first.find_first_not_of(" \t");
  if (begin == std::string_view::npos) {
    throw OrvekError("The first line of the pointer file " + Quoted(manFig) +
                     " names no model parameter file.");
  }
  const std::size_t end = first.find_last_not_of(" \t");
  return std::string(first.substr(begin, end - begin + 1));
}

void LoadModelParameters(const std::filesystem::path& path, TModelParameters& p) {
  const std::vector<std::string> lines = ReadLines(path, "model parameter file");
  if (lines.size() < static_cast<std::size_t>(ParameterLineCount)) {
    throw OrvekError("Model parameter file " + Quoted(path) + " has " +
                     std::to_string(lines.size()) + " lines, but " +
                     std::to_string(ParameterLineCount) + " are needed; line " +
                     std::to_string(lines.size() + 1) + " (" +
                     std::string(kFields[lines.size()].Name) + ") is missing.");
  }

  TModelParameters loaded;
  loaded.Source = path;
  for (int line = 1; line <= ParameterLineCount; ++line) {
    const std::string where =
        "Model parameter file " + Quoted(path) + ", " + DescribeLines({line}) + ": ";
    LeadingNumber number;
    switch (ParseLeadingNumber(lines[line - 1], number)) {
      case NumberStatus::Missing:
        throw OrvekError(where + "the line does not start with a number.");
      case NumberStatus::OutOfRange:
        throw OrvekError(where + "the number is out of range.");
      case NumberStatus::Ok:
        break;
    }
    const FieldSlot& slot = kFields[line - 1];
    if (slot.Member == nullptr) {
      // Every analysis and the movie need at least one place; the results hold 23.
      if (!number.Whole || number.Value < 1 || number.Value > MaxPlaceCount) {
        throw OrvekError(where + "the value must be a whole number of places from 1 to " +
                         std::to_string(MaxPlaceCount) + ".");
      }
      loaded.PlaceCount = static_cast<std::int32_t>(number.Value);
    } else {
      const float value = static_cast<float>(number.Value);
      if (!std::isfinite(value)) {
        throw OrvekError(where + "the number is out of range.");
      }
      loaded.*slot.Member = value;
    }
  }
  CheckRanges(loaded);
  ApplyLoadSteps(loaded);
  p = std::move(loaded);
}

void DeriveModelConstants(TModelParameters& p) {
  const Deriver d(p.Source);
  TDerivedModelConstants k = p.Derived;

  k.MuscleStiffnessIncrement = d.Finite(double{p.MuscleStiffnessFactor} - 1.0, {65});
  k.MuscleDampingIncrement = d.Finite(double{p.MuscleDampingFactor} - 1.0, {66});

  k.StapesDisplacementScale = d.Quotient(10000.0, double{p.LeverRatio} * p.OutputArea, {35, 21});

  k.Ln10Over10 = static_cast<float>(std::numbers::ln10 / 10.0);
  k.Ln10Over20 = static_cast<float>(std::numbers::ln10 / 20.0);

  const double entranceArea = p.CanalEntranceArea;
  k.EntranceRadiationResistance = d.Quotient(2.0 * AirImpedance, entranceArea, {10});
  k.InverseRadiationMass =
      d.Reciprocal(2.55 * AirDensity / std::sqrt(std::numbers::pi * entranceArea), {10});

  // Sixteen sections of equal length; each holds the exact volume of its piece of the canal.
  const double uniformLength = p.CanalUniformLength;
  const double uniformArea = p.CanalUniformArea;
  d.NonZero(p.CanalHornLength, {8});
  d.NonZero(uniformArea, {9});
  const double h = (uniformLength + double{p.CanalHornLength}) / CanalSectionCount;
  k.CanalSectionLength = d.Finite(h, {7, 8});
  const double flare = std::log(entranceArea / uniformArea) / p.CanalHornLength;
  d.Finite(flare, {8, 9, 10});
  for (int i = 0; i < CanalSectionCount; ++i) {
    const double volume = CanalSectionVolume(i, h, uniformLength, uniformArea, flare);
    k.CanalSectionVolume[i] = d.Finite(volume, {7, 8, 9, 10});
    k.CanalSectionStiffness[i] = d.Quotient(AirBulkModulus, k.CanalSectionVolume[i], {7, 8, 9, 10});
    k.CanalSectionInertance[i] =
        d.Quotient(AirDensity * h * h, k.CanalSectionVolume[i], {7, 8, 9, 10});
  }

  // Each node of the line carries half of the inertance of the sections on either side.
  const auto& m = k.CanalSectionInertance;
  k.InverseNodeInertance[0] = d.Quotient(2.0, m[0], {7, 8, 9, 10});
  for (int i = 1; i < CanalSectionCount; ++i) {
    k.InverseNodeInertance[i] = d.Quotient(2.0, double{m[i - 1]} + m[i], {7, 8, 9, 10});
  }
  k.InverseNodeInertance[CanalSectionCount] =
      d.Quotient(2.0, m[CanalSectionCount - 1], {7, 8, 9, 10});

  const double a = m[0] / 2.0 + p.Mass46;
  const double c = double{p.Mass46} + p.Mass4;
  const double b = p.Mass46;
  const double det = a * c - b * b;
  k.MassBlockCOverDet = d.Quotient(c, det, {15, 18});
  k.MassBlockAOverDet = d.Quotient(a, det, {15, 18});
  k.MassBlockBOverDet = d.Quotient(b, det, {15, 18});

  p.Derived = k;
}

}  // namespace orvek
