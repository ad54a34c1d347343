// Time to make the analysis report of an 8192-sample waveform (both listeners, into PDF bytes),
// and to render the pressure-time plot of it as a 1200 x 400 PNG, SVG and PDF picture.
#include <benchmark/benchmark.h>

#include <QPainter>

#include "bench/GuiApplication.h"
#include "plot/PictureFile.h"
#include "plot/PressureTimePlot.h"
#include "report/AnalysisReport.h"

namespace {

const std::filesystem::path kRifle =
    std::filesystem::path(ORVEK_DATA_DIR) / "samples" / "RIFLE160.ORV";

void BM_Report(benchmark::State& state) {
  EnsureGuiApplication();
  for (auto _ : state) {
    const orvek::ReportContent content = orvek::AnalyseForReport(kRifle, ORVEK_DATA_DIR, "");
    benchmark::DoNotOptimize(orvek::ReportPdf(content));
  }
}
BENCHMARK(BM_Report)->Unit(benchmark::kMillisecond);

void BM_PlotExport(benchmark::State& state) {
  EnsureGuiApplication();
  const auto format = static_cast<orvek::PictureFormat>(state.range(0));
  const orvek::ReportContent content = orvek::AnalyseForReport(kRifle, ORVEK_DATA_DIR, "");
  const QSize size(1200, 400);
  for (auto _ : state) {
    benchmark::DoNotOptimize(orvek::RenderPicture(format, size, "bench", [&](QPainter& painter) {
      orvek::DrawBand(painter, size, orvek::PlotBand::Lower, [&](QPainter& p, QSize client) {
        orvek::PlotState plot;
        orvek::PressureTimePlot(p, client, *content.Waveform, plot);
      });
    }));
  }
}
BENCHMARK(BM_PlotExport)
    ->Arg(static_cast<int>(orvek::PictureFormat::Png))
    ->Arg(static_cast<int>(orvek::PictureFormat::Svg))
    ->Arg(static_cast<int>(orvek::PictureFormat::Pdf))
    ->Unit(benchmark::kMillisecond);

}  // namespace
