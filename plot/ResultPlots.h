#pragma once
#include <QPainter>
#include <QSize>

#include <vector>

#include "model/CochlearModel.h"
#include "model/MiddleEarModel.h"
#include "plot/PlotFrame.h"
#include "waveform/Waveform.h"

namespace orvek {

// Muscle contraction over the pressure-time plot just drawn (state.Waveform frame): 0 up to
// sample timing.Onset, then (1 - b) times the top of the pressure axis (kPa), b starting at
// timing.B0 and multiplied by timing.Q each sample.
void DrawMuscleCurve(QPainter& painter, const TWaveform& waveform, const MuscleTiming& timing,
                     const PlotState& state);

// Stapes displacement (um, in waveform.WorkSamples) against the record's time, from TimeStart;
// empties waveform.PlotTitle.
void PlotStDispTime(QPainter& painter, QSize client, TWaveform& waveform, float stapesMin,
                    float stapesMax, PlotState& state);

// Frame for basilar-membrane displacement (um) against distance from the stapes (cm), with a
// hazard scale (ARU) on the right; the curves are drawn by the callers.
void PlotBMDispSpace(QPainter& painter, QSize client, float distanceMin, float distanceMax,
                     float displacementMin, float displacementMax, float hazardMin, float hazardMax,
                     PlotState& state);

// Pressure against time in the waveform frame with a hazard scale (ARU) on the right.
void PressureTimePlot2(QPainter& painter, QSize client, const TWaveform& waveform, float hazardMin,
                       float hazardMax, PlotState& state);

// Hazard (ARU) of every place against its distance from the stapes, warned in blue and unwarned
// in red (either may be empty), each place marked by a small square, in the lower half.
void HazardPlacesPlot(QPainter& painter, QSize client, const std::vector<PlaceResult>& warned,
                      const std::vector<PlaceResult>& unwarned);

}  // namespace orvek
