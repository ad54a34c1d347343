#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/FileNames.h"

namespace orvek {

// Base-ten one-third-octave band b: centre 10^(b/10) Hz, edges 10^((b -+ 0.5)/10) Hz.
double BandCentreHz(int band);

// Energy reference of the Leq300ms levels: (20 uPa)^2 * 0.3 s / 407 rayl, J/m^2.
constexpr double kLeq300ReferenceEnergy = 2.948403e-13;

// The narrow-band and 1/3-octave Leq300ms spectrum of a whole record, from one transform of its
// own sample count M (no zeros appended; any M, odd included).
struct Leq300Spectrum {
  double Df = 0;                    // Hz, 1 / (M dt)
  double Nyquist = 0;               // Hz, 0.5 / dt
  int FirstBand = 0, LastBand = 0;  // band numbers (negative for records longer than ~1.26 s)
  // Bin energy relative to the reference, P[k] = 2 df |X_k|^2 / 407 / Eref, k = 0..M/2, with the
  // bins at 0 Hz and (even M) at the Nyquist frequency halved.
  std::vector<double> BinEnergy;
  // Band energy relative to the reference, for bands FirstBand..LastBand.
  std::vector<double> BandEnergy;
  double LargestValue = 0;  // the largest bin energy (before the halving) or band energy

  double Band(int band) const { return BandEnergy.at(static_cast<std::size_t>(band - FirstBand)); }
  bool HasBand(int band) const { return band >= FirstBand && band <= LastBand; }
  double BandLevelDb(int band) const;  // 10 log10 of the band's energy
};

// Computes the spectrum of samples[0..count-1] (Pa) at interval dt (s). A record too short for one
// band whose upper edge lies below the Nyquist frequency is refused (OrvekError naming the
// count), as is a record that is not finite.
Leq300Spectrum ComputeLeq300Spectrum(const float* samples, std::int32_t count, float dt);

// The ".TOB" text of a spectrum: two description lines, "Freq(Hz)<TAB>Leq(dB)", then one line per
// band (centre right-aligned in 7 characters, level in 8, both with 2 decimals), CR LF line ends.
std::string TobFileText(const Leq300Spectrum& spectrum);

// Name of the ".TOB" file of a waveform: its file name (no folder) cut before the last ".",
// then ".TOB" (shot.1.ORV -> shot.1.TOB), so that the spectra of shot.1 and shot.2 keep apart.
std::string TobFileName(const std::string& waveformFileName);

// Writes `text` to `file` through a temporary file and a rename; OrvekError naming the file on
// failure, also when `file` is one of `reads`, the files the spectrum was read from.
void WriteTobFile(const std::filesystem::path& file, const std::string& text,
                  const ReadFiles& reads);

}  // namespace orvek
