#include "plot/AxisRenderer.h"

#include <QFontMetrics>
#include <QLine>
#include <QVector>
#include <algorithm>
#include <cmath>

namespace orvek {
namespace {

constexpr int kLabelPasses = 3;        // extra decimals at most, for neighbouring equal labels
constexpr double kMaxTickCount = 1e4;  // beyond this the step does not belong to the range
constexpr double kMaxDecades = 100;

int RoundToInt(double v) { return static_cast<int>(std::nearbyint(v)); }

bool WithinRange(double value, double min, double max, double tolerance) {
  return value >= min - tolerance && value <= max + tolerance;
}

// A linear tick value carries the single-precision step's error times its index, a few ulps of
// the value; a tick that close outside the range is the range's end tick, not a stray one.
double TickTolerance(double value, float step) {
  return std::max(1e-4 * step, 0x1p-22 * std::fabs(value));
}

int AnchorFor(double value, float min, float max, LabelAnchors anchors) {
  const double nearness = 0.01 * (double(max) - min);
  if (std::fabs(value - min) < nearness) return anchors.NearMin;
  if (std::fabs(value - max) < nearness) return anchors.NearMax;
  return anchors.Other;
}

void LabelMajors(std::vector<AxisTick>& ticks, int width, int decimals) {
  for (AxisTick& tick : ticks) {
    if (tick.Major) tick.Label = FormatTick(tick.Value, width, decimals);
  }
}

bool NeighbouringLabelsEqual(const std::vector<AxisTick>& ticks) {
  const QString* previous = nullptr;
  for (const AxisTick& tick : ticks) {
    if (!tick.Major) continue;
    if (previous && *previous == tick.Label) return true;
    previous = &tick.Label;
  }
  return false;
}

enum class Side { Bottom, Right, Top, Left };

// Draws one side of the frame from corner to corner, its ticks pointing into the frame (major
// ones twice as long) and, when labelGap >= 0, the major ticks' labels labelGap pixels outside.
void DrawSide(QPainter& painter, const TPlotFrame& frame, Side side,
              const std::vector<AxisTick>& ticks, int tickLength, int labelGap) {
  const bool horizontal = side == Side::Bottom || side == Side::Top;
  const float fixedX = side == Side::Left ? frame.XMin : frame.XMax;
  const float fixedY = side == Side::Bottom ? frame.YMin : frame.YMax;
  const QPoint inward = side == Side::Bottom ? QPoint(0, -1)
                        : side == Side::Top  ? QPoint(0, 1)
                        : side == Side::Left ? QPoint(1, 0)
                                             : QPoint(-1, 0);

  float x0 = horizontal ? frame.XMin : fixedX, y0 = horizontal ? fixedY : frame.YMin;
  float x1 = horizontal ? frame.XMax : fixedX, y1 = horizontal ? fixedY : frame.YMax;
  QVector<QLine> lines{QLine(MapPoint(frame, x0, y0), MapPoint(frame, x1, y1))};
  for (const AxisTick& tick : ticks) {
    float x = horizontal ? float(tick.Value) : fixedX, y = horizontal ? fixedY : float(tick.Value);
    const QPoint at = MapPoint(frame, x, y);
    lines.append(QLine(at, at + inward * (tick.Major ? 2 * tickLength : tickLength)));
    if (labelGap >= 0 && !tick.Label.isEmpty()) {
      const QPoint labelAt = at - inward * labelGap;
      DrawAnchored(painter, tick.Label, labelAt.x(), labelAt.y(), tick.Anchor);
    }
  }
  painter.drawLines(lines);
}

constexpr int kNoLabels = -1;

void UseAxisPen(QPainter& painter) {
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setPen(QPen(Qt::black, 1, Qt::SolidLine));
}

int BandCentre(const PlotLayout& layout) { return layout.BandTop + layout.BandHeight / 2; }

// The X title on the band's bottom edge, the plot title an eighth of the band below its top.
void DrawTitles(QPainter& painter, const PlotLayout& layout, const QString& xTitle) {
  const int x = layout.FrameLeft + layout.FrameWidth / 2;
  DrawAnchored(painter, xTitle, x, layout.BandTop + layout.BandHeight - 1, 7);
  DrawAnchored(painter, QString::fromStdString(layout.PlotTitle), x,
               RoundToInt(layout.BandHeight * 0.125 + layout.BandTop) - 1, 7);
}

void DrawLinearAxes(QPainter& painter, const PlotLayout& layout, const TPlotFrame& frame,
                    const TPlotFrame* right) {
  UseAxisPen(painter);
  DrawTitles(painter, layout, QString::fromStdString(layout.XTitle));
  const std::vector<AxisTick> xTicks = LinearTicks(frame.XMin, frame.XMax, layout.XTickStep,
                                                   layout.XLabelEvery, kBottomLabelAnchors, true);
  const std::vector<AxisTick> yTicks = LinearTicks(frame.YMin, frame.YMax, layout.YTickStep,
                                                   layout.YLabelEvery, kLeftLabelAnchors, false);
  const int yLabelGap = RoundToInt(0.5 * layout.YTickLength);
  DrawSide(painter, frame, Side::Bottom, xTicks, layout.XTickLength,
           RoundToInt(0.5 * layout.XTickLength));
  if (right) {
    const float step = NiceStep((right->YMax - right->YMin) / 25);
    DrawSide(
        painter, *right, Side::Right,
        LinearTicks(right->YMin, right->YMax, step, layout.YLabelEvery, kRightLabelAnchors, false),
        layout.YTickLength, yLabelGap);
  } else {
    DrawSide(painter, frame, Side::Right, yTicks, layout.YTickLength, kNoLabels);
  }
  DrawSide(painter, frame, Side::Top, xTicks, layout.XTickLength, kNoLabels);
  DrawSide(painter, frame, Side::Left, yTicks, layout.YTickLength, yLabelGap);
  DrawAnchored(painter, QString::fromStdString(layout.YTitle), 0, BandCentre(layout), 3, true);
  if (right) {
    DrawAnchored(painter, QString::fromStdString(layout.RightTitle), layout.Client.width() - 1,
                 BandCentre(layout), 5, true);
  }
}

}  // namespace

QFont AxisFont(QSize client) {
  const int points =
      std::min(RoundToInt(8.0 * client.height() / 600), RoundToInt(8.0 * client.width() / 800));
  QFont font(QStringLiteral("Arial"));
  font.setBold(true);
  font.setPointSize(std::max(1, points));  // a tiny window still gets a valid size
  return font;
}

void DrawAnchored(QPainter& painter, const QString& text, int x, int y, int anchor, bool rotated) {
  const QFontMetrics metrics = painter.fontMetrics();
  const int textWidth = metrics.horizontalAdvance(text), textHeight = metrics.height();
  const int boxWidth = rotated ? textHeight : textWidth;
  const int boxHeight = rotated ? textWidth : textHeight;
  const int left = x - (anchor % 3) * (boxWidth / 2);
  const int top = y - (anchor / 3) * (boxHeight / 2);
  if (!rotated) {
    painter.drawText(left, top + metrics.ascent(), text);
    return;
  }
  // Running upward: the text's start sits at the box's bottom-left, its top faces left.
  painter.save();
  painter.translate(left, top + boxHeight);
  painter.rotate(-90);
  painter.drawText(0, metrics.ascent(), text);
  painter.restore();
}

void ClearCanvas(QPainter& painter, QSize client) {
  painter.fillRect(QRect(QPoint(0, 0), client), Qt::white);
}

QString FormatTick(double value, int width, int decimals) {
  QString text = QString::asprintf("%*.*f", width, decimals, value);
  // Tick values reached by addition can land just below zero; the label still reads zero.
  if (value < 0 &&
      std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'1' && c <= u'9'; })) {
    text = QString::asprintf("%*.*f", width, decimals, 0.0);
  }
  return text;
}

