// `orvek-cli spectrum`: the 1/3-octave Leq300ms spectrum of an ORV file.
#include <memory>

#include "cli/Command.h"
#include "cli/FileAnalysis.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

struct SpectrumOptions {
  std::string File;
  bool WriteTob = false;
};

// The spectrum of the samples as read, as the window's "Leq300ms spectrum" takes them.
ordered_json Spectrum(const fs::path& file, bool writeTob) {
  const auto opened = Open(file);
  const Leq300Spectrum spectrum = SpectrumOf(opened->Waveform);
  ordered_json out;
  out["df"] = spectrum.Df;
  out["bands"] = ordered_json::array();
  for (int b = spectrum.FirstBand; b <= spectrum.LastBand; ++b)
    out["bands"].push_back(
        {{"band", b}, {"fc_hz", BandCentreHz(b)}, {"level_db", Finite(spectrum.BandLevelDb(b))}});
  if (writeTob) {
    const fs::path tob = fs::absolute(file).parent_path() / TobFileName(file.filename().string());
    WriteTobFile(tob, TobFileText(spectrum), {file});
    out["tob_file"] = tob.string();
  }
  return out;
}

}  // namespace

Command AddSpectrumCommand(CLI::App& app) {
  const auto o = std::make_shared<SpectrumOptions>();
  CLI::App* spectrum =
      app.add_subcommand("spectrum", "1/3-octave Leq300ms spectrum of an ORV file");
  spectrum->add_option("FILE", o->File, "ORV waveform file")->required();
  spectrum->add_flag("--tob", o->WriteTob, "also write the \".TOB\" file beside FILE");
  return {spectrum, [o] { return PrintResult(Spectrum(o->File, o->WriteTob)); }};
}

}  // namespace orvek::cli
