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

// The stiffness that forms a divider of `levelDb` (positive) with the cup volume:
// 20 log10((kcup + K) / kcup) = levelDb.
double PartnerStiffness(double kcup, double levelDb) {
  return kcup * (std::pow(10.0, levelDb / 20.0) - 1.0);
}

double Clamp(double value, const FitRange& range) {
  return std::clamp(value, range.Low, range.High);
}

// The divider level of `stiffness` against the cup volume, moved into `range`; a stiffness that
// cancels the cup's (not a divider at all) counts as the low end.
double LimitedRatioDb(double kcup, double stiffness, const FitRange& range) {
  const double db = 20.0 * std::log10((kcup + stiffness) / kcup);
  return std::isnan(db) ? range.Low : Clamp(db, range);
}

// R = sqrt(L K) / Q with Q = sqrt(L K) / R held inside `q`.
float LimitedResistance(double mass, double stiffness, double resistance, const FitRange& q) {
  const double characteristic = std::sqrt(mass * stiffness);
  return ToFloat(characteristic / Clamp(characteristic / resistance, q));
}

// A stiffness or resistance held within a range of multiples of another, in single precision.
float ClampedMultiple(float value, float of, const FitRange& multiples) {
  return std::clamp(value, static_cast<float>(multiples.Low) * of,
                    static_cast<float>(multiples.High) * of);
}

float ClampedFloat(float value, const FitRange& range) {
  return std::clamp(value, static_cast<float>(range.Low), static_cast<float>(range.High));
}

void ApplyCushionAndSkinLimits(TCircuitValues& c, const ProtectorFitLimits& l) {
  c.Kcush = ToFloat(PartnerStiffness(c.Kcup, LimitedRatioDb(c.Kcup, c.Kcush, l.CushionRatioDb)));
  c.Rcush = LimitedResistance(c.Lcup, double{c.Kcup} + c.Kcush, c.Rcush, l.CushionQ);
  const double gainDb = Clamp(20.0 * std::log10(c.Kcup / (double{c.Kcup} + c.Kskin)), l.SkinGainDb);
  const double ks = c.Kcup / std::pow(10.0, gainDb / 20.0);
  c.Kskin = ToFloat(ks - c.Kcup);
  c.Rskin = LimitedResistance(c.Lcup, ks, c.Rskin, l.SkinQ);
  c.Kskin = ClampedMultiple(c.Kskin, c.Kcush, l.SkinToCushion);
  c.Rskin = ClampedMultiple(c.Rskin, c.Rcush, l.SkinToCushion);
  c.Kcup = ClampedFloat(c.Kcup, l.CupStiffness);
  c.Kcush = ClampedFloat(c.Kcush, l.CushionStiffness);
}

void ApplyMaterialAndLeakLimits(TCircuitValues& c, const ProtectorFitLimits& l) {
  c.Lmat = std::max(c.Lmat, ToFloat(l.LeastMaterialMass));
  c.Kmat = ToFloat(PartnerStiffness(c.Kcup, LimitedRatioDb(c.Kcup, c.Kmat, l.MaterialRatioDb)));
  const double km = double{c.Kmat} + c.Kcup;
  const double resonanceHz = Clamp(1.0 / (kTwoPi * std::sqrt(c.Lmat / km)), l.MaterialResonanceHz);
  const double omega = kTwoPi * resonanceHz;
  c.Lmat = ToFloat(km / (omega * omega));
  c.Rmat = LimitedResistance(c.Lmat, km, c.Rmat, l.MaterialQ);

  const double leakOmega = kTwoPi * l.LeakResonanceHz;
  c.Lleak = ToFloat(c.Kcup / (leakOmega * leakOmega));
  c.Rleak = LimitedResistance(c.Lleak, c.Kcup, c.Rleak, l.LeakQ);
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

ProtectorFitLimits FitLimitsFor(ProtectorFitKind kind, bool noLowFrequency) {
  ProtectorFitLimits limits = kind == ProtectorFitKind::Plug           ? kPlugFitLimits
                              : kind == ProtectorFitKind::PlugPlusMuff ? kPlugPlusMuffFitLimits
                                                                       : kMuffFitLimits;
  if (noLowFrequency) {
    // Nothing measured below the material resonance to place it by.
    limits.MaterialResonanceHz = {50000.0, 50000.0};
    if (kind == ProtectorFitKind::Muff) limits.MaterialQ = {0.7, 0.7};
  }
  return limits;
}

TCircuitValues PrepareFitSeed(const TCircuitValues& seed, ProtectorFitKind kind,
                              std::span<const AttenuationPoint> table,
                              const FitAnchorRows& anchors) {
  TCircuitValues c = seed;
  if (c.Kskin > c.Kcush) {
    std::swap(c.Kskin, c.Kcush);
    std::swap(c.Rskin, c.Rcush);
  }
  const double fixedMass = FitLimitsFor(kind, false).FixedMass;
  if (fixedMass > 0.0) c.Lcup = ToFloat(fixedMass);
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

void ApplyProtectorLimits(TCircuitValues& values, const ProtectorFitLimits& limits) {
  ApplyCushionAndSkinLimits(values, limits);
  ApplyMaterialAndLeakLimits(values, limits);
}

ProtectorFitResult FitProtectorCircuit(const TCircuitValues& seed, ProtectorFitKind kind,
                                       std::span<const AttenuationPoint> table) {
  ProtectorFitResult result;
  result.Anchors = FindFitAnchorRows(table);
  CheckSeed(seed);
  result.NoLowFrequency = HasNoLowFrequencyData(table);
  const ProtectorFitLimits limits = FitLimitsFor(kind, result.NoLowFrequency);
  TCircuitValues c = PrepareFitSeed(seed, kind, table, result.Anchors);
  for (const int divisor : kPassDivisors) {
    SearchCircuitValuesPass(c, kind, table, result.Anchors, divisor);
    ApplyProtectorLimits(c, limits);
  }
  DeriveCircuitValues(c);
  result.Values = c;
  const int lastRow = static_cast<int>(table.size()) - 1;
  result.SquaredErrorDb2 = SquaredError(c, FormOf(kind), table, {0, lastRow});
  result.RmsErrorDb = std::sqrt(result.SquaredErrorDb2 / static_cast<double>(table.size()));
  return result;
}

}  // namespace orvek
