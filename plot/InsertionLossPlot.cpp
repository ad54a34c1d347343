#include "plot/InsertionLossPlot.h"
#include "base/Rounding.h"

#include <QPolygon>
#include <array>
#include <cmath>
#include <vector>

#include "plot/AxisRenderer.h"
#include "plot/SpectrumPlot.h"
#include "protection/ProtectorCircuit.h"

namespace orvek {
namespace {

// Upward triangle centred on `centre`, `half` pixels from centre to corner.
void DrawTriangle(QPainter& painter, QPoint centre, int half) {
  const QPolygon triangle(
      {centre + QPoint(0, -half), centre + QPoint(half, half), centre + QPoint(-half, half)});
  painter.drawPolygon(triangle);
}

struct CurveStyle {
  InsertionLossPath Path;
  QColor Colour;
};
const std::array<CurveStyle, 4> kCurves{{{InsertionLossPath::Total, QColor(0, 255, 0)},
                                         {InsertionLossPath::RigidPiston, QColor(128, 128, 128)},
                                         {InsertionLossPath::Leakage, QColor(0, 0, 255)},
                                         {InsertionLossPath::MaterialDeformation, Qt::black}}};

}  // namespace

void InsertionLossPlot(QPainter& painter, QSize client, std::span<const AttenuationRow> table,
                       const TCircuitValues& circuit, const std::string& protectorName,
                       PlotState& state) {
  const double lowestHz = table.empty() ? 100.0 : table.front().FrequencyHz;
  const double highestHz = table.empty() ? 10000.0 : table.back().FrequencyHz;
  // Laid out as the spectrum plots are, a decade beyond the data on each side.
  const SpectrumAxes axes{-60.0f, 5.0f, static_cast<float>(std::log10(lowestHz) - 1.0),
                          static_cast<float>(std::log10(highestHz) + 1.0)};
  TPlotFrame frame;
  PlotLayout layout = LayOutSpectrumPlot(client, axes, frame);
  layout.YTitle = "INSERTION LOSS (dB)";
  state.RightScale = frame;

  painter.fillRect(0, layout.BandTop, layout.BandWidth, layout.BandHeight, Qt::white);
  painter.setFont(AxisFont(client));
  PlotLogAxes3(painter, layout, frame);
  painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
  painter.drawLine(PointAt(frame, frame.XMin, 0.0), PointAt(frame, frame.XMax, 0.0));
  if (table.empty()) return;

  const QColor markerGreen(0, 128, 0);
  painter.setPen(QPen(markerGreen, 1, Qt::SolidLine));
  painter.setBrush(markerGreen);
  const int half = std::max(3, Rounded(client.height() / 150.0));
  for (const AttenuationRow& row : table)
    DrawTriangle(painter, PointAt(frame, std::log10(row.FrequencyHz), row.MeanDb + row.SpreadDb),
                 half);
  painter.setBrush(Qt::NoBrush);

  std::array<double, kInsertionLossCurvePoints> frequencies{};
  InsertionLossCurveFrequencies(lowestHz, highestHz, frequencies);
  const double xLo = frame.XMin, xHi = frame.XMax, yLo = frame.YMin, yHi = frame.YMax;
  for (std::size_t k = 0; k < kCurves.size(); ++k) {
    const CurveStyle& curve = kCurves[k];
    std::vector<QPoint> line;
    line.reserve(frequencies.size());
    for (const double f : frequencies)
      line.push_back(PointAt(frame, std::log10(f),
                             RatioLevelDb(InsertionLossPathRatio(circuit, curve.Path, f))));
    painter.setPen(QPen(curve.Colour, 1, Qt::SolidLine));
    painter.drawPolyline(line.data(), static_cast<int>(line.size()));
    const QPoint caption =
        PointAt(frame, 0.95 * xLo + 0.05 * xHi, (0.7 + 0.05 * k) * yLo + (0.3 - 0.05 * k) * yHi);
    DrawAnchored(painter, QString::fromStdString(std::string(InsertionLossPathCaption(curve.Path))),
                 caption.x(), caption.y(), 0);
  }
  painter.setPen(Qt::black);
  const QPoint name = PointAt(frame, 0.65 * xLo + 0.35 * xHi, 0.025 * yLo + 0.975 * yHi);
  DrawAnchored(painter, QString::fromStdString(protectorName), name.x(), name.y(), 0);
}

}  // namespace orvek
