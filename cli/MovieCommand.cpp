// `orvek-cli movie`: the unwrapped-cochlea animation of the hazard movie drawn offscreen, every
// K-th frame written as a PNG file, for reports and tests.
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "cli/Command.h"
#include "cli/FileAnalysis.h"
#include "cli/GuiSession.h"
#include "model/HazardAnalysis.h"
#include "model/MovieHazard.h"
#include "plot/HazardMovie.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

constexpr QSize kClient(1200, 800);

struct MovieOptions {
  std::string File;
  bool Unwarned = false;
  std::int32_t Every = 1;  // --frames K
  std::string Output;      // folder of the PNG files, made when missing
  std::string Data;
};

std::string FrameFileName(std::int32_t frame) {
  char name[32];
  std::snprintf(name, sizeof name, "frame-%06d.png", static_cast<int>(frame));
  return name;
}

// Analyses the file as the window does and plays the movie as the window draws it on a
// 1200 x 800 client area; writes the plot band (the lower half) of frames 1, 1 + K, 1 + 2K, ...
// as "frame-NNNNNN.png" (the frame number) and returns what it wrote.
ordered_json RunMovie(const MovieOptions& options) {
  const fs::path startup = StartupFolder(options.Data);
  TModelParameters p = LoadParameters(startup);
  const fs::path file = options.File;
  ReadFiles reads = ParameterFiles(startup, p);
  reads.push_back(file);
  const auto opened = Open(file);
  // Made before the analysis, so that a folder that cannot be made costs no waiting.
  const fs::path folder = options.Output;
  std::error_code error;
  std::string reason;
  if (folder.empty())
    reason = "no folder was named";
  else if (fs::exists(folder, error) && !fs::is_directory(folder, error))
    reason = "a file of that name exists";
  else if (fs::create_directories(folder, error); error)
    reason = error.message();
  if (!reason.empty())
    throw OrvekError("Cannot make the frame folder " + Quoted(folder) + " (-o): " + reason + ".");
  TWaveform& w = opened->Waveform;
  const Listener listener = options.Unwarned ? Listener::Unwarned : Listener::Warned;
  const MuscleTiming timing =
      ComputeMuscleTiming(MuscleDelay(listener, p), w.SampleInterval, p.MuscleTimeConstant);
  auto store = std::make_unique<MovieFrameStore>();
  const HazardResult result = CalculateHazard(w, MicrophoneCode(opened->Grid), timing, p, *store,
                                              std::nullopt, TerminalProgress(w.LastSampleIndex));

  const GuiSession gui;

  QImage canvas(kClient, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  PlotState plot;
  const MovieExtremes extremes = FindMovieExtremes(*store, p.PlaceCount);
  {
    QPainter painter(&canvas);
    PlotMovieAxes(painter, kClient, w, HazardPlaces(p), extremes, plot);
  }
  HazardMovie movie(*store, p, w, MovieLastFrame(w.LastSampleIndex, result.Cochlea.TransformLength),
                    result.Cochlea.WorstPlace, plot);
  const int bandTop = kClient.height() / 2;  // the plot band is the lower half
  ordered_json written = ordered_json::array();
  RecordMovie(canvas, movie, options.Every, [&](std::int32_t frame, const QImage& shown) {
    const fs::path png = folder / FrameFileName(frame);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!shown.copy(0, bandTop, kClient.width(), kClient.height() - bandTop).save(&buffer, "PNG"))
      throw OrvekError("The frame file " + Quoted(png) +
                       " could not be written: the PNG image could not be encoded.");
    if (const auto reason = WriteFileReplacing(png, bytes.toStdString(), reads))
      throw OrvekError("The frame file " + Quoted(png) + " could not be written: " + *reason + ".");
    written.push_back(png.filename().string());
  });

  ordered_json out;
  out["file"] = file.string();
  out["condition"] = options.Unwarned ? "unwarned" : "warned";
  out["aru"] = result.Cochlea.Hazard;
  out["worst_place"] = result.Cochlea.WorstPlace;
  out["last_frame"] = movie.LastFrame();
  out["every"] = options.Every;
  out["output"] = folder.string();
  out["written"] = written.size();
  out["frames"] = written;
  return out;
}

}  // namespace

Command AddMovieCommand(CLI::App& app) {
  const auto o = std::make_shared<MovieOptions>();
  MovieOptions& options = *o;
  CLI::App* movie = app.add_subcommand(
      "movie", "Draw the hazard movie of an ORV file and write every K-th frame as a PNG file");
  movie->add_option("FILE", options.File, "ORV waveform file")->required();
  movie->add_flag("--unwarned", options.Unwarned, "unwarned listener (default: warned)");
  movie->add_option("--frames", options.Every, "write every K-th frame, starting with frame 1")
      ->required()
      ->check(CLI::Validator(
          [](const std::string& text) -> std::string {
            std::int32_t every = 0;
            return CLI::detail::lexical_cast(text, every) && every >= 1
                       ? ""
                       : "\"" + text + "\" is not a whole number of at least 1";
          },
          "K >= 1"));
  movie->add_option("-o,--output", options.Output, "folder for the PNG files")->required();
  movie->add_option("--data", options.Data, "start-up folder (holds \"Man.Fig\")");
  return {movie, [o] { return PrintResult(RunMovie(*o)); }};
}

}  // namespace orvek::cli
