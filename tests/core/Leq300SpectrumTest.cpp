#include "metrics/Leq300Spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ErrorMessage.h"
#include "TempFolder.h"
#include "model/Friedlander.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;

std::vector<float> Noise(int count, unsigned seed) {
  std::mt19937 generator(seed);
  std::normal_distribution<float> value(0.0f, 10.0f);
  std::vector<float> x(count);
  for (float& v : x) v = value(generator);
  return x;
}

// sum p^2 dt / 407, relative to the reference energy, summed in long double.
double TimeDomainEnergy(const std::vector<float>& x, float dt) {
  long double sum = 0;
  for (const float v : x) sum += static_cast<long double>(v) * v;
  return static_cast<double>(sum * dt / 407.0L) / kLeq300ReferenceEnergy;
}

double SumOfBands(const Leq300Spectrum& s) {
  return std::accumulate(s.BandEnergy.begin(), s.BandEnergy.end(), 0.0);
}

Leq300Spectrum Spectrum(const std::vector<float>& x, double rate) {
  return ComputeLeq300Spectrum(x.data(), static_cast<std::int32_t>(x.size()),
                               static_cast<float>(1.0 / rate));
}

// An impulse whose energy lies well inside the band range carries the same energy in its bands
// as in the time domain; records longer than 1.26 s start at negative bands.
TEST(Leq300Spectrum, BandEnergiesAddUpToTheTimeDomainEnergy) {
  struct Case {
    double Rate;
    std::int32_t Samples;
    double ADurationMs;
  };
  for (const Case c : {Case{200000, 8192, 0.3}, Case{200000, 8191, 0.3}, Case{200000, 300001, 0.3},
                       Case{100000, 100000, 1.0}, Case{48000, 48001, 2.0}}) {
    const std::vector<float> x = FriedlanderSamples(
        {.ADurationMs = c.ADurationMs, .SampleRate = c.Rate, .Samples = c.Samples});
    const Leq300Spectrum s = Spectrum(x, c.Rate);
    const double expected = TimeDomainEnergy(x, static_cast<float>(1.0 / c.Rate));
    EXPECT_NEAR(10.0 * std::log10(SumOfBands(s) / expected), 0.0, 0.2)
        << c.Rate << " samples/s, " << c.Samples << " samples";
  }
}

// Parseval: the bins, halved ends included, hold the record's energy exactly.
TEST(Leq300Spectrum, BinsHoldTheRecordsEnergy) {
  for (const int count : {64, 65, 1000, 1001, 65536, 99999}) {
    const std::vector<float> x = Noise(count, 3u + count);
    const double rate = 48000.0;
    const Leq300Spectrum s = Spectrum(x, rate);
    ASSERT_EQ(s.BinEnergy.size(), static_cast<std::size_t>(count / 2 + 1)) << count;
    const double sum = std::accumulate(s.BinEnergy.begin(), s.BinEnergy.end(), 0.0);
    const double expected = TimeDomainEnergy(x, static_cast<float>(1.0 / rate));
    EXPECT_NEAR(sum / expected, 1.0, 1e-6) << count;
    EXPECT_DOUBLE_EQ(s.Df, 1.0 / (count * static_cast<double>(static_cast<float>(1.0 / rate))));
  }
}

TEST(Leq300Spectrum, BandRangeFollowsRecordLengthAndSamplingRate) {
  struct Case {
    double Rate;
    std::int32_t Samples;
    int FirstBand, LastBand;
  };
  for (const Case c : {
           Case{100000, 100000, 0, 45},  // 1 s: df = 1 Hz; 50 kHz lies below band 47 (50.1 kHz)
           Case{48000, 96000, -3, 42},   // 2 s: df = 0.5 Hz, 10 log10 0.5 = -3.01
           Case{1000, 8000, -9, 25},     // 8 s: df = 0.125 Hz
           Case{44100, 8192, 7, 42},     // df = 5.38 Hz; 22.05 kHz lies below band 44
           Case{44100, 8191, 7, 42},
           Case{1000, 4, 23, 25},  // df = 250 Hz: the shortest record at this rate
       }) {
    const Leq300Spectrum s = Spectrum(Noise(c.Samples, 5), c.Rate);
    EXPECT_EQ(s.FirstBand, c.FirstBand) << c.Rate << " " << c.Samples;
    EXPECT_EQ(s.LastBand, c.LastBand) << c.Rate << " " << c.Samples;
    EXPECT_DOUBLE_EQ(s.Nyquist, 0.5 / static_cast<float>(1.0 / c.Rate));
    ASSERT_EQ(s.BandEnergy.size(), static_cast<std::size_t>(c.LastBand - c.FirstBand + 1));
    for (int band = s.FirstBand; band <= s.LastBand; ++band)
      EXPECT_TRUE(s.Band(band) > 0.0 && std::isfinite(s.Band(band))) << "band " << band;
  }
}

