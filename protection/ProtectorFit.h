#pragma once
#include <limits>
#include <span>

#include "protection/CircuitValues.h"

namespace orvek {

// The protector kinds the fit knows; a plug plus muff is fitted in the muff form.
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

// A closed range of a fitted quantity; Low == High fixes it.
struct FitRange {
  double Low = 0, High = 0;
};

inline constexpr double kUnbounded = std::numeric_limits<double>::infinity();

// What the fit imposes on the element values after every search pass. Stiffnesses are acoustic,
// K = rho c^2 / V in dyn/cm^5 for an air volume V in cm^3 (rho c^2 = 1.42e6 dyn/cm^2), masses in
// g/cm^4, resistances in dyn s/cm^5. A stiffness set against the cup volume is given as the level
// of the divider the two form, 20 log10((Kcup + K) / Kcup) dB: what that path alone holds back
// below its resonance. A quality Q = sqrt(L K) / R is that of the path's mass on its stiffness.
struct ProtectorFitLimits {
  double FixedMass = 0;               // Lcup (g/cm^4) set before the search; 0 keeps the seed's
  FitRange CushionRatioDb, CushionQ;  // cushion (a plug's seal) against the cup volume
  // Skin: 20 log10(Kcup / (Kcup + Kskin)) dB, the quality with the cup mass, and Kskin / Kcush
  // and Rskin / Rcush.
  FitRange SkinGainDb, SkinQ, SkinToCushion;
  FitRange CupStiffness, CushionStiffness;                   // dyn/cm^5, after the ratios
  double LeastMaterialMass = 0;                              // g/cm^4
  FitRange MaterialRatioDb, MaterialResonanceHz, MaterialQ;  // transmission through the body
  double LeakResonanceHz = 0;  // of the leak mass on the cup volume: Lleak = Kcup / (2 pi f)^2
  FitRange LeakQ;
};

// An earmuff.
inline constexpr ProtectorFitLimits kMuffFitLimits = {
    .FixedMass = 0,  // the cup's mass, from the muff seed
    // The cushion a third as stiff as the cup air (2.5 dB): below the cup resonance a muff's
    // attenuation comes from the damping of cushion and skin and from the leak's mass.
    .CushionRatioDb = {2.5, 2.5},
    .CushionQ = {0.1, 2.0},      // cup resonance from overdamped to a 6 dB peak
    .SkinGainDb = {-15.0, 0.0},  // the skin under the cushion at most 15 dB against the cup air
    .SkinQ = {0.1, 2.0},
    .SkinToCushion = {0.1, 10.0},  // skin within a decade of the cushion
    .CupStiffness = {1e5, 1e8},    // 14 cm^3 of air down to 0.014 cm^3
    .CushionStiffness = {1e5, 1e10},
    .LeastMaterialMass = 1e-6,
    // The cup shell passes 30 dB below its panel resonance at 4-8 kHz, damped to Q 0.5-2.5.
    .MaterialRatioDb = {30.0, 30.0},
    .MaterialResonanceHz = {4000.0, 8000.0},
    .MaterialQ = {0.5, 2.5},
    // The gap under the cushion: its air mass resonates with the cup air at 30 Hz and loses 12 dB
    // per octave above, from overdamped to a 1 dB peak.
    .LeakResonanceHz = 30.0,
    .LeakQ = {0.1, 1.0},
};

// An earplug.
inline constexpr ProtectorFitLimits kPlugFitLimits = {
    // The plug's acoustic mass m / A^2: about 0.41 g moving in a canal of 0.2 cm^2.
    .FixedMass = 10.25641,
    // Below the plug's resonance its seal against the canal wall and the air behind it divide the
    // pressure: from 5 dB (a loose plug) to 50 dB, where bone conduction bounds every measured
    // attenuation (40-60 dB; Berger, Kieper & Gauger 2003).
    .CushionRatioDb = {5.0, 50.0},
    .CushionQ = {0.1, 0.7},  // the resonance on the seal no higher than the level below it
    // The plug form has no skin; the network holds it in parallel with the seal, ten times as
    // stiff and as resistive, so that it changes the seal by 10/11 (0.8 dB) only.
    .SkinGainDb = {-kUnbounded, kUnbounded},
    .SkinQ = {0.0, kUnbounded},
    .SkinToCushion = {10.0, 10.0},
    .CupStiffness = {1e5, 2e8},  // the air behind the plug: 14 cm^3 down to 0.007 cm^3
    .CushionStiffness = {0.0, kUnbounded},
    .LeastMaterialMass = 1e-6,
    // Sound through the plug's body: from 30 dB (a muff shell's) up to the bone-conduction bound,
    // with the body's resonance above the measured band (8 kHz), lightly damped.
    .MaterialRatioDb = {30.0, 50.0},
    .MaterialResonanceHz = {10000.0, 15000.0},
    .MaterialQ = {5.0, 5.0},
    // A plug seals the canal: its leak resonates at 1 Hz and passes nothing in the band.
    .LeakResonanceHz = 1.0,
    .LeakQ = {1.0, 1.0},
};

// A plug under a muff: the plug seals the canal, so the pair is bounded as a plug is, on the
// muff's elements (the muff seed and its cup mass). Within the muff's own limits the muff form
// reaches at most about 13, 19 and 26 dB at 125, 250 and 500 Hz, where such a pair gives 40-50 dB:
// cushion (fixed at 2.5 dB) and skin (at most 15 dB) carry the cup in parallel, so the softer one
// rules; with both free the shell's fixed 30 dB still caps every band below its resonance, and the
// leak at 30 Hz caps 125 Hz near 38 dB.
inline constexpr ProtectorFitLimits kPlugPlusMuffFitLimits = [] {
  ProtectorFitLimits limits = kPlugFitLimits;
  limits.FixedMass = 0;
  return limits;
}();

// The limits of `kind`. A table measured without its low frequencies moves the material resonance
// to 50 kHz and sets a muff's material quality to 0.7.
ProtectorFitLimits FitLimitsFor(ProtectorFitKind kind, bool noLowFrequency);

// The seed after its preparation: skin and cushion exchanged if the skin is the stiffer, the
// kind's fixed mass set, and the material branch estimated from the 2000 and 8000 Hz rows when
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

// Applies `limits` in order: cushion ratio and quality, skin, stiffness bounds, material mass,
// ratio, resonance and quality, leak. A ratio outside its range is moved to the nearer end.
void ApplyProtectorLimits(TCircuitValues& values, const ProtectorFitLimits& limits);

// Fits the circuit to the table's mean attenuation from `seed` (the kind's seed values): anchor
// rows, preparation, ten passes each followed by the limits. Deterministic; throws OrvekError when
// the table cannot be fitted or a seed element value is not positive and finite.
ProtectorFitResult FitProtectorCircuit(const TCircuitValues& seed, ProtectorFitKind kind,
                                       std::span<const AttenuationPoint> table);

}  // namespace orvek
