#pragma once
#include <array>
#include <filesystem>
#include <optional>
#include <string>

#include "base/FileNames.h"
#include "metrics/Leq300Spectrum.h"

namespace orvek {

// Bands of the comparison file: 17 (50 Hz) to 40 (10 kHz).
constexpr int kFirstComparedBand = 17, kLastComparedBand = 40;
constexpr int kComparedBands = kLastComparedBand - kFirstComparedBand + 1;

// Transfer function of the open ear, human canal entrance, normal (90 degree) incidence, dB, for
// bands 17..40 (0 below band 23).
double TfoeDb(int band);

// Noise reduction (ear minus free field, dB) and insertion loss (NR - TFOE) of one comparison,
// per band 17..40; nullopt where either spectrum does not resolve the band (bands
// FirstBand + 1..LastBand of both are compared).
struct BandComparison {
  std::array<std::optional<double>, kComparedBands> NoiseReductionDb;
  std::array<std::optional<double>, kComparedBands> InsertionLossDb;
};
BandComparison CompareBands(const Leq300Spectrum& freeField, const Leq300Spectrum& ear);

// Settings written with every result line: TFOE source 3 (human canal entrance), incidence 1
// (normal, 90 deg), ear location 0 (canal entrance).
constexpr int kTfoeSource = 3, kIncidence = 1, kEarLocation = 0;

// The header line of "TOB.txt": the centres of bands 17..40 in kHz with 3 decimals, TAB-separated.
std::string TobResultsHeader();
// One result line: IL of bands 17..40 with 1 decimal (an empty field where not computed), each
// followed by a TAB, then the name, TAB, the three setting codes TAB-separated.
std::string TobResultsLine(const BandComparison& comparison, const std::string& name);

// Appends the line to `file`, writing the header first when the file does not exist. The file is
// rewritten through a temporary file and a rename, so a failure leaves the earlier results intact;
// OrvekError naming the file on failure. Line ends are CR LF. `reads`: the files the comparison
// read, which the results file may not replace.
void AppendTobResults(const std::filesystem::path& file, const std::string& line,
                      const ReadFiles& reads);

}  // namespace orvek
