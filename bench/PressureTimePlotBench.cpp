// Time to draw the pressure-time plot (fresh frame, axes included) on a full-HD canvas.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdint>

#include "bench/GuiApplication.h"
#include "plot/PressureTimePlot.h"

namespace {

// A decaying 1 kHz burst at 200 kHz sampling with a 3 kPa peak.
void FillImpulse(orvek::TWaveform& waveform, std::int32_t count) {
  waveform.LastSampleIndex = count - 1;
  waveform.SampleRate = 200000;
  waveform.SampleInterval = 1 / waveform.SampleRate;
  for (std::int32_t i = 0; i < count; ++i) {
    const double t = i * double(waveform.SampleInterval);
    waveform.Samples[i] = static_cast<float>(3000 * std::exp(-t / 0.01) * std::sin(6283.2 * t));
  }
  waveform.TimeStart = 0;
  waveform.TimeEnd = waveform.LastSampleIndex * waveform.SampleInterval;
  waveform.AxisMax = 3000;
  waveform.AxisMin = -3000;
  waveform.PlotTitle = "BENCH";
}

void BM_PressureTimePlotFresh(benchmark::State& state) {
  EnsureGuiApplication();
  const auto count = static_cast<std::int32_t>(state.range(0));
  orvek::TWaveform waveform(count);
  FillImpulse(waveform, count);
  QImage canvas(kClient, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  QPainter painter(&canvas);
  orvek::PlotState plotState;
  for (auto _ : state) {
    plotState.FreshFrame = true;
    orvek::PressureTimePlot(painter, kClient, waveform, plotState);
    benchmark::DoNotOptimize(canvas.constBits());
  }
}
BENCHMARK(BM_PressureTimePlotFresh)->Arg(8192)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
