#include "plot/SpectrumPlot.h"
#include "base/Rounding.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "plot/AxisRenderer.h"

namespace orvek {
namespace {

float LevelDb(double energy) { return static_cast<float>(10.0 * std::log10(energy)); }

const QColor kNarrowBand(0, 0, 255), kBands(0, 128, 0);

}  // namespace

SpectrumAxes AxesFor(const Leq300Spectrum& spectrum, float rangeDb) {
  SpectrumAxes axes;
  axes.YMax = LevelDb(spectrum.LargestValue);
  axes.YMin = axes.YMax - rangeDb;
  axes.XMin = static_cast<float>(std::log10(spectrum.Df));
  axes.XMax = static_cast<float>(std::log10(spectrum.Nyquist));
  return axes;
}

PlotLayout LayOutSpectrumPlot(QSize client, const SpectrumAxes& axes, TPlotFrame& frame) {
  PlotLayout layout;
  layout.Client = client;
  layout.BandTop = 0;
  layout.BandHeight = Rounded(0.5 * client.height());
  layout.BandWidth = client.width();
  layout.YTitle = "1/3 OCT LEQ(300MS)";
  layout.XLabelEvery = layout.YLabelEvery = 5;
  layout.YTickStep = NiceStep((axes.YMax - axes.YMin) / 30);
  frame.XMin = axes.XMin;
  frame.XMax = axes.XMax;
  frame.YMin = axes.YMin;
  frame.YMax = axes.YMax;
  LayOutLogPlot(layout, frame);
  return layout;
}

TPlotFrame DrawSpectrumAxes(QPainter& painter, QSize client, const SpectrumAxes& axes,
                            PlotState& state) {
  TPlotFrame frame;
  const PlotLayout layout = LayOutSpectrumPlot(client, axes, frame);
  painter.setFont(AxisFont(client));
  PlotLogAxes(painter, layout, frame, state);
  DrawAnchored(painter, "DB REF 20uPA", Rounded(0.3 * layout.FrameLeft),
               layout.BandTop + layout.BandHeight / 2, 3, true);
  state.Main = frame;
  return frame;
}

void DrawNarrowBandCurve(QPainter& painter, const TPlotFrame& frame, const Leq300Spectrum& spectrum,
                         const QColor& colour) {
  const std::size_t n = spectrum.BinEnergy.size() - 1;  // bins 1..n-1 are drawn
  if (n < 2) return;
  painter.setPen(QPen(colour, 1, Qt::SolidLine));
  std::vector<QPoint> line;
  int column = 0, low = 0, high = 0, last = 0;
  bool open = false;
  const auto flush = [&] {
    if (!open) return;
    if (low != high) line.emplace_back(column, low), line.emplace_back(column, high);
    line.emplace_back(column, last);
  };
  for (std::size_t k = 1; k < n; ++k) {
    float x = static_cast<float>(std::log10(k * spectrum.Df));
    float y = LevelDb(spectrum.BinEnergy[k]);
    const QPoint p = MapPoint(frame, x, y);
    if (open && p.x() == column) {
      low = std::min(low, p.y());
      high = std::max(high, p.y());
    } else {
      flush();
      column = p.x();
      low = high = p.y();
      open = true;
    }
    last = p.y();
  }
  flush();
  painter.drawPolyline(line.data(), static_cast<int>(line.size()));
}

void DrawBandCurve(QPainter& painter, const TPlotFrame& frame, const Leq300Spectrum& spectrum,
                   const QColor& colour) {
  painter.setPen(QPen(colour, 1, Qt::SolidLine));
  std::vector<QPoint> line;
  for (int b = spectrum.FirstBand; b <= spectrum.LastBand; ++b) {
    float x = b / 10.0f;
    float y = LevelDb(spectrum.Band(b));
    line.push_back(MapPoint(frame, x, y));
  }
  painter.drawPolyline(line.data(), static_cast<int>(line.size()));
}

void Leq300SpectrumPlot(QPainter& painter, QSize client, const Leq300Spectrum& spectrum,
                        PlotState& state) {
  const TPlotFrame frame = DrawSpectrumAxes(painter, client, AxesFor(spectrum, 60.0f), state);
  DrawNarrowBandCurve(painter, frame, spectrum, kNarrowBand);
  DrawBandCurve(painter, frame, spectrum, kBands);
}

}  // namespace orvek