// A unit impulse has a flat spectrum: every bin holds c = 2 df dt^2 / 407 / Eref except 0 Hz (and
// the Nyquist bin of an even count), which hold c/2. The band energy is then the integral of the
// straight lines between bins, in closed form: a ramp from c/2 to c over the first bin, flat after.
TEST(Leq300Spectrum, FlatSpectrumGivesBandwidthOverDf) {
  for (const int count : {1000, 1001}) {
    const float dt = 1e-3f;
    std::vector<float> x(count, 0.0f);
    x[0] = 1.0f;
    const Leq300Spectrum s = ComputeLeq300Spectrum(x.data(), count, dt);
    const double df = s.Df;
    const double c = 2.0 * df * dt * dt / 407.0 / kLeq300ReferenceEnergy;
    const auto integral = [&](double f) {
      return f < df ? c * (0.5 * f + 0.25 * f * f / df) : c * (0.75 * df + (f - df));
    };
    ASSERT_EQ(s.FirstBand, 0) << count;
    ASSERT_LT(BandCentreHz(s.LastBand + 1), (count / 2 - 1) * df) << "top bins not reached";
    // Bands 1 and 2 (1.12 to 1.78 Hz) lie inside one bin: the single-trapezoid case.
    ASSERT_LT(BandCentreHz(2) * (std::pow(10.0, 0.05) - std::pow(10.0, -0.05)), df);
    double largest = c;
    for (int band = s.FirstBand; band <= s.LastBand; ++band) {
      const double lo = BandCentreHz(band) * std::pow(10.0, -0.05);
      const double hi = BandCentreHz(band) * std::pow(10.0, 0.05);
      const double expected = (integral(hi) - integral(lo)) / df;
      EXPECT_NEAR(s.Band(band) / expected, 1.0, 1e-9) << count << " band " << band;
      largest = std::max(largest, expected);
    }
    EXPECT_NEAR(s.LargestValue / largest, 1.0, 1e-9) << count;
  }
}

// A band inside one bin (bands 1 and 2 at df = 1 Hz lie between bins 1 and 2) gets the value of
// the straight line between the bins at the band's middle frequency, times its width in bins.
TEST(Leq300Spectrum, BandInsideOneBinFollowsTheLineBetweenBins) {
  for (const int count : {1000, 1001}) {
    const Leq300Spectrum s = Spectrum(Noise(count, 17), 1000.0);
    const std::vector<double>& p = s.BinEnergy;
    for (const int band : {1, 2}) {
      const double lo = std::pow(10.0, (band - 0.5) / 10), hi = std::pow(10.0, (band + 0.5) / 10);
      const double middle = (lo + hi) / 2 / s.Df;
      ASSERT_TRUE(lo / s.Df > 1.0 && hi / s.Df < 2.0) << count << " band " << band;
      EXPECT_NEAR(s.Band(band), (hi - lo) / s.Df * (p[1] + (p[2] - p[1]) * (middle - 1.0)),
                  1e-12 * s.LargestValue)
          << count << " band " << band;
    }
  }
}

// A tone's energy lands in the band containing it, on a bin (no leakage) or between bins.
TEST(Leq300Spectrum, ToneFallsInItsBand) {
  struct Case {
    double Rate;
    int Samples;
    double ToneHz;
    int Band;
  };
  for (const Case c : {Case{48000, 48000, 1000, 30}, Case{48000, 48000, 250, 24},
                       Case{48000, 47999, 500, 27}, Case{200000, 99999, 3150, 35}}) {
    std::vector<float> x(c.Samples);
    for (int i = 0; i < c.Samples; ++i)
      x[i] = static_cast<float>(20.0 * std::sin(2.0 * std::numbers::pi * c.ToneHz * i / c.Rate));
    const Leq300Spectrum s = Spectrum(x, c.Rate);
    EXPECT_GT(s.Band(c.Band) / SumOfBands(s), 0.99) << c.ToneHz << " Hz";
    EXPECT_NEAR(
        10.0 * std::log10(s.Band(c.Band) / TimeDomainEnergy(x, static_cast<float>(1.0 / c.Rate))),
        0.0, 0.05)
        << c.ToneHz << " Hz";
  }
}

