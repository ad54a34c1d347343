#include "metrics/BandComparison.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/FolderLock.h"
#include "base/OrvekError.h"

namespace orvek {
namespace {

constexpr int kFirstTfoeBand = 23;
constexpr std::array<double, kLastComparedBand - kFirstTfoeBand + 1> kTfoeDb = {
    1.9, 2.6, 3.4, 4.5, 5.8, 6.8, 7.3, 6.8, 7.1, 8.0, 10.0, 12.5, 7.6, 3.8, 8.2, 13.9, 9.0, -1.3};

std::string Formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

double TfoeDb(int band) {
  return band >= kFirstTfoeBand && band <= kLastComparedBand ? kTfoeDb[band - kFirstTfoeBand] : 0.0;
}

BandComparison CompareBands(const Leq300Spectrum& freeField, const Leq300Spectrum& ear) {
  // The lowest band of each spectrum is left out, as it leans on the 0 Hz bin.
  const int first = std::max({freeField.FirstBand + 1, ear.FirstBand + 1, kFirstComparedBand});
  const int last = std::min({freeField.LastBand, ear.LastBand, kLastComparedBand});
  BandComparison result;
  for (int band = first; band <= last; ++band) {
    // A band without energy has no level; the difference of levels (not the level of the ratio)
    // cannot overflow.
    if (!(freeField.Band(band) > 0.0) || !(ear.Band(band) > 0.0)) continue;
    const double nr = ear.BandLevelDb(band) - freeField.BandLevelDb(band);
    const auto slot = static_cast<std::size_t>(band - kFirstComparedBand);
    result.NoiseReductionDb[slot] = nr;
    result.InsertionLossDb[slot] = nr - TfoeDb(band);
  }
  return result;
}

std::string TobResultsHeader() {
  std::string header;
  for (int band = kFirstComparedBand; band <= kLastComparedBand; ++band) {
    if (band > kFirstComparedBand) header += '\t';
    header += Formatted("%.3f", BandCentreHz(band) / 1000.0);
  }
  return header;
}

std::string TobResultsLine(const BandComparison& comparison, const std::string& name) {
  std::string line;
  for (const std::optional<double>& il : comparison.InsertionLossDb) {
    std::string field = il ? Formatted("%.1f", *il) : std::string();
    if (field == "-0.0") field = "0.0";  // a loss too small to show has no sign
    line += field + '\t';
  }
  return line + name + '\t' + std::to_string(kTfoeSource) + '\t' + std::to_string(kIncidence) +
         '\t' + std::to_string(kEarLocation);
}

void AppendTobResults(const std::filesystem::path& file, const std::string& line,
                      const ReadFiles& reads) {
  // Runs appending at the same time take turns, so no line is lost.
  const FolderLock lock(file.parent_path());
  std::string text;
  std::error_code error;
  if (std::filesystem::exists(file, error))
    if (const auto reason = ReadRegularFile(file, text))
      throw OrvekError("The results file " + Quoted(file) + " could not be read: " + *reason + ".");
  // A new (or emptied) table starts with its header; a last line without its end gets one.
  if (text.empty())
    text = TobResultsHeader() + "\r\n";
  else if (text.back() != '\n')
    text += "\r\n";
  text += line + "\r\n";
  if (const auto reason = WriteFileReplacing(file, text, reads))
    throw OrvekError("The results file " + Quoted(file) + " could not be written: " + *reason +
                     "; its earlier results are unchanged.");
}

}  // namespace orvek
