#pragma once

namespace orvek {

// Element values of the electro-acoustic protector model, CGS acoustic units: stiffnesses in
// dyn/cm^5 (held in place of the compliances Ccup, Cskin, Ccush, Cmat, Cmat2), masses in g/cm^4,
// resistances in dyn s/cm^5.
struct TCircuitValues {
  float Kcup = 0;   // 1/Ccup, the air under the cup or behind the plug
  float Lcup = 0;   // cup or plug mass
  float Kskin = 0, Rskin = 0;  // skin path
  float Kcush = 0, Rcush = 0;  // cushion
  float Lleak = 0, Rleak = 0;  // leak around the protector
  float Kmat = 0, Lmat = 0, Rmat = 0;     // first material-transmission branch
  float Kmat2 = 0, Lmat2 = 0, Rmat2 = 0;  // second material branch (no part in the ratio)
  float LleakLevelCoefficient = 0, RleakLevelCoefficient = 0;
  float ReservedValue1 = 0, ReservedValue2 = 0;

  // Held beside the values whenever they are loaded.
  float InverseLcup = 0, InverseLleak = 0, InverseSkinCushionResistance = 0,
        SkinCushionStiffness = 0;
};

// Recomputes the derived values from the element values.
inline void DeriveCircuitValues(TCircuitValues& c) {
  c.InverseLcup = c.Lcup != 0 ? 1.0f / c.Lcup : 0.0f;
  c.InverseLleak = c.Lleak != 0 ? 1.0f / c.Lleak : 0.0f;
  c.InverseSkinCushionResistance = (c.Rskin + c.Rcush) != 0 ? 1.0f / (c.Rskin + c.Rcush) : 0.0f;
  c.SkinCushionStiffness = c.Kskin + c.Kcush;
}

}  // namespace orvek
