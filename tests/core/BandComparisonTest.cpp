#include "metrics/BandComparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "TempFolder.h"
#include "model/Friedlander.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;

Leq300Spectrum ImpulseSpectrum(double rate, std::int32_t samples, float scale = 1.0f) {
  std::vector<float> x =
      FriedlanderSamples({.SampleRate = rate, .Samples = samples, .OnsetMs = 1.0});
  for (float& v : x) v *= scale;
  return ComputeLeq300Spectrum(x.data(), samples, static_cast<float>(1.0 / rate));
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line + '\t');  // the tab keeps a last empty field
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

// A waveform compared with itself has no noise reduction, so its insertion loss is -TFOE.
TEST(BandComparison, WaveformAgainstItself) {
  const Leq300Spectrum s = ImpulseSpectrum(200000, 8192);  // bands 13..49
  const BandComparison result = CompareBands(s, s);
  const std::pair<int, double> expectedIl[] = {{22, 0.0}, {23, -1.9}, {34, -12.5}, {40, 1.3}};
  for (const auto& [band, il] : expectedIl) {
    const std::size_t slot = band - kFirstComparedBand;
    EXPECT_EQ(result.NoiseReductionDb[slot], 0.0) << band;
    EXPECT_NEAR(result.InsertionLossDb[slot].value_or(NAN), il, 1e-12) << band;
  }
  // A pair's second reading is dithered anew: "no change" of -0.0004 dB is written unsigned.
  BandComparison dithered = result;
  dithered.InsertionLossDb[0] = -0.0004;
  dithered.InsertionLossDb[1] = -0.06;
  EXPECT_EQ(TobResultsLine(dithered, "BASE_to_BASE").substr(0, 9), "0.0\t-0.1\t");
}

// Halving the pressure lowers every band by 20 log10 2 = 6.02 dB.
TEST(BandComparison, HalvedPressureGivesMinusSixDb) {
  const BandComparison result =
      CompareBands(ImpulseSpectrum(100000, 10001), ImpulseSpectrum(100000, 10001, 0.5f));
  for (int band = kFirstComparedBand; band <= kLastComparedBand; ++band) {
    const std::size_t slot = band - kFirstComparedBand;
    ASSERT_TRUE(result.NoiseReductionDb[slot]) << band;
    EXPECT_NEAR(*result.NoiseReductionDb[slot], -20.0 * std::log10(2.0), 1e-9) << band;
    EXPECT_NEAR(*result.InsertionLossDb[slot], *result.NoiseReductionDb[slot] - TfoeDb(band),
                1e-12);
  }
}

// Bands not both spectra resolve above their lowest, or without energy, are empty fields.
TEST(BandComparison, UncomputedBandsAreEmpty) {
  const Leq300Spectrum slow = ImpulseSpectrum(16000, 16000);   // 1 s: bands 0..38
  const Leq300Spectrum brief = ImpulseSpectrum(200000, 1900);  // 9.5 ms: bands 20..49
  ASSERT_EQ(slow.LastBand, 38);
  ASSERT_EQ(brief.FirstBand, 20);
  Leq300Spectrum silentBand = brief;
  silentBand.BandEnergy[30 - silentBand.FirstBand] = 0.0;
  // Free field, ear, last band compared (from band 21 on), band without energy.
  const std::tuple<const Leq300Spectrum&, const Leq300Spectrum&, int, int> cases[] = {
      {slow, brief, 38, 0}, {brief, slow, 38, 0}, {silentBand, brief, 40, 30}};
  for (const auto& [freeField, ear, last, silent] : cases) {
    const BandComparison result = CompareBands(freeField, ear);
    const std::vector<std::string> fields = Fields(TobResultsLine(result, "A_to_B"));
    ASSERT_EQ(fields.size(), kComparedBands + 4u);
    for (int band = kFirstComparedBand; band <= kLastComparedBand; ++band) {
      const std::size_t slot = band - kFirstComparedBand;
      const bool computed = band >= 21 && band <= last && band != silent;
      EXPECT_EQ(result.InsertionLossDb[slot].has_value(), computed) << band;
      EXPECT_EQ(fields[slot].empty(), !computed) << band;
    }
  }
}

TEST(BandComparison, AppendWritesHeaderOnceThenLines) {
  const test::TempFolder folder;
  const fs::path file = folder.Path() / "TOB.txt";
  AppendTobResults(file, "first", {});
  AppendTobResults(file, "second", {});
  EXPECT_EQ(test::TempFolder::Read(file), TobResultsHeader() + "\r\nfirst\r\nsecond\r\n");
  // A table whose last line lost its end still gets one line per result.
  const fs::path cut = folder.Write("cut.txt", "header\r\nold");
  AppendTobResults(cut, "new", {});
  EXPECT_EQ(test::TempFolder::Read(cut), "header\r\nold\r\nnew\r\n");
}

// Runs appending at the same time take turns: no result is lost.
TEST(BandComparison, ConcurrentAppendsKeepEveryLine) {
  const test::TempFolder folder;
  const fs::path file = folder.Path() / "TOB.txt";
  constexpr int kWriters = 4, kLines = 25;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.emplace_back([&, w] {
      for (int i = 0; i < kLines; ++i)
        AppendTobResults(file, "run " + std::to_string(w) + " " + std::to_string(i), {});
    });
  for (std::thread& writer : writers) writer.join();
  const std::string text = test::TempFolder::Read(file);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + kWriters * kLines);
  EXPECT_EQ(folder.EntryCount(), 1);
}

}  // namespace
}  // namespace orvek
