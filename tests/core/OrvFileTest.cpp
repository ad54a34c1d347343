#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <vector>

#include "TempFolder.h"
#include "waveform/OrvFile.h"
#include "waveform/OrvekError.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

constexpr std::int32_t kCapacity = 1 << 16;
constexpr double kRate = 200000.0;

std::string Line(const std::string& a, const std::string& b, const std::string& c) {
  return a + " \t" + b + " \t" + c + " \r\n";
}

std::string Header(const std::string& rate = "200000", const std::string& location = "1") {
  return Line("PARAMETER", "VALUE", "COMMENT") + Line("Title for waveform plot", "", "NEW SOURCE") +
         Line("Sampling rate", rate, "samples/sec") +
         Line("Microphone relative to ear", location, "free field") +
         Line("Number of Samples", "0", "count");
}

std::string SampleLines(const std::vector<float>& values) {
  std::string text;
  for (const float v : values) text += CompactFloatText(v) + "\r\n";
  return text;
}

// A 1 kHz sine of 1000 Pa at 200000 samples/s in whole pascals, which the file holds exactly.
std::vector<float> Sine(int n) {
  std::vector<float> values(n);
  for (int i = 0; i < n; ++i)
    values[i] =
        static_cast<float>(std::nearbyint(1000.0 * std::sin(2 * std::numbers::pi * i / 200)));
  return values;
}

int LinesWithTab(const std::string& text) {
  int count = 0;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find("\r\n", start), text.size());
    count += text.substr(start, end - start).find('\t') != std::string::npos;
    start = end + 2;
  }
  return count;
}

int CountOf(const std::string& text, const std::string& what) {
  int count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

class OrvFileTest : public ::testing::Test {
 protected:
  OrvReadReport Open(const fs::path& file, bool pending = false) {
    return OpenNewFileType5(file, false, pending, waveform, grid, rng);
  }
  fs::path WriteSine(const std::string& name, int n) {
    return folder.Write(name, Header() + SampleLines(Sine(n)));
  }
  void SetSamples(const std::vector<float>& values) {
    std::copy(values.begin(), values.end(), waveform.Samples.begin());
    waveform.LastSampleIndex = static_cast<std::int32_t>(values.size()) - 1;
  }

  TempFolder folder;
  TWaveform waveform{kCapacity};
  HeaderGrid grid;
  Lcg32 rng;
};

TEST(CompactFloatText, WritesFiveSignificantDigitsCompactly) {
  const struct {
    float value;
    const char* text;
  } cases[] = {
      {12.0f, "1.2000E1"},      {-250.0f, "-2.5000E2"},   {0.001f, "1.0000E-3"},
      {0.0f, "0.0000E0"},       {-0.0f, "0.0000E0"},      {1.0f, "1.0000E0"},
      {9.99995f, "1.0000E1"},   {-9.99995f, "-1.0000E1"}, {123456.0f, "1.2346E5"},
      {100005.0f, "1.0000E5"},  {100015.0f, "1.0002E5"},  {0.5f, "5.0000E-1"},
      {1e-30f, "1.0000E-30"},   {-1e-10f, "-1.0000E-10"}, {3.4028235e38f, "3.4028E38"},
      {1.4e-45f, "1.4013E-45"},
  };
  for (const auto& c : cases) EXPECT_EQ(CompactFloatText(c.value), c.text) << c.value;
}

TEST(CompactFloatText, ReadsBackWithinHalfAUnitInTheFifthDigit) {
  for (double x = 1e-20; x < 1e30; x *= 1.37) {
    for (const float v : {static_cast<float>(x), static_cast<float>(-x)}) {
      const std::string text = CompactFloatText(v);
      float back = 0.0f;
      ASSERT_TRUE(ParseDecimal(text.data(), text.data() + text.size(), back)) << text;
      EXPECT_NEAR(back, v, 5.0001e-5 * std::fabs(v)) << text;
    }
  }
}

TEST(ParseDecimal, AcceptsDecimalNotationOnly) {
  const struct {
    const char* text;
    std::optional<float> value;
  } cases[] = {
      {"12", 12.0f},  {"+12", 12.0f}, {"-2.5E2", -250.0f}, {"1.2000e1", 12.0f}, {".5", 0.5f},
      {"-.5", -0.5f}, {"5.", 5.0f},   {"1e-46", 0.0f},     {"", std::nullopt},  {"+", {}},
      {"-", {}},      {".", {}},      {"1e", {}},          {"1.2.3", {}},       {"--1", {}},
      {"+-1", {}},    {"inf", {}},    {"-nan", {}},        {"0x10", {}},        {"1e39", {}},
      {"1,5", {}},    {"1\t2", {}},   {" 1", {}},
  };
  for (const auto& c : cases) {
    float value = -99.0f;
    const bool ok = ParseDecimal(c.text, c.text + std::strlen(c.text), value);
    EXPECT_EQ(ok, c.value.has_value()) << '"' << c.text << '"';
    if (ok && c.value) {
      EXPECT_EQ(value, *c.value) << c.text;
    }
  }
}

TEST(PowerOfTwoCount, CutsJustAboveAPowerOfTwoAndPadsBeyond) {
  const struct {
    std::int32_t n, singleLogCount, doubleLogCount;
  } cases[] = {
      {1, 1, 1},
      {2, 2, 2},
      {3, 4, 4},
      {4096, 4096, 4096},
      {4097, 4096, 4096},
      {4167, 4096, 4096},  // 4167 / 4096 < 2^0.025
      {4168, 8192, 8192},
      {8191, 8192, 8192},
      {1048576, 1048576, 1048576},
      {1066905, 1048576, 2097152},  // log2 = 20.0250003, 20.0249996 in single precision
      {1067000, 2097152, 2097152},
      {2147483647, 1 << 30, 1 << 30},  // 2^31 does not fit a 32-bit count
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PowerOfTwoCount(c.n, false), c.singleLogCount) << c.n;
    EXPECT_EQ(PowerOfTwoCount(c.n, true), c.doubleLogCount) << c.n;
  }
}

