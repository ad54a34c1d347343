#pragma once
#include <complex>
#include <span>
#include <string_view>

#include "protection/CircuitValues.h"

namespace orvek {

// Which closed form of the protector circuit gives the pressure ratio: the muff form (cup mass on
// skin and cushion) or the plug form (plug mass on its own stiffness and resistance).
enum class ProtectorForm { Muff, Plug };

// Complex ratio H of the pressure under the protector to the pressure outside at `frequencyHz`
// (> 0), computed in double precision from the single-precision element values. The leak and the
// first material branch load the moving part; the second material branch and the leak level
// coefficients play no part.
std::complex<double> ProtectorPressureRatio(const TCircuitValues& values, ProtectorForm form,
                                            double frequencyHz);

// 10 log10 |ratio|^2 in dB: the modelled insertion loss, negative where the protector attenuates.
double RatioLevelDb(std::complex<double> ratio);

// RatioLevelDb of ProtectorPressureRatio.
double ProtectorLevelDb(const TCircuitValues& values, ProtectorForm form, double frequencyHz);

// The curves of the insertion-loss plot, all built from the muff form: the whole circuit and each
// of its three paths alone against the cup volume.
enum class InsertionLossPath { Total, RigidPiston, Leakage, MaterialDeformation };
inline constexpr InsertionLossPath kInsertionLossPaths[] = {
    InsertionLossPath::Total, InsertionLossPath::RigidPiston, InsertionLossPath::Leakage,
    InsertionLossPath::MaterialDeformation};

// The caption the plot shows for `path`, e.g. "MATERIAL DEFORMATION".
std::string_view InsertionLossPathCaption(InsertionLossPath path);

// Complex ratio of one plot curve at `frequencyHz` (> 0).
std::complex<double> InsertionLossPathRatio(const TCircuitValues& values, InsertionLossPath path,
                                            double frequencyHz);

// Points per plot curve.
inline constexpr int kInsertionLossCurvePoints = 200;

// Fills `frequenciesHz` (kInsertionLossCurvePoints values) evenly in log10 f from a decade below
// `lowestDataHz` to a decade above `highestDataHz`, both ends included. Throws OrvekError unless
// 0 < lowestDataHz <= highestDataHz (both finite) and the span has the right size.
void InsertionLossCurveFrequencies(double lowestDataHz, double highestDataHz,
                                   std::span<double> frequenciesHz);

}  // namespace orvek
