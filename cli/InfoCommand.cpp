// `orvek-cli info`: what the main reader makes of an ORV file.
#include <memory>

#include "cli/Command.h"
#include "cli/FileAnalysis.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

struct InfoOptions {
  std::string File, Data;
};

ordered_json Info(const fs::path& file) {
  const auto opened = Open(file);
  const TWaveform& w = opened->Waveform;
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

}  // namespace

Command AddInfoCommand(CLI::App& app) {
  const auto o = std::make_shared<InfoOptions>();
  CLI::App* info = app.add_subcommand("info", "Read an ORV waveform file and describe it");
  info->add_option("FILE", o->File, "ORV waveform file")->required();
  info->add_option("--data", o->Data, "start-up folder (holds \"Man.Fig\")");
  return {info, [o] {
            StartupFolder(o->Data);  // a wrong --data is reported even where no data is needed
            return PrintResult(Info(o->File));
          }};
}

}  // namespace orvek::cli
