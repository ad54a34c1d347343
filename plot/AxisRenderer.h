#pragma once
#include <QFont>
#include <QPainter>
#include <QString>

#include "plot/PlotFrame.h"

namespace orvek {

// Axis font: "Arial" bold black, min(round(8 h / 600), round(8 w / 800)) points.
QFont AxisFont(QSize client);

// Draws `text` with anchor 3 x row + column (row 0 top / 1 middle / 2 bottom, column 0 left /
// 1 centre / 2 right) at (x, y). Rotated text runs upward and exchanges width and height.
void DrawAnchored(QPainter& painter, const QString& text, int x, int y, int anchor,
                  bool rotated = false);

// Fills the whole client area with white.
void ClearCanvas(QPainter& painter, QSize client);

// Text of a tick value with a field width and a number of decimals (right-aligned, widening).
QString FormatTick(double value, int width, int decimals);

// Label decimals and width for an axis whose largest magnitude is m:
// n = round(log10 m - 1.495); decimals = -n when n < 1, else 0; width = |n|.
void LinearLabelFormat(double maxMagnitude, int& width, int& decimals);

// Frame, ticks, labels and titles for the current main frame (linear X, left scale).
void PlotLinearAxes(QPainter& painter, const PlotLayout& layout, const TPlotFrame& main);
// As above plus a right-hand scale over `right`'s Y range.
void PlotLinearAxes2(QPainter& painter, const PlotLayout& layout, const TPlotFrame& main,
                     const TPlotFrame& right);
// Time plot with a hazard scale: the waveform frame and the second right-scale frame.
void PlotLinearAxes3(QPainter& painter, const PlotLayout& layout, const TPlotFrame& waveform,
                     const TPlotFrame& secondRight);
// Logarithmic X axis (log10 Hz, labelled in kHz) with a linear left scale, in `frame`.
void PlotLogAxes(QPainter& painter, const PlotLayout& layout, const TPlotFrame& frame);
void PlotLogAxes3(QPainter& painter, const PlotLayout& layout, const TPlotFrame& rightScale);

}  // namespace orvek
