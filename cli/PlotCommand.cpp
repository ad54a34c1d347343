// `orvek-cli plot`: one of the window's pictures of an ORV file drawn headless and saved as PNG,
// SVG or PDF by the window's renderers.
#include <QPainter>
#include <QPen>
#include <iostream>
#include <map>
#include <memory>

#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "cli/Command.h"
#include "cli/FileAnalysis.h"
#include "cli/GuiSession.h"
#include "model/MovieFrameStore.h"
#include "model/MovieHazard.h"
#include "plot/HazardMovie.h"
#include "plot/InsertionLossPlot.h"
#include "plot/PictureFile.h"
#include "plot/PressureTimePlot.h"
#include "plot/ResultPlots.h"
#include "plot/SpectrumPlot.h"
#include "protection/ProtectedWaveform.h"
#include "protection/ProtectorCatalogue.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

enum class Kind { Pressure, Spectrum, Stapes, Cochlea, Places, Protector };

struct PlotOptions {
  std::string File, Output, Size, Protector, Data;
  Kind Picture = Kind::Pressure;
  bool Unwarned = false;
};

using Renderer = std::function<void(QPainter&, QSize client)>;

// A hazard run kept for drawing: the movie store holds the displacement the result plots show.
struct Analysis {
  std::unique_ptr<MovieFrameStore> Movie = std::make_unique<MovieFrameStore>();
  HazardResult Result;
};

Analysis Analyse(TWaveform& w, int mic, Listener listener, TModelParameters p) {
  Analysis a;
  const MuscleTiming timing =
      ComputeMuscleTiming(MuscleDelay(listener, p), w.SampleInterval, p.MuscleTimeConstant);
  a.Result = CalculateHazard(w, mic, timing, p, *a.Movie, std::nullopt);
  return a;
}

