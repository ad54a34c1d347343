#include "plot/PressureTimePlot.h"

#include <QColor>
#include <QLine>
#include <QPolygon>
#include <QVector>
#include <algorithm>
#include <cmath>

#include "plot/AxisRenderer.h"

namespace orvek {
namespace {

const QColor kZeroLine(128, 0, 128);
const QColor kFreshTrace(0, 0, 255);
constexpr int kMinMaxFrom = 100;  // samples per column from which columns become min-max lines

QColor OverlayColour(int traceColour) {
  switch (traceColour) {
    case 1:
      return QColor(255, 0, 0);
    case 2:
    case 5:
      return QColor(0, 128, 0);
    case 3:
      return QColor(255, 0, 255);
    case 4:
      return QColor(0, 255, 255);
    default:
      return QColor(128, 0, 0);
  }
}

// Time in ms of sample i on the plot's time axis.
float SampleTimeMs(const TWaveform& waveform, std::int32_t i) {
  return static_cast<float>((double(i) * waveform.SampleInterval + waveform.TimeStart) * 1000);
}

}  // namespace

Decimation DecimateTrace(std::int32_t lastSampleIndex, int frameWidth) {
  Decimation decimation;
  decimation.Step = std::max<std::int32_t>(1, lastSampleIndex / std::max(1, frameWidth));
  decimation.Columns = std::max<std::int32_t>(0, lastSampleIndex / decimation.Step);
  decimation.MinMaxColumns = decimation.Step >= kMinMaxFrom;
  return decimation;
}

void WidenEmptyRange(float& lo, float& hi, float minWidth, bool aboutCentre) {
  if (hi > lo) return;
  // The relative floor keeps the widening visible in single precision far from zero.
  const float width = std::max(minWidth, 2e-6f * std::max(std::fabs(lo), std::fabs(hi)));
  if (aboutCentre) {
    const float centre = 0.5f * (lo + hi);
    lo = centre - 0.5f * width;
    hi = centre + 0.5f * width;
  } else {
    hi = lo + width;
  }
}

PlotLayout LayOutLinearPlot(QSize client, TPlotFrame& frame) {
  PlotLayout layout;
  layout.Client = client;
  layout.BandTop = layout.BandHeight = static_cast<int>(std::nearbyint(0.5 * client.height()));
  layout.BandWidth = client.width();
  layout.FrameBottomMargin = static_cast<int>(0.13 * layout.BandHeight);
  layout.FrameLeft = static_cast<int>(0.07 * client.width());
  layout.FrameWidth = client.width() - 1 - layout.FrameLeft;
  layout.FrameHeight = layout.BandHeight - layout.FrameBottomMargin;
  FitFrame(frame, layout);
  SetTickLengths(layout);
  return layout;
}

void DrawZeroLine(QPainter& painter, const TPlotFrame& frame) {
  painter.setPen(QPen(kZeroLine, 1, Qt::SolidLine));
  float x0 = frame.XMin, x1 = frame.XMax, y0 = 0, y1 = 0;
  painter.drawLine(MapPoint(frame, x0, y0), MapPoint(frame, x1, y1));
}

// One call per trace: the painter's per-call overhead would dominate a million samples.
void DrawTrace(QPainter& painter, const TPlotFrame& frame, const TWaveform& waveform,
               const SampleBuffer& values, float scale, int frameWidth, TraceDetail detail) {
  const std::int32_t last = std::min(waveform.LastSampleIndex, values.size() - 1);
  if (last < 0) return;
  const Decimation decimation = DecimateTrace(last, frameWidth);
  const std::int32_t s = decimation.Step;
  const float* samples = values.data();
  if (detail == TraceDetail::Decimated && decimation.MinMaxColumns) {
    QVector<QLine> lines(decimation.Columns);
    for (std::int32_t k = 0; k < decimation.Columns; ++k) {
      float high = -1e6f, low = 1e6f;
      for (const float* p = samples + k * s; p != samples + (k + 1) * s; ++p) {
        if (*p > high) high = *p;
        if (*p < low) low = *p;
      }
      float xHigh = SampleTimeMs(waveform, k * s + s - 1), xLow = xHigh;
      float yHigh = scale * high, yLow = scale * low;
      lines[k] = QLine(MapPoint(frame, xHigh, yHigh), MapPoint(frame, xLow, yLow));
    }
    painter.drawLines(lines);
  } else {
    QPolygon polyline(last + 1);
    for (std::int32_t i = 0; i <= last; ++i) {
      float x = SampleTimeMs(waveform, i), y = scale * samples[i];
      polyline[i] = MapPoint(frame, x, y);
    }
    painter.drawPolyline(polyline);
  }
}

PlotLayout LayOutPressureTimePlot(QSize client, const TWaveform& waveform, TPlotFrame& frame) {
  frame.XMin = waveform.TimeStart * 1000;
  frame.XMax = waveform.TimeEnd * 1000;
  frame.YMin = 0.001f * waveform.AxisMin;
  frame.YMax = 0.001f * waveform.AxisMax;
  WidenEmptyRange(frame.XMin, frame.XMax, 1.0f, false);
  WidenEmptyRange(frame.YMin, frame.YMax, 0.002f, true);
  PlotLayout layout = LayOutLinearPlot(client, frame);
  layout.XTickStep = NiceStep((frame.XMax - frame.XMin) / 50);
  layout.YTickStep = NiceStep((frame.YMax - frame.YMin) / 30);
  layout.XLabelEvery = layout.YLabelEvery = 5;
  layout.XTitle = "TIME IN MILLISECONDS";
  layout.YTitle = "PRESSURE IN KILOPASCALS";
  layout.PlotTitle = waveform.PlotTitle;
  return layout;
}

void PressureTimePlot(QPainter& painter, QSize client, const TWaveform& waveform,
                      PlotState& state) {
  state.PressureRangePending = true;
  TPlotFrame frame;
  const PlotLayout layout = LayOutPressureTimePlot(client, waveform, frame);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

  // Erase mode redraws the trace in white, over a fresh frame or the previous one alike.
  const bool erase = state.TraceColour == 0;
  QColor traceColour = Qt::white;
  if (state.FreshFrame) {
    painter.fillRect(QRect(0, layout.BandTop, layout.BandWidth, layout.BandHeight), Qt::white);
    DrawZeroLine(painter, frame);
    if (!erase) traceColour = kFreshTrace;
  } else {
    // Overlays share the previous plot's axes so that the traces compare.
    frame = state.Waveform;
    frame.Left = layout.FrameLeft;
    if (!erase) traceColour = OverlayColour(state.TraceColour++);
  }
  painter.setPen(QPen(traceColour, state.TracePenWidth, Qt::SolidLine));
  DrawTrace(painter, frame, waveform, waveform.Samples, 0.001f, layout.FrameWidth,
            TraceDetail::Decimated);

  painter.setFont(AxisFont(client));
  if (state.FreshFrame) PlotLinearAxes(painter, layout, frame);
  state.Main = frame;
  state.Waveform = frame;
  if (erase) DrawZeroLine(painter, frame);
}

}  // namespace orvek
