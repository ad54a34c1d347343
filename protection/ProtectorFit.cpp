#include "protection/ProtectorFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>

#include "base/OrvekError.h"
#include "protection/ProtectorCircuit.h"

namespace orvek {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Searched values in search order, with the table rows whose error each one minimises.
enum class RowSpan { Mid, Low, High };
struct SearchedValue {
  float TCircuitValues::*Member;
  const char* Name;
  RowSpan Rows;
};
constexpr std::array<SearchedValue, 10> kSearched = {{
    {&TCircuitValues::Kcup, "Kcup", RowSpan::Mid},
    {&TCircuitValues::Kskin, "Kskin", RowSpan::Mid},
    {&TCircuitValues::Rskin, "Rskin", RowSpan::Mid},
    {&TCircuitValues::Kcush, "Kcush", RowSpan::Mid},
    {&TCircuitValues::Rcush, "Rcush", RowSpan::Mid},
    {&TCircuitValues::Lleak, "Lleak", RowSpan::Low},
    {&TCircuitValues::Rleak, "Rleak", RowSpan::Low},
    {&TCircuitValues::Kmat, "Kmat", RowSpan::High},
    {&TCircuitValues::Lmat, "Lmat", RowSpan::High},
    {&TCircuitValues::Rmat, "Rmat", RowSpan::High},
}};

// Coarse, fine, coarse again: the divisor of the trial exponent in each of the ten passes.
constexpr std::array<int, 10> kPassDivisors = {1000, 100, 10, 1, 10, 100, 1000, 100, 10, 100};

constexpr int kTrialSteps = 10;  // s = -10 .. 10

constexpr float kPlugMass = 10.25641f;

bool IsPlug(ProtectorFitKind kind) { return kind == ProtectorFitKind::Plug; }

ProtectorForm FormOf(ProtectorFitKind kind) {
  return IsPlug(kind) ? ProtectorForm::Plug : ProtectorForm::Muff;
}

float ToFloat(double value) { return static_cast<float>(value); }

// Inclusive row range a searched value is judged on.
struct RowRange {
  int First, Last;
};

RowRange RangeOf(RowSpan span, const FitAnchorRows& anchors, int lastRow) {
  switch (span) {
    case RowSpan::Mid:
      return {anchors.Row250, anchors.Row2000};
    case RowSpan::Low:
      return {0, anchors.Row250};
    case RowSpan::High:
      return {anchors.Row2000, lastRow};
  }
  return {0, lastRow};
}

double SquaredError(const TCircuitValues& values, ProtectorForm form,
                    std::span<const AttenuationPoint> table, RowRange rows) {
  double sum = 0.0;
  for (int k = rows.First; k <= rows.Last; ++k) {
    const double d = table[k].MeanDb - ProtectorLevelDb(values, form, table[k].FrequencyHz);
    sum += d * d;
  }
  return sum;
}

float TrialValue(float base, int step, int divisor) {
  return ToFloat(base * std::pow(10.0, static_cast<double>(step) / divisor));
}

// Sets the stiffness of the cup volume against its partner so that Kcup / (Kcup + partner) is
// `levelDb` (negative); returns the partner stiffness.
double PartnerStiffness(double kcup, double levelDb) {
  return kcup * (std::pow(10.0, -levelDb / 20.0) - 1.0);
}

// R = sqrt(L K) / Q with Q = sqrt(L K) / R held inside [qLow, qHigh].
float LimitedResistance(double mass, double stiffness, double resistance, double qLow,
                        double qHigh) {
  const double characteristic = std::sqrt(mass * stiffness);
  return ToFloat(characteristic / std::clamp(characteristic / resistance, qLow, qHigh));
}

void ApplyMuffLimits(TCircuitValues& c) {
  c.Kcush = ToFloat(PartnerStiffness(c.Kcup, -2.5));
  const double kt = double{c.Kcup} + c.Kcush;
  c.Rcush = LimitedResistance(c.Lcup, kt, c.Rcush, 0.1, 2.0);
  const double gainDb =
      std::clamp(20.0 * std::log10(c.Kcup / (double{c.Kcup} + c.Kskin)), -15.0, 0.0);
  const double ks = c.Kcup / std::pow(10.0, gainDb / 20.0);
  c.Kskin = ToFloat(ks - c.Kcup);
  c.Rskin = LimitedResistance(c.Lcup, ks, c.Rskin, 0.1, 2.0);
  c.Kskin = std::clamp(c.Kskin, 0.1f * c.Kcush, 10.0f * c.Kcush);
  c.Rskin = std::clamp(c.Rskin, 0.1f * c.Rcush, 10.0f * c.Rcush);
  c.Kcup = std::clamp(c.Kcup, 1e5f, 1e8f);
  c.Kcush = std::clamp(c.Kcush, 1e5f, 1e10f);
}

void ApplyPlugLimits(TCircuitValues& c, bool noLowFrequency) {
  c.Kcush = ToFloat(PartnerStiffness(c.Kcup, -5.0));
  const double kt = double{c.Kcup} + c.Kcush;
  c.Rcush = LimitedResistance(c.Lcup, kt, c.Rcush, 0.1, 0.7);
  const double resonanceHz =
      noLowFrequency ? 50000.0
                     : std::clamp(1.0 / (kTwoPi * std::sqrt(c.Lcup / kt)), 5000.0, 10000.0);
  const double omega = kTwoPi * resonanceHz;
  c.Kcup = std::clamp(ToFloat(omega * omega * c.Lcup - c.Kcush), 1e5f, 2e8f);
}

void ApplyMaterialAndLeakLimits(TCircuitValues& c, bool plug, bool noLowFrequency) {
  c.Lmat = std::max(c.Lmat, 1e-6f);
  c.Kmat = ToFloat(PartnerStiffness(c.Kcup, -30.0));
  const double km = double{c.Kmat} + c.Kcup;
  double resonanceHz = 1.0 / (kTwoPi * std::sqrt(c.Lmat / km));
  if (noLowFrequency) {
    resonanceHz = 50000.0;
  } else {
    resonanceHz =
        plug ? std::clamp(resonanceHz, 10000.0, 15000.0) : std::clamp(resonanceHz, 4000.0, 8000.0);
  }
  const double omega = kTwoPi * resonanceHz;
  c.Lmat = ToFloat(km / (omega * omega));
  const double qLow = plug ? 5.0 : (noLowFrequency ? 0.7 : 0.5);
  const double qHigh = plug ? 5.0 : (noLowFrequency ? 0.7 : 2.5);
  c.Rmat = LimitedResistance(c.Lmat, km, c.Rmat, qLow, qHigh);

  const double leakHz = plug ? 1.0 : 30.0;
  c.Lleak = ToFloat(c.Kcup / ((kTwoPi * leakHz) * (kTwoPi * leakHz)));
  c.Rleak = plug ? ToFloat(std::sqrt(double{c.Lleak} * c.Kcup))
                 : LimitedResistance(c.Lleak, c.Kcup, c.Rleak, 0.1, 1.0);
  if (plug) {
    c.Rskin = 10.0f * c.Rcush;
    c.Kskin = 10.0f * c.Kcush;
  }
}

void CheckSeed(const TCircuitValues& seed) {
  const auto check = [](float value, const char* name) {
    if (!(value > 0.0f && std::isfinite(value))) {
      throw OrvekError(std::string("Protector fit: the seed value ") + name + " is " +
                       std::to_string(value) + "; every seed element value must be positive.");
    }
  };
  check(seed.Lcup, "Lcup");
  for (const SearchedValue& v : kSearched) check(seed.*(v.Member), v.Name);
}

}  // namespace

