#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/FileNames.h"
#include "metrics/EnergyMetrics.h"
#include "metrics/ImpulseCriteria.h"
#include "metrics/Leq300Spectrum.h"
#include "model/HazardAnalysis.h"
#include "protection/ProtectedWaveform.h"
#include "waveform/HeaderGrid.h"
#include "waveform/Waveform.h"

// The analysis report: one PDF document per waveform with everything the program finds for it,
// laid out here once for the window's "Save report" and `orvek-cli report`, and the summary table
// of a batch.
namespace orvek {

// The hazard of one listener on one record.
struct ListenerHazard {
  float Aru = 0;
  std::vector<PlaceResult> Places;
  HazardValidity Validity;
};

// A data file the analysis used, named with its SHA-256 (hex) so that a reader can tell which.
struct UsedFile {
  std::filesystem::path Path;
  std::string Sha256;
};

struct ProtectedReport {
  std::string Protector;
  ProtectedRun Run;
  std::unique_ptr<TWaveform> Predicted;  // the predicted samples in Samples
  ListenerHazard Warned, Unwarned;
};

struct ReportContent {
  std::filesystem::path File;
  ReadFiles Reads;  // every file the analysis read, which the report may not replace
  HeaderGrid Grid;  // as read (the protector run does not change it)
  std::unique_ptr<TWaveform> Waveform;  // as read
  UsedFile Parameters, Catalogue;       // the catalogue only with a protector
  IntervalPeak Peak;                    // of the whole record
  TEnergyMetrics Energy;                // of the whole record
  ListenerHazard Warned, Unwarned;
  ImpulseCriteria Criteria;
  Leq300Spectrum Spectrum;
  std::optional<ProtectedReport> Protected;
};

// Called with the share of the work done, 0 .. 100, and what runs now.
using ReportProgress = std::function<void(int percent, const QString& stage)>;

// Reads `file` as "Open ORV waveform" does (nothing is written, not even a hazard file) and runs
// what the report shows, with the parameter file that "Man.Fig" in `startupFolder` names and,
// when `protector` is not empty, that protector of "HPD Atten.txt" there at the eardrum and the
// parameter file's incidence. OrvekError with the reader's or the model's message on failure.
ReportContent AnalyseForReport(const std::filesystem::path& file,
                               const std::filesystem::path& startupFolder,
                               const std::string& protector, const ReportProgress& progress = {});

// The report as PDF pages (A4): file and header, program version and the files used; the
// pressure-time plot, the energy measures and the hazard of both listeners with the allowed
// numbers and validity statements; the hazard per place; the impulse criteria with verdicts; the
// 1/3-octave spectrum and its bands; with a protector, its insertion loss, the predicted waveform
// and its hazard.
QByteArray ReportPdf(const ReportContent& report);

// A table of many files, one row per file: `columns` over `rows`; a row with an `Error` spans
// the columns after the first with it.
struct SummaryRow {
  QStringList Cells;
  QString Error;
};
QByteArray SummaryPdf(const QString& title, const QStringList& columns,
                      const std::vector<SummaryRow>& rows);

// Writes the bytes through the safe writer, never over one of `reads`; OrvekError naming the
// report on failure.
void WriteReportFile(const std::filesystem::path& file, const QByteArray& bytes,
                     const ReadFiles& reads);

// The program's version, as the report names it.
QString ProgramVersion();

}  // namespace orvek
