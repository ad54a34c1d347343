#pragma once

namespace orvek {

// Characteristic impedance rho c of air in Pa s/m (rayl), by which the energy measures turn the
// integral of p^2 dt (Pa^2 s) into a sound exposure in J/m^2: 415 rayl is air at about 20 degC
// (1.21 kg/m^3 x 343 m/s). The A-weighted energy and the flat energy of a record use it.
inline constexpr double kAirImpedanceRayl = 415.0;

// The 1/3-octave Leq300ms spectra divide by 407 rayl instead, and their reference energy
// (20 uPa)^2 x 0.3 s / 407 J/m^2 (kLeq300ReferenceEnergy) is stated with the same value, so a band
// level is the 300 ms equivalent level re 20 uPa. Changing either alone to 415 would move every
// band level by 10 log10(415/407) = 0.085 dB; the pair stays as the band spectrum defines it.
// (The ear model has its own air, in CGS units: model/ModelParameters.h.)
inline constexpr double kBandSpectrumAirImpedanceRayl = 407.0;

// Dither added to a record, relative to its size (the largest sample for the ORV reader, the
// pressure-axis span for the protector network): 2^-17, a fraction of the step of a 16-bit
// recording of that size.
inline constexpr double kDitherScale = 1.0 / 131072.0;

// Level in dB re 20 uPa of a pressure or energy measure of 1 Pa (20 log10(1 / 20e-6) = 93.98,
// taken as 94 dB as the exposure standards do).
inline constexpr double kLevelOffsetDb = 94.0;

// The 8-hour A-weighted exposure criterion: 85 dB over a working day of 8 h (28,800 s), with the
// equal-energy exchange rate of 3 dB per doubling of the number of exposures.
inline constexpr double kWorkingDaySeconds = 28800.0;
inline constexpr double kCriterionDb = 85.0;
inline constexpr double kExchangeRateDb = 3.0;

}  // namespace orvek