TEST(Leq300Spectrum, RefusesRecordsTooShortOrNotFinite) {
  struct Case {
    int Samples;
    double Rate;
    bool Refused;
  };
  for (const Case c : {
           Case{0, 1000, true}, Case{1, 48000, true}, Case{2, 48000, true},
           Case{3, 1000, true},     // the upper edge of band 25 lies beyond the last bin
           Case{4, 1000, false},    // band 25 ends in bin 2 of 2
           Case{9, 200000, true},   // odd count: the last band's edge lies past bin 4
           Case{10, 200000, false}  // bin 5 is there
       }) {
    const std::vector<float> x = Noise(c.Samples, 9);
    if (!c.Refused) {
      EXPECT_NO_THROW(Spectrum(x, c.Rate)) << c.Samples << " at " << c.Rate;
      continue;
    }
    const std::string message = MessageOf([&] { Spectrum(x, c.Rate); });
    std::ostringstream expected;
    expected << c.Samples << " samples at " << c.Rate << " samples/s is too short";
    EXPECT_NE(message.find(expected.str()), std::string::npos) << message;
  }
  std::vector<float> x = Noise(100, 1);
  x[7] = std::numeric_limits<float>::quiet_NaN();
  EXPECT_NE(MessageOf([&] { Spectrum(x, 1000); }).find("Sample 7 "), std::string::npos);
  x[7] = 0.0f;
  x[99] = -std::numeric_limits<float>::infinity();
  EXPECT_NE(MessageOf([&] { Spectrum(x, 1000); }).find("Sample 99 "), std::string::npos);
  for (const float dt : {0.0f, -1e-3f, std::numeric_limits<float>::infinity()})
    EXPECT_THROW(ComputeLeq300Spectrum(x.data(), 50, dt), OrvekError) << dt;
}

TEST(Leq300Spectrum, TobFileName) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"shot.1.ORV", "shot.1.TOB"},
      {"shot.2.ORV", "shot.2.TOB"},
      {"C:\\data\\rifle.orv", "rifle.TOB"},
      {"/tmp/a.b/pistol.ORV", "pistol.TOB"},
      {"plain", "plain.TOB"}};
  for (const auto& [waveform, tob] : cases) EXPECT_EQ(TobFileName(waveform), tob) << waveform;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "text after the last line end";
  return lines;
}

TEST(Leq300Spectrum, TobFileTextLayout) {
  Leq300Spectrum s;
  s.FirstBand = 20;
  s.LastBand = 30;
  for (int band = 20; band <= 30; ++band) s.BandEnergy.push_back(std::pow(10.0, band / 2.0));
  s.BandEnergy[5] = 0.5;  // band 25: -3.01 dB
  s.BandEnergy[6] = 0.0;  // band 26 has no level
  const std::vector<std::string> lines = Lines(TobFileText(s));
  // Three heading lines, then a band a line (a whole shot's table is checked by a golden run).
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[3], " 100.00\t  100.00");
  EXPECT_EQ(lines[8], " 316.23\t   -3.01");
  EXPECT_EQ(lines[9], " 398.11\t");
  EXPECT_EQ(lines[13], "1000.00\t  150.00");

  // Numbers wider than their field are written in full.
  s.FirstBand = s.LastBand = 50;
  s.BandEnergy = {1e100};
  EXPECT_EQ(Lines(TobFileText(s)).back(), "100000.00\t 1000.00");
}

TEST(Leq300Spectrum, WriteTobFile) {
  const test::TempFolder folder;
  const fs::path file = folder.Path() / "shot.TOB";
  WriteTobFile(file, "old\r\n", {});
  WriteTobFile(file, "new\r\n", {});
  EXPECT_EQ(test::TempFolder::Read(file), "new\r\n");
}

}  // namespace
}  // namespace orvek
