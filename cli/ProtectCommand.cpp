// `orvek-cli protect`: "APPLY HEARING PROTECTION" with the answers given as options.
#include <iostream>
#include <memory>
#include <optional>

#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "cli/Command.h"
#include "cli/FileAnalysis.h"
#include "protection/ProtectedWaveform.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

struct ProtectOptions {
  std::string File, Protector, Location = "eardrum", Data, Output;
  std::optional<int> Angle;  // none: the incidence of the parameter file
};

ordered_json Circuit(const TCircuitValues& c) {
  return {{"Lcup", c.Lcup},   {"Kcup", c.Kcup},   {"Kskin", c.Kskin}, {"Rskin", c.Rskin},
          {"Kcush", c.Kcush}, {"Rcush", c.Rcush}, {"Lleak", c.Lleak}, {"Rleak", c.Rleak},
          {"Kmat", c.Kmat},   {"Lmat", c.Lmat},   {"Rmat", c.Rmat}};
}

// The predicted waveform is written to `out` (the window writes it under its output name in the
// current folder).
ordered_json Protect(const fs::path& file, const std::string& protector,
                     const std::string& locationName, std::optional<int> angle,
                     const fs::path& startup, const fs::path& out) {
  const fs::path catalogueFile = ResolveInFolder(startup, "HPD Atten.txt");
  const ProtectorCatalogue catalogue = LoadProtectorCatalogue(catalogueFile);
  // Records the catalogue skips are named, as the window names them at start-up.
  for (const std::string& message : catalogue.Messages)
    std::cerr << "orvek-cli: " << message << '\n';
  const TProtectorEntry& entry = FindProtectorNamed(catalogue, protector);
  TModelParameters p = LoadParameters(startup);
  const auto opened = Open(file);
  const int location = locationName == "entrance" ? kProtectedAtEntrance : kProtectedAtEardrum;
  const ProtectedRun run = PredictUnderProtector(startup, entry, location, angle, file, p,
                                                 opened->Waveform, opened->Grid, opened->Random);
  ReadFiles reads = ParameterFiles(startup, p);
  reads.insert(reads.end(), {file, catalogueFile});
  WriteProtectedWaveform(out, opened->Waveform, opened->Grid, reads);

  const ProtectorForm form = ProtectorFormOf(run.Kind);
  ordered_json result;
  result["file"] = file.string();
  result["protector"] = entry.Name;
  result["kind"] = ProtectorKindWord(run.Kind);
  result["location"] = locationName;
  result["location_code"] = run.LocationCode;
  result["angle"] = run.AngleDegrees;
  result["canal_source_gain"] = p.CanalSourceGain;
  result["fitted_now"] = run.Fitted;
  result["circuit"] = Circuit(run.Circuit);
  result["insertion_loss"] = ordered_json::array();
  for (const AttenuationRow& row : run.Table)
    result["insertion_loss"].push_back(
        {{"frequency_hz", row.FrequencyHz},
         {"measured_db", row.MeanDb},
         {"spread_db", row.SpreadDb},
         {"model_db", ProtectorLevelDb(run.Circuit, form, row.FrequencyHz)}});
  result["samples"] = run.Count;
  result["output_name"] = run.OutputName;
  result["output"] = out.string();
  return result;
}

}  // namespace

Command AddProtectCommand(CLI::App& app) {
  const auto o = std::make_shared<ProtectOptions>();
  CLI::App* protect = app.add_subcommand(
      "protect", "Predict the waveform under a hearing protector of the catalogue");
  protect->add_option("FILE", o->File, "ORV waveform file (outside the protector)")->required();
  protect->add_option("--protector", o->Protector, "protector name as the catalogue menu shows it")
      ->required();
  protect->add_option("--location", o->Location, "where the waveform is predicted")
      ->check(CLI::IsMember({"eardrum", "entrance"}))
      ->capture_default_str();
  protect
      ->add_option("--angle", o->Angle,
                   "incidence angle, degrees from the facing direction (default: the "
                   "parameter file's, as the unprotected analysis)")
      ->check(CLI::Range(0, 360));
  protect->add_option("--data", o->Data, "start-up folder (holds \"Man.Fig\", \"HPD Atten.txt\")");
  protect->add_option("-o,--output", o->Output, "ORV file to write")->required();
  return {protect, [o] {
            return PrintResult(Protect(o->File, o->Protector, o->Location, o->Angle,
                                       StartupFolder(o->Data), o->Output));
          }};
}

}  // namespace orvek::cli
