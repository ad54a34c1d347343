#include "plot/ResultPlots.h"

#include <QColor>
#include <QPen>
#include <QPolygon>
#include <cstdint>

#include "plot/AxisRenderer.h"
#include "plot/PressureTimePlot.h"

namespace orvek {
namespace {

const QColor kMuscleCurve(0, 128, 0);
const QColor kResultTrace(0, 0, 200);
const char kHazardTitle[] = "AUDITORY RISK UNITS (A.R.U.)";

// Empty ranges would make a scale infinite: the smallest ranges drawn instead.
constexpr float kMinTimeRangeMs = 1.0f;
constexpr float kMinDisplacementRangeUm = 0.002f;
constexpr float kMinDistanceRangeCm = 0.1f;
constexpr float kMinHazardRangeAru = 1.0f;

// Narrows the frame for a hazard scale on its right: RightMargin trunc(0.05 client width).
void ReserveHazardScale(PlotLayout& layout, TPlotFrame& frame) {
  layout.RightMargin = static_cast<int>(0.05 * layout.Client.width());
  layout.FrameWidth -= layout.RightMargin;
  layout.RightTitle = kHazardTitle;
  FitFrame(frame, layout);
  SetTickLengths(layout);
}

// Plain copy-mode drawing: no antialiasing, so that the colours stay exact.
void UseSolidPen(QPainter& painter, const QColor& colour) {
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.setPen(QPen(colour, 1, Qt::SolidLine));
}

// A fresh band with the purple zero line of `frame`.
void ClearBand(QPainter& painter, const PlotLayout& layout, const TPlotFrame& frame) {
  UseSolidPen(painter, Qt::black);
  painter.fillRect(QRect(0, layout.BandTop, layout.BandWidth, layout.BandHeight), Qt::white);
  DrawZeroLine(painter, frame);
}

// A frame over the layout's rectangle with the same X range as `frame` and its own Y range.
TPlotFrame RightScaleFrame(const TPlotFrame& frame, const PlotLayout& layout, float yMin,
                           float yMax) {
  TPlotFrame right = frame;
  right.YMin = yMin;
  right.YMax = yMax;
  FitFrame(right, layout);
  return right;
}

// Appends a vertex, dropping the previous one when it lies on a vertical or horizontal segment
// between its neighbours: pixel for pixel the same polyline, so a long record costs a few
// vertices per pixel column instead of one per sample.
void AppendVertex(QPolygon& polyline, QPoint p) {
  const qsizetype n = polyline.size();
  if (n >= 1 && polyline[n - 1] == p) return;
  if (n >= 2) {
    const QPoint a = polyline[n - 2], b = polyline[n - 1];
    const bool vertical = a.x() == b.x() && b.x() == p.x() && (a.y() <= b.y()) == (b.y() <= p.y());
    const bool horizontal =
        a.y() == b.y() && b.y() == p.y() && (a.x() <= b.x()) == (b.x() <= p.x());
    if (vertical || horizontal) {
      polyline[n - 1] = p;
      return;
    }
  }
  polyline.append(p);
}

}  // namespace

void DrawMuscleCurve(QPainter& painter, const TWaveform& waveform, const MuscleTiming& timing,
                     const PlotState& state) {
  const TPlotFrame& frame = state.Waveform;
  const double topKPa = frame.YMax;
  const double msPerSample = double(waveform.SampleInterval) * 1000;
  const double startMs = double(waveform.TimeStart) * 1000;  // a segment keeps its time
  QPolygon polyline;
  double b = timing.B0;  // the model run keeps its own decay value
  for (std::int64_t n = 0; n <= waveform.LastSampleIndex; ++n) {
    double value = 0;
    if (n > timing.Onset) {
      b *= timing.Q;
      value = (1 - b) * topKPa;
    }
    float x = static_cast<float>(startMs + n * msPerSample), y = static_cast<float>(value);
    AppendVertex(polyline, MapPoint(frame, x, y));
  }
  UseSolidPen(painter, kMuscleCurve);
  painter.drawPolyline(polyline);
}

void PlotStDispTime(QPainter& painter, QSize client, TWaveform& waveform, float stapesMin,
                    float stapesMax, PlotState& state) {
  // The trace is drawn on the record's own time axis (a segment keeps its time), so the axis
  // spans the same times.
  TPlotFrame frame;
  frame.XMin = static_cast<float>(double(waveform.TimeStart) * 1000);
  frame.XMax = static_cast<float>(
      (double(waveform.TimeStart) + double(waveform.LastSampleIndex) * waveform.SampleInterval) *
      1000);
  frame.YMin = stapesMin;
  frame.YMax = stapesMax;
  WidenEmptyRange(frame.XMin, frame.XMax, kMinTimeRangeMs, false);
  WidenEmptyRange(frame.YMin, frame.YMax, kMinDisplacementRangeUm, true);
  PlotLayout layout = LayOutLinearPlot(client, frame);
  layout.XTickStep = NiceStep((frame.XMax - frame.XMin) / 50);
  layout.YTickStep = NiceStep((frame.YMax - frame.YMin) / 30);
  layout.XTitle = "TIME IN MILLISECONDS";
  layout.YTitle = "STAPES DISPLACEMENT IN MICRONS";
  // The title belongs to the pressure record; it stays empty until the header is edited or a
  // file read.
  waveform.PlotTitle.clear();

  ClearBand(painter, layout, frame);
  painter.setFont(AxisFont(client));
  PlotLinearAxes(painter, layout, frame);
  state.Main = frame;
  state.RightScale = frame;

  UseSolidPen(painter, kResultTrace);
  DrawTrace(painter, frame, waveform, waveform.WorkSamples, 1.0f, layout.FrameWidth,
            TraceDetail::EverySample);
}

void PlotBMDispSpace(QPainter& painter, QSize client, float distanceMin, float distanceMax,
                     float displacementMin, float displacementMax, float hazardMin, float hazardMax,
                     PlotState& state) {
  TPlotFrame frame;
  frame.XMin = distanceMin;
  frame.XMax = distanceMax;
  frame.YMin = displacementMin;
  frame.YMax = displacementMax;
  WidenEmptyRange(frame.XMin, frame.XMax, kMinDistanceRangeCm, false);
  WidenEmptyRange(frame.YMin, frame.YMax, kMinDisplacementRangeUm, true);
  WidenEmptyRange(hazardMin, hazardMax, kMinHazardRangeAru, false);
  PlotLayout layout = LayOutLinearPlot(client, frame);
  ReserveHazardScale(layout, frame);
  layout.XTickStep = NiceStep((frame.XMax - frame.XMin) / 25);
  layout.YTickStep = NiceStep((frame.YMax - frame.YMin) / 30);
  layout.XTitle = "DISTANCE FROM STAPES IN CM";
  layout.YTitle = "BM DISPLACEMENT IN MICRONS";
  state.Main = frame;
  state.RightScale = RightScaleFrame(frame, layout, hazardMin, hazardMax);

  ClearBand(painter, layout, frame);
  painter.setFont(AxisFont(client));
  PlotLinearAxes2(painter, layout, state.Main, state.RightScale);
}

void PressureTimePlot2(QPainter& painter, QSize client, const TWaveform& waveform, float hazardMin,
                       float hazardMax, PlotState& state) {
  state.PressureRangePending = true;
  TPlotFrame frame;
  PlotLayout layout = LayOutPressureTimePlot(client, waveform, frame);
  ReserveHazardScale(layout, frame);
  WidenEmptyRange(hazardMin, hazardMax, kMinHazardRangeAru, false);
  state.Main = state.Waveform = frame;
  state.SecondRightScale = RightScaleFrame(frame, layout, hazardMin, hazardMax);

  ClearBand(painter, layout, frame);
  UseSolidPen(painter, kResultTrace);
  DrawTrace(painter, frame, waveform, waveform.Samples, 0.001f, layout.FrameWidth,
            TraceDetail::Decimated);
  painter.setFont(AxisFont(client));
  PlotLinearAxes3(painter, layout, state.Waveform, state.SecondRightScale);
}

void HazardPlacesPlot(QPainter& painter, QSize client, const std::vector<PlaceResult>& warned,
                      const std::vector<PlaceResult>& unwarned) {
  TPlotFrame frame;
  frame.XMin = 0;
  frame.XMax = 0;
  frame.YMin = 0;
  frame.YMax = 0;
  for (const auto* places : {&warned, &unwarned})
    for (const PlaceResult& place : *places) {
      frame.XMax = std::max(frame.XMax, static_cast<float>(place.DistanceCm));
      frame.YMax = std::max(frame.YMax, place.Hazard);
    }
  frame.YMax *= 1.1f;  // the largest hazard below the frame's top
  WidenEmptyRange(frame.XMin, frame.XMax, kMinDistanceRangeCm, false);
  WidenEmptyRange(frame.YMin, frame.YMax, kMinHazardRangeAru, false);
  PlotLayout layout = LayOutLinearPlot(client, frame);
  layout.XTickStep = NiceStep((frame.XMax - frame.XMin) / 25);
  layout.YTickStep = NiceStep((frame.YMax - frame.YMin) / 30);
  layout.XTitle = "DISTANCE FROM STAPES IN CM";
  layout.YTitle = kHazardTitle;
  layout.PlotTitle = "HAZARD PER PLACE: WARNED (BLUE), UNWARNED (RED)";
  ClearBand(painter, layout, frame);
  painter.setFont(AxisFont(client));
  PlotLinearAxes(painter, layout, frame);
  const auto curve = [&](const std::vector<PlaceResult>& places, const QColor& colour) {
    QPolygon line;
    for (const PlaceResult& place : places) line << PointAt(frame, place.DistanceCm, place.Hazard);
    UseSolidPen(painter, colour);
    painter.drawPolyline(line);
    for (const QPoint& at : line) painter.drawRect(at.x() - 2, at.y() - 2, 4, 4);
  };
  curve(warned, kResultTrace);
  curve(unwarned, Qt::red);
}

}  // namespace orvek