FitAnchorRows FindFitAnchorRows(std::span<const AttenuationPoint> table) {
  const int rows = static_cast<int>(table.size());
  if (rows < 4 || rows > kMaxAttenuationRows) {
    throw OrvekError("Protector fit: the attenuation table has " + std::to_string(rows) +
                     " rows; it needs 4 to " + std::to_string(kMaxAttenuationRows) + ".");
  }
  for (int k = 0; k < rows; ++k) {
    const AttenuationPoint& p = table[k];
    const bool rising = k == 0 || p.FrequencyHz > table[k - 1].FrequencyHz;
    if (!(p.FrequencyHz > 0.0f && std::isfinite(p.FrequencyHz) && std::isfinite(p.MeanDb) &&
          rising)) {
      throw OrvekError("Protector fit: attenuation row " + std::to_string(k + 1) + " (" +
                       std::to_string(p.FrequencyHz) + " Hz, " + std::to_string(p.MeanDb) +
                       " dB) must have a finite mean and a positive frequency above the row "
                       "before it.");
    }
  }
  const auto find = [&](double anchorHz) {
    for (int k = 0; k < rows; ++k) {
      if (std::abs(table[k].FrequencyHz / anchorHz - 1.0) < 0.1) return k;
    }
    throw OrvekError("Protector fit: the attenuation table has no row within 10 % of " +
                     std::to_string(static_cast<int>(anchorHz)) +
                     " Hz; a protector needs rows at 125, 250, 2000 and 8000 Hz to be fitted.");
  };
  return {find(125.0), find(250.0), find(2000.0), find(8000.0)};
}

