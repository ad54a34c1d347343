#pragma once
#include <vector>

#include "model/ModelParameters.h"
#include "tools/calibration/CalibrationTarget.h"

namespace orvek {

// Validation and calibration of the acoustic part of the ear model: outer ear and ear canal (free
// field to canal entrance and to eardrum), middle ear (eardrum to stapes) and the middle-ear
// muscles. Every figure is the model's own low-level transfer (EarResponse).

// One row per frequency or check: entrance against the open-ear TFOE at normal incidence, eardrum
// against the frontal free-field table and its canal resonance, stapes displacement per pascal at
// the eardrum and the peak of its velocity, the muscle reduction at 500 Hz and 4 kHz and the
// muscle timing.
std::vector<TargetRow> AcousticTargets(const TModelParameters& p);

// Fits the outer branch (HeadResistance, HeadMass) and the canal flare (CanalHornLength,
// CanalEntranceArea) to the entrance targets while the eardrum targets keep holding; the middle
// ear and the uniform canal stay as they are. Deterministic (fixed start, fixed iteration
// budget); sets the fitted values in `p`, re-derives its constants and returns them.
std::vector<FittedValue> FitAcoustics(TModelParameters& p);

// Model against reference for the validation plots: entrance against the TFOE, eardrum against
// the frontal table, stapes displacement against the published one, warned against relaxed
// stapes.
std::vector<Curve> AcousticCurves(const TModelParameters& p);

}  // namespace orvek
