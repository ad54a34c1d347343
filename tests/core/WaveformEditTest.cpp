#include <gmock/gmock.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "ErrorMessage.h"
#include "waveform/WaveformEdit.h"

namespace orvek {
namespace {

// A record of samples value(i), i = 0..last, at `rate` samples/s in a buffer of `capacity`.
TWaveform Record(std::int32_t last, const std::function<float(int)>& value, float rate = 100000.0f,
                 std::int32_t capacity = 4096) {
  TWaveform w(capacity);
  for (int i = 0; i <= last; ++i) w.Samples[i] = value(i);
  w.LastSampleIndex = last;
  w.SampleRate = rate;
  w.SampleInterval = static_cast<float>(1.0 / rate);
  return w;
}

float Ramp(int i) { return static_cast<float>(i + 1); }

std::vector<float> Copy(const TWaveform& w) {
  return {w.Samples.begin(), w.Samples.begin() + w.Capacity()};
}

TEST(WaveformEdit, CursorIndicesRoundHalvesToEvenAndStayInTheRecord) {
  const CursorArea area{100, 0, 200, 100};
  const std::tuple<int, int, int, int> spans[] = {
      // x1, x2, first, last (N = 1000: 5 samples per pixel)
      {150, 250, 250, 750}, {250, 150, 250, 750},
      {150, 20, 0, 250},                     // crossed lines are swapped first
      {50, 200, 0, 500},    {10, 20, 0, 5},  // left of the plot: left and left + 1
      {150, 900, 250, 1000}};                // right of the plot: limited to N
  for (const auto& [x1, x2, first, last] : spans) {
    const SampleSpan span = ReadCursors(x1, x2, area, 1000);
    EXPECT_EQ(std::tie(span.First, span.Last), std::tie(first, last)) << x1 << " " << x2;
  }
  // (x - left) / W = 0.1, which as a float is 0.100000001: N = 5 and 15 put the index on a half.
  const std::tuple<int, bool, int> ties[] = {{5, false, 0}, {15, false, 2}, {5, true, 1}};
  for (const auto& [n, single, index] : ties)
    EXPECT_EQ(CursorIndex(101, {100, 0, 10, 10}, n, single), index) << n << " " << single;
  EXPECT_NEAR(StartLevelDb(-10.0f), 114.0f, 1e-4f);
  EXPECT_NEAR(StartLevelDb(0.0f), -26.0f, 1e-4f);  // silence stays finite
}

TEST(WaveformEdit, SelectSegmentKeepsTheStretchAndItsTime) {
  TWaveform w = Record(99, Ramp, 1000.0f);
  w.TimeStart = 0.5f;
  SelectSegment(w, {10, 29});
  EXPECT_EQ(w.LastSampleIndex, 19);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(w.Samples[i], i < 20 ? i + 11.0f : 0.0f) << i;
  EXPECT_NEAR(w.TimeStart, 0.51, 1e-6);
  EXPECT_NEAR(w.TimeEnd, 0.529, 1e-6);
  EXPECT_EQ(std::tie(w.WindowStart, w.WindowEnd), std::tie(w.TimeStart, w.TimeEnd));
}

TEST(WaveformEdit, BaselineOfAQuietStretchIsRemovedFromTheWholeRecord) {
  // A DC offset of 2.5 Pa under a 100 Pa half sine at samples 400..450.
  const auto pulse = [](int i) {
    return i >= 400 && i <= 450
               ? static_cast<float>(100 * std::sin((i - 400) * std::numbers::pi / 50))
               : 0.0f;
  };
  TWaveform w = Record(999, [&](int i) { return pulse(i) + 2.5f; });
  EXPECT_EQ(RemoveBaseline(w, {310, 389}), 2.5f);
  EXPECT_EQ(w.LastSampleIndex, 999);
  for (int i = 0; i <= 999; ++i) EXPECT_NEAR(w.Samples[i], pulse(i), 1e-5) << i;
}

TEST(WaveformEdit, ImpulseStartThresholdAndView) {
  // Peak at sample 100 rising as (i/100)^2; an equal negative peak later does not win.
  const std::tuple<double, double, int> cases[] = {
      // level dB, threshold Pa (140 dB and above: 100 Pa, else peak / 50), start index
      {140.0, 100.0, 71},
      {139.9, std::pow(10.0, 45.9 / 20) / 50, 15},
  };
  for (const auto& [level, threshold, start] : cases) {
    const float peak = static_cast<float>(std::pow(10.0, (level - 94) / 20));
    TWaveform w = Record(300, [&](int i) {
      const double x = i <= 100 ? i / 100.0 : std::max(0.0, (200 - i) / 100.0);
      return i == 150 ? -peak : static_cast<float>(peak * x * x);
    });
    const ImpulseStart found = FindImpulseStart(w);
    EXPECT_EQ(found.PeakIndex, 100);
    EXPECT_NEAR(found.PeakLevelDb, level, 1e-4);
    EXPECT_NEAR(found.ThresholdPa, threshold, 1e-5 * threshold);
    EXPECT_EQ(found.StartIndex, start) << level;
  }
  const ImpulseStart silent = FindImpulseStart(Record(99, [](int) { return 0.0f; }));
  EXPECT_EQ(std::tie(silent.StartIndex, silent.ThresholdPa), std::tuple(0, 0.0f));

  const std::tuple<int, int, int> zooms[] = {
      {1000, 100, 200}, {1000, 700, 1000}, {1000, 0, 1}, {0, 0, 0}};
  for (const auto& [n, peakIndex, last] : zooms) {
    const SampleSpan view = RiseView(n, peakIndex);
    EXPECT_EQ(std::tie(view.First, view.Last), std::tuple(0, last));
  }
}

TEST(WaveformEdit, ShiftStartPutsTheChosenSampleAtFiveMilliseconds) {
  // 100000 samples/s: 5 ms is sample 500. Samples are i + 1, so moved zeros are seen.
  const std::tuple<int, int, int, int> cases[] = {
      // N, capacity, chosen start, new N
      {1000, 4096, 200, 1300},  // 2 ms: 3 ms of zeros in front, 300 samples longer
      {1000, 4096, 800, 700},
      {1000, 4096, 500, 1000},
      {1000, 1200, 0, 1199},     // grows to the end of the buffer only
      {1000, 4096, 5000, 500}};  // beyond N: the last sample
  for (const auto& [n, capacity, chosen, newLast] : cases) {
    SCOPED_TRACE(chosen);
    TWaveform w = Record(n, Ramp, 100000.0f, capacity);
    ShiftStart(w, chosen);
    EXPECT_EQ(w.LastSampleIndex, newLast);
    EXPECT_EQ(w.Samples[500], Ramp(std::min(chosen, n)));
    const int shift = std::min(chosen, n) - 500;
    for (int i = 0; i < capacity; ++i) {
      const int from = i + shift;
      EXPECT_EQ(w.Samples[i], i <= newLast && from >= 0 && from <= n ? Ramp(from) : 0.0f) << i;
    }
    EXPECT_NEAR(w.TimeEnd, newLast * 1e-5, 1e-9);
  }
}

TEST(WaveformEdit, TaperFadesOnlyWhereThereIsRoom) {
  const std::tuple<int, int, std::vector<std::pair<int, float>>> cases[] = {
      // first, last, (index, weight) on N = 1000
      {100,
       900,
       {{0, 0}, {25, 0.1464466f}, {50, 0.5f}, {100, 1}, {900, 1}, {950, 0.5f}, {1000, 0}}},
      {0, 900, {{0, 1}, {1, 1}, {950, 0.5f}}},          // no fade-in
      {100, 4000, {{50, 0.5f}, {999, 1}, {1000, 1}}}};  // no fade-out: the end is beyond N
  for (const auto& [first, last, weights] : cases) {
    TWaveform w = Record(1000, [](int) { return 2.0f; });
    ApplyTaper(w, {first, last});
    for (const auto& [i, weight] : weights) EXPECT_NEAR(w.Samples[i], 2 * weight, 1e-6) << i;
    // Rising and falling halves of a Hann window: w(i) + w(first - i) = 1.
    for (int i = 1; i < first; ++i) EXPECT_NEAR(w.Samples[i] + w.Samples[first - i], 2, 1e-6);
  }
}

TEST(WaveformEdit, CalibrationScalesTheLargestSampleToThePeak) {
  const std::tuple<CalibrationUnit, float, double> cases[] = {
      {CalibrationUnit::Factor, -3, 12},      {CalibrationUnit::Atm, 1, 101300},
      {CalibrationUnit::Bar, 2, 200000},      {CalibrationUnit::PeakLevelDb, 166, 3981.0717},
      {CalibrationUnit::DynPerCm2, 1, 0.1},   {CalibrationUnit::Millibar, 1, 100},
      {CalibrationUnit::KiloPascal, 3, 3000}, {CalibrationUnit::Pascal, 10000, 10000},
      {CalibrationUnit::Psi, 1, 6895}};
  for (const auto& [unit, value, peak] : cases) {
    TWaveform w = Record(99, [](int i) { return (i % 7 - 3) * 4.0f / 3; });  // -4..4 Pa
    ApplyCalibration(w, unit, value);
    // Stated tolerance: 0.2 ppm, within a float's rounding of the peak.
    EXPECT_NEAR(std::max(w.DataMax, -w.DataMin), peak, 2e-7 * peak) << static_cast<int>(unit);
    EXPECT_EQ(w.DataMin, -w.DataMax);
  }
  for (const float largest : {0.0f, -1.0f}) {
    TWaveform w = Record(99, [&](int i) { return largest - i; });
    const auto before = Copy(w);
    for (int unit = 1; unit <= 8; ++unit) {
      const std::string message = MessageOf([&] { ApplyCalibration(w, CalibrationUnit(unit), 1); });
      EXPECT_THAT(message, ::testing::HasSubstr("\"Multiply data by keyboard input\""));
    }
    EXPECT_NE(MessageOf([&] { ApplyCalibration(w, CalibrationUnit::Factor, 1e37f); }), "");
    EXPECT_EQ(Copy(w), before);
    ApplyCalibration(w, CalibrationUnit::Factor, -2);  // a plain factor needs no peak
    EXPECT_EQ(w.DataMax, 198.0f - 2 * largest);
  }
}

TEST(WaveformEdit, ResampleInterpolatesLinearly) {
  const auto ramp = [](int i) { return 0.5f * i - 100; };
  const std::tuple<int, double, int, float> counts[] = {
      // N, new rate (from 100000), N', start time (s): a segment keeps its start
      {1000, 50000, 500, 0},
      {1001, 50000, 500, 0},
      {1000, 200000, 2000, 0.02f}};
  for (const auto& [n, rate, newLast, startS] : counts) {
    TWaveform w = Record(n, ramp);
    w.TimeStart = startS;
    std::fill(w.Samples.begin() + n + 1, w.Samples.end(), 9.0f);  // beyond the record
    EXPECT_FALSE(Resample(w, rate));
    EXPECT_EQ(std::tie(w.LastSampleIndex, w.SampleRate, w.TimeStart),
              std::tuple(newLast, static_cast<float>(rate), startS));
    EXPECT_NEAR(w.TimeEnd, startS + newLast / rate, 1e-7);
    const double step = 100000 / rate;  // old samples per new one
    for (int j = 0; j < w.Capacity(); ++j)
      ASSERT_EQ(w.Samples[j], j <= newLast ? 0.5 * step * j - 100 : 0.0) << rate << " " << j;
  }
  // An uneven ratio stays on the line; the sample after N is not used.
  for (const double rate : {70001.0, 333333.0}) {
    TWaveform w = Record(1000, ramp);
    w.Samples[1001] = 1e30f;
    Resample(w, rate);
    for (int j = 0; j <= w.LastSampleIndex; ++j)
      ASSERT_NEAR(w.Samples[j], 0.5 * j * 100000 / rate - 100, 2e-3) << rate << " " << j;
  }
  TWaveform big = Record(1000, ramp, 100000.0f, 1500);
  EXPECT_TRUE(Resample(big, 200000));
  EXPECT_EQ(big.LastSampleIndex, 1499);
  EXPECT_EQ(big.Samples[1499], 0.25f * 1499 - 100);

  for (const double rate : {0.0, -5.0, double{NAN}, double{INFINITY}, 1e300}) {
    TWaveform w = Record(100, ramp);
    EXPECT_NE(MessageOf([&] { Resample(w, rate); }), "");
    EXPECT_EQ(std::tie(w.LastSampleIndex, w.SampleRate), std::tuple(100, 100000.0f));
  }
}

}  // namespace
}  // namespace orvek
