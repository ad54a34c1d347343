#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "waveform/HeaderGrid.h"
#include "waveform/Lcg32.h"
#include "waveform/Waveform.h"

namespace orvek {

// What a reader found, for the caller's notices.
struct OrvReadReport {
  std::int32_t SamplesRead = 0;      // values in the file that were stored (cell (1, 4))
  bool TruncatedAtCapacity = false;  // the file held more samples than the buffers take
  bool OldLayout = false;            // a 30-row header was converted
};

// Five significant digits in exponent form without "+" or leading exponent zeros:
// 12 -> "1.2000E1", -250 -> "-2.5000E2", 0.001 -> "1.0000E-3", 0 -> "0.0000E0".
std::string CompactFloatText(float value);

// Power-of-two sample count for n values: k = trunc(log2 n), raised by one when the fraction
// exceeds 0.025 (so a record a little over a power of two is cut, not doubled).
// The readers take log2 in single precision, the writers in double.
std::int32_t PowerOfTwoCount(std::int32_t n, bool doublePrecisionLog);

// Main reader ("Open ORV waveform"). Reads `file` into the record and rows 0..11 of the grid, dithers,
// pads or cuts to a power of two, copies to ReferenceSamples and computes FlatEnergy. The file is
// fully parsed and checked before anything is replaced; on failure it throws OrvekError and the
// record and grid are unchanged. `rng` is reseeded with 1.
OrvReadReport OpenNewFileType5(const std::filesystem::path& file, bool writableMedia,
                               bool pressureRangePending, TWaveform& waveform, HeaderGrid& grid,
                               Lcg32& rng);

// Second reader (overlay): same format, uniform dither from the running generator, zero padding,
// the alternative labels of rows 4..15, no ReferenceSamples/FlatEnergy/PaddedLength.
OrvReadReport OpenNewFileType6(const std::filesystem::path& file, TWaveform& waveform,
                               HeaderGrid& grid, Lcg32& rng);

// "Save ORV waveform" (saveAs = false: rows 0..HeaderLastRow, empty cells included) and
// "Save ORV waveform as" (saveAs = true: HeaderLastRow := 29, rows whose three cells are empty are
// skipped). Pads with zeros or cuts to a power of two first, which changes LastSampleIndex.
// Written to a temporary file in the target folder and renamed over the target; a target that
// cannot be written throws OrvekError and leaves any existing file as it was.
void SaveOrvFile(const std::filesystem::path& file, bool saveAs, HeaderGrid& grid,
                 TWaveform& waveform);

}  // namespace orvek
