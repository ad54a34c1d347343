// orvek-cli: the headless front end. Each command prints one JSON object on stdout; a failure
// prints one line on stderr and exits non-zero.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "waveform/FileNames.h"
#include "waveform/OrvFile.h"
#include "waveform/OrvekError.h"
#include "waveform/SampleCapacity.h"

namespace fs = std::filesystem;
using orvek::OrvekError;

namespace {

// The start-up folder as the window chooses it: --data, else the current directory when it holds
// "Man.Fig", else the data folder shipped with the program.
fs::path StartupFolder(const std::string& option) {
  const fs::path folder = option.empty() ? fs::current_path() : fs::path(option);
  if (fs::exists(orvek::ResolveInFolder(folder, "Man.Fig"))) return folder;
  if (!option.empty())
    throw OrvekError("The data folder \"" + option + "\" holds no \"Man.Fig\".");
  return ORVEK_DATA_DIR;
}

nlohmann::ordered_json Info(const fs::path& file) {
  orvek::TWaveform waveform(orvek::SampleCapacityFor(orvek::AvailablePhysicalMemory()));
  orvek::HeaderGrid grid;
  orvek::Lcg32 random;
  const fs::path folder = fs::absolute(file).parent_path();
  const auto report = orvek::OpenNewFileType5(file, orvek::FolderWritable(folder), false, waveform,
                                              grid, random);
  nlohmann::ordered_json out;
  out["file"] = file.string();
  out["title"] = waveform.PlotTitle;
  out["sample_rate"] = waveform.SampleRate;
  out["mic_location"] = waveform.MicLocation;
  out["samples_read"] = report.SamplesRead;
  out["samples"] = waveform.Count();
  out["data_max"] = waveform.DataMax;
  out["data_min"] = waveform.DataMin;
  out["flat_energy"] = waveform.FlatEnergy;
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"ORVEK intense sound hazard analysis, command line"};
  app.require_subcommand(1);
  std::string dataOption;
  std::string file;
  CLI::App* info = app.add_subcommand("info", "Read an ORV waveform file and describe it");
  info->add_option("FILE", file, "ORV waveform file")->required();
  info->add_option("--data", dataOption, "start-up folder (holds \"Man.Fig\")");
  CLI11_PARSE(app, argc, argv);

  try {
    StartupFolder(dataOption);  // a wrong --data is reported even where a command needs no data
    if (*info) std::cout << Info(file).dump(2) << '\n';
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "orvek-cli: " << error.what() << '\n';
    return 1;
  }
}
