// `orvek-cli compare`: noise reduction and insertion loss per band of a free-field recording
// against one at the ear, and the reduction of the true peak level and of the A-weighted energy.
#include <memory>

#include "base/FileNames.h"
#include "cli/Command.h"
#include "cli/CriteriaCommand.h"
#include "cli/FileAnalysis.h"
#include "metrics/BandComparison.h"
#include "metrics/PairedRecords.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

struct CompareOptions {
  std::string FreeField, Ear, Data;
  bool AppendTob = false;
};

// As "Overlay ORV waveform" compares them: both records over the free-field record's time span,
// at one sampling rate, the free field taken at the ear record's length.
ordered_json Compare(const fs::path& freeFieldFile, const fs::path& earFile, bool appendTob,
                     const fs::path& startup) {
  const auto opened = Open(freeFieldFile);
  const TWaveform& freeField = opened->Waveform;
  auto ear = std::make_unique<TWaveform>(freeField.Capacity());
  HeaderGrid earHeader;
  OpenNewFileType6(earFile, *ear, earHeader, opened->Random);
  RequireSameRate(freeField, *ear, freeFieldFile, earFile);
  const SampleSpan span = ComparisonWindow(freeField, freeField.TimeStart, freeField.TimeEnd).Span;
  CutToComparisonWindow(*ear, freeField.TimeStart, freeField.TimeEnd);
  const std::vector<float> atEar = FreeFieldAtEarLength(freeField, span, ear->Count());
  const BandComparison comparison =
      CompareBands(ComputeLeq300Spectrum(atEar.data(), static_cast<std::int32_t>(atEar.size()),
                                         freeField.SampleInterval),
                   SpectrumOf(*ear));
  const ImpulseCriteria earCriteria = CriteriaOf(*ear);
  const ImpulseCriteria freeFieldCriteria =
      ComputeImpulseCriteria(atEar, static_cast<double>(freeField.SampleInterval));
  // Reductions of the pair over the same window: null when either level is undefined.
  const auto reduction = [](const std::optional<double>& freeField,
                            const std::optional<double>& atEar) {
    return LevelJson(freeField && atEar ? std::optional(*freeField - *atEar) : std::nullopt);
  };

  const std::string name = UpperBaseName(freeFieldFile) + "_to_" + UpperBaseName(earFile);
  ordered_json out;
  out["free_field"] = freeFieldFile.string();
  out["ear"] = earFile.string();
  out["name"] = name;
  out["peak_reduction_db"] = reduction(freeFieldCriteria.LpkTrueDb, earCriteria.LpkTrueDb);
  out["a_energy_reduction_db"] = reduction(freeFieldCriteria.LAEDb, earCriteria.LAEDb);
  out["bands"] = ordered_json::array();
  for (int b = kFirstComparedBand; b <= kLastComparedBand; ++b) {
    const auto at = static_cast<std::size_t>(b - kFirstComparedBand);
    const auto value = [](const std::optional<double>& v) {
      return v ? ordered_json(*v) : ordered_json(nullptr);
    };
    out["bands"].push_back({{"band", b},
                            {"fc_hz", BandCentreHz(b)},
                            {"nr_db", value(comparison.NoiseReductionDb[at])},
                            {"tfoe_db", TfoeDb(b)},
                            {"il_db", value(comparison.InsertionLossDb[at])}});
  }
  if (appendTob) {
    const fs::path results = ResolveInFolder(startup, "Dat\\Hearing Protectors\\TOB.txt");
    std::error_code ignored;  // a folder that cannot be made is reported by the write
    fs::create_directories(results.parent_path(), ignored);
    AppendTobResults(results, TobResultsLine(comparison, name), {freeFieldFile, earFile});
    out["tob_results"] = results.string();
  }
  return out;
}

}  // namespace

Command AddCompareCommand(CLI::App& app) {
  const auto o = std::make_shared<CompareOptions>();
  CLI::App* compare = app.add_subcommand(
      "compare", "Noise reduction and insertion loss per band, free field against at the ear");
  compare->add_option("FREEFIELD", o->FreeField, "free-field ORV file")->required();
  compare->add_option("EAR", o->Ear, "ORV file recorded at the ear")->required();
  compare->add_flag(
      "--append-tob", o->AppendTob,
      "append the result line to \"Dat/Hearing Protectors/TOB.txt\" of the data folder");
  compare->add_option("--data", o->Data, "start-up folder (holds \"Man.Fig\")");
  return {compare, [o] {
            return PrintResult(Compare(o->FreeField, o->Ear, o->AppendTob, StartupFolder(o->Data)));
          }};
}

}  // namespace orvek::cli
