#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

#include "base/FileNames.h"
#include "base/Lcg32.h"
#include "waveform/HeaderGrid.h"
#include "waveform/Waveform.h"

namespace orvek {

// The most samples an ORV file holds (2^20), as its readers and writer take them.
inline constexpr std::int32_t kMaxOrvSamples = 1'048'576;

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
// The readers take log2 in single precision, the writers in double. At most 2^30 (2^31 does not
// fit a 32-bit count); 0 for n < 1.
std::int32_t PowerOfTwoCount(std::int32_t n, bool doublePrecisionLog);

// Samples a saved file holds for a record of n samples: PowerOfTwoCount(n, true), or the largest
// power of two the buffers of `capacity` samples hold when that is beyond them.
std::int32_t SavedCount(std::int32_t n, std::int32_t capacity);

// Main reader ("Open ORV waveform"). Reads `file` into the record and rows 0..11 of the grid,
// dithers, pads or cuts to a power of two, copies to ReferenceSamples and computes FlatEnergy. The
// file is fully parsed and checked before anything is replaced; on failure it throws OrvekError and
// the record and grid are unchanged. `rng` is reseeded with 1. Refused: unreadable or empty files,
// NUL bytes, no TAB header line or more than 30, a sampling rate (cell (1, 2)) that is not a number
// of at least 1, a microphone location (cell (1, 3)) that is not a whole number from 1 to 4,
// fewer than two samples, and any sample token that is not a decimal number in single-precision
// range. Values beyond the capacity are not read; a power of two beyond it is cut to the largest
// one within it (both set TruncatedAtCapacity). The file itself is never changed.
OrvReadReport OpenNewFileType5(const std::filesystem::path& file, bool pressureRangePending,
                               TWaveform& waveform, HeaderGrid& grid, Lcg32& rng);

// Second reader (overlay): same format, uniform dither from the running generator, zero padding,
// the alternative labels of rows 4..15, no ReferenceSamples/FlatEnergy/PaddedLength.
OrvReadReport OpenNewFileType6(const std::filesystem::path& file, TWaveform& waveform,
                               HeaderGrid& grid, Lcg32& rng);

// Refuses (OrvekError naming `file` and the sample) to write samples 0..count-1 of the record when
// there are fewer than two (the readers refuse one) or one of them is not a finite number.
void CheckSamplesToSave(const TWaveform& waveform, std::int32_t count,
                        const std::filesystem::path& file);

// "Save ORV waveform" (saveAs = false: rows 0..HeaderLastRow, empty cells included) and
// "Save ORV waveform as" (saveAs = true: HeaderLastRow := 29, rows whose three cells are empty are
// skipped). Pads with zeros or cuts to a power of two first, which changes LastSampleIndex.
// Written to a temporary file in the target folder and renamed over the target; a target that
// cannot be written (read-only file or folder, missing folder) or a sample that is not finite
// throws OrvekError and leaves the file, the record and the grid as they were. Header cell text
// is written with TABs and other control characters turned into blanks. `reads`: the files the
// saving command reads, which it may not replace (WriteFileReplacing).
void SaveOrvFile(const std::filesystem::path& file, bool saveAs, HeaderGrid& grid,
                 TWaveform& waveform, const ReadFiles& reads);

}  // namespace orvek
