// orvek-calibrate: derives the fitted values of the shipped ear-model parameter set from the
// published reference data, prints the comparison of model and references for every target, and
// on request writes the fitted values into the parameter file and draws the validation plots.
//
//   orvek-calibrate [--data DIR] [--write] [--plots DIR]
#include <CLI/CLI.hpp>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "plot/AxisRenderer.h"
#include "plot/PlotFrame.h"
#include "tools/calibration/Acoustics.h"
#include "tools/calibration/CalibrationTarget.h"
#include "tools/calibration/HazardCalibration.h"
#include "tools/calibration/Stability.h"

namespace fs = std::filesystem;
using namespace orvek;

namespace {

std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

// The parameter file with the fitted values in place of the old ones; each line keeps its
// comment.
std::string WithFittedValues(const std::string& text, const std::vector<FittedValue>& fitted) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  for (const FittedValue& value : fitted) {
    const int line = ParameterLine(value.Name);
    if (line < 1 || line > static_cast<int>(lines.size()))
      throw OrvekError("No parameter line holds " + value.Name + ".");
    std::string& l = lines[static_cast<std::size_t>(line - 1)];
    const std::size_t end = l.find_first_of(" \t");
    l = Number(value.Value) + (end == std::string::npos ? std::string() : l.substr(end));
  }
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

void PrintTable(const std::vector<TargetRow>& rows) {
  std::cout << "| target | condition | model | reference | tolerance | unit | pass |\n"
            << "|---|---|---|---|---|---|---|\n";
  for (const TargetRow& r : rows) {
    const char* kind = r.Kind == TargetRow::Check::AtMost    ? "<= "
                       : r.Kind == TargetRow::Check::AtLeast ? ">= "
                                                             : "+- ";
    std::cout << "| " << r.Target << " | " << r.Condition << " | " << Number(r.Model) << " | "
              << Number(r.Reference) << " | " << kind << Number(r.Tolerance) << " | " << r.Unit
              << " | " << (r.Pass() ? "yes" : "**no**") << " |\n";
  }
}

std::string FileSlug(const std::string& title) {
  std::string slug;
  for (const char c : title)
    slug += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '-';
  return slug;
}

// One validation plot: the model as a blue line, the reference as red crosses joined by a thin
// line, on the program's own axes (logarithmic frequency or linear).
void DrawCurve(const Curve& curve, const fs::path& file) {
  const QSize client(1000, 900);  // the plot band is the upper half: 1000 x 450
  QImage image(client, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  double low = INFINITY, high = -INFINITY;
  for (const auto* values : {&curve.Model, &curve.Model2, &curve.Reference})
    for (const double v : *values)
      if (std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
  if (!(high > low)) high = low + 1;
  const double pad = 0.08 * (high - low);
  const auto x = [&](double v) { return static_cast<float>(curve.LogX ? std::log10(v) : v); };

  TPlotFrame frame;
  frame.XMin = x(curve.X.front());
  frame.XMax = x(curve.X.back());
  frame.YMin = static_cast<float>(low - pad);
  frame.YMax = static_cast<float>(high + pad);
  PlotLayout layout;
  layout.Client = client;
  layout.BandTop = 0;
  layout.BandHeight = client.height() / 2;
  layout.BandWidth = client.width();
  layout.XTitle = curve.XTitle;
  layout.YTitle = curve.YTitle;
  layout.PlotTitle = curve.Title;
  layout.XLabelEvery = layout.YLabelEvery = 5;
  layout.XTickStep = NiceStep((frame.XMax - frame.XMin) / 50);
  layout.YTickStep = NiceStep((frame.YMax - frame.YMin) / 30);
  LayOutLogPlot(layout, frame);  // margins of the logarithmic plots suit both kinds
  painter.setFont(AxisFont(client));
  if (curve.LogX)
    PlotLogAxes(painter, layout, frame);
  else
    PlotLinearAxes(painter, layout, frame);

  const auto polyline = [&](const std::vector<double>& values, const QColor& colour, bool marks) {
    painter.setPen(QPen(colour, marks ? 1 : 2));
    std::vector<QPoint> points;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!std::isfinite(values[i])) continue;
      float px = x(curve.X[i]), py = static_cast<float>(values[i]);
      points.push_back(MapPoint(frame, px, py));
    }
    painter.drawPolyline(points.data(), static_cast<int>(points.size()));
    if (marks)
      for (const QPoint& p : points) {
        painter.drawLine(p + QPoint(-4, -4), p + QPoint(4, 4));
        painter.drawLine(p + QPoint(-4, 4), p + QPoint(4, -4));
      }
  };
  std::string legend = "blue: " + curve.ModelName;
  if (std::isfinite(curve.MarkX)) {
    float markX = x(curve.MarkX), topY = frame.YMax, bottomY = frame.YMin;
    const QPoint top = MapPoint(frame, markX, topY);
    markX = x(curve.MarkX);  // MapPoint may clip its arguments
    const QPoint bottom = MapPoint(frame, markX, bottomY);
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawLine(top, bottom);
    DrawAnchored(painter, QString::fromStdString(curve.MarkName), bottom.x() + 4, bottom.y() - 24,
                 0);
  }
  polyline(curve.Reference, QColor(255, 0, 0), true);
  if (!curve.Model2.empty()) {
    polyline(curve.Model2, QColor(0, 150, 0), false);
    legend += "   green: " + curve.Model2Name;
  }
  polyline(curve.Model, QColor(0, 0, 255), false);
  painter.setPen(Qt::black);
  DrawAnchored(painter, QString::fromStdString(legend + "   red x: " + curve.ReferenceName),
               layout.FrameLeft + 10, layout.BandTop + 10, 0);
  painter.end();
  image.copy(0, 0, client.width(), client.height() / 2).save(QString::fromStdString(file.string()));
}

std::string ListenerName(Listener listener) {
  return listener == Listener::Warned ? "warned" : "unwarned";
}

// The grid as the document's table, one table per A-duration, and where the hazard falls with
// level and where warned exceeds unwarned.
std::string GridTables(const std::vector<GridPoint>& grid) {
  std::ostringstream out;
  char line[512];
  double duration = -1;
  for (const GridPoint& g : grid) {
    if (g.DurationMs != duration) {
      duration = g.DurationMs;
      out << "\n### A-duration " << Number(duration) << " ms\n\n"
          << "| peak dB | ARU warned | ARU unwarned | 500/ARU warned | 500/ARU unwarned | Na | "
             "stapes peak um (W / U) | notes |\n|---|---|---|---|---|---|---|---|\n";
    }
    std::string notes;
    if (g.Warned.Aru > g.Unwarned.Aru) notes += "warned above unwarned; ";
    if (g.Unwarned.Validity.StapesAtCeiling) notes += "stapes at its limit (U); ";
    if (g.Warned.Validity.StapesAtCeiling) notes += "stapes at its limit (W); ";
    if (g.LevelDb > kPeakLimitDb) notes += "above 140 dB; ";
    if (!notes.empty()) notes.resize(notes.size() - 2);
    std::snprintf(line, sizeof line,
                  "| %.0f | %.4g | %.4g | %.4g | %.4g | %.4g | %.2f / %.2f | %s |\n", g.LevelDb,
                  g.Warned.Aru, g.Unwarned.Aru, g.Warned.AllowedExposures,
                  g.Unwarned.AllowedExposures, g.Unwarned.EnergyAllowed,
                  g.Warned.Validity.PeakStapesUm, g.Unwarned.Validity.PeakStapesUm, notes.c_str());
    out << line;
  }
  return out.str();
}

std::string GridFindings(const std::vector<GridPoint>& grid) {
  std::ostringstream out;
  char line[256];
  out << "| A-duration | listener | ARU falls from | to | ARU ratio |\n|---|---|---|---|---|\n";
  for (const HazardDip& d : HazardDips(grid)) {
    std::snprintf(line, sizeof line, "| %g ms | %s | %.0f dB | %.0f dB | %.3f |\n", d.DurationMs,
                  ListenerName(d.Who).c_str(), d.FromDb, d.ToDb, d.Ratio);
    out << line;
  }
  out << "\n| A-duration | warned above unwarned from | to | largest warned / unwarned | at "
         "|\n|---|---|---|---|---|\n";
  for (const WarnedAbove& w : WarnedAboveUnwarned(grid)) {
    std::snprintf(line, sizeof line, "| %g ms | %.0f dB | %.0f dB | %.3f | %.0f dB |\n",
                  w.DurationMs, w.FromDb, w.ToDb, w.LargestRatio, w.LargestAtDb);
    out << line;
  }
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Derives and checks the shipped ear-model parameter set"};
  std::string data = ORVEK_DATA_DIR, plots;
  bool write = false;
  app.add_option("--data", data, "start-up folder holding \"Man.Fig\"")->capture_default_str();
  app.add_flag("--write", write, "write the fitted values into the parameter file");
  app.add_option("--plots", plots, "folder for the validation plots (PNG)");
  CLI11_PARSE(app, argc, argv);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication gui(argc, argv);

  try {
    TModelParameters p = LoadShippedParameters(data);
    std::vector<FittedValue> fitted = FitAcoustics(p);
    for (FittedValue& v : FitHazard(p)) fitted.push_back(std::move(v));
    std::cout << "## Fitted values\n\n| value | name | how |\n|---|---|---|\n";
    for (const FittedValue& v : fitted)
      std::cout << "| " << Number(v.Value) << " | " << v.Name << " | " << v.How << " |\n";

    // The document's grid; the targets take its 5 dB levels.
    const std::vector<GridPoint> grid = HazardGrid(p, GridLevelsDb(), GridDurationsMs());
    std::vector<GridPoint> every5Db;
    std::copy_if(grid.begin(), grid.end(), std::back_inserter(every5Db), [](const GridPoint& g) {
      return std::fmod(g.LevelDb - GridLevelsDb().front(), 5.0) == 0.0;
    });
    std::vector<TargetRow> rows = AcousticTargets(p);
    for (TargetRow& r : HazardTargets(p, every5Db)) rows.push_back(std::move(r));
    for (TargetRow& r : StabilityTargets(p)) rows.push_back(std::move(r));
    std::cout << "\n## Targets\n\n";
    PrintTable(rows);
    std::cout << "\n## Hazard grid: where the hazard falls with level, where warned exceeds "
                 "unwarned\n\n"
              << GridFindings(grid);

    if (write) {
      const fs::path manFig = ResolveInFolder(data, "Man.Fig");
      const fs::path file = ResolveInFolder(data, ReadManFig(manFig));
      std::ifstream in(file, std::ios::binary);
      const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      if (const auto reason = WriteFileReplacing(file, WithFittedValues(text, fitted), {manFig}))
        throw OrvekError("Cannot write " + file.string() + ": " + *reason);
      std::cout << "\nWrote the fitted values into " << file.string() << "\n";
    }
    if (!plots.empty()) {
      fs::create_directories(plots);
      std::vector<Curve> curves = AcousticCurves(p);
      for (Curve& c : HazardCurves(p, grid)) curves.push_back(std::move(c));
      for (const Curve& c : curves) DrawCurve(c, fs::path(plots) / (FileSlug(c.Title) + ".png"));
      const fs::path table = fs::path(plots) / "hazard-grid.md";
      const std::string text =
          "# Hazard grid of the shipped parameter set\n\nFree-field Friedlander impulses, 200 "
          "kHz, 8192 samples, onset 5 ms, as `orvek-calibrate --plots` computes them; Na is the "
          "equal-energy count of the same record. Stapes peak: largest |stapes displacement|; "
          "its limit is the ceiling of the nonlinearity.\n\n" +
          GridFindings(grid) + GridTables(grid);
      if (const auto reason = WriteFileReplacing(table, text))
        throw OrvekError("Cannot write " + table.string() + ": " + *reason);
    }
    int failed = 0;
    for (const TargetRow& r : rows) failed += !r.Pass();
    std::cout << "\n" << rows.size() - failed << " of " << rows.size() << " targets met.\n";
    return failed == 0 ? 0 : 2;
  } catch (const std::exception& error) {
    std::cerr << "orvek-calibrate: " << error.what() << "\n";
    return 1;
  }
}
