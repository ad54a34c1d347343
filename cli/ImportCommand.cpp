// `orvek-cli import`: a WAV, raw float, 16-bit or text recording saved as an ORV file, with the
// answers and edits the window would ask for given as options.
#include <cstdio>
#include <limits>
#include <memory>

#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "cli/Command.h"
#include "waveform/HeaderEdit.h"
#include "waveform/ImportReader.h"
#include "waveform/OrvFile.h"
#include "waveform/SampleCapacity.h"
#include "waveform/WaveformEdit.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

// What `import` is told instead of asking: the column, the channels, the byte order, and the
// header values and calibration the user would give in the window.
struct ImportOptions {
  std::string File, Output;
  std::optional<std::int32_t> Column, Channels, Channel;
  bool WordWrapped = false, BigEndian = false;
  std::optional<double> Rate, Scale, PeakPa, PeakDb;
  std::optional<int> Mic;
  std::optional<std::string> Title;
};

ImportChoices OptionChoices(const ImportOptions& o, const fs::path& file) {
  ImportChoices choices;
  choices.Int16Order = [&o] {
    return o.BigEndian ? ByteOrder::BigEndian : ByteOrder::LittleEndian;
  };
  choices.SpreadsheetColumn = [&o, file](std::int32_t columns) -> std::optional<std::int32_t> {
    if (o.WordWrapped) return std::nullopt;
    if (o.Column) {
      if (*o.Column < 1 || *o.Column > columns)
        throw OrvekError(Quoted(file) + " has " + std::to_string(columns) +
                         " columns; --column must be 1 to " + std::to_string(columns) + ".");
      return *o.Column;
    }
    if (columns == 1) return std::nullopt;  // one column: both readings agree
    throw OrvekError(Quoted(file) + " holds " + std::to_string(columns) +
                     " columns of numbers: choose one with --column K, or read all values in "
                     "order with --word-wrapped.");
  };
  // Without --channels a file whose first line of numbers holds one value is one channel (the
  // reader says so in its notices); several values on it may be channels or columns, so the user
  // must say which.
  choices.MultiplexedChannels = [&o, file](std::int64_t bytes, std::int32_t firstLineValues) {
    if (!o.Channels && firstLineValues > 1)
      throw OrvekError(Quoted(file) + " holds " + std::to_string(bytes) +
                       " bytes, too many to read at once, and its first line of numbers holds " +
                       std::to_string(firstLineValues) +
                       " values: give the number of multiplexed channels with --channels N and "
                       "the one to import with --channel K (from 0).");
    ImportChoices::Channels channels;
    channels.Count = o.Channels.value_or(1);
    channels.Chosen = o.Channel.value_or(0);
    if (channels.Count < 1 || channels.Count > 100 || channels.Chosen < 0 ||
        channels.Chosen >= channels.Count)
      throw OrvekError("--channels must be 1 to 100 and --channel 0 to channels - 1.");
    return channels;
  };
  return choices;
}

// Sets a header cell and applies it as an edit in the window's grid would.
void EditCell(LiveCell cell, int column, int row, const std::string& text, HeaderGrid& grid,
              TWaveform& w, const char* option) {
  grid.SetCell(column, row, text);
  if (!ApplyCellEdit(cell, grid, w).Accepted)
    throw OrvekError(std::string(option) + " \"" + text + "\" is not accepted.");
}

std::string WholeNumber(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.0f", value);
  return text;
}

