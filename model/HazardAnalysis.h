#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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

// The peak level above which no unprotected exposure is allowed (MIL-STD-1474D, NIOSH 1998,
// EU 2003/10/EC); the hazard scale is anchored at 130 dB and departs from these rules above it.
inline constexpr double kPeakLimitDb = 140.0;
// The stapes counts as at its ceiling from this share of StapesCeilingUm on: its suspension is
// then over ten times as stiff as at rest, and the hazard stops following the level.
inline constexpr double kStapesCeilingShare = 0.95;

// Where one hazard result stands: against the peak limit of the exposure rules and against the
// stapes ceiling of the model.
struct HazardValidity {
  double PeakDb = 0.0;          // largest |pressure| of the record, dB re 20 uPa, at the microphone
  bool FreeField = false;       // microphone location 1 or 4: PeakDb is the free-field peak
  bool AbovePeakLimit = false;  // free field and PeakDb above kPeakLimitDb
  double PeakStapesUm = 0.0;    // largest |stapes displacement| of the run
  double StapesCeilingUm = 0.0;  // StapesCeilingUm of the parameter set
  bool StapesAtCeiling = false;  // PeakStapesUm reached kStapesCeilingShare of the ceiling
};

HazardValidity AssessHazard(const float* pressure, const float* stapesUm, std::int32_t last,
                            int micLocation, const TModelParameters& p);

// The validity as sentences for a person who acts on the result (none when neither holds).
std::vector<std::string> ValidityNotes(const HazardValidity& validity);
// The same in a few words, for the grid comment and the status box ("" when neither holds).
std::string ValidityFlags(const HazardValidity& validity);

struct HazardResult {
  MiddleEarRun MiddleEar;
  CochlearResult Cochlea;
  HazardValidity Validity;
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