void LinearLabelFormat(double maxMagnitude, int& width, int& decimals) {
  width = decimals = 0;
  if (!(maxMagnitude > 0) || !std::isfinite(maxMagnitude)) return;
  const int n = RoundToInt(std::log10(maxMagnitude) - 1.495);
  decimals = n < 1 ? -n : 0;
  width = std::abs(n);
}

std::vector<AxisTick> LinearTicks(float min, float max, float step, int labelEvery,
                                  LabelAnchors anchors, bool distinctLabels) {
  std::vector<AxisTick> ticks;
  if (!(step > 0) || !std::isfinite(step) || !(min <= max)) return ticks;
  // One index below trunc(min / step): a tick on a negative range end whose quotient rounded
  // toward zero in single precision is kept; any index below the range is skipped anyway.
  const double first = std::trunc(double(min) / step) - 1;
  const double last = std::trunc(double(max) / step) + 1;
  if (!(last - first <= kMaxTickCount)) return ticks;
  const long long every = std::max(1, labelEvery);
  double value = first * step;
  for (long long i = static_cast<long long>(first); i <= static_cast<long long>(last);
       ++i, value += step) {
    if (!WithinRange(value, min, max, TickTolerance(value, step))) continue;
    AxisTick tick;
    tick.Value = value;
    tick.Major = i % every == 0;
    if (tick.Major) tick.Anchor = AnchorFor(value, min, max, anchors);
    ticks.push_back(tick);
  }
  int width = 0, decimals = 0;
  LinearLabelFormat(std::max(std::fabs(min), std::fabs(max)), width, decimals);
  LabelMajors(ticks, width, decimals);
  for (int pass = 0; distinctLabels && pass < kLabelPasses && NeighbouringLabelsEqual(ticks);
       ++pass) {
    LabelMajors(ticks, width, ++decimals);
  }
  return ticks;
}

