#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "base/FileNames.h"
#include "base/Lcg32.h"
#include "metrics/Leq300Spectrum.h"
#include "model/HazardAnalysis.h"
#include "model/ModelParameters.h"
#include "waveform/HeaderGrid.h"
#include "waveform/OrvFile.h"
#include "waveform/SampleCapacity.h"
#include "waveform/Waveform.h"

// What the command-line commands share: the start-up folder, the parameters, the reading of a
// waveform file, and the hazard and metrics results of one file (the `hazard` and `metrics`
// commands print them; `batch` gathers them for many files).
namespace orvek::cli {

// The start-up folder as the window chooses it: `option` (--data), else the current directory
// when it holds "Man.Fig", else the per-user data folder, copied from the shipped one on first
// use (DefaultStartupFolder).
std::filesystem::path StartupFolder(const std::string& option);

// The parameter file "Man.Fig" names, with its derived constants, as the window loads it.
TModelParameters LoadParameters(const std::filesystem::path& startup);

// The files LoadParameters read: "Man.Fig" and the parameter file (p.Source).
ReadFiles ParameterFiles(const std::filesystem::path& startup, const TModelParameters& p);

// A waveform read by the main reader, as "Open ORV waveform" reads it.
struct OpenedWaveform {
  TWaveform Waveform{SampleCapacityFor(AvailablePhysicalMemory())};
  HeaderGrid Grid;
  OrvReadReport Report;
  Lcg32 Random;  // the dither generator, which a second (overlay) read continues
  bool Writable = false;
};

std::unique_ptr<OpenedWaveform> Open(const std::filesystem::path& file);

// JSON has no infinities: a level without energy or an unlimited count is null.
nlohmann::ordered_json Finite(long double value);

// Where the window writes the hazard table of `file`: "BASE.HAZ" beside it, never over one of
// `reads` (the waveform and the parameter files). A read-only folder is reported when the table
// cannot be written, so that an older table is never taken for the result of this run.
OutputFile HazardFileBeside(const std::filesystem::path& file, ReadFiles reads);

// Progress of a long run on stderr, "\rhazard: sample i of N", redrawn in place when stderr is a
// terminal; nothing (an empty callback) elsewhere, so that logs and scripts stay clean.
ProgressCallback TerminalProgress(std::int32_t last);

// The warned or unwarned analysis of the window on the record as read, with `p` as loaded (the
// run changes its copy). The cochlear places run on `threads` threads (0: as many as pay off).
// A hazard file that cannot be written is not a failure of the analysis: its message is left in
// `hazardFileError` (empty when written or not asked for).
nlohmann::ordered_json HazardJson(const std::filesystem::path& file, OpenedWaveform& opened,
                                  Listener listener, TModelParameters p,
                                  const std::optional<OutputFile>& hazardFile, int threads,
                                  std::string& hazardFileError,
                                  const ProgressCallback& progress = {});

// Peak level and A-weighted energy measures over samples first..last (default: the whole record).
nlohmann::ordered_json MetricsJson(const std::filesystem::path& file, const OpenedWaveform& opened,
                                   std::optional<std::int32_t> first,
                                   std::optional<std::int32_t> last);

// The Leq300ms spectrum of the record's samples as they stand, as the window's commands take it.
Leq300Spectrum SpectrumOf(const TWaveform& w);

}  // namespace orvek::cli
