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
