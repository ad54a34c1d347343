// `orvek-cli hazard`: the warned or unwarned analysis of the window on an ORV file.
#include <memory>

#include "cli/Command.h"
#include "cli/FileAnalysis.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

struct HazardOptions {
  std::string File, Data;
  bool Unwarned = false;
};

// The analysis on the file as read, with the hazard file written beside it. A hazard file that
// cannot be written is reported after the result.
ordered_json Hazard(const fs::path& file, bool unwarned, const fs::path& startup,
                    std::string& hazardFileError) {
  const TModelParameters p = LoadParameters(startup);
  const auto opened = Open(file);
  ReadFiles reads = ParameterFiles(startup, p);
  reads.push_back(file);
  return HazardJson(file, *opened, unwarned ? Listener::Unwarned : Listener::Warned, p,
                    HazardFileBeside(file, std::move(reads)), 0, hazardFileError,
                    TerminalProgress(opened->Waveform.LastSampleIndex));
}

}  // namespace

Command AddHazardCommand(CLI::App& app) {
  const auto o = std::make_shared<HazardOptions>();
  CLI::App* hazard = app.add_subcommand("hazard", "Hazard in auditory risk units of an ORV file");
  hazard->add_option("FILE", o->File, "ORV waveform file")->required();
  hazard->add_flag("--unwarned", o->Unwarned, "unwarned listener (default: warned)");
  hazard->add_option("--data", o->Data, "start-up folder (holds \"Man.Fig\")");
  return {hazard, [o] {
            std::string hazardFileError;
            const ordered_json result =
                Hazard(o->File, o->Unwarned, StartupFolder(o->Data), hazardFileError);
            return PrintResult(result, hazardFileError);
          }};
}

}  // namespace orvek::cli