ordered_json RunPlot(const PlotOptions& o) {
  const fs::path file = o.File, output = o.Output;
  PictureFormatOf(output);  // a wrong extension is refused before any work
  const fs::path startup = StartupFolder(o.Data);
  const TModelParameters p = LoadParameters(startup);
  const auto opened = Open(file);
  TWaveform& w = opened->Waveform;
  const int mic = MicrophoneCode(opened->Grid);
  const Listener listener = o.Unwarned ? Listener::Unwarned : Listener::Warned;
  if (o.Picture == Kind::Protector && o.Protector.empty())
    throw OrvekError("--kind protector needs --protector NAME.");
  const GuiSession gui;

  PlotBand band = PlotBand::Lower;
  Renderer draw;
  std::optional<Analysis> analysis;
  std::optional<Leq300Spectrum> spectrum;
  ProtectedRun run;
  std::string protectorName;
  switch (o.Picture) {
    case Kind::Pressure:
      draw = [&](QPainter& painter, QSize client) {
        PlotState state;
        PressureTimePlot(painter, client, w, state);
      };
      break;
    case Kind::Spectrum:
      band = PlotBand::Upper;
      spectrum = SpectrumOf(w);
      draw = [&](QPainter& painter, QSize client) {
        PlotState state;
        Leq300SpectrumPlot(painter, client, *spectrum, state);
      };
      break;
    case Kind::Stapes:
      analysis = Analyse(w, mic, listener, p);
      // As "Stapes Displacement]": the stapes displacement of every frame the movie holds.
      for (std::int32_t i = 0;
           i <= MovieLastFrame(w.LastSampleIndex, analysis->Result.Cochlea.TransformLength); ++i)
        w.WorkSamples[i] = analysis->Movie->Frame(i, 1);
      draw = [&](QPainter& painter, QSize client) {
        PlotState state;
        PlotStDispTime(painter, client, w, analysis->Movie->StapesMin(),
                       analysis->Movie->StapesMax(), state);
      };
      break;
    case Kind::Cochlea:
      analysis = Analyse(w, mic, listener, p);
      draw = [&](QPainter& painter, QSize client) {
        PlotState state;
        PlotUnwrappedCochlea(painter, client, w, HazardPlaces(p),
                             FindMovieExtremes(*analysis->Movie, p.PlaceCount), state);
      };
      break;
    case Kind::Places: {
      const std::vector<PlaceResult> warned =
          Analyse(w, mic, Listener::Warned, p).Result.Cochlea.Places;
      const std::vector<PlaceResult> unwarned =
          Analyse(w, mic, Listener::Unwarned, p).Result.Cochlea.Places;
      draw = [=](QPainter& painter, QSize client) {
        HazardPlacesPlot(painter, client, warned, unwarned);
      };
      break;
    }
    case Kind::Protector: {
      band = PlotBand::Whole;
      const ProtectorCatalogue catalogue =
          LoadProtectorCatalogue(ResolveInFolder(startup, "HPD Atten.txt"));
      const TProtectorEntry& entry = FindProtectorNamed(catalogue, o.Protector);
      protectorName = entry.Name;
      TModelParameters runParameters = p;
      run = PredictUnderProtector(startup, entry, kProtectedAtEardrum, std::nullopt, file,
                                  runParameters, w, opened->Grid, opened->Random);
      // As the window shows it: the waveform outside, the insertion loss above it and the
      // predicted waveform over the pressure-time plot in green.
      draw = [&](QPainter& painter, QSize client) {
        PlotState state;
        PressureTimePlot(painter, client, w, state);
        InsertionLossPlot(painter, client, run.Table, run.Circuit, protectorName, state);
        painter.setPen(QPen(QColor(0, 128, 0), 1, Qt::SolidLine));
        DrawTrace(painter, state.Waveform, w, w.WorkSamples, 0.001f, client.width(),
                  TraceDetail::EverySample);
      };
      break;
    }
  }

  const QSize size =
      o.Size.empty() ? QSize(1200, band == PlotBand::Whole ? 800 : 400) : ParsePictureSize(o.Size);
  ReadFiles reads = ParameterFiles(startup, p);
  reads.push_back(file);
  if (o.Picture == Kind::Protector) reads.push_back(ResolveInFolder(startup, "HPD Atten.txt"));
  WritePlotPicture(output, size, band, QString::fromStdString(file.filename().string()), draw,
                   reads);

  ordered_json out;
  out["file"] = file.string();
  out["output"] = output.string();
  out["width"] = size.width();
  out["height"] = size.height();
  return out;
}

}  // namespace

Command AddPlotCommand(CLI::App& app) {
  const auto o = std::make_shared<PlotOptions>();
  CLI::App* plot = app.add_subcommand(
      "plot", "Draw one of the window's plots of an ORV file and save it as PNG, SVG or PDF");
  plot->add_option("FILE", o->File, "ORV waveform file")->required();
  const std::map<std::string, Kind> kinds{
      {"pressure", Kind::Pressure}, {"spectrum", Kind::Spectrum}, {"stapes", Kind::Stapes},
      {"cochlea", Kind::Cochlea},   {"places", Kind::Places},     {"protector", Kind::Protector}};
  plot->add_option("--kind", o->Picture,
                   "pressure, spectrum, stapes (displacement), cochlea (unwrapped), places "
                   "(hazard per place, both listeners) or protector (insertion loss and "
                   "predicted waveform)")
      ->required()
      ->transform(CLI::CheckedTransformer(kinds));
  plot->add_option("--protector", o->Protector,
                   "protector name as the catalogue menu shows it (--kind protector)");
  plot->add_flag("--unwarned", o->Unwarned, "unwarned listener for stapes and cochlea");
  plot->add_option("-o,--output", o->Output, "picture file: .png, .svg or .pdf")->required();
  plot->add_option("--size", o->Size,
                   "picture size WxH in pixels (default 1200x400, protector 1200x800)");
  plot->add_option("--data", o->Data, "start-up folder (holds \"Man.Fig\")");
  return {plot, [o] { return PrintResult(RunPlot(*o)); }};
}

}  // namespace orvek::cli