bool HasNoLowFrequencyData(std::span<const AttenuationPoint> table) {
  return table.size() >= 3 && table[0].MeanDb == 0.0f && table[1].MeanDb == 0.0f &&
         table[2].MeanDb == 0.0f;
}

TCircuitValues PrepareFitSeed(const TCircuitValues& seed, ProtectorFitKind kind,
                              std::span<const AttenuationPoint> table,
                              const FitAnchorRows& anchors) {
  TCircuitValues c = seed;
  if (c.Kskin > c.Kcush) {
    std::swap(c.Kskin, c.Kcush);
    std::swap(c.Rskin, c.Rcush);
  }
  if (IsPlug(kind)) c.Lcup = kPlugMass;
  // A second-order material resonance near 8 kHz: its peak over the 2 kHz level sets the quality,
  // the 8 kHz level the mass-to-stiffness split.
  const double at8000Db = table[anchors.Row8000].MeanDb;
  const double a = std::pow(10.0, (at8000Db - table[anchors.Row2000].MeanDb) / 20.0);
  if (a >= 0.6) {
    const double z = 1.33 * std::sqrt(4.0 * a * a - 1.0);
    const double m = 2.0 * std::pow(10.0, at8000Db / 20.0) / z;
    const double omega8 = kTwoPi * table[anchors.Row8000].FrequencyHz;
    c.Kmat = ToFloat((1.0 / m - 1.0) * c.Kcup);
    c.Lmat = ToFloat(c.Kcup / (m * omega8 * omega8));
    c.Rmat = ToFloat(2.0 * c.Kcup / (z * m * omega8));
  }
  return c;
}

void SearchCircuitValuesPass(TCircuitValues& values, ProtectorFitKind kind,
                             std::span<const AttenuationPoint> table, const FitAnchorRows& anchors,
                             int divisor) {
  const ProtectorForm form = FormOf(kind);
  const int lastRow = static_cast<int>(table.size()) - 1;
  for (const SearchedValue& searched : kSearched) {
    float& value = values.*(searched.Member);
    const float base = value;
    const RowRange rows = RangeOf(searched.Rows, anchors, lastRow);
    int bestStep = -kTrialSteps;
    double bestError = 0.0;
    for (int s = -kTrialSteps; s <= kTrialSteps; ++s) {
      value = TrialValue(base, s, divisor);
      const double error = SquaredError(values, form, table, rows);
      if (s == -kTrialSteps || error < bestError) {
        bestError = error;
        bestStep = s;
      }
    }
    value = TrialValue(base, bestStep, divisor);
  }
}

void ApplyProtectorLimits(TCircuitValues& values, ProtectorFitKind kind, bool noLowFrequency) {
  if (IsPlug(kind)) {
    ApplyPlugLimits(values, noLowFrequency);
  } else {
    ApplyMuffLimits(values);
  }
  ApplyMaterialAndLeakLimits(values, IsPlug(kind), noLowFrequency);
}

ProtectorFitResult FitProtectorCircuit(const TCircuitValues& seed, ProtectorFitKind kind,
                                       std::span<const AttenuationPoint> table) {
  ProtectorFitResult result;
  result.Anchors = FindFitAnchorRows(table);
  CheckSeed(seed);
  result.NoLowFrequency = HasNoLowFrequencyData(table);
  TCircuitValues c = PrepareFitSeed(seed, kind, table, result.Anchors);
  for (const int divisor : kPassDivisors) {
    SearchCircuitValuesPass(c, kind, table, result.Anchors, divisor);
    ApplyProtectorLimits(c, kind, result.NoLowFrequency);
  }
  DeriveCircuitValues(c);
  result.Values = c;
  const int lastRow = static_cast<int>(table.size()) - 1;
  result.SquaredErrorDb2 = SquaredError(c, FormOf(kind), table, {0, lastRow});
  result.RmsErrorDb = std::sqrt(result.SquaredErrorDb2 / static_cast<double>(table.size()));
  return result;
}

}  // namespace orvek
