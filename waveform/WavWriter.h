#pragma once
#include <filesystem>
#include <string>

#include "base/FileNames.h"
#include "waveform/Waveform.h"

namespace orvek {

// Writes samples 0..LastSampleIndex (Pa) as a mono 32-bit IEEE-float WAV file at the record's
// sampling rate (rounded to whole samples/s), with `title` as the file's title metadata. Written
// to a temporary file beside `file` and renamed over it; a failure throws OrvekError naming the
// file and leaves any existing file as it was. Refuses non-finite samples and empty records, and
// a target that is one of `reads`.
void SaveWavFile(const std::filesystem::path& file, const TWaveform& waveform,
                 const std::string& title, const ReadFiles& reads);

}  // namespace orvek
