#pragma once
#include <cstdint>

#include "waveform/Waveform.h"

namespace orvek {

// A pair of recordings of one impulse, free field and at the ear, compared over the same time
// and length.

// Cuts the record just read (the ear record) to the free-field record's comparison window
// [windowStart, windowEnd] (s): a window that starts outside the record collapses to its first
// sample; an end beyond the record is the record's end. Samples of the window move to the front.
void CutToComparisonWindow(TWaveform& ear, float windowStart, float windowEnd);

// Puts the free-field record (ReferenceSamples, `freeFieldCount` samples as read) into
// Samples[0..LastSampleIndex], the ear record's length: zeros beyond the free-field record's end.
void FreeFieldAtEarLength(TWaveform& waveform, std::int32_t freeFieldCount);

}  // namespace orvek