TEST_F(OrvFileTest, ReadsHeaderCellsWithTheirTrailingBlankAndTheSamples) {
  const auto file = folder.Write("A.ORV", Header() + "1.2000E1\r\n-2.5000E2\r\n");
  const OrvReadReport report = Open(file);
  EXPECT_EQ(report.SamplesRead, 2);
  EXPECT_FALSE(report.TruncatedAtCapacity);
  EXPECT_FALSE(report.OldLayout);
  EXPECT_EQ(grid.HeaderLastRow, 4);
  EXPECT_EQ(grid.Cell(0, 0), "PARAMETER ");
  EXPECT_EQ(grid.Cell(1, 1), " ");
  EXPECT_EQ(grid.Cell(2, 1), "NEW SOURCE ");
  EXPECT_EQ(grid.Cell(1, 2), "200000 ");
  EXPECT_EQ(grid.Cell(1, 4), "2");
  EXPECT_EQ(waveform.PlotTitle, "NEW SOURCE ");
  EXPECT_EQ(waveform.SampleRate, 200000.0f);
  EXPECT_EQ(waveform.SampleInterval, 5e-6f);
  EXPECT_EQ(waveform.MicLocation, 1);
  EXPECT_TRUE(waveform.WaveformLoaded);
  EXPECT_EQ(waveform.Count(), 2);
  EXPECT_EQ(waveform.DataMax, 12.0f);
  EXPECT_EQ(waveform.DataMin, -250.0f);
  const double sd = 12.0 / 131072;  // dither
  EXPECT_NEAR(waveform.Samples[0], 12.0, 6 * sd);
  EXPECT_NEAR(waveform.Samples[1], -250.0, 6 * sd);
}

TEST_F(OrvFileTest, HeaderTokensRunToTheNextTabOrLineEnd) {
  // A TAB opening the file, runs of TABs, empty lines and LF or lone CR line ends.
  const std::string text = "\tVALUE\t\t\tCOMMENT\n\r\n\r\nTitle\tx\tMY TITLE\r" +
                           Line("Sampling rate", "8000", "") + "\n" + Line("Mic", "3", "") +
                           "\r\n\r\n 1 2\r\n";
  Open(folder.Write("A.ORV", text));
  EXPECT_EQ(grid.HeaderLastRow, 3);
  EXPECT_EQ(grid.Cell(0, 0), " ");
  EXPECT_EQ(grid.Cell(1, 0), "VALUE");
  EXPECT_EQ(grid.Cell(2, 0), "COMMENT");
  EXPECT_EQ(grid.Cell(2, 1), "MY TITLE");
  EXPECT_EQ(grid.Cell(1, 2), "8000 ");
  EXPECT_EQ(grid.Cell(2, 2), " ");
  EXPECT_EQ(waveform.MicLocation, 3);
  EXPECT_EQ(waveform.SampleRate, 8000.0f);
  EXPECT_EQ(waveform.Count(), 2);
}

