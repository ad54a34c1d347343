#pragma once
#include <QColor>
#include <QPainter>
#include <QSize>

#include "metrics/Leq300Spectrum.h"
#include "plot/PlotFrame.h"

namespace orvek {

// Ranges of a spectrum plot: levels in dB re the Leq300ms reference, frequency as log10 Hz.
struct SpectrumAxes {
  float YMin = 0, YMax = 1;  // dB
  float XMin = 0, XMax = 1;  // log10 Hz
};

// Axes for one spectrum: `rangeDb` below the level of its largest bin or band value, over
// log10(df)..log10(fN).
SpectrumAxes AxesFor(const Leq300Spectrum& spectrum, float rangeDb);

// Layout of the spectrum plots in the upper half of the client area (band top 0, height
// round(0.5 client height)) with the logarithmic plots' margins, titles and tick steps; fits
// `frame` to the axes.
PlotLayout LayOutSpectrumPlot(QSize client, const SpectrumAxes& axes, TPlotFrame& frame);

// Draws the logarithmic axes with the captions "1/3 OCT LEQ(300MS)" and "DB REF 20uPA", clearing
// the band first when state.LogClearPending; returns the frame the curves are drawn in.
TPlotFrame DrawSpectrumAxes(QPainter& painter, QSize client, const SpectrumAxes& axes,
                            PlotState& state);

// The narrow-band curve, bins 1..n-1 at (log10 k df, 10 log10 P[k]), joined by lines. Bins that
// share a pixel column are drawn as one vertical min-max line, so a million bins cost about one
// line per pixel.
void DrawNarrowBandCurve(QPainter& painter, const TPlotFrame& frame, const Leq300Spectrum& spectrum,
                         const QColor& colour);

// The 1/3-octave band curve, bands at (b / 10, 10 log10 E_b), joined by lines.
void DrawBandCurve(QPainter& painter, const TPlotFrame& frame, const Leq300Spectrum& spectrum,
                   const QColor& colour);

// The "Leq300ms spectrum" picture: axes 60 dB deep, the narrow band in blue, the bands in green.
void Leq300SpectrumPlot(QPainter& painter, QSize client, const Leq300Spectrum& spectrum,
                        PlotState& state);

}  // namespace orvek
