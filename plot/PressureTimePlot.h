#pragma once
#include <QPainter>
#include <QSize>
#include <cstdint>

#include "plot/PlotFrame.h"
#include "waveform/Waveform.h"

namespace orvek {

// Decimation of a trace into pixel columns: step s = max(1, trunc(last / frameWidth)) samples per
// column and m = trunc(last / s) columns; min-max columns are drawn when s >= 100.
struct Decimation {
  std::int32_t Step = 1;
  std::int32_t Columns = 0;
  bool MinMaxColumns = false;
};
Decimation DecimateTrace(std::int32_t lastSampleIndex, int frameWidth);

// Widens an empty (or inverted) range [lo, hi] to at least minWidth, about its centre or from lo,
// so that a plot's scale stays finite.
void WidenEmptyRange(float& lo, float& hi, float minWidth, bool aboutCentre);

// Band of the linear plots in the lower half of the client area: top and height round(0.5 client
// height); FrameBottomMargin trunc(0.13 band height), FrameLeft trunc(0.07 client width),
// FrameWidth = client width - 1 - FrameLeft. Fits `frame` (ranges already set) to it and sets the
// tick lengths.
PlotLayout LayOutLinearPlot(QSize client, TPlotFrame& frame);

// The purple zero line across the frame (clamped into it when 0 lies outside the Y range).
void DrawZeroLine(QPainter& painter, const TPlotFrame& frame);

// How many of a trace's samples become vertices.
enum class TraceDetail {
  Decimated,   // min-max columns by DecimateTrace when a column holds 100 samples or more
  EverySample  // one polyline through all samples
};

// Draws `values` (one of the waveform's buffers) times `scale` against time in ms,
// (i SampleInterval + TimeStart) 1000, for i up to LastSampleIndex, with the painter's pen.
void DrawTrace(QPainter& painter, const TPlotFrame& frame, const TWaveform& waveform,
               const SampleBuffer& values, float scale, int frameWidth, TraceDetail detail);

// Layout of the pressure-time plot in the lower half of the client area, and `frame` fitted to it
// over the waveform's time (ms) and pressure-axis (kPa) ranges. An empty range would make a scale
// infinite: the pressure range is then widened to +-1 Pa about its value, the time range to 1 ms
// from its start.
PlotLayout LayOutPressureTimePlot(QSize client, const TWaveform& waveform, TPlotFrame& frame);

// Draws (fresh frame), overlays or erases the current waveform in the lower half of the client
// area, following state.FreshFrame and state.TraceColour; sets PressureRangePending and copies the
// main frame into the waveform frame.
void PressureTimePlot(QPainter& painter, QSize client, const TWaveform& waveform, PlotState& state);

}  // namespace orvek
