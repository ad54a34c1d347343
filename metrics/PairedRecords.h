#pragma once
#include <cstdint>
#include <filesystem>
#include <vector>

#include "waveform/Waveform.h"
#include "waveform/WaveformEdit.h"

namespace orvek {

// A pair of recordings of one impulse, free field and at the ear, compared over the same time
// window, at the same sampling rate and over the same length.

// Refuses (OrvekError naming both files and both rates) records taken at different sampling
// rates: their spectra would have different frequency steps.
void RequireSameRate(const TWaveform& freeField, const TWaveform& ear,
                     const std::filesystem::path& freeFieldFile,
                     const std::filesystem::path& earFile);

// The samples of `record` inside the comparison window [windowStart, windowEnd] (s), on the
// record's own time axis (sample i at TimeStart + i dt): a window that starts outside the record
// collapses to its first sample; an end beyond the record is the record's end.
struct ComparisonStretch {
  SampleSpan Span;
  float TimeStart = 0.0f, TimeEnd = 0.0f;  // s
};
ComparisonStretch ComparisonWindow(const TWaveform& record, float windowStart, float windowEnd);

// Cuts the record just read (the ear record) to the comparison window: the samples of the window
// move to the front.
void CutToComparisonWindow(TWaveform& ear, float windowStart, float windowEnd);

// The free-field samples of `span` at the ear record's length `earCount`: cut when the ear record
// is shorter, zeros beyond the stretch's own end when it is longer.
std::vector<float> FreeFieldAtEarLength(const TWaveform& freeField, SampleSpan span,
                                        std::int32_t earCount);

}  // namespace orvek
