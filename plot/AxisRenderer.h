#pragma once
#include <QFont>
#include <QPainter>
#include <QString>
#include <vector>

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

// One tick of an axis; major ticks carry their label text and its anchor.
struct AxisTick {
  double Value = 0;  // data units
  bool Major = false;
  QString Label;  // empty on minor ticks and on unlabelled major ones
  int Anchor = 0;
};

// Label anchors of a linear axis: within 1 % of the range from its minimum, from its maximum,
// and elsewhere.
struct LabelAnchors {
  int NearMin, NearMax, Other;
};
inline constexpr LabelAnchors kBottomLabelAnchors{0, 2, 1};  // below the axis
inline constexpr LabelAnchors kLeftLabelAnchors{8, 2, 5};    // left of the axis
inline constexpr LabelAnchors kRightLabelAnchors{6, 0, 3};   // right of the axis

// Ticks of a linear axis at the step multiples i x step within [min, max] (to single precision),
// values by repeated addition of the step, every labelEvery-th index i major and labelled in the
// format of LinearLabelFormat. With distinctLabels, up to three passes add a decimal while two
// neighbouring labels read the same. No ticks for a step that is not positive and finite, or that
// would give more than 10,000 ticks.
std::vector<AxisTick> LinearTicks(float min, float max, float step, int labelEvery,
                                  LabelAnchors anchors, bool distinctLabels);

// Ticks of the logarithmic frequency axis (x = log10 Hz): at 1..9 of each decade, major at 1,
// labelled in kHz at 1, 2 and 5.
std::vector<AxisTick> LogFrequencyTicks(float min, float max);

// Ticks of the linear vertical axis of the logarithmic plots (labels left of the axis).
std::vector<AxisTick> LogPlotYTicks(float min, float max, float step, int labelEvery);

// Frame, ticks, labels and titles for the current main frame (linear X, left scale).
void PlotLinearAxes(QPainter& painter, const PlotLayout& layout, const TPlotFrame& main);
// As above plus a right-hand scale over `right`'s Y range.
void PlotLinearAxes2(QPainter& painter, const PlotLayout& layout, const TPlotFrame& main,
                     const TPlotFrame& right);
// Time plot with a hazard scale: the waveform frame and the second right-scale frame.
void PlotLinearAxes3(QPainter& painter, const PlotLayout& layout, const TPlotFrame& waveform,
                     const TPlotFrame& secondRight);
// Logarithmic X axis (log10 Hz, labelled in kHz, titled "FREQUENCY IN kHZ") with a linear left
// scale, in `frame`.
void PlotLogAxes(QPainter& painter, const PlotLayout& layout, const TPlotFrame& frame);
// As above, first clearing the band to white when state.LogClearPending (once per waveform).
void PlotLogAxes(QPainter& painter, const PlotLayout& layout, const TPlotFrame& frame,
                 PlotState& state);
// Layout of the logarithmic plots in the band already set in `layout`: bottom margin
// trunc(0.13 band height), FrameLeft trunc(0.0625 band width) and the tick lengths; fits the
// frame's scales, left and top to it for the frame's ranges.
void LayOutLogPlot(PlotLayout& layout, TPlotFrame& frame);
// The protector plots' axes: those of PlotLogAxes, in the right-scale frame.
void PlotLogAxes3(QPainter& painter, const PlotLayout& layout, const TPlotFrame& rightScale);

}  // namespace orvek
