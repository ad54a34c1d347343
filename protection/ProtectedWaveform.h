#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Lcg32.h"
#include "model/MiddleEarModel.h"
#include "model/ModelParameters.h"
#include "protection/CircuitValues.h"
#include "protection/ProtectorCatalogue.h"
#include "protection/ProtectorCircuit.h"
#include "protection/ProtectorFit.h"
#include "waveform/HeaderGrid.h"
#include "waveform/Waveform.h"

namespace orvek {

// Kind of a catalogue entry: kind letter "P" or "N" or code "OP" a plug, letter "D" or code "OD"
// a plug plus muff, anything else a muff.
ProtectorFitKind ProtectorKindOf(const TProtectorEntry& entry);
// "Plug", "Muff" or "Plug plus Muff", as the questions name the kind.
std::string_view ProtectorKindWord(ProtectorFitKind kind);
// The closed form whose insertion loss is shown beside the measured one: plug form for a plug.
ProtectorForm ProtectorFormOf(ProtectorFitKind kind);

// Where the predicted waveform is taken; the values are the microphone-location codes.
inline constexpr int kProtectedAtEntrance = 2;
inline constexpr int kProtectedAtEardrum = 3;  // the default

// Gain of the canal source for a wave arriving at `degrees` (0..360) from the facing direction:
// cos((degrees - 90) pi / 180) + 1, i.e. 2 at normal incidence, 1 grazing, 0 in the head shadow.
float CanalSourceGainForAngle(int degrees);
// The whole angle whose gain is nearest `gain` (clamped to 0..2), taken from the side the
// protector question names: 0 grazing, 90 normal, 270 head shadow. The default incidence of
// every analysis is the parameter file's CanalSourceGain; this names it in degrees.
int IncidenceDegreesOfGain(float gain);

// Puts protector circuit values into the parameter set as a loaded parameter file holds them:
// cushion, skin and material as stiffnesses, the cup as its compliance, and the derived protector
// constants. Throws OrvekError naming the value when the model would divide by zero.
void ApplyCircuitValues(const TCircuitValues& values, TModelParameters& p);

// Last sample index after the protector run: the count is taken to a power of two (cut when just
// above one), at most 1,048,574 and never beyond `capacity` samples.
std::int32_t ProtectedLastSampleIndex(std::int32_t lastSampleIndex, std::int32_t capacity);

// The prediction starts from a free-field recording (microphone location 1, or 4, free field
// behind the head): a recording at the ear-canal entrance (2) or the eardrum (3) is refused with
// OrvekError, since the protector and ear models would take it for the free field.
void RequireFreeFieldRecording(int micLocation);

// Name of the predicted waveform file: the chosen file's name up to its last dot, "_", the
// entry's name, "_", the angle, ".ORV".
std::string ProtectedOutputName(const std::filesystem::path& chosenFile,
                                const TProtectorEntry& entry, int angleDegrees);

// What one protector run found and produced.
struct ProtectedRun {
  ProtectorFitKind Kind = ProtectorFitKind::Muff;
  int LocationCode = kProtectedAtEardrum;
  int AngleDegrees = 90;
  TCircuitValues Circuit;
  bool Fitted = false;  // fitted in this run and stored in the catalogue
  std::vector<AttenuationRow> Table;
  std::int32_t Count = 0;  // samples of the predicted waveform (row 4)
  std::string OutputName;
  MuscleTiming Timing;  // of the protected ear run, for the plots
};

// Predicts the waveform under the protector `entry` of "HPD Atten.txt" in `startupFolder`:
// reads its attenuation table and circuit values (fitting them from the kind's seed file and
// storing them in the catalogue when the record has none yet), sets p's canal source gain for the
// angle (none: p keeps the parameter file's, the incidence of the unprotected analysis, and the
// run names its angle) and its protector circuit, runs the protector network on waveform.Samples
// and the protected ear to the eardrum (location 3) or the canal entrance (2) into WorkSamples,
// takes the record to its new sample count with zeros, and fills header rows 3 and 4 of `grid`.
// `rng` dithers the protector input. Throws OrvekError for a recording that is not free field
// (the microphone location of `grid`), a missing or mismatched catalogue or seed file, a location
// other than 2 or 3, an angle outside 0..360 or an empty record.
ProtectedRun PredictUnderProtector(const std::filesystem::path& startupFolder,
                                   const TProtectorEntry& entry, int locationCode,
                                   std::optional<int> angleDegrees,
                                   const std::filesystem::path& chosenFile, TModelParameters& p,
                                   TWaveform& waveform, HeaderGrid& grid, Lcg32& rng);

// Writes the predicted samples (WorkSamples 0..LastSampleIndex) with the header rows 0..29, empty
// rows skipped, as the waveform file `file` (the window: run.OutputName beside the input). Throws
// OrvekError when the file cannot be written or is one of `reads` (the waveform outside the
// protector is never replaced by its prediction); the record and grid are left as they are.
void WriteProtectedWaveform(const std::filesystem::path& file, const TWaveform& waveform,
                            const HeaderGrid& grid, const ReadFiles& reads);

}  // namespace orvek