std::vector<AxisTick> LogFrequencyTicks(float min, float max) {
  std::vector<AxisTick> ticks;
  if (!(min <= max) || !(max - min <= kMaxDecades) || !(std::fabs(min) <= kMaxDecades)) {
    return ticks;
  }
  // A tick at 10^(d + log10 j) Hz matches a float range end only to single precision.
  constexpr double kTolerance = 1e-5;
  for (int d = static_cast<int>(std::trunc(min)) - 1; d <= static_cast<int>(std::trunc(max)); ++d) {
    for (int j = 1; j <= 9; ++j) {
      const double value = d + std::log10(double(j));
      if (!WithinRange(value, min, max, kTolerance)) continue;
      AxisTick tick;
      tick.Value = value;
      tick.Major = j == 1;
      if (j == 1 || j == 2 || j == 5) {
        const int n = RoundToInt(value - 3 - 0.495);
        tick.Label = FormatTick(std::pow(10.0, value) / 1000, 0, n < 1 ? -n : 0);
        tick.Anchor = std::fabs(value / min - 1) < 0.01   ? 0
                      : std::fabs(value / max - 1) < 0.01 ? 2
                                                          : 1;
      }
      ticks.push_back(tick);
    }
  }
  return ticks;
}

std::vector<AxisTick> LogPlotYTicks(float min, float max, float step, int labelEvery) {
  std::vector<AxisTick> ticks;
  if (!(step > 0) || !std::isfinite(step) || !(min <= max)) return ticks;
  const int every = std::max(1, labelEvery);
  const double majorStep = double(every) * step;
  const double first = std::nearbyint(min / majorStep - 1) * every;
  const double last = std::nearbyint(max / majorStep + 1) * every;
  if (!(last - first <= kMaxTickCount)) return ticks;
  double value = first * step;
  for (long long j = static_cast<long long>(first); j <= static_cast<long long>(last);
       ++j, value += step) {
    if (!WithinRange(value, min, max, TickTolerance(value, step))) continue;
    AxisTick tick;
    tick.Value = value;
    tick.Major = j % every == 0;
    if (tick.Major) {
      const int n = RoundToInt(std::log(std::fabs(value) + 1e-6) - 1.8);
      int width = 0, decimals = 0;
      if (n >= -7 && n < -2) {
        width = decimals = 2;
      } else if (n >= -2) {
        decimals = n < 1 ? -n : 0;
        width = std::abs(n);
      }
      tick.Label = FormatTick(value, width, decimals);
      tick.Anchor = std::fabs(value - max) < 0.01 * max               ? 2
                    : std::fabs(value - min) >= 0.01 * std::fabs(min) ? 5
                                                                      : 8;
    }
    ticks.push_back(tick);
  }
  return ticks;
}

void PlotLinearAxes(QPainter& painter, const PlotLayout& layout, const TPlotFrame& main) {
  DrawLinearAxes(painter, layout, main, nullptr);
}

void PlotLinearAxes2(QPainter& painter, const PlotLayout& layout, const TPlotFrame& main,
                     const TPlotFrame& right) {
  DrawLinearAxes(painter, layout, main, &right);
}

void PlotLinearAxes3(QPainter& painter, const PlotLayout& layout, const TPlotFrame& waveform,
                     const TPlotFrame& secondRight) {
  DrawLinearAxes(painter, layout, waveform, &secondRight);
}

void PlotLogAxes(QPainter& painter, const PlotLayout& layout, const TPlotFrame& frame) {
  UseAxisPen(painter);
  DrawTitles(painter, layout, QStringLiteral("FREQUENCY IN kHZ"));
  const std::vector<AxisTick> xTicks = LogFrequencyTicks(frame.XMin, frame.XMax);
  const std::vector<AxisTick> yTicks =
      LogPlotYTicks(frame.YMin, frame.YMax, layout.YTickStep, layout.YLabelEvery);
  DrawSide(painter, frame, Side::Bottom, xTicks, layout.XTickLength,
           RoundToInt(0.3 * layout.XTickLength));
  DrawSide(painter, frame, Side::Right, yTicks, layout.YTickLength, kNoLabels);
  DrawSide(painter, frame, Side::Top, xTicks, layout.XTickLength, kNoLabels);
  DrawSide(painter, frame, Side::Left, yTicks, layout.YTickLength,
           RoundToInt(0.4 * layout.YTickLength));
  DrawAnchored(painter, QString::fromStdString(layout.YTitle), 0, BandCentre(layout), 3, true);
}

void PlotLogAxes(QPainter& painter, const PlotLayout& layout, const TPlotFrame& frame,
                 PlotState& state) {
  if (state.LogClearPending) {
    painter.fillRect(QRect(0, layout.BandTop, layout.BandWidth, layout.BandHeight), Qt::white);
    state.LogClearPending = false;
  }
  PlotLogAxes(painter, layout, frame);
}

void LayOutLogPlot(PlotLayout& layout, TPlotFrame& frame) {
  layout.FrameBottomMargin = static_cast<int>(0.13 * layout.BandHeight);
  layout.FrameLeft = static_cast<int>(0.0625 * layout.BandWidth);
  layout.FrameWidth = layout.BandWidth - 1 - layout.FrameLeft;
  layout.FrameHeight = layout.BandHeight - layout.FrameBottomMargin;
  SetTickLengths(layout);
  FitFrame(frame, layout);
}

void PlotLogAxes3(QPainter& painter, const PlotLayout& layout, const TPlotFrame& rightScale) {
  PlotLogAxes(painter, layout, rightScale);
}

}  // namespace orvek
