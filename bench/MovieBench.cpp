// The hazard movie: the time to draw one frame on a full-HD canvas, and how closely THRTimer
// paces frames at a delay of 2 ms.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>

#include "bench/GuiApplication.h"
#include "model/Friedlander.h"
#include "model/HazardAnalysis.h"
#include "model/THRTimer.h"
#include "plot/HazardMovie.h"

namespace {

orvek::TModelParameters Shipped() {
  orvek::TModelParameters p;
  orvek::LoadModelParameters(std::filesystem::path(ORVEK_DATA_DIR) / "HUMANEAR.PRM", p);
  orvek::DeriveModelConstants(p);
  return p;
}

// A movie ready to play: the warned analysis of a 160 dB, 0.3 ms Friedlander impulse (8192
// samples at 200 kHz, 23 places) or, `moving`, made-up frames in which every place's
// displacement and, at the end of each half-cycle, its hazard change from frame to frame.
struct Scene {
  explicit Scene(bool moving) {
    EnsureGuiApplication();
    orvek::FriedlanderSpec spec;
    const std::vector<float> pressure = orvek::FriedlanderSamples(spec);
    std::copy(pressure.begin(), pressure.end(), waveform.Samples.data());
    waveform.LastSampleIndex = spec.Samples - 1;
    waveform.SampleInterval = static_cast<float>(1.0 / spec.SampleRate);
    waveform.TimeEnd = waveform.LastSampleIndex * waveform.SampleInterval;
    waveform.AxisMax = 3000.0f;
    waveform.AxisMin = -3000.0f;
    const orvek::MuscleTiming timing =
        orvek::ComputeMuscleTiming(orvek::MuscleDelay(orvek::Listener::Warned, p),
                                   waveform.SampleInterval, p.MuscleTimeConstant);
    const orvek::HazardResult result =
        orvek::CalculateHazard(waveform, 1, timing, p, *store, std::nullopt);
    worstPlace = result.Cochlea.WorstPlace;
    if (moving) {
      p.HazardThreshold = 0.0f;
      for (std::int32_t f = 0; f <= waveform.LastSampleIndex; ++f)
        for (int place = 1; place <= p.PlaceCount; ++place)
          store->Frame(f, 1 + place) = static_cast<float>(store->PlaceDisplacementMax(place) *
                                                          std::sin(0.05 * f + 0.3 * place));
    }
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    orvek::PlotMovieAxes(painter, kClient, waveform, orvek::HazardPlaces(p),
                         orvek::FindMovieExtremes(*store, p.PlaceCount), plot);
  }

  std::unique_ptr<orvek::HazardMovie> Start() {
    auto movie = std::make_unique<orvek::HazardMovie>(*store, p, waveform, waveform.LastSampleIndex,
                                                      worstPlace, plot);
    QPainter painter(&canvas);
    movie->Start(painter);
    return movie;
  }

  orvek::TModelParameters p = Shipped();
  orvek::TWaveform waveform{8192};
  std::unique_ptr<orvek::MovieFrameStore> store = std::make_unique<orvek::MovieFrameStore>();
  int worstPlace = 0;
  orvek::PlotState plot;
  QImage canvas{kClient, QImage::Format_RGB32};
};

// One frame as the window draws it: a painter on the canvas and one step (both profiles, both
// traces), frames in order and the movie started again after its last.
void BM_MovieFrame(benchmark::State& state) {
  Scene scene(state.range(0) != 0);
  auto movie = scene.Start();
  std::int32_t f = 1;
  for (auto _ : state) {
    if (f == movie->LastFrame()) {
      state.PauseTiming();
      movie = scene.Start();
      f = 1;
      state.ResumeTiming();
    }
    QPainter painter(&scene.canvas);
    benchmark::DoNotOptimize(movie->Step(painter, f++));
  }
}
// The painter may hand long lines to helper threads: their time counts too.
BENCHMARK(BM_MovieFrame)
    ->ArgName("moving")
    ->Arg(0)
    ->Arg(1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);

// 500 frames at a delay of 2 ms as the movie loop paces them: start the timer, draw, wait past
// the delay. Counters: the mean and the largest frame period and the mean's excess over the
// delay, in ms; the CPU time against the real time shows the sleep before the final polling.
void BM_MoviePacing(benchmark::State& state) {
  constexpr int kFrames = 500;
  constexpr double kDelayMs = 2.0;
  Scene scene(true);
  orvek::THRTimer timer;
  double meanMs = 0.0, largestMs = 0.0;
  for (auto _ : state) {
    auto movie = scene.Start();
    using Clock = std::chrono::steady_clock;
    Clock::time_point previous = Clock::now();
    double totalMs = 0.0;
    for (std::int32_t f = 1; f <= kFrames; ++f) {
      timer.StartTimer();
      const Clock::time_point start = Clock::now();
      if (f > 1) {
        const double periodMs = std::chrono::duration<double, std::milli>(start - previous).count();
        totalMs += periodMs;
        largestMs = std::max(largestMs, periodMs);
      }
      previous = start;
      {
        QPainter painter(&scene.canvas);
        movie->Step(painter, f);
      }
      timer.WaitPast(kDelayMs);
    }
    meanMs = totalMs / (kFrames - 1);
  }
  state.counters["mean_period_ms"] = meanMs;
  state.counters["max_period_ms"] = largestMs;
  state.counters["mean_excess_ms"] = meanMs - kDelayMs;
}
BENCHMARK(BM_MoviePacing)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
