#pragma once
#include <QPoint>
#include <QSize>
#include <string>

namespace orvek {

// One data-to-pixel mapping. XScale > 0 and YScale < 0 (pixel y grows downward).
struct TPlotFrame {
  float XMin = 0, XMax = 1, YMin = 0, YMax = 1;  // data units
  float XScale = 1, YScale = -1;                 // pixels per data unit
  int Left = 0;                                  // pixel x of XMin
  int Top = 0;                                   // pixel y of YMax
};

// Clamps (x, y) into the frame (the clamped values replace the caller's point) and maps it:
// px = round((x - XMin) XScale + Left), py = round((y - YMax) YScale + Top), ties to even.
QPoint MapPoint(const TPlotFrame& frame, float& x, float& y);
// MapPoint of (x, y) taken to single precision, when the caller needs no clamped values back.
QPoint PointAt(const TPlotFrame& frame, double x, double y);

// Tick step for a raw step x > 0: 1, 2 or 10 times a power of ten, by nearest log10 mantissa.
float NiceStep(float x);

// Layout of one plot in the band (all pixels) and its axis settings.
struct PlotLayout {
  QSize Client;  // client area of the window
  int BandTop = 0, BandHeight = 0, BandWidth = 0;
  int FrameLeft = 0, FrameWidth = 0, FrameBottomMargin = 0, FrameHeight = 0, RightMargin = 0;
  float XTickStep = 1, YTickStep = 1;  // data units
  int XLabelEvery = 5, YLabelEvery = 5;
  int XTickLength = 0, YTickLength = 0;
  std::string XTitle, YTitle, RightTitle, PlotTitle;
};

// Fits the frame's scales, left and top to the layout's frame rectangle for the frame's ranges:
// XScale = FrameWidth / (XMax - XMin), YScale = FrameHeight / (YMin - YMax), Left = FrameLeft,
// Top = BandTop.
void FitFrame(TPlotFrame& frame, const PlotLayout& layout);

// Tick lengths from the frame size: XTickLength = round(0.0195 FrameHeight),
// YTickLength = round(0.006435 FrameWidth).
void SetTickLengths(PlotLayout& layout);

// The four frames of the window and the plot-mode state of the pressure-time plot.
struct PlotState {
  TPlotFrame Main, Waveform, RightScale, SecondRightScale;
  bool FreshFrame = true;             // next pressure-time plot clears the band and draws axes
  int TraceColour = 1;                // 0 erase mode; otherwise colour of the next trace
  bool PressureRangePending = false;  // a double-click may change the pressure range
  bool LogClearPending = true;        // the logarithmic plots clear the band once per waveform
  int TracePenWidth = 1;              // pixels; the overlay command widens its first trace
};

}  // namespace orvek