TEST_F(OrvFileTest, SampleSectionTakesSeveralValuesPerLine) {
  Open(folder.Write("A.ORV", Header() + "  1 2  3\r\n4\n\r\n5 6\r7    8 \r\n"));
  ASSERT_EQ(waveform.Count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(waveform.Samples[i], i + 1.0, 8.0 / 131072 * 6) << i;
}

TEST_F(OrvFileTest, EachReadAndSaveCycleAddsOneBlankToEveryCell) {
  const auto file = WriteSine("RUN.ORV", 4096);
  std::string blanks = " ";
  for (int cycle = 0; cycle < 3; ++cycle, blanks += ' ') {
    Open(file);
    EXPECT_EQ(grid.Cell(0, 0), "PARAMETER" + blanks);
    EXPECT_EQ(grid.Cell(1, 2), "200000" + blanks);
    EXPECT_EQ(grid.Cell(2, 1), "NEW SOURCE" + blanks);
    EXPECT_EQ(waveform.SampleRate, 200000.0f);
    EXPECT_EQ(waveform.Count(), 4096);
    SaveOrvFile(file, false, grid, waveform);
  }
  const std::vector<float> sine = Sine(4096);
  for (int i = 0; i < 4096; ++i) ASSERT_NEAR(waveform.Samples[i], sine[i], 0.25) << i;
}

TEST_F(OrvFileTest, SaveWritesTheExactLineFormat) {
  grid.SetRow(0, "PARAMETER", "VALUE", "COMMENT");
  grid.SetRow(1, "Title", "", "A\tB");  // a TAB cannot be stored in a cell
  grid.SetRow(2, "Sampling rate", "200000", "");
  grid.SetRow(3, "", "", "");  // written although empty
  grid.SetRow(4, "Number of Samples", "3", "x");
  grid.SetRow(5, "not", "written", "");
  grid.HeaderLastRow = 4;
  SetSamples({12.0f, -250.0f, 0.001f});
  const auto file = folder.Path() / "OUT.ORV";
  SaveOrvFile(file, false, grid, waveform);
  EXPECT_EQ(TempFolder::Read(file),
            "PARAMETER \tVALUE \tCOMMENT \r\n"
            "Title \t \tA B \r\n"
            "Sampling rate \t200000 \t \r\n"
            " \t \t \r\n"
            "Number of Samples \t3 \tx \r\n"
            "1.2000E1\r\n-2.5000E2\r\n1.0000E-3\r\n0.0000E0\r\n");
  EXPECT_EQ(waveform.LastSampleIndex, 3);
  EXPECT_EQ(waveform.Samples[3], 0.0f);
  EXPECT_EQ(grid.HeaderLastRow, 4);
}

TEST_F(OrvFileTest, SaveAsWritesEveryNonEmptyRow) {
  for (int row = 0; row < HeaderGrid::kRows; ++row)
    grid.SetRow(row, "P" + std::to_string(row),
                row == 3 ? "200000" : (row == 13 ? "1" : "V" + std::to_string(row)), "C");
  grid.HeaderLastRow = 4;
  SetSamples(Sine(16));
  const auto file = folder.Path() / "ALL.ORV";
  SaveOrvFile(file, true, grid, waveform);
  EXPECT_EQ(grid.HeaderLastRow, 29);
  EXPECT_EQ(LinesWithTab(TempFolder::Read(file)), 30);
  EXPECT_TRUE(Open(file).OldLayout);  // thirty header lines read as the old layout

  for (int row = 0; row < HeaderGrid::kRows; ++row)
    grid.SetRow(row, "P" + std::to_string(row), "V", "C");
  grid.ClearRow(7);
  grid.ClearRow(20);
  SaveOrvFile(file, true, grid, waveform);
  const std::string text = TempFolder::Read(file);
  EXPECT_EQ(LinesWithTab(text), 28);
  EXPECT_EQ(CountOf(text, "P7 "), 0);
  EXPECT_EQ(CountOf(text, "\r\nP8 \tV \tC \r\n"), 1);
}

TEST_F(OrvFileTest, ReadersPadOrCutToAPowerOfTwo) {
  const struct {
    int n, count;
  } cases[] = {{4096, 4096}, {4097, 4096}, {4167, 4096}, {4168, 8192}, {2, 2}, {3, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    const auto file = WriteSine("P.ORV", c.n);
    const double sd = 1000.0 / 131072;
    for (const bool overlay : {false, true}) {
      const OrvReadReport report =
          overlay ? OpenNewFileType6(file, waveform, grid, rng) : Open(file);
      EXPECT_EQ(report.SamplesRead, c.n);
      EXPECT_FALSE(report.TruncatedAtCapacity);
      EXPECT_EQ(grid.Cell(1, 4), std::to_string(c.n));
      EXPECT_EQ(waveform.Count(), c.count);
      EXPECT_EQ(waveform.LastIndex, c.count - 1);
      EXPECT_FLOAT_EQ(waveform.TimeEnd, static_cast<float>((c.count - 1) / kRate));
      double sumOfSquares = 0.0;
      for (int i = c.n; i < c.count; ++i) sumOfSquares += waveform.Samples[i] * waveform.Samples[i];
      if (overlay) {
        EXPECT_EQ(sumOfSquares, 0.0);  // zero padding
      } else {
        EXPECT_EQ(waveform.PaddedLength, c.count);
        if (c.count - c.n > 1000) {  // noise padding of the dither's size
          EXPECT_NEAR(std::sqrt(sumOfSquares / (c.count - c.n)), sd, 0.05 * sd);
        }
      }
    }
  }
}

TEST_F(OrvFileTest, SaveCutsOrPadsWithZerosUsingADoubleLog) {
  const struct {
    int n, count;
  } cases[] = {{4096, 4096}, {4097, 4096}, {4167, 4096}, {4168, 8192}, {5, 8}, {8, 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    grid = HeaderGrid();
    grid.SetRow(2, "Sampling rate", "200000", "");
    grid.SetRow(3, "Mic", "1", "");
    std::vector<float> values(c.n, 1.5f);
    SetSamples(values);
    const auto file = folder.Path() / "S.ORV";
    SaveOrvFile(file, false, grid, waveform);
    const std::string text = TempFolder::Read(file);
    EXPECT_EQ(waveform.Count(), c.count);
    EXPECT_EQ(CountOf(text, "1.5000E0\r\n"), std::min(c.n, c.count));
    EXPECT_EQ(CountOf(text, "0.0000E0\r\n"), std::max(0, c.count - c.n));
    for (int i = c.n; i < c.count; ++i) ASSERT_EQ(waveform.Samples[i], 0.0f);
  }
}

TEST_F(OrvFileTest, MainReaderDitherIsRepeatableGaussianOfTheStatedSize) {
  const auto file = WriteSine("D.ORV", 4096);
  Open(file);
  const std::vector<float> first(waveform.Samples.begin(), waveform.Samples.begin() + 4096);
  for (int i = 0; i < 10; ++i) rng.Uniform();  // the reader reseeds
  Open(file);
  EXPECT_EQ(std::memcmp(first.data(), waveform.Samples.data(), 4096 * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(first.data(), waveform.ReferenceSamples.data(), 4096 * sizeof(float)), 0);

  const double sd = 1000.0 / 131072;
  Lcg32 seeded(1);  // sample 0 of the sine is 0: it holds the first deviate alone
  EXPECT_EQ(first[0], static_cast<float>(seeded.Gaussian(0.0, sd)));
  const std::vector<float> sine = Sine(4096);
  double sum = 0.0, sumOfSquares = 0.0;
  for (int i = 0; i < 4096; ++i) {
    const double z = (first[i] - sine[i]) / sd;
    sum += z;
    sumOfSquares += z * z;
  }
  EXPECT_NEAR(sum / 4096, 0.0, 0.06);
  EXPECT_NEAR(std::sqrt(sumOfSquares / 4096), 1.0, 0.05);
}

TEST_F(OrvFileTest, OverlayDitherIsUniformFromTheRunningGenerator) {
  const auto file = WriteSine("D.ORV", 4096);
  Open(file);
  const std::vector<float> main(waveform.Samples.begin(), waveform.Samples.begin() + 4096);
  rng.Seed(7);
  OpenNewFileType6(file, waveform, grid, rng);
  Lcg32 expected(7);  // one uniform per sample and none for the padding
  for (int i = 0; i < 4096; ++i) expected.Uniform();
  EXPECT_EQ(rng.State(), expected.State());

  const std::vector<float> sine = Sine(4096);
  const double halfWidth = 1000.0 / 131072 / 2;
  int differing = 0;
  for (int i = 0; i < 4096; ++i) {
    ASSERT_LE(std::fabs(waveform.Samples[i] - sine[i]), halfWidth + 1e-4) << i;
    differing += waveform.Samples[i] != main[i];
  }
  EXPECT_GT(differing, 4000);
}

TEST_F(OrvFileTest, OldLayoutMovesRowsTwoThreeAndThirteenUp) {
  for (int row = 22; row < HeaderGrid::kRows; ++row) grid.SetRow(row, "keep", "keep", "keep");
  std::string text;
  for (int row = 0; row < 30; ++row) {
    const std::string r = std::to_string(row);
    text += row == 2    ? Line("Title", "x", "OLD TITLE")
            : row == 3  ? Line("Sampling rate", "50000", "old rate")
            : row == 13 ? Line("Microphone", "2", "old mic")
                        : Line("P" + r, "V" + r, "C" + r);
  }
  const OrvReadReport report = Open(folder.Write("OLD.ORV", text + "1\r\n2\r\n"));
  EXPECT_TRUE(report.OldLayout);
  EXPECT_EQ(grid.HeaderLastRow, 4);
  EXPECT_EQ(grid.Cell(2, 1), "OLD TITLE ");
  EXPECT_EQ(grid.Cell(1, 2), "50000 ");
  EXPECT_EQ(grid.Cell(2, 3), "old mic ");
  EXPECT_EQ(grid.Cell(0, 4), "Number of samples");
  EXPECT_EQ(grid.Cell(1, 4), "2");
  EXPECT_EQ(grid.Cell(0, 5), "Number of exposures with no protector, warned");
  for (int row = 12; row < HeaderGrid::kRows; ++row) EXPECT_TRUE(grid.RowEmpty(row)) << row;
  EXPECT_EQ(waveform.SampleRate, 50000.0f);
  EXPECT_EQ(waveform.MicLocation, 2);
  EXPECT_EQ(waveform.PlotTitle, "OLD TITLE ");

  // One line fewer is an ordinary header.
  std::string rows29 = Header();
  for (int row = 5; row < 29; ++row) rows29 += Line("P", "V", "C");
  EXPECT_FALSE(Open(folder.Write("NEW.ORV", rows29 + "1\r\n2\r\n")).OldLayout);
  EXPECT_EQ(grid.HeaderLastRow, 28);
  EXPECT_EQ(grid.Cell(1, 28), "V ");
}

TEST_F(OrvFileTest, MainReaderLabelsResultRowsAndKeepsRowsBeyondTwentyOne) {
  for (int row = 5; row < HeaderGrid::kRows; ++row) grid.SetRow(row, "old", "old", "old");
  waveform.AxisMax = 5.0f;
  waveform.AxisMin = -5.0f;
  Open(WriteSine("L.ORV", 200), true);  // a pending pressure range keeps the axis
  EXPECT_EQ(waveform.AxisMax, 5.0f);
  EXPECT_EQ(waveform.AxisMin, -5.0f);
  const char* labels[][2] = {{"Number of exposures with no protector, warned", ""},
                             {"Number of exposures with no protector, unwarned", ""},
                             {"Peak Pressure Level", "dB"},
                             {"LAeq and Leq", "dB"},
                             {"LAeq8hr", "dB"},
                             {"Na",
                              "allowed number of exposures based on A-weighted energy "
                              "under a protector"},
                             {"A-weighted energy", "Joules/m^2"}};
  for (int row = 5; row <= 11; ++row) {
    EXPECT_EQ(grid.Cell(0, row), labels[row - 5][0]);
    EXPECT_EQ(grid.Cell(1, row), "");
    EXPECT_EQ(grid.Cell(2, row), labels[row - 5][1]);
  }
  for (int row = 12; row <= 21; ++row) EXPECT_TRUE(grid.RowEmpty(row)) << row;
  for (int row = 22; row < HeaderGrid::kRows; ++row) EXPECT_EQ(grid.Cell(1, row), "old") << row;
  Open(WriteSine("L.ORV", 200));
  EXPECT_EQ(waveform.AxisMax, 1000.0f);
  EXPECT_EQ(waveform.AxisMin, -1000.0f);
}

TEST_F(OrvFileTest, OverlayReaderLabelsRowsFourToFifteenOnly) {
  for (int row = 0; row < HeaderGrid::kRows; ++row) grid.SetRow(row, "old", "old", "old");
  waveform.PaddedLength = 7;
  waveform.FlatEnergy = 3.0f;
  waveform.ReferenceSamples[0] = 42.0f;
  waveform.AxisMax = 5.0f;
  std::string text = Header();
  text += Line("Nu", "12", "");  // row 5, a value the overlay keeps
  OpenNewFileType6(folder.Write("O.ORV", text + SampleLines(Sine(100))), waveform, grid, rng);
  EXPECT_EQ(grid.HeaderLastRow, 5);
  EXPECT_EQ(grid.Cell(0, 4), "Number of samples");
  EXPECT_EQ(grid.Cell(1, 4), "100");
  EXPECT_EQ(grid.Cell(1, 5), "12 ");
  EXPECT_EQ(grid.Cell(2, 5), "allowed number of unwarned exposures");
  EXPECT_EQ(grid.Cell(0, 15), "Tb");
  EXPECT_EQ(grid.Cell(1, 15), "");
  EXPECT_EQ(grid.Cell(2, 15), "B-duration milliseconds");
  for (int row = 16; row < HeaderGrid::kRows; ++row) EXPECT_TRUE(grid.RowEmpty(row)) << row;
  EXPECT_EQ(waveform.Count(), 128);
  EXPECT_EQ(waveform.AxisMax, 1000.0f);
  EXPECT_EQ(waveform.PaddedLength, 7);
  EXPECT_EQ(waveform.FlatEnergy, 3.0f);
  EXPECT_EQ(waveform.ReferenceSamples[0], 42.0f);
}

TEST_F(OrvFileTest, FlatEnergyOfASineIsHalfItsSquaredAmplitudeOverTheDuration) {
  std::vector<float> values(4096);
  for (int i = 0; i < 4096; ++i)
    values[i] = static_cast<float>(100.0 * std::sin(2 * std::numbers::pi * 64 * i / 4096));
  Open(folder.Write("E.ORV", Header("8192") + SampleLines(values)));
  const double expected = 100.0 * 100.0 / 2 * (4096 / 8192.0) / 415.0;  // J/m^2
  EXPECT_NEAR(waveform.FlatEnergy, expected, 1e-4 * expected);
}

struct Snapshot {
  std::vector<std::string> Cells;
  int HeaderLastRow;
  std::int32_t LastSampleIndex, PaddedLength, MicLocation;
  float SampleRate, SampleInterval, DataMax, AxisMax, TimeEnd, FlatEnergy;
  std::string PlotTitle;
  std::vector<float> Samples, ReferenceSamples;
  std::uint32_t RngState;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const HeaderGrid& g, const TWaveform& w, const Lcg32& r) {
  Snapshot s{{},
             g.HeaderLastRow,
             w.LastSampleIndex,
             w.PaddedLength,
             w.MicLocation,
             w.SampleRate,
             w.SampleInterval,
             w.DataMax,
             w.AxisMax,
             w.TimeEnd,
             w.FlatEnergy,
             w.PlotTitle,
             {},
             {},
             r.State()};
  for (int row = 0; row < HeaderGrid::kRows; ++row)
    for (int column = 0; column < HeaderGrid::kColumns; ++column)
      s.Cells.push_back(g.Cell(column, row));
  s.Samples.assign(w.Samples.begin(), w.Samples.begin() + 8192);
  s.ReferenceSamples.assign(w.ReferenceSamples.begin(), w.ReferenceSamples.begin() + 8192);
  return s;
}

TEST_F(OrvFileTest, RefusedFilesChangeNeitherRecordNorGrid) {
  enum Kind { kFile, kMissing, kFolder };
  const std::string samples = "1.0\r\n2.0\r\n";
  const std::string head3 = Line("P", "V", "C") + Line("T", "", "t") + Line("Rate", "8000", "");
  std::string header31;
  for (int row = 0; row < 31; ++row) header31 += Line("P", "V", "C");
  const struct {
    const char* name;
    Kind kind;
    std::string text;
    std::vector<std::string> fragments;
  } cases[] = {
      {"missing", kMissing, "", {"Cannot open"}},
      {"folder", kFolder, "", {"Cannot open"}},
      {"empty", kFile, "", {"empty"}},
      {"header only", kFile, Header(), {"no samples"}},
      {"one sample", kFile, Header() + "1.0\r\n", {"one sample"}},
      {"malformed", kFile, Header() + samples + "3.0x\r\n", {"line 8", "3.0x", "sample 2"}},
      {"tab between samples", kFile, Header() + "1.0\r\n2.0\t3.0\r\n", {"line 7", "2.0<TAB>3.0"}},
      {"beyond single precision", kFile, Header() + samples + "1e39\r\n", {"line 8", "1e39"}},
      {"infinity", kFile, Header() + "inf 2\r\n", {"line 6"}},
      {"not a number", kFile, Header() + "1\r\n\r\nnan\r\n", {"line 8"}},
      {"rate zero", kFile, Header("0") + samples, {"sampling rate \"0 \""}},
      {"rate negative", kFile, Header("-5") + samples, {"sampling rate"}},
      {"rate below one", kFile, Header("0.5") + samples, {"sampling rate"}},
      {"rate text", kFile, Header("fast") + samples, {"sampling rate \"fast \""}},
      {"rate blank", kFile, Header("") + samples, {"sampling rate"}},
      {"no rate row",
       kFile,
       Line("P", "V", "C") + Line("T", "", "t") + samples,
       {"no sampling rate"}},
      {"no location row", kFile, head3 + samples, {"no microphone location"}},
      {"location fraction", kFile, Header("8000", "2.5") + samples, {"location \"2.5 \""}},
      {"location zero", kFile, Header("8000", "0") + samples, {"microphone location"}},
      {"location five", kFile, Header("8000", "5") + samples, {"microphone location"}},
      {"NUL bytes", kFile, Header() + std::string("1.0\0 2.0\r\n", 10), {"NUL"}},
      {"no header", kFile, samples, {"no header"}},
      {"binary", kFile, std::string("\x89PNG\x1a\x0b\xff\xfe", 8), {"no header"}},
      {"31 header lines", kFile, header31 + samples, {"31 header lines"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Open(WriteSine("GOOD.ORV", 5000));
    grid.SetRow(25, "kept", "kept", "kept");
    rng.Uniform();
    const Snapshot before = Take(grid, waveform, rng);
    const fs::path file = folder.Path() / "BAD.ORV";
    fs::remove_all(file);
    if (c.kind == kFile) folder.Write("BAD.ORV", c.text);
    if (c.kind == kFolder) fs::create_directory(file);
    for (const bool overlay : {false, true}) {
      try {
        if (overlay)
          OpenNewFileType6(file, waveform, grid, rng);
        else
          Open(file);
        ADD_FAILURE() << "accepted";
      } catch (const OrvekError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find(file.string()), std::string::npos) << message;
        for (const auto& fragment : c.fragments)
          EXPECT_NE(message.find(fragment), std::string::npos) << message;
      }
      EXPECT_TRUE(Take(grid, waveform, rng) == before);
    }
  }
}

TEST_F(OrvFileTest, ReadingStopsAtTheCapacity) {
  const struct {
    std::int32_t capacity;
    int n, read, count;
    bool truncated;
  } cases[] = {{5000, 6000, 5000, 4096, true},  {5000, 4500, 4500, 4096, true},
               {5000, 4100, 4100, 4096, false}, {4096, 4097, 4096, 4096, true},
               {4096, 4096, 4096, 4096, false}, {3000, 2100, 2100, 2048, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.capacity) + " " + std::to_string(c.n));
    TWaveform small(c.capacity);
    const auto file = WriteSine("C.ORV", c.n);
    for (const bool overlay : {false, true}) {
      const OrvReadReport report = overlay ? OpenNewFileType6(file, small, grid, rng)
                                           : OpenNewFileType5(file, false, false, small, grid, rng);
      EXPECT_EQ(report.SamplesRead, c.read);
      EXPECT_EQ(report.TruncatedAtCapacity, c.truncated);
      EXPECT_EQ(small.Count(), c.count);
    }
  }
  TWaveform bounded(5000);
  std::fill(bounded.Samples.begin(), bounded.Samples.begin() + 4500, 1.0f);
  bounded.LastSampleIndex = 4499;
  const auto file = folder.Path() / "W.ORV";
  SaveOrvFile(file, false, grid, bounded);
  EXPECT_EQ(bounded.Count(), 4096);
  EXPECT_EQ(CountOf(TempFolder::Read(file), "1.0000E0\r\n"), 4096);
}

TEST_F(OrvFileTest, FailedSaveLeavesTheFileAndTheRecordAsTheyWere) {
  grid.SetRow(2, "Sampling rate", "200000", "");
  SetSamples({1.0f, 2.0f, 3.0f});
  const auto readOnly = folder.Write("RO.ORV", "old contents");
  fs::permissions(readOnly, fs::perms::owner_read);
  const fs::path lockedFolder = folder.Path() / "locked";
  fs::create_directory(lockedFolder);
  const auto inLocked = lockedFolder / "IN.ORV";
  std::ofstream(inLocked) << "old contents";
  fs::permissions(lockedFolder, fs::perms::owner_read | fs::perms::owner_exec);
  const auto nonFinite = folder.Write("NF.ORV", "old contents");

  const struct {
    fs::path file;
    const char* fragment;
    std::optional<float> badSample;
  } cases[] = {
      {readOnly, "read-only", {}},
      {inLocked, "read-only", {}},
      {lockedFolder / "NEW.ORV", "read-only", {}},
      {folder.Path() / "nowhere" / "X.ORV", "does not exist", {}},
      {lockedFolder, "folder", {}},
      {nonFinite, "Sample 1 ", INFINITY},
      {nonFinite, "Sample 1 ", NAN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.string());
    waveform.Samples[1] = c.badSample.value_or(2.0f);
    try {
      SaveOrvFile(c.file, true, grid, waveform);
      ADD_FAILURE() << "saved";
    } catch (const OrvekError& e) {
      EXPECT_NE(std::string(e.what()).find(c.file.string()), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos) << e.what();
    }
    EXPECT_EQ(waveform.LastSampleIndex, 2);
    EXPECT_EQ(grid.HeaderLastRow, 4);
  }
  EXPECT_EQ(TempFolder::Read(readOnly), "old contents");
  EXPECT_EQ(TempFolder::Read(inLocked), "old contents");
  EXPECT_EQ(TempFolder::Read(nonFinite), "old contents");
  fs::permissions(lockedFolder, fs::perms::owner_all);
  EXPECT_FALSE(fs::exists(lockedFolder / "NEW.ORV"));
  EXPECT_EQ(std::distance(fs::directory_iterator(lockedFolder), fs::directory_iterator()), 1);
  EXPECT_EQ(folder.EntryCount(), 3);  // no temporary file left behind
}

TEST_F(OrvFileTest, SaveReplacesAnExistingFileKeepingItsPermissions) {
  const auto file = folder.Write("K.ORV", "old contents");
  const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(file, perms);
  SetSamples({1.0f, 2.0f});
  SaveOrvFile(file, false, grid, waveform);
  EXPECT_NE(TempFolder::Read(file), "old contents");
  EXPECT_EQ(fs::status(file).permissions(), perms);
  EXPECT_EQ(folder.EntryCount(), 1);
}

TEST_F(OrvFileTest, ReadersClearTheReadOnlyAttributeOnWritableMedia) {
  const auto file = WriteSine("R.ORV", 64);
  const auto writable = [&] {
    return (fs::status(file).permissions() & fs::perms::owner_write) != fs::perms::none;
  };
  fs::permissions(file, fs::perms::owner_read);
  OpenNewFileType5(file, false, false, waveform, grid, rng);
  EXPECT_FALSE(writable());
  OpenNewFileType5(file, true, false, waveform, grid, rng);
  EXPECT_TRUE(writable());
  fs::permissions(file, fs::perms::owner_read);
  OpenNewFileType6(file, waveform, grid, rng);
  EXPECT_TRUE(writable());
}

}  // namespace
}  // namespace orvek
