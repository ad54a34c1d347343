// `orvek-cli report`: the analysis report of an ORV file as a PDF document.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "cli/FileAnalysis.h"
#include "cli/GuiSession.h"
#include "report/AnalysisReport.h"

namespace orvek::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

struct ReportOptions {
  std::string File, Protector, Output, Data;
};

// Progress on stderr: on a terminal one line redrawn, elsewhere a line per stage.
ReportProgress StderrProgress() {
  const bool terminal = isatty(fileno(stderr)) != 0;
  return [terminal, last = QString()](int percent, const QString& stage) mutable {
    const std::string line = "report: " + std::to_string(percent) + "% " + stage.toStdString();
    if (terminal)
      std::cerr << '\r' << line << "\033[K" << (percent == 100 ? "\n" : "") << std::flush;
    else if (stage != last)
      std::cerr << line << '\n';
    last = stage;
  };
}

ordered_json RunReport(const ReportOptions& o) {
  const fs::path file = o.File, output = o.Output;
  const GuiSession gui;
  const ReportContent content =
      AnalyseForReport(file, StartupFolder(o.Data), o.Protector, StderrProgress());
  WriteReportFile(output, ReportPdf(content), content.Reads);
  ordered_json out;
  out["file"] = file.string();
  out["output"] = output.string();
  out["aru_warned"] = content.Warned.Aru;
  out["aru_unwarned"] = content.Unwarned.Aru;
  if (content.Protected) {
    out["protector"] = content.Protected->Protector;
    out["aru_warned_protected"] = content.Protected->Warned.Aru;
    out["aru_unwarned_protected"] = content.Protected->Unwarned.Aru;
  }
  return out;
}

}  // namespace

Command AddReportCommand(CLI::App& app) {
  const auto o = std::make_shared<ReportOptions>();
  CLI::App* report =
      app.add_subcommand("report", "Write the analysis report of an ORV file as a PDF document");
  report->add_option("FILE", o->File, "ORV waveform file")->required();
  report->add_option(
      "--protector", o->Protector,
      "also the waveform under this protector (name as the catalogue menu shows it)");
  report->add_option("-o,--output", o->Output, "PDF file to write")->required();
  report->add_option("--data", o->Data, "start-up folder (holds \"Man.Fig\", \"HPD Atten.txt\")");
  return {report, [o] { return PrintResult(RunReport(*o)); }};
}

}  // namespace orvek::cli
