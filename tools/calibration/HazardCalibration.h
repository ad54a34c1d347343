#pragma once
#include <vector>

#include "model/HazardAnalysis.h"
#include "tools/calibration/CalibrationTarget.h"

namespace orvek {

// The hazard targets run the program's own analysis (CalculateHazard, as "Analyze" does after
// "Open ORV waveform") on Friedlander impulses built directly from FriedlanderSamples: 200 kHz,
// 8192 samples, onset 5 ms, no dither (the reader's dither is 102 dB below the peak).

// One free-field impulse analysed as the window does, with the equal-energy count of the same
// record (ComputeEnergyMetrics over the whole record).
struct ImpulseHazard {
  double Aru = 0;               // auditory risk units
  double AllowedExposures = 0;  // 500 / ARU (infinite for a hazard of zero)
  double EnergyAllowed = 0;     // Na: LAeq8hr 85 dB, 3 dB exchange rate
  int WorstPlace = 0;           // 1-based hazard place
  HazardValidity Validity;      // peak level and stapes ceiling, as the result states them
};
ImpulseHazard HazardOfImpulse(const TModelParameters& p, double peakDb, double aDurationMs,
                              Listener listener);

// Largest |stapes displacement| (um) for a Friedlander impulse of 0.5 ms A-duration recorded at
// the eardrum (location 3), muscles relaxed throughout.
double PeakStapesDisplacementUm(const TModelParameters& p, double peakDb);

// Basilar-membrane displacement per unit stapes displacement at one distance from the stapes.
struct PlaceTuning {
  double DistanceCm = 0;
  double CfHz = 0;        // BaseFrequency exp(-x / PlaceLengthConstant)
  double PeakHz = 0;      // frequency of the largest response
  double PeakGainDb = 0;  // 20 log10 of that response
  double Q10 = 0;         // peak frequency / bandwidth 10 dB below the peak
};
PlaceTuning TuningAt(const TModelParameters& p, double distanceCm);
// The hazard places in the order of the hazard file.
std::vector<double> HazardPlaceDistances(const TModelParameters& p);

// Smallest attenuation (dB) by the contracted middle-ear muscles of the low-level stapes response
// to eardrum pressure over the 1/3-octave centres 100 Hz .. 10 kHz; negative where contraction
// raises the response.
double MinimumMuscleAttenuationDb(const TModelParameters& p);

// The comparison table, target by target. The level and duration lists let the tests check a
// subset of the grid that HazardTargets uses.
std::vector<TargetRow> NonlinearityRows(const TModelParameters& p);
// Greenwood map and the span of the hazard places; peak and Q10 of every hazard place.
std::vector<TargetRow> PlaceMapRows(const TModelParameters& p);
std::vector<TargetRow> TuningRows(const TModelParameters& p);
std::vector<TargetRow> MuscleRows(const TModelParameters& p);
std::vector<TargetRow> EqualEnergyAnchorRows(const TModelParameters& p);
// One impulse of the hazard grid, analysed warned and unwarned.
struct GridPoint {
  double LevelDb = 0;
  double DurationMs = 0;
  ImpulseHazard Warned, Unwarned;
  const ImpulseHazard& Of(Listener listener) const {
    return listener == Listener::Warned ? Warned : Unwarned;
  }
};
// The grid the validation document shows: 120 .. 185 dB in 1 dB steps, A-durations 0.3, 0.5, 1,
// 2, 3 and 5 ms.
std::vector<double> GridLevelsDb(double stepDb = 1.0);
std::vector<double> GridDurationsMs();
// Every level for every duration (durations outer, levels rising).
std::vector<GridPoint> HazardGrid(const TModelParameters& p, const std::vector<double>& levelsDb,
                                  const std::vector<double>& durationsMs);

// Where the hazard falls as the level rises: from a level whose ARU exceeds the next one's (a
// local maximum of the grid) down to the following local minimum.
struct HazardDip {
  double DurationMs = 0;
  Listener Who = Listener::Unwarned;
  double FromDb = 0, ToDb = 0;
  double Ratio = 0;  // ARU at ToDb over ARU at FromDb, below 1
};
std::vector<HazardDip> HazardDips(const std::vector<GridPoint>& grid);
// Runs of consecutive levels where the warned ARU exceeds the unwarned one.
struct WarnedAbove {
  double DurationMs = 0;
  double FromDb = 0, ToDb = 0;
  double LargestRatio = 0;  // warned / unwarned
  double LargestAtDb = 0;
};
std::vector<WarnedAbove> WarnedAboveUnwarned(const std::vector<GridPoint>& grid);

// 500/ARU against Na at every level (at or below 180 dB), duration and listener; ARU rising with
// level from one grid level to the next; warned at most unwarned at every point.
std::vector<TargetRow> HazardGridRows(const std::vector<GridPoint>& grid);

// All of the above, the grid rows on `grid` (the tool takes the 5 dB levels of the document's
// grid).
std::vector<TargetRow> HazardTargets(const TModelParameters& p, const std::vector<GridPoint>& grid);

// Fits, in this order and from the values p holds (so it can follow the acoustic fit): the hazard
// places (8 kHz .. 500 Hz on the model's place map), a zero hazard threshold, the muscle damping
// factor and last the hazard gain (equal-energy anchor). Sets them in p (derived constants
// included) and returns them with the values to write into the parameter file.
std::vector<FittedValue> FitHazard(TModelParameters& p);

// Validation plots: log10 of 500/ARU warned and unwarned and of Na against peak level, one plot
// per A-duration of `grid`, with the 140 dB limit; peak stapes displacement against level with its
// linear extrapolation; basilar-membrane tuning at the 8, 4, 2, 1 and 0.5 kHz places against the
// shape of the passive response.
std::vector<Curve> HazardCurves(const TModelParameters& p, const std::vector<GridPoint>& grid);

}  // namespace orvek
