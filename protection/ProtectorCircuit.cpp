#include "protection/ProtectorCircuit.h"

#include <cmath>
#include <numbers>
#include <string>

#include "base/OrvekError.h"

namespace orvek {
namespace {

using Complex = std::complex<double>;

// The branch impedances and the pieces of the muff form shared by its curves.
struct MuffPieces {
  Complex Zc;     // cup volume
  Complex Zp;     // cup mass on skin and cushion
  Complex T1;     // 1 + Zskin / Zcush
  Complex Zleak;  // leak
  Complex Zmat;   // material
};

Complex LeakImpedance(const TCircuitValues& v, double omega) { return {v.Rleak, omega * v.Lleak}; }

Complex MaterialImpedance(const TCircuitValues& v, double omega) {
  return {v.Rmat, omega * v.Lmat - v.Kmat / omega};
}

// K / (j omega): a stiffness as an impedance.
Complex StiffnessImpedance(double stiffness, double omega) { return {0.0, -stiffness / omega}; }

double AngularFrequency(double frequencyHz) { return 2.0 * std::numbers::pi * frequencyHz; }

MuffPieces MuffForm(const TCircuitValues& v, double omega) {
  const Complex zskin = Complex(v.Rskin) + StiffnessImpedance(v.Kskin, omega);
  const Complex zcush = Complex(v.Rcush) + StiffnessImpedance(v.Kcush, omega);
  const Complex t1 = 1.0 + zskin / zcush;
  return {StiffnessImpedance(v.Kcup, omega), zskin + Complex(0.0, omega * v.Lcup) * t1, t1,
          LeakImpedance(v, omega), MaterialImpedance(v, omega)};
}

// Pressure under the cup when the moving part Zp, weighted by T, drives the cup volume Zc.
Complex Divider(Complex zc, Complex zp, Complex t) { return zc * t / (zp + zc * t); }

}  // namespace

Complex ProtectorPressureRatio(const TCircuitValues& values, ProtectorForm form,
                               double frequencyHz) {
  const double omega = AngularFrequency(frequencyHz);
  if (form == ProtectorForm::Muff) {
    const MuffPieces m = MuffForm(values, omega);
    return Divider(m.Zc, m.Zp, m.T1 + m.Zp / m.Zleak + m.Zp / m.Zmat);
  }
  const Complex zp(values.Rcush, omega * values.Lcup - values.Kcush / omega);
  const Complex t = 1.0 + zp / LeakImpedance(values, omega) + zp / MaterialImpedance(values, omega);
  return Divider(StiffnessImpedance(values.Kcup, omega), zp, t);
}

double RatioLevelDb(Complex ratio) { return 10.0 * std::log10(std::norm(ratio)); }

double ProtectorLevelDb(const TCircuitValues& values, ProtectorForm form, double frequencyHz) {
  return RatioLevelDb(ProtectorPressureRatio(values, form, frequencyHz));
}

std::string_view InsertionLossPathCaption(InsertionLossPath path) {
  switch (path) {
    case InsertionLossPath::Total:
      return "TOTAL LOSS";
    case InsertionLossPath::RigidPiston:
      return "EARMUFF AS RIGID PISTON";
    case InsertionLossPath::Leakage:
      return "LEAKAGE AROUND EARMUFF";
    case InsertionLossPath::MaterialDeformation:
      return "MATERIAL DEFORMATION";
  }
  return {};
}

Complex InsertionLossPathRatio(const TCircuitValues& values, InsertionLossPath path,
                               double frequencyHz) {
  const MuffPieces m = MuffForm(values, AngularFrequency(frequencyHz));
  switch (path) {
    case InsertionLossPath::Total:
      return Divider(m.Zc, m.Zp, m.T1 + m.Zp / m.Zleak + m.Zp / m.Zmat);
    case InsertionLossPath::RigidPiston:
      return Divider(m.Zc, m.Zp, m.T1);
    case InsertionLossPath::Leakage:
      return m.Zc / (m.Zleak + m.Zc);
    case InsertionLossPath::MaterialDeformation:
      return m.Zc / (m.Zmat + m.Zc);
  }
  return {};
}

void InsertionLossCurveFrequencies(double lowestDataHz, double highestDataHz,
                                   std::span<double> frequenciesHz) {
  if (!(lowestDataHz > 0.0 && lowestDataHz <= highestDataHz && std::isfinite(highestDataHz))) {
    throw OrvekError(
        "Insertion-loss plot: the attenuation data must have positive frequencies "
        "(lowest " +
        std::to_string(lowestDataHz) + " Hz, highest " + std::to_string(highestDataHz) + " Hz).");
  }
  if (frequenciesHz.size() != kInsertionLossCurvePoints) {
    throw OrvekError("Insertion-loss plot: room for " + std::to_string(frequenciesHz.size()) +
                     " frequencies given, " + std::to_string(kInsertionLossCurvePoints) +
                     " needed.");
  }
  const double first = std::log10(lowestDataHz) - 1.0;
  const double step = (std::log10(highestDataHz) + 1.0 - first) / (kInsertionLossCurvePoints - 1);
  for (int i = 0; i < kInsertionLossCurvePoints; ++i) {
    frequenciesHz[i] = std::pow(10.0, first + step * i);
  }
}

}  // namespace orvek
