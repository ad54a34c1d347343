// orvek-calibrate: derives the fitted values of the shipped ear-model parameter set from the
// published reference data, prints the comparison of model and references for every target, and
// on request writes the fitted values into the parameter file and draws the validation plots.
//
//   orvek-calibrate [--data DIR] [--write] [--plots DIR]
#include <CLI/CLI.hpp>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
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
  for (const auto* values : {&curve.Model, &curve.Reference})
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
  polyline(curve.Reference, QColor(255, 0, 0), true);
  polyline(curve.Model, QColor(0, 0, 255), false);
  painter.setPen(Qt::black);
  DrawAnchored(
      painter,
      QString::fromStdString("blue: " + curve.ModelName + "   red x: " + curve.ReferenceName),
      layout.FrameLeft + 10, layout.BandTop + 10, 0);
  painter.end();
  image.copy(0, 0, client.width(), client.height() / 2).save(QString::fromStdString(file.string()));
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

    std::vector<TargetRow> rows = AcousticTargets(p);
    for (auto* more : {&HazardTargets, &StabilityTargets})
      for (TargetRow& r : (*more)(p)) rows.push_back(std::move(r));
    std::cout << "\n## Targets\n\n";
    PrintTable(rows);

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
      for (Curve& c : HazardCurves(p)) curves.push_back(std::move(c));
      for (const Curve& c : curves) DrawCurve(c, fs::path(plots) / (FileSlug(c.Title) + ".png"));
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
