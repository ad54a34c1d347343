#include "metrics/Leq300Spectrum.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Constants.h"
#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "model/RealFFT.h"

namespace orvek {
namespace {

double BandEdgeHz(double band) { return std::pow(10.0, band / 10.0); }

[[noreturn]] void RefuseShortRecord(std::int32_t count, float dt) {
  char text[160];
  std::snprintf(text, sizeof text,
                "The record of %d samples at %g samples/s is too short for a 1/3-octave spectrum.",
                static_cast<int>(count), 1.0 / dt);
  throw OrvekError(text);
}

// Energy of one band relative to the reference: the integral of the bin energies, linearly
// interpolated between bins, from the lower to the upper band edge, divided by df.
double BandEnergyOf(const std::vector<double>& p, int band, double df, std::int32_t count,
                    float dt) {
  const double lo = BandEdgeHz(band - 0.5), hi = BandEdgeHz(band + 0.5);
  const double xLo = lo / df, xHi = hi / df;
  // First bins above each edge.
  const auto i1 = static_cast<std::size_t>(xLo) + 1, i2 = static_cast<std::size_t>(xHi) + 1;
  if (i2 >= p.size()) RefuseShortRecord(count, dt);
  const double pLo = p[i1 - 1] + (p[i1] - p[i1 - 1]) * (xLo - static_cast<double>(i1 - 1));
  const double pHi = p[i2 - 1] + (p[i2] - p[i2 - 1]) * (xHi - static_cast<double>(i2 - 1));
  if (i1 == i2) return (hi - lo) * (pLo + pHi) / 2.0 / df;
  double energy = (static_cast<double>(i1) * df - lo) * (pLo + p[i1]) / 2.0 +
                  (hi - static_cast<double>(i2 - 1) * df) * (pHi + p[i2 - 1]) / 2.0;
  for (std::size_t j = i1 + 1; j < i2; ++j) energy += (p[j - 1] + p[j]) / 2.0 * df;
  return energy / df;
}

}  // namespace

double BandCentreHz(int band) { return BandEdgeHz(band); }

double Leq300Spectrum::BandLevelDb(int band) const { return 10.0 * std::log10(Band(band)); }

Leq300Spectrum ComputeLeq300Spectrum(const float* samples, std::int32_t count, float dt) {
  if (!(dt > 0.0f) || !std::isfinite(dt)) {
    char text[120];
    std::snprintf(text, sizeof text,
                  "The sample interval %g s is not a positive number; no spectrum was computed.",
                  static_cast<double>(dt));
    throw OrvekError(text);
  }
  if (count < 2) RefuseShortRecord(count, dt);
  if (const float* bad =
          std::find_if(samples, samples + count, [](float v) { return !std::isfinite(v); });
      bad != samples + count)
    throw OrvekError("Sample " + std::to_string(bad - samples) +
                     " is not a finite number; no spectrum was computed.");

  Leq300Spectrum s;
  s.Df = 1.0 / (static_cast<double>(count) * dt);
  s.Nyquist = 0.5 / dt;
  s.FirstBand = static_cast<int>(std::trunc(10.0 * std::log10(s.Df)));
  int above = s.FirstBand;  // the first band centred at or above the Nyquist frequency
  while (BandCentreHz(above) < s.Nyquist) ++above;
  s.LastBand = above - 2;
  if (s.LastBand < s.FirstBand) RefuseShortRecord(count, dt);

  // The squared magnitudes replace the real parts, which become the bin energies.
  std::vector<double> im;
  RealSpectrum(samples, count, dt, s.BinEnergy, im);
  std::vector<double>& p = s.BinEnergy;
  const double scale = 2.0 * s.Df / kBandSpectrumAirImpedanceRayl / kLeq300ReferenceEnergy;
  double largest = 0.0;
  for (std::size_t k = 0; k < p.size(); ++k) {
    p[k] = scale * (p[k] * p[k] + im[k] * im[k]);
    largest = std::max(largest, p[k]);
  }
  // 0 Hz, and the Nyquist bin of an even count, have no mirror image.
  p.front() /= 2.0;
  if (count % 2 == 0) p.back() /= 2.0;

  s.BandEnergy.reserve(static_cast<std::size_t>(s.LastBand - s.FirstBand + 1));
  for (int band = s.FirstBand; band <= s.LastBand; ++band) {
    s.BandEnergy.push_back(BandEnergyOf(p, band, s.Df, count, dt));
    largest = std::max(largest, s.BandEnergy.back());
  }
  s.LargestValue = largest;
  return s;
}

std::string TobFileText(const Leq300Spectrum& spectrum) {
  std::string text =
      "Leq300ms: steady 1/3 octave-band sound pressure levels which when integrated\r\n"
      "for 300 milliseconds have energies equal to that of the signal.\r\n"
      "Freq(Hz)\tLeq(dB)\r\n";
  for (int band = spectrum.FirstBand; band <= spectrum.LastBand; ++band) {
    char line[96];
    std::snprintf(line, sizeof line, "%7.2f\t", BandCentreHz(band));
    text += line;
    // A band without energy has no level: its field stays empty rather than holding "-inf".
    if (spectrum.Band(band) > 0.0) {
      std::snprintf(line, sizeof line, "%8.2f", spectrum.BandLevelDb(band));
      text += line;
    }
    text += "\r\n";
  }
  return text;
}

std::string TobFileName(const std::string& waveformFileName) {
  const std::size_t separator = waveformFileName.find_last_of("/\\");
  const std::string name =
      separator == std::string::npos ? waveformFileName : waveformFileName.substr(separator + 1);
  return name.substr(0, name.rfind('.')) + ".TOB";
}

void WriteTobFile(const std::filesystem::path& file, const std::string& text,
                  const ReadFiles& reads) {
  if (const auto reason = WriteFileReplacing(file, text, reads))
    throw OrvekError("The band spectrum file " + Quoted(file) +
                     " could not be written: " + *reason + ".");
}

}  // namespace orvek
