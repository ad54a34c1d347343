#include "plot/PlotFrame.h"

#include <algorithm>
#include <cmath>

namespace orvek {
namespace {

// Saturates far-off coordinates (a huge scale, an infinite one) instead of overflowing the int;
// the limit is well beyond any canvas yet small enough for the painter's fixed-point paths.
int ToPixel(double v) {
  constexpr double kLimit = 1 << 24;
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::nearbyint(std::clamp(v, -kLimit, kLimit)));
}

// Clamps into [lo, hi]; written so that NaN lands on lo rather than propagating.
float ClampInto(float v, float lo, float hi) { return v > hi ? hi : (v >= lo ? v : lo); }

}  // namespace

QPoint MapPoint(const TPlotFrame& frame, float& x, float& y) {
  x = ClampInto(x, frame.XMin, frame.XMax);
  y = ClampInto(y, frame.YMin, frame.YMax);
  return QPoint(ToPixel((double(x) - frame.XMin) * frame.XScale + frame.Left),
                ToPixel((double(y) - frame.YMax) * frame.YScale + frame.Top));
}

QPoint PointAt(const TPlotFrame& frame, double x, double y) {
  float fx = static_cast<float>(x), fy = static_cast<float>(y);
  return MapPoint(frame, fx, fy);
}

float NiceStep(float x) {
  // log10 x = k + m. Whether m = 0 is read as m = 1 of the decade below makes no difference:
  // both give 10^k, so the floor serves for every x.
  const double l = std::log10(double(x));
  const double k = std::floor(l);
  const double m = l - k;
  const double to1 = m, to2 = std::fabs(m - std::log10(2.0)), to10 = 1.0 - m;
  double multiplier = 10.0;
  if (to1 < to2 && to1 < to10) {
    multiplier = 1.0;
  } else if (to2 < to1 && to2 < to10) {
    multiplier = 2.0;
  }
  return static_cast<float>(multiplier * std::pow(10.0, k));
}

void FitFrame(TPlotFrame& frame, const PlotLayout& layout) {
  frame.XScale = layout.FrameWidth / (frame.XMax - frame.XMin);
  frame.YScale = layout.FrameHeight / (frame.YMin - frame.YMax);
  frame.Left = layout.FrameLeft;
  frame.Top = layout.BandTop;
}

void SetTickLengths(PlotLayout& layout) {
  layout.XTickLength = static_cast<int>(std::nearbyint(layout.FrameHeight * 0.0195));
  layout.YTickLength = static_cast<int>(std::nearbyint(layout.FrameWidth * 0.006435));
}

}  // namespace orvek
