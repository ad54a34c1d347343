#pragma once
#include <span>

#include "protection/CircuitValues.h"

namespace orvek {

// The protector kinds the fit knows; a plug plus muff is fitted as a muff.
enum class ProtectorFitKind { Plug, Muff, PlugPlusMuff };

// One row of measured attenuation; the spread is carried but not fitted.
struct AttenuationPoint {
  float FrequencyHz = 0;
  float MeanDb = 0;  // level change, negative where the protector attenuates
  float SpreadDb = 0;
};

// Most rows an attenuation table holds.
inline constexpr int kMaxAttenuationRows = 51;

// Rows nearest the four anchor frequencies: each the first row within 10 % of 125, 250, 2000 and
// 8000 Hz.
struct FitAnchorRows {
  int Row125 = 0, Row250 = 0, Row2000 = 0, Row8000 = 0;
};

// What a fit returns: the fitted values (derived values filled in) and how well they match.
struct ProtectorFitResult {
  TCircuitValues Values;
  FitAnchorRows Anchors;
  bool NoLowFrequency = false;
  double SquaredErrorDb2 = 0;  // sum over all rows of (mean - model level)^2
  double RmsErrorDb = 0;
};

// Throws OrvekError unless the table has 4 to 51 rows with finite, positive, strictly rising
// frequencies and finite means, and rows at 125, 250, 2000 and 8000 Hz (within 10 %).
FitAnchorRows FindFitAnchorRows(std::span<const AttenuationPoint> table);

// True when the mean attenuation is exactly 0 at the first three rows: the protector was measured
// without its low-frequency part.
bool HasNoLowFrequencyData(std::span<const AttenuationPoint> table);

// The seed after its preparation: skin and cushion exchanged if the skin is the stiffer, the plug
// mass fixed for a plug, and the material branch estimated from the 2000 and 8000 Hz rows when
// their difference allows it.
TCircuitValues PrepareFitSeed(const TCircuitValues& seed, ProtectorFitKind kind,
                              std::span<const AttenuationPoint> table,
                              const FitAnchorRows& anchors);

// One coordinate-wise search pass over the ten searched values (Kcup, Kskin, Rskin, Kcush, Rcush,
// Lleak, Rleak, Kmat, Lmat, Rmat): each tries value * 10^(s/divisor), s = -10..10, and keeps the
// trial with the smallest error over its rows; on a tie the more negative s wins.
void SearchCircuitValuesPass(TCircuitValues& values, ProtectorFitKind kind,
                             std::span<const AttenuationPoint> table, const FitAnchorRows& anchors,
                             int divisor);

// The physical limits applied after every pass: cushion and skin stiffness ratios and qualities,
// plug and material resonances, material quality, leak mass and quality, stiffness bounds.
void ApplyProtectorLimits(TCircuitValues& values, ProtectorFitKind kind, bool noLowFrequency);

// Fits the circuit to the table's mean attenuation from `seed` (the kind's seed values): anchor
// rows, preparation, ten passes each followed by the limits. Deterministic; throws OrvekError when
// the table cannot be fitted or a seed element value is not positive and finite.
ProtectorFitResult FitProtectorCircuit(const TCircuitValues& seed, ProtectorFitKind kind,
                                       std::span<const AttenuationPoint> table);

}  // namespace orvek
