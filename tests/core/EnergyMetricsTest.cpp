#include "metrics/EnergyMetrics.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <tuple>
#include <vector>

#include "ErrorMessage.h"
#include "base/OrvekError.h"

namespace orvek {
namespace {

// A record of `samples` in a buffer with `spare` more entries beyond N holding `filler`.
TWaveform MakeWaveform(const std::vector<float>& samples, float dt, int spare = 0,
                       float filler = 0.0f) {
  TWaveform waveform(static_cast<std::int32_t>(samples.size()) + spare);
  std::fill(waveform.Samples.begin(), waveform.Samples.end(), filler);
  std::copy(samples.begin(), samples.end(), waveform.Samples.begin());
  waveform.LastSampleIndex = static_cast<std::int32_t>(samples.size()) - 1;
  waveform.SampleInterval = dt;
  waveform.SampleRate = 1.0f / dt;
  return waveform;
}

// A Hann-shaped tone burst of `burst` samples from `start` on (a narrow spectrum).
std::vector<float> HannBurst(double amplitude, double frequencyHz, double sampleRate, int count,
                             int start, int burst) {
  std::vector<float> x(count, 0.0f);
  for (int i = 0; i < burst; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / burst);
    x[start + i] = static_cast<float>(
        amplitude * hann * std::sin(2.0 * std::numbers::pi * frequencyHz * i / sampleRate));
  }
  return x;
}

// Unweighted sound exposure (J/m^2) over the metrics' interval, recovered from Leq.
double UnweightedEnergy(const TEnergyMetrics& m, double dt) {
  return std::pow(10.0, (static_cast<double>(m.Leq) - 94.0) / 10.0) * (m.LastIndex - m.FirstIndex) *
         dt / 415.0;
}

// A constant 1 Pa: Leq = 10 log10(count / steps) + 94, the whole record divided by N, not N + 1.
TEST(EnergyMetricsTest, LeqDividesByStepsOfClampedInterval) {
  // Interval asked for (whole, ends beyond the record, ends swapped) and the one measured.
  const std::array<std::int32_t, 4> cases[] = {{0, 7, 0, 7}, {-4, 50, 0, 7}, {5, 2, 2, 5}};
  const TWaveform waveform = MakeWaveform(std::vector<float>(8, 1.0f), 1e-4f);
  for (const auto& [first, last, measuredFirst, measuredLast] : cases) {
    const TEnergyMetrics m = ComputeEnergyMetrics(waveform, first, last);
    EXPECT_EQ(std::tie(m.FirstIndex, m.LastIndex), std::tie(measuredFirst, measuredLast));
    const double count = measuredLast - measuredFirst + 1;
    EXPECT_NEAR(static_cast<double>(m.Leq), 10.0 * std::log10(count / (count - 1)) + 94.0, 1e-9);
  }
}

// A Hann burst carries amplitude^2 3/16 duration Pa^2 s: at 1 kHz and this amplitude 85 dB over
// 8 hours, which allows one burst; 3 dB more halves the number.
TEST(EnergyMetricsTest, NaIsOneAt85DbAndHalvesPer3Db) {
  const double rate = 16000.0, burstSeconds = 0.5;
  const double exposure = 28800.0 * std::pow(10.0, (85.0 - 94.0) / 10.0);  // Pa^2 s
  const double amplitude = std::sqrt(exposure * 16.0 / 3.0 / burstSeconds);
  const auto metricsAt = [&](double gain) {
    const TWaveform waveform = MakeWaveform(HannBurst(amplitude * gain, 1000.0, rate, 16384, 4000,
                                                      static_cast<int>(burstSeconds * rate)),
                                            static_cast<float>(1.0 / rate));
    return ComputeEnergyMetrics(waveform, 0, waveform.LastSampleIndex);
  };
  const TEnergyMetrics at85 = metricsAt(1.0);
  const TEnergyMetrics at88 = metricsAt(std::pow(10.0, 3.0 / 20.0));
  EXPECT_NEAR(at85.LAeq8hr, 85.0, 0.02);
  EXPECT_NEAR(static_cast<double>(at85.Na), 1.0, 0.005);
  EXPECT_NEAR(at88.LAeq8hr - at85.LAeq8hr, 3.0, 1e-3);
  EXPECT_NEAR(static_cast<double>(at88.Na / at85.Na), 0.5, 1e-4);
}

// A-weighted over unweighted energy of bursts at 1000 * 10^(x/10) Hz: IEC 61672-1:2013 Table 3.
TEST(EnergyMetricsTest, ToneBurstsLoseTheTabulatedWeighting) {
  const std::pair<int, double> cases[] = {{-15, -39.4}, {-10, -19.1}, {9, -1.1}};
  const double rate = 48000.0;
  for (const auto& [x, aDb] : cases) {
    const double f = 1000.0 * std::pow(10.0, x / 10.0);
    const TWaveform waveform =
        MakeWaveform(HannBurst(20.0, f, rate, 48000, 12000, 24000), static_cast<float>(1.0 / rate));
    const TEnergyMetrics m = ComputeEnergyMetrics(waveform, 0, waveform.LastSampleIndex);
    const double gainDb =
        10.0 * std::log10(static_cast<double>(m.AEnergy) / UnweightedEnergy(m, 1.0 / rate));
    EXPECT_NEAR(gainDb, aDb, 0.2) << f << " Hz";
  }
}

// The weighting's ringing after a pulse near the end must not wrap onto the start (a transform of
// only 2^M points would); the causal filter leaves the record before the pulse all but silent.
TEST(EnergyMetricsTest, WeightedTailDoesNotWrapOntoTheStart) {
  std::vector<float> samples(1001, 0.0f);
  for (int i = 0; i <= 20; ++i)
    samples[975 + i] = static_cast<float>(50.0 - 50.0 * std::cos(std::numbers::pi * i / 10.0));
  const TWaveform waveform = MakeWaveform(samples, 1e-4f);
  const TEnergyMetrics whole = ComputeEnergyMetrics(waveform, 0, 1000);
  const TEnergyMetrics before = ComputeEnergyMetrics(waveform, 0, 960);
  EXPECT_GT(whole.AEnergy, 0.0L);
  EXPECT_LT(before.AEnergy, 1e-8L * whole.AEnergy);
}

// A silent record's levels are -infinity and its allowed number infinite, never NaN (an interval
// of one sample is a golden run of the command line).
TEST(EnergyMetricsTest, EmptyIntervalsGiveInfiniteLevels) {
  const double inf = std::numeric_limits<double>::infinity();
  const TEnergyMetrics m =
      ComputeEnergyMetrics(MakeWaveform(std::vector<float>(2000), 1e-4f), 0, 1999);
  EXPECT_EQ(std::tuple(double{m.LAeq8hr}, static_cast<double>(m.LAeq), static_cast<double>(m.Leq)),
            std::tuple(-inf, -inf, -inf));
  EXPECT_EQ(static_cast<double>(m.Na), inf);
  EXPECT_EQ(m.AEnergy, 0.0L);
}

// The record is read only, and samples beyond N in the buffer take no part.
TEST(EnergyMetricsTest, RecordUnchangedAndBufferTailIgnored) {
  const std::vector<float> samples = HannBurst(2.0, 700.0, 50000.0, 3000, 0, 3000);
  const TWaveform padded = MakeWaveform(samples, 2e-5f, 5000, 1e4f);
  const std::vector<float> before(padded.Samples.begin(), padded.Samples.end());
  const TEnergyMetrics e = ComputeEnergyMetrics(MakeWaveform(samples, 2e-5f), 10, 2990);
  const TEnergyMetrics m = ComputeEnergyMetrics(padded, 10, 2990);
  EXPECT_TRUE(std::ranges::equal(before, padded.Samples));
  EXPECT_EQ(std::tie(m.LAeq8hr, m.LAeq, m.Leq, m.AEnergy),
            std::tie(e.LAeq8hr, e.LAeq, e.Leq, e.AEnergy));
}

TEST(EnergyMetricsTest, UnmeasurableRecordsAreRefused) {
  const float inf = std::numeric_limits<float>::infinity();
  // Last sample index, sample interval, sample 5.
  const std::tuple<std::int32_t, float, float, const char*> cases[] = {
      {-1, 1e-4f, 1.0f, "at least two samples"},
      {0, 1e-4f, 1.0f, "at least two samples"},
      {8, 1e-4f, 1.0f, "beyond its buffer of 8"},
      {7, 0.0f, 1.0f, "positive sample interval"},
      {7, 1e-4f, inf, "Sample 5 "}};
  for (const auto& [last, dt, sample5, message] : cases) {
    std::vector<float> samples(8, 1.0f);
    samples[5] = sample5;
    TWaveform waveform = MakeWaveform(samples, dt);
    waveform.LastSampleIndex = last;
    EXPECT_THAT(MessageOf([&] { ComputeEnergyMetrics(waveform, 0, 1); }),
                ::testing::HasSubstr(message))
        << message;
  }
}

}  // namespace
}  // namespace orvek
