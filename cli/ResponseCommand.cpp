// `orvek-cli response`: the low-level transfer of the ear model at the 1/3-octave frequencies.
#include <memory>

#include "cli/Command.h"
#include "cli/FileAnalysis.h"
#include "model/EarResponse.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

struct ResponseOptions {
  std::string Tap = "stapes", Data;
  int Location = 1;
  bool Warned = false;
};

ordered_json Response(const std::string& tapName, int location, bool warned,
                      const fs::path& startup) {
  const ResponseTap tap = tapName == "stapes"    ? ResponseTap::Stapes
                          : tapName == "eardrum" ? ResponseTap::Eardrum
                                                 : ResponseTap::Entrance;
  const auto rows =
      EarResponse(LoadParameters(startup), tap, location, warned, ResponseFrequencies());
  ordered_json out;
  out["tap"] = tapName;
  out["location"] = location;
  out["warned"] = warned;
  out["rows"] = ordered_json::array();
  for (const ResponseRow& row : rows)
    out["rows"].push_back(
        {{"frequency_hz", row.FrequencyHz}, {"magnitude", row.Magnitude}, {"db", row.Db}});
  return out;
}

}  // namespace

Command AddResponseCommand(CLI::App& app) {
  const auto o = std::make_shared<ResponseOptions>();
  CLI::App* response = app.add_subcommand(
      "response",
      "Low-level transfer of the ear model at the 1/3-octave frequencies 100 Hz-10 kHz");
  response->add_option("--tap", o->Tap, "stapes, eardrum or entrance")
      ->check(CLI::IsMember({"stapes", "eardrum", "entrance"}))
      ->capture_default_str();
  response
      ->add_option("--location", o->Location,
                   "microphone of the stapes tap: 1 free field, 2 canal entrance, 3 eardrum")
      ->check(CLI::Range(1, 3))
      ->capture_default_str();
  response->add_flag("--warned", o->Warned, "middle-ear muscles contracted (stapes tap)");
  response->add_option("--data", o->Data, "start-up folder (holds \"Man.Fig\")");
  return {response, [o] {
            return PrintResult(Response(o->Tap, o->Location, o->Warned, StartupFolder(o->Data)));
          }};
}

}  // namespace orvek::cli
