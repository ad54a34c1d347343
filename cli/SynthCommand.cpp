// `orvek-cli synth friedlander`: a synthetic impulse written as an ORV file.
#include <algorithm>
#include <cstdio>
#include <memory>

#include "cli/Command.h"
#include "model/Friedlander.h"
#include "waveform/HeaderGrid.h"
#include "waveform/OrvFile.h"
#include "waveform/Waveform.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

struct SynthOptions {
  FriedlanderSpec Spec;
  std::string Output;
};

ordered_json Synthesize(const FriedlanderSpec& spec, const fs::path& out) {
  const std::vector<float> samples = FriedlanderSamples(spec);
  const std::int32_t count = PowerOfTwoCount(spec.Samples, true);
  TWaveform w(std::max(count, spec.Samples));
  std::copy(samples.begin(), samples.end(), w.Samples.begin());
  w.LastSampleIndex = spec.Samples - 1;
  HeaderGrid grid;
  FillDefaultHeader(grid);
  grid.SetCell(HeaderColumn::Comment, HeaderRow::Title, FriedlanderTitle(spec));
  char rate[64];
  std::snprintf(rate, sizeof rate, "%.10g", spec.SampleRate);
  grid.SetCell(HeaderColumn::Value, HeaderRow::SampleRate, rate);
  grid.SetCell(HeaderColumn::Value, HeaderRow::MicLocation, std::to_string(spec.MicLocation));
  grid.SetCell(HeaderColumn::Value, HeaderRow::SampleCount, std::to_string(count));
  SaveOrvFile(out, true, grid, w, {});
  ordered_json json;
  json["file"] = out.string();
  json["title"] = FriedlanderTitle(spec);
  json["samples"] = w.Count();
  json["peak_pa"] = *std::max_element(samples.begin(), samples.end());
  return json;
}

}  // namespace

Command AddSynthCommand(CLI::App& app) {
  const auto o = std::make_shared<SynthOptions>();
  CLI::App* synth = app.add_subcommand("synth", "Write a synthetic impulse as an ORV file");
  synth->require_subcommand(1);
  FriedlanderSpec& spec = o->Spec;
  CLI::App* friedlander = synth->add_subcommand("friedlander", "p(t) = P (1 - t/T) exp(-t/T)");
  friedlander->add_option("--peak-db", spec.PeakDb, "peak level, dB re 20 uPa")->required();
  friedlander->add_option("--a-duration-ms", spec.ADurationMs, "A-duration T, ms")->required();
  friedlander->add_option("--rate", spec.SampleRate, "samples per second")->required();
  friedlander->add_option("--samples", spec.Samples, "number of samples")->required();
  friedlander->add_option("--mic", spec.MicLocation, "1 free field, 2 canal entrance, 3 eardrum")
      ->required();
  friedlander->add_option("--onset-ms", spec.OnsetMs, "start of the impulse, ms")
      ->capture_default_str();
  friedlander->add_option("-o,--output", o->Output, "ORV file to write")->required();
  return {synth, [o] { return PrintResult(Synthesize(o->Spec, o->Output)); }};
}

}  // namespace orvek::cli