ordered_json Import(const fs::path& file, const ImportOptions& o, const fs::path& out) {
  auto w = std::make_unique<TWaveform>(SampleCapacityFor(AvailablePhysicalMemory()));
  HeaderGrid grid;
  FillDefaultHeader(grid);
  const ImportReport report =
      OpenNewFileType4(file, ExtensionTag(file), OptionChoices(o, file), *w, grid);
  if (!report.Decoded) {
    std::string why;
    for (const std::string& notice : report.Notices) why += " " + notice;
    throw OrvekError("Nothing was imported from " + Quoted(file) + "." + why);
  }
  // One channel of a multi-channel WAV: its block, as "Select Segment" would keep it.
  if (report.Kind == ImportKind::Wav && o.Channel) {
    if (*o.Channel < 0 || *o.Channel >= report.WavChannels)
      throw OrvekError("--channel must be 0 to " + std::to_string(report.WavChannels - 1) + ".");
    const std::int32_t first = *o.Channel * report.FramesPerChannel;
    SelectSegment(*w, {first, first + report.FramesPerChannel - 1});
    w->TimeStart = 0.0f;
    w->TimeEnd = w->LastSampleIndex * w->SampleInterval;
    grid.SetCell(HeaderColumn::Value, HeaderRow::SampleCount, std::to_string(w->Count()));
  }
  // Checked here, since the cell shows the rate rounded to whole samples/s.
  if (o.Rate && !(*o.Rate >= 1.0 && *o.Rate <= std::numeric_limits<float>::max()))
    throw OrvekError("--rate " + ShortNumber(*o.Rate) +
                     " is not accepted: the sampling rate must be at least 1 sample/s and within "
                     "the single-precision range.");
  // A negative peak would turn the waveform upside down; zero would silence it.
  if (o.PeakPa && !(*o.PeakPa > 0.0))
    throw OrvekError("--peak-pa " + ShortNumber(*o.PeakPa) +
                     " is not accepted: the peak pressure must be a positive number of pascals.");
  // The file must carry the rate the samples were read at (the window shows it in a cell).
  EditCell(LiveCell::SampleRate, HeaderColumn::Value, HeaderRow::SampleRate,
           WholeNumber(o.Rate.value_or(w->SampleRate)), grid, *w, "--rate");
  if (o.Mic)
    EditCell(LiveCell::MicLocation, HeaderColumn::Value, HeaderRow::MicLocation,
             std::to_string(*o.Mic), grid, *w, "--mic");
  if (o.Title)
    EditCell(LiveCell::Title, HeaderColumn::Comment, HeaderRow::Title, *o.Title, grid, *w,
             "--title");
  if (o.Scale) ApplyCalibration(*w, CalibrationUnit::Factor, *o.Scale);
  if (o.PeakPa) ApplyCalibration(*w, CalibrationUnit::Pascal, *o.PeakPa);
  if (o.PeakDb) ApplyCalibration(*w, CalibrationUnit::PeakLevelDb, *o.PeakDb);
  if (w->Count() > kMaxOrvSamples)
    throw OrvekError("An ORV file holds at most " + std::to_string(kMaxOrvSamples) + " samples; " +
                     Quoted(file) + " gave " + std::to_string(w->Count()) + ".");
  const std::int32_t imported = w->Count();
  SaveOrvFile(out, true, grid, *w, {file});

  static constexpr const char* kKinds[] = {"wav", "raw-float32", "int16", "text", "large-text"};
  ordered_json json;
  json["file"] = file.string();
  json["output"] = out.string();
  json["kind"] = kKinds[static_cast<int>(report.Kind)];
  if (report.Kind == ImportKind::Wav) {
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

}  // namespace

Command AddImportCommand(CLI::App& app) {
  const auto o = std::make_shared<ImportOptions>();
  CLI::App* import = app.add_subcommand(
      "import", "Import a WAV, raw float, 16-bit or text recording and save it as an ORV file");
  import->add_option("FILE", o->File, "recording to import")->required();
  import->add_option("-o,--output", o->Output, "ORV file to write")->required();
  auto* column =
      import->add_option("--column", o->Column, "spreadsheet column holding the waveform");
  import->add_flag("--word-wrapped", o->WordWrapped, "all values in reading order")
      ->excludes(column);
  import->add_option("--channels", o->Channels,
                     "channels multiplexed in a large text file (default: 1 when its first line "
                     "of numbers holds one value)");
  import->add_option("--channel", o->Channel,
                     "channel to import (large text file: 0-based; WAV: keep that channel only)");
  import->add_flag("--big-endian", o->BigEndian, "16-bit binary values are byte-reversed");
  import->add_option("--rate", o->Rate, "sampling rate, samples/s (default: as read)");
  auto* scale = import->add_option("--scale", o->Scale, "multiply the samples by this factor");
  auto* peakPa =
      import->add_option("--peak-pa", o->PeakPa, "scale the largest sample to P pascals");
  auto* peakDb =
      import->add_option("--peak-db", o->PeakDb, "scale the largest sample to L dB peak");
  scale->excludes(peakPa)->excludes(peakDb);
  peakPa->excludes(peakDb);
  import->add_option("--mic", o->Mic, "1 free field, 2 canal entrance, 3 eardrum");
  import->add_option("--title", o->Title, "title for the waveform plot");
  return {import, [o] { return PrintResult(Import(o->File, *o, o->Output)); }};
}

}  // namespace orvek::cli
