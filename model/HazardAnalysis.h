#pragma once
#include <filesystem>
#include <optional>
#include <string>

#include "model/CochlearModel.h"
#include "model/MiddleEarModel.h"
#include "model/ModelParameters.h"
#include "model/MovieFrameStore.h"
#include "waveform/HeaderGrid.h"
#include "waveform/Waveform.h"

namespace orvek {

enum class Listener { Warned, Unwarned };

// Muscle delay of an analysis: warned listeners are contracted before the sound, unwarned ones
// after the reflex delay of the parameter file.
float MuscleDelay(Listener listener, const TModelParameters& p);

// Hazard in a 12-character field with 4 decimals below 1 ARU, 3 below 10, 2 below 100, 1 below
// 1000 and none above, leading blanks removed: 0.5 -> "0.5000", 12.5 -> "12.50".
std::string AruText(float hazard);

// Allowed number of exposures, 500 / hazard; none (unlimited) for a hazard of exactly zero.
std::optional<double> AllowedExposures(float hazard);
// 500 / hazard with one decimal ("200.0"), or "unlimited".
std::string AllowedText(float hazard);

// The microphone code of header row 3 (column 1) as the analysis reads it; throws OrvekError
// when it is not a whole number from 1 to 4.
int MicrophoneCode(const HeaderGrid& grid);

// Refuses, with a message, what the analysis cannot do: a microphone code outside 1..4, a
// parameter file with fewer than 1 or more than 23 places, a record whose transform would exceed
// 2^20 samples or the buffers.
void CheckHazardInputs(int micLocation, const TWaveform& waveform, const TModelParameters& p);

struct HazardResult {
  MiddleEarRun MiddleEar;
  CochlearResult Cochlea;
};

// The model chain on waveform.Samples: the ear model of the microphone code (stapes displacement
// into WorkSamples) and the cochlear model (hazard per place, movie store, hazard file). The
// cochlear places run on `threads` threads (0: as many as pay off); the result does not depend on
// the number, so callers that analyse several files at once can give each file one thread.
HazardResult CalculateHazard(TWaveform& waveform, int micLocation, const MuscleTiming& timing,
                             TModelParameters& p, MovieFrameStore& movie,
                             const std::optional<OutputFile>& hazardFile,
                             const ProgressCallback& progress = {}, int threads = 0);

}  // namespace orvek
