// orvek-cli: the headless front end. Each command prints one JSON object on stdout; a failure
// prints one line on stderr and exits non-zero.
#include <CLI/CLI.hpp>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "cli/BatchCommand.h"
#include "cli/FileAnalysis.h"
#include "cli/MovieCommand.h"
#include "metrics/BandComparison.h"
#include "metrics/EnergyMetrics.h"
#include "metrics/Leq300Spectrum.h"
#include "metrics/PairedRecords.h"
#include "model/EarResponse.h"
#include "model/Friedlander.h"
#include "model/HazardAnalysis.h"
#include "protection/ProtectedWaveform.h"
#include "waveform/FileNames.h"
#include "waveform/HeaderEdit.h"
#include "waveform/ImportReader.h"
#include "waveform/OrvFile.h"
#include "waveform/OrvekError.h"
#include "waveform/SampleCapacity.h"
#include "waveform/WaveformEdit.h"

namespace fs = std::filesystem;
using nlohmann::ordered_json;
using orvek::OrvekError;
using namespace orvek::cli;

namespace {

ordered_json Info(const fs::path& file) {
  const auto opened = Open(file);
  const orvek::TWaveform& w = opened->Waveform;
  ordered_json out;
  out["file"] = file.string();
  out["title"] = w.PlotTitle;
  out["sample_rate"] = w.SampleRate;
  out["mic_location"] = w.MicLocation;
  out["samples_read"] = opened->Report.SamplesRead;
  out["samples"] = w.Count();
  out["data_max"] = w.DataMax;
  out["data_min"] = w.DataMin;
  out["flat_energy"] = w.FlatEnergy;
  return out;
}

// The warned or unwarned analysis of the window, on the file as read, with the hazard file
// written beside it. A hazard file that cannot be written is reported after the result.
ordered_json Hazard(const fs::path& file, bool unwarned, const fs::path& startup,
                    std::string& hazardFileError) {
  const orvek::TModelParameters p = LoadParameters(startup);
  const auto opened = Open(file);
  return HazardJson(file, *opened, unwarned ? orvek::Listener::Unwarned : orvek::Listener::Warned,
                    p, HazardFileBeside(file, *opened), 0, hazardFileError);
}

ordered_json Synthesize(const orvek::FriedlanderSpec& spec, const fs::path& out) {
  const std::vector<float> samples = orvek::FriedlanderSamples(spec);
  const std::int32_t count = orvek::PowerOfTwoCount(spec.Samples, true);
  orvek::TWaveform w(std::max(count, spec.Samples));
  std::copy(samples.begin(), samples.end(), w.Samples.begin());
  w.LastSampleIndex = spec.Samples - 1;
  orvek::HeaderGrid grid;
  orvek::FillDefaultHeader(grid);
  grid.SetCell(2, 1, orvek::FriedlanderTitle(spec));
  char rate[64];
  std::snprintf(rate, sizeof rate, "%.10g", spec.SampleRate);
  grid.SetCell(1, 2, rate);
  grid.SetCell(1, 3, std::to_string(spec.MicLocation));
  grid.SetCell(1, 4, std::to_string(count));
  orvek::SaveOrvFile(out, true, grid, w);
  ordered_json json;
  json["file"] = out.string();
  json["title"] = orvek::FriedlanderTitle(spec);
  json["samples"] = w.Count();
  json["peak_pa"] = *std::max_element(samples.begin(), samples.end());
  return json;
}

// What `import` is told instead of asking: the column, the channels, the byte order, and the
// header values and calibration the user would give in the window.
struct ImportOptions {
  std::optional<std::int32_t> Column, Channels, Channel;
  bool WordWrapped = false, BigEndian = false;
  std::optional<double> Rate, Scale, PeakPa, PeakDb;
  std::optional<int> Mic;
  std::optional<std::string> Title;
};

orvek::ImportChoices OptionChoices(const ImportOptions& o, const fs::path& file) {
  orvek::ImportChoices choices;
  choices.Int16Order = [&o] {
    return o.BigEndian ? orvek::ByteOrder::BigEndian : orvek::ByteOrder::LittleEndian;
  };
  choices.SpreadsheetColumn = [&o, file](std::int32_t columns) -> std::optional<std::int32_t> {
    if (o.WordWrapped) return std::nullopt;
    if (o.Column) {
      if (*o.Column < 1 || *o.Column > columns)
        throw OrvekError("\"" + file.string() + "\" has " + std::to_string(columns) +
                         " columns; --column must be 1 to " + std::to_string(columns) + ".");
      return *o.Column;
    }
    if (columns == 1) return std::nullopt;  // one column: both readings agree
    throw OrvekError("\"" + file.string() + "\" holds " + std::to_string(columns) +
                     " columns of numbers: choose one with --column K, or read all values in "
                     "order with --word-wrapped.");
  };
  choices.MultiplexedChannels = [&o](std::int64_t) {
    orvek::ImportChoices::Channels channels;
    channels.Count = o.Channels.value_or(4);
    channels.Chosen = o.Channel.value_or(0);
    if (channels.Count < 1 || channels.Count > 100 || channels.Chosen < 0 ||
        channels.Chosen >= channels.Count)
      throw OrvekError("--channels must be 1 to 100 and --channel 0 to channels - 1.");
    return channels;
  };
  return choices;
}

// Sets a header cell and applies it as an edit in the window's grid would.
void EditCell(orvek::LiveCell cell, int column, int row, const std::string& text,
              orvek::HeaderGrid& grid, orvek::TWaveform& w, const char* option) {
  grid.SetCell(column, row, text);
  if (!orvek::ApplyCellEdit(cell, grid, w).Accepted)
    throw OrvekError(std::string(option) + " \"" + text + "\" is not accepted.");
}

std::string WholeNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

ordered_json Import(const fs::path& file, const ImportOptions& o, const fs::path& out) {
  auto w = std::make_unique<orvek::TWaveform>(
      orvek::SampleCapacityFor(orvek::AvailablePhysicalMemory()));
  orvek::HeaderGrid grid;
  orvek::FillDefaultHeader(grid);
  const orvek::ImportReport report =
      orvek::OpenNewFileType4(file, orvek::ExtensionTag(file), OptionChoices(o, file), *w, grid);
  if (!report.Decoded) {
    std::string why;
    for (const std::string& notice : report.Notices) why += " " + notice;
    throw OrvekError("Nothing was imported from \"" + file.string() + "\"." + why);
  }
  // One channel of a multi-channel WAV: its block, as "Select Segment" would keep it.
  if (report.Kind == orvek::ImportKind::Wav && o.Channel) {
    if (*o.Channel < 0 || *o.Channel >= report.WavChannels)
      throw OrvekError("--channel must be 0 to " + std::to_string(report.WavChannels - 1) + ".");
    const std::int32_t first = *o.Channel * report.FramesPerChannel;
    orvek::SelectSegment(*w, {first, first + report.FramesPerChannel - 1});
    w->TimeStart = 0.0f;
    w->TimeEnd = w->LastSampleIndex * w->SampleInterval;
    grid.SetCell(1, 4, std::to_string(w->Count()));
  }
  // The file must carry the rate the samples were read at (the window shows it in a cell).
  EditCell(orvek::LiveCell::SampleRate, 1, 2, WholeNumber(o.Rate.value_or(w->SampleRate)), grid, *w,
           "--rate");
  if (o.Mic)
    EditCell(orvek::LiveCell::MicLocation, 1, 3, std::to_string(*o.Mic), grid, *w, "--mic");
  if (o.Title) EditCell(orvek::LiveCell::Title, 2, 1, *o.Title, grid, *w, "--title");
  if (o.Scale) orvek::ApplyCalibration(*w, orvek::CalibrationUnit::Factor, *o.Scale);
  if (o.PeakPa) orvek::ApplyCalibration(*w, orvek::CalibrationUnit::Pascal, *o.PeakPa);
  if (o.PeakDb) orvek::ApplyCalibration(*w, orvek::CalibrationUnit::PeakLevelDb, *o.PeakDb);
  if (w->Count() > 1'048'576)
    throw OrvekError("An ORV file holds at most 1048576 samples; \"" + file.string() + "\" gave " +
                     std::to_string(w->Count()) + ".");
  const std::int32_t imported = w->Count();
  orvek::SaveOrvFile(out, true, grid, *w);

  static constexpr const char* kKinds[] = {"wav", "raw-float32", "int16", "text", "large-text"};
  ordered_json json;
  json["file"] = file.string();
  json["output"] = out.string();
  json["kind"] = kKinds[static_cast<int>(report.Kind)];
  if (report.Kind == orvek::ImportKind::Wav) {
    json["wav_description"] = report.WavDescription;
    json["wav_channels"] = report.WavChannels;
  }
  if (report.ColumnCount > 0) json["columns"] = report.ColumnCount;
  json["sample_rate"] = w->SampleRate;
  json["samples_imported"] = imported;
  json["samples_written"] = w->Count();
  json["data_max"] = w->DataMax;
  json["data_min"] = w->DataMin;
  json["notices"] = report.Notices;
  return json;
}

ordered_json Response(const std::string& tapName, int location, bool warned,
                      const fs::path& startup) {
  const orvek::ResponseTap tap = tapName == "stapes"    ? orvek::ResponseTap::Stapes
                                 : tapName == "eardrum" ? orvek::ResponseTap::Eardrum
                                                        : orvek::ResponseTap::Entrance;
  const auto rows = orvek::EarResponse(LoadParameters(startup), tap, location, warned,
                                       orvek::ResponseFrequencies());
  ordered_json out;
  out["tap"] = tapName;
  out["location"] = location;
  out["warned"] = warned;
  out["rows"] = ordered_json::array();
  for (const orvek::ResponseRow& row : rows)
    out["rows"].push_back(
        {{"frequency_hz", row.FrequencyHz}, {"magnitude", row.Magnitude}, {"db", row.Db}});
  return out;
}

ordered_json Metrics(const fs::path& file, std::optional<std::int32_t> first,
                     std::optional<std::int32_t> last) {
  return MetricsJson(file, *Open(file), first, last);
}

// The spectrum of the samples as read; they are the same the window's command uses.
orvek::Leq300Spectrum SpectrumOf(const orvek::TWaveform& w) {
  return orvek::ComputeLeq300Spectrum(w.Samples.data(), w.Count(), w.SampleInterval);
}

ordered_json Spectrum(const fs::path& file, bool writeTob) {
  const auto opened = Open(file);
  const orvek::Leq300Spectrum spectrum = SpectrumOf(opened->Waveform);
  ordered_json out;
  out["df"] = spectrum.Df;
  out["bands"] = ordered_json::array();
  for (int b = spectrum.FirstBand; b <= spectrum.LastBand; ++b)
    out["bands"].push_back({{"band", b},
                            {"fc_hz", orvek::BandCentreHz(b)},
                            {"level_db", Finite(spectrum.BandLevelDb(b))}});
  if (writeTob) {
    const fs::path tob =
        fs::absolute(file).parent_path() / orvek::TobFileName(file.filename().string());
    orvek::WriteTobFile(tob, orvek::TobFileText(spectrum));
    out["tob_file"] = tob.string();
  }
  return out;
}

// As "Overlay ORV waveform" compares them: the ear record cut to the free-field record's window,
// the free field taken at the ear record's length.
ordered_json Compare(const fs::path& freeFieldFile, const fs::path& earFile, bool appendTob,
                     const fs::path& startup) {
  const auto opened = Open(freeFieldFile);
  orvek::TWaveform& w = opened->Waveform;
  const std::int32_t freeFieldCount = w.Count();
  const float windowStart = w.TimeStart, windowEnd = w.TimeEnd;
  orvek::OpenNewFileType6(earFile, w, opened->Grid, opened->Random);
  orvek::CutToComparisonWindow(w, windowStart, windowEnd);
  const orvek::Leq300Spectrum ear = SpectrumOf(w);
  orvek::FreeFieldAtEarLength(w, freeFieldCount);
  const orvek::BandComparison comparison = orvek::CompareBands(SpectrumOf(w), ear);

  const std::string name =
      orvek::UpperBaseName(freeFieldFile) + "_to_" + orvek::UpperBaseName(earFile);
  ordered_json out;
  out["free_field"] = freeFieldFile.string();
  out["ear"] = earFile.string();
  out["name"] = name;
  out["bands"] = ordered_json::array();
  for (int b = orvek::kFirstComparedBand; b <= orvek::kLastComparedBand; ++b) {
    const auto at = static_cast<std::size_t>(b - orvek::kFirstComparedBand);
    const auto value = [](const std::optional<double>& v) {
      return v ? ordered_json(*v) : ordered_json(nullptr);
    };
    out["bands"].push_back({{"band", b},
                            {"fc_hz", orvek::BandCentreHz(b)},
                            {"nr_db", value(comparison.NoiseReductionDb[at])},
                            {"tfoe_db", orvek::TfoeDb(b)},
                            {"il_db", value(comparison.InsertionLossDb[at])}});
  }
  if (appendTob) {
    const fs::path results = orvek::ResolveInFolder(startup, "Dat\\Hearing Protectors\\TOB.txt");
    std::error_code ignored;  // a folder that cannot be made is reported by the write
    fs::create_directories(results.parent_path(), ignored);
    orvek::AppendTobResults(results, orvek::TobResultsLine(comparison, name));
    out["tob_results"] = results.string();
  }
  return out;
}

// The entry whose name the catalogue menu shows for `name`: upper-cased, with the characters a
// file name cannot hold replaced by "_" as the catalogue does.
const orvek::TProtectorEntry& FindProtector(const orvek::ProtectorCatalogue& catalogue,
                                            const std::string& name) {
  std::string wanted;
  for (const char c : name) {
    const bool replaced = std::string_view("\"*-./:<>?\\|").find(c) != std::string_view::npos;
    wanted += replaced ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  for (const orvek::TProtectorEntry& entry : catalogue.Entries)
    if (entry.Name == wanted) return entry;
  throw OrvekError("The protector catalogue lists no protector named \"" + wanted + "\".");
}

ordered_json Circuit(const orvek::TCircuitValues& c) {
  return {{"Lcup", c.Lcup},   {"Kcup", c.Kcup},   {"Kskin", c.Kskin}, {"Rskin", c.Rskin},
          {"Kcush", c.Kcush}, {"Rcush", c.Rcush}, {"Lleak", c.Lleak}, {"Rleak", c.Rleak},
          {"Kmat", c.Kmat},   {"Lmat", c.Lmat},   {"Rmat", c.Rmat}};
}

// "APPLY HEARING PROTECTION" with the answers given as options; the predicted waveform is written
// to `out` (the window writes it under its output name in the current folder).
ordered_json Protect(const fs::path& file, const std::string& protector,
                     const std::string& locationName, std::optional<int> angle,
                     const fs::path& startup, const fs::path& out) {
  const orvek::ProtectorCatalogue catalogue =
      orvek::LoadProtectorCatalogue(orvek::ResolveInFolder(startup, "HPD Atten.txt"));
  const orvek::TProtectorEntry& entry = FindProtector(catalogue, protector);
  orvek::TModelParameters p = LoadParameters(startup);
  const auto opened = Open(file);
  const int location =
      locationName == "entrance" ? orvek::kProtectedAtEntrance : orvek::kProtectedAtEardrum;
  const orvek::ProtectedRun run = orvek::PredictUnderProtector(
      startup, entry, location, angle, file, p, opened->Waveform, opened->Grid, opened->Random);
  orvek::WriteProtectedWaveform(out, file, opened->Waveform, opened->Grid);

  const orvek::ProtectorForm form = orvek::ProtectorFormOf(run.Kind);
  ordered_json result;
  result["file"] = file.string();
  result["protector"] = entry.Name;
  result["kind"] = orvek::ProtectorKindWord(run.Kind);
  result["location"] = locationName;
  result["location_code"] = run.LocationCode;
  result["angle"] = run.AngleDegrees;
  result["canal_source_gain"] = p.CanalSourceGain;
  result["fitted_now"] = run.Fitted;
  result["circuit"] = Circuit(run.Circuit);
  result["insertion_loss"] = ordered_json::array();
  for (const orvek::AttenuationRow& row : run.Table)
    result["insertion_loss"].push_back(
        {{"frequency_hz", row.FrequencyHz},
         {"measured_db", row.MeanDb},
         {"spread_db", row.SpreadDb},
         {"model_db", orvek::ProtectorLevelDb(run.Circuit, form, row.FrequencyHz)}});
  result["samples"] = run.Count;
  result["output_name"] = run.OutputName;
  result["output"] = out.string();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"ORVEK intense sound hazard analysis, command line"};
  app.require_subcommand(1);
  std::string dataOption, file, output;
  bool unwarned = false;

  CLI::App* info = app.add_subcommand("info", "Read an ORV waveform file and describe it");
  info->add_option("FILE", file, "ORV waveform file")->required();
  info->add_option("--data", dataOption, "start-up folder (holds \"Man.Fig\")");

  CLI::App* hazard = app.add_subcommand("hazard", "Hazard in auditory risk units of an ORV file");
  hazard->add_option("FILE", file, "ORV waveform file")->required();
  hazard->add_flag("--unwarned", unwarned, "unwarned listener (default: warned)");
  hazard->add_option("--data", dataOption, "start-up folder (holds \"Man.Fig\")");

  CLI::App* metrics =
      app.add_subcommand("metrics", "Peak level and A-weighted energy measures of an ORV file");
  std::optional<std::int32_t> firstIndex, lastIndex;
  metrics->add_option("FILE", file, "ORV waveform file")->required();
  metrics->add_option("--first", firstIndex, "first sample of the interval (default 0)");
  metrics->add_option("--last", lastIndex, "last sample of the interval (default the last)");

  CLI::App* spectrum =
      app.add_subcommand("spectrum", "1/3-octave Leq300ms spectrum of an ORV file");
  bool writeTob = false;
  spectrum->add_option("FILE", file, "ORV waveform file")->required();
  spectrum->add_flag("--tob", writeTob, "also write the \".TOB\" file beside FILE");

  CLI::App* compare = app.add_subcommand(
      "compare", "Noise reduction and insertion loss per band, free field against at the ear");
  std::string earFile;
  bool appendTob = false;
  compare->add_option("FREEFIELD", file, "free-field ORV file")->required();
  compare->add_option("EAR", earFile, "ORV file recorded at the ear")->required();
  compare->add_flag(
      "--append-tob", appendTob,
      "append the result line to \"Dat/Hearing Protectors/TOB.txt\" of the data folder");
  compare->add_option("--data", dataOption, "start-up folder (holds \"Man.Fig\")");

  CLI::App* response = app.add_subcommand(
      "response",
      "Low-level transfer of the ear model at the 1/3-octave frequencies 100 Hz-10 kHz");
  std::string tapName = "stapes";
  int location = 1;
  response->add_option("--tap", tapName, "stapes, eardrum or entrance")
      ->check(CLI::IsMember({"stapes", "eardrum", "entrance"}))
      ->capture_default_str();
  response
      ->add_option("--location", location,
                   "microphone of the stapes tap: 1 free field, 2 canal entrance, 3 eardrum")
      ->check(CLI::Range(1, 3))
      ->capture_default_str();
  bool warned = false;
  response->add_flag("--warned", warned, "middle-ear muscles contracted (stapes tap)");
  response->add_option("--data", dataOption, "start-up folder (holds \"Man.Fig\")");

  CLI::App* synth = app.add_subcommand("synth", "Write a synthetic impulse as an ORV file");
  synth->require_subcommand(1);
  orvek::FriedlanderSpec spec;
  CLI::App* friedlander = synth->add_subcommand("friedlander", "p(t) = P (1 - t/T) exp(-t/T)");
  friedlander->add_option("--peak-db", spec.PeakDb, "peak level, dB re 20 uPa")->required();
  friedlander->add_option("--a-duration-ms", spec.ADurationMs, "A-duration T, ms")->required();
  friedlander->add_option("--rate", spec.SampleRate, "samples per second")->required();
  friedlander->add_option("--samples", spec.Samples, "number of samples")->required();
  friedlander->add_option("--mic", spec.MicLocation, "1 free field, 2 canal entrance, 3 eardrum")
      ->required();
  friedlander->add_option("--onset-ms", spec.OnsetMs, "start of the impulse, ms")
      ->capture_default_str();
  friedlander->add_option("-o,--output", output, "ORV file to write")->required();
  CLI::App* import = app.add_subcommand(
      "import", "Import a WAV, raw float, 16-bit or text recording and save it as an ORV file");
  ImportOptions io;
  import->add_option("FILE", file, "recording to import")->required();
  import->add_option("-o,--output", output, "ORV file to write")->required();
  auto* column =
      import->add_option("--column", io.Column, "spreadsheet column holding the waveform");
  import->add_flag("--word-wrapped", io.WordWrapped, "all values in reading order")
      ->excludes(column);
  import->add_option("--channels", io.Channels, "channels multiplexed in a large text file");
  import->add_option("--channel", io.Channel,
                     "channel to import (large text file: 0-based; WAV: keep that channel only)");
  import->add_flag("--big-endian", io.BigEndian, "16-bit binary values are byte-reversed");
  import->add_option("--rate", io.Rate, "sampling rate, samples/s (default: as read)");
  auto* scale = import->add_option("--scale", io.Scale, "multiply the samples by this factor");
  auto* peakPa =
      import->add_option("--peak-pa", io.PeakPa, "scale the largest sample to P pascals");
  auto* peakDb =
      import->add_option("--peak-db", io.PeakDb, "scale the largest sample to L dB peak");
  scale->excludes(peakPa)->excludes(peakDb);
  peakPa->excludes(peakDb);
  import->add_option("--mic", io.Mic, "1 free field, 2 canal entrance, 3 eardrum");
  import->add_option("--title", io.Title, "title for the waveform plot");
  CLI::App* protect = app.add_subcommand(
      "protect", "Predict the waveform under a hearing protector of the catalogue");
  std::string protectorName, protectLocation = "eardrum";
  std::optional<int> angle;  // none: the incidence of the parameter file
  protect->add_option("FILE", file, "ORV waveform file (outside the protector)")->required();
  protect->add_option("--protector", protectorName, "protector name as the catalogue menu shows it")
      ->required();
  protect->add_option("--location", protectLocation, "where the waveform is predicted")
      ->check(CLI::IsMember({"eardrum", "entrance"}))
      ->capture_default_str();
  protect
      ->add_option("--angle", angle,
                   "incidence angle, degrees from the facing direction (default: the "
                   "parameter file's, as the unprotected analysis)")
      ->check(CLI::Range(0, 360));
  protect->add_option("--data", dataOption,
                      "start-up folder (holds \"Man.Fig\", \"HPD Atten.txt\")");
  protect->add_option("-o,--output", output, "ORV file to write")->required();
  BatchOptions batchOptions;
  CLI::App* batch = AddBatchCommand(app, batchOptions);
  MovieOptions movieOptions;
  CLI::App* movie = AddMovieCommand(app, movieOptions);
  CLI11_PARSE(app, argc, argv);

  try {
    ordered_json result;
    std::string hazardFileError;
    if (*info) {
      StartupFolder(dataOption);  // a wrong --data is reported even where a command needs no data
      result = Info(file);
    } else if (*hazard) {
      result = Hazard(file, unwarned, StartupFolder(dataOption), hazardFileError);
    } else if (*response) {
      result = Response(tapName, location, warned, StartupFolder(dataOption));
    } else if (*metrics) {
      result = Metrics(file, firstIndex, lastIndex);
    } else if (*spectrum) {
      result = Spectrum(file, writeTob);
    } else if (*compare) {
      result = Compare(file, earFile, appendTob, StartupFolder(dataOption));
    } else if (*protect) {
      result =
          Protect(file, protectorName, protectLocation, angle, StartupFolder(dataOption), output);
    } else if (*batch) {
      return RunBatch(batchOptions);
    } else if (*movie) {
      result = RunMovie(movieOptions);
    } else if (*import) {
      result = Import(file, io, output);
    } else {
      result = Synthesize(spec, output);
    }
    std::cout << result.dump(2) << '\n';
    if (!hazardFileError.empty()) {
      std::cerr << "orvek-cli: " << hazardFileError << '\n';
      return 1;
    }
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "orvek-cli: " << error.what() << '\n';
    return 1;
  }
}
