#include <gmock/gmock.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <optional>
#include <sstream>
#include <tuple>
#include <vector>

#include "ErrorMessage.h"
#include "TempFolder.h"
#include "base/DecimalNumber.h"
#include "base/OrvekError.h"
#include "waveform/OrvFile.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

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

int CountOf(const std::string& text, const std::string& what) {
  int count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

std::string Row(const HeaderGrid& g, int row) {
  return g.Cell(0, row) + "|" + g.Cell(1, row) + "|" + g.Cell(2, row);
}

// The header values of the record, to compare several at once.
std::string Summary(const TWaveform& w) {
  std::ostringstream s;
  s << w.SampleRate << " samples/s, " << w.SampleInterval << " s, mic " << w.MicLocation << ", "
    << w.Count() << " samples, " << w.DataMin << " to " << w.DataMax << " Pa, " << w.PlotTitle;
  return s.str();
}

// Everything a refused read or save must leave alone.
std::string Fingerprint(const HeaderGrid& g, const TWaveform& w, const Lcg32& r) {
  std::ostringstream s;
  for (int row = 0; row < HeaderGrid::kRows; ++row) s << Row(g, row) << '\n';
  s << Summary(w) << std::hexfloat << ' ' << w.SampleRate << ' ' << w.SampleInterval << ' '
    << w.PaddedLength << ' ' << w.AxisMax << ' ' << w.TimeEnd << ' ' << w.FlatEnergy << ' '
    << g.HeaderLastRow << ' ' << r.State();
  for (int i = 0; i < 8192; ++i) s << ' ' << w.Samples[i] << ' ' << w.ReferenceSamples[i];
  return s.str();
}

// `action` must throw OrvekError naming every fragment.
void ExpectRefusal(const std::function<void()>& action, const std::vector<std::string>& fragments) {
  const std::string message = MessageOf(action);
  for (const auto& fragment : fragments) EXPECT_THAT(message, ::testing::HasSubstr(fragment));
}

class OrvFileTest : public ::testing::Test {
 protected:
  OrvReadReport Open(const fs::path& file, bool pending = false) {
    return OpenNewFileType5(file, pending, waveform, grid, rng);
  }
  OrvReadReport Read(bool overlay, const fs::path& file) {
    return overlay ? OpenNewFileType6(file, waveform, grid, rng) : Open(file);
  }
  fs::path WriteSine(const std::string& name, int n) {
    return folder.Write(name, Header() + SampleLines(Sine(n)));
  }

  TempFolder folder;
  TWaveform waveform{1 << 16};
  HeaderGrid grid;
  Lcg32 rng;
};

TEST(CompactFloatText, WritesFiveSignificantDigitsCompactly) {
  const std::pair<float, const char*> cases[] = {
      {12.0f, "1.2000E1"},     {-250.0f, "-2.5000E2"},       {0.001f, "1.0000E-3"},
      {0.0f, "0.0000E0"},      {-0.0f, "0.0000E0"},          {9.99995f, "1.0000E1"},
      {123456.0f, "1.2346E5"}, {100005.0f, "1.0000E5"},      {100015.0f, "1.0002E5"},
      {1e-30f, "1.0000E-30"},  {3.4028235e38f, "3.4028E38"}, {1.4e-45f, "1.4013E-45"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(CompactFloatText(value), text) << value;
}

TEST(ParseDecimal, AcceptsDecimalNotationOnly) {
  const std::pair<const char*, std::optional<float>> cases[] = {
      {"12", 12.0f}, {"+12", 12.0f}, {"-2.5E2", -250.0f}, {"1.2000e1", 12.0f},
      {".5", 0.5f},  {"5.", 5.0f},   {"1e-46", 0.0f},     {"", {}},
      {"-", {}},     {".", {}},      {"1e", {}},          {"1.2.3", {}},
      {"+-1", {}},   {"inf", {}},    {"-nan", {}},        {"0x10", {}},
      {"1e39", {}},  {"1,5", {}},    {"1\t2", {}},        {" 1", {}}};
  for (const auto& [text, expected] : cases) {
    float value = -99.0f;
    const bool ok = ParseDecimal(text, text + std::strlen(text), value);
    EXPECT_EQ(ok ? std::optional(value) : std::nullopt, expected) << '"' << text << '"';
  }
}

// 4167 / 4096 < 2^0.025; log2 1066905 is 20.0250003, 20.0249996 in single precision; 2^31 does
// not fit a 32-bit count.
TEST(PowerOfTwoCount, CutsJustAboveAPowerOfTwoAndPadsBeyond) {
  const std::tuple<std::int32_t, std::int32_t, std::int32_t> cases[] = {
      // clang-format off
      {1, 1, 1}, {3, 4, 4}, {4096, 4096, 4096}, {4097, 4096, 4096}, {4167, 4096, 4096},
      {4168, 8192, 8192}, {1066905, 1048576, 2097152}, {INT32_MAX, 1073741824, 1073741824},
      // clang-format on
  };
  for (const auto& [n, singleLogCount, doubleLogCount] : cases) {
    EXPECT_EQ(PowerOfTwoCount(n, false), singleLogCount) << n;
    EXPECT_EQ(PowerOfTwoCount(n, true), doubleLogCount) << n;
  }
}

// A TAB opening the file, TAB runs, empty lines, LF or lone CR line ends, several values a line.
TEST_F(OrvFileTest, TokensRunToTheNextSeparator) {
  const std::string text = "\tVALUE\t\t\tCOMMENT\n\r\n\r\nTitle\tx\tMY TITLE\r" +
                           Line("Sampling rate", "8000", "") + "\n" + Line("Mic", "3", "") +
                           "\r\n\r\n  1 2  3\r\n4\n\r\n5 6\r7    8 \r\n";
  Open(folder.Write("A.ORV", text));
  EXPECT_EQ(Row(grid, 0) + Row(grid, 1), " |VALUE|COMMENTTitle|x|MY TITLE");
  EXPECT_EQ(Summary(waveform), "8000 samples/s, 0.000125 s, mic 3, 8 samples, 1 to 8 Pa, MY TITLE");
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(waveform.Samples[i], i + 1.0, 6 * 8.0 / 131072) << i;
}

// The blank the writer puts after each cell is not read into it: a file this program wrote saves
// back to the same bytes, however often it is opened and saved.
TEST_F(OrvFileTest, OpenAndSaveReproduceTheFileByteForByte) {
  const std::string text = Header() + "1.2000E1\r\n-2.5000E2\r\n";
  const auto file = folder.Write("A.ORV", text);
  for (int cycle = 0; cycle < 3; ++cycle) {
    const OrvReadReport report = Open(file);
    EXPECT_FALSE(report.TruncatedAtCapacity || report.OldLayout);
    // Five digits do not keep the dither: rate, range and values stay.
    EXPECT_EQ(Summary(waveform),
              "200000 samples/s, 5e-06 s, mic 1, 2 samples, -250 to 12 Pa, NEW SOURCE");
    grid.SetCell(1, 4, "0");  // the reader writes the count; the file held "0"
    SaveOrvFile(file, false, grid, waveform, {});
    EXPECT_EQ(TempFolder::Read(file), text) << cycle;
  }
  // An empty title row stays in its place through "Save as", so the rate stays in row 2.
  const auto untitled = folder.Write("U.ORV", Line("P", "V", "C") + Line("", "", "") +
                                                  Line("Sampling rate", "8000", "") +
                                                  Line("Mic", "2", "") + "1\r\n2\r\n");
  Open(untitled);
  SaveOrvFile(untitled, true, grid, waveform, {});
  Open(untitled);
  EXPECT_EQ(std::tuple(waveform.SampleRate, waveform.MicLocation), std::tuple(8000.0f, 2));
  // A DOS end-of-file mark after the last sample is not a sample.
  folder.Write("Z.ORV", text + "\x1a");
  EXPECT_EQ(Open(folder.Path() / "Z.ORV").SamplesRead, 2);
}

// The line format itself is pinned by the golden runs' written files; here, the cells a user can
// spoil: a TAB typed into a cell, and an empty row before the sample count.
TEST_F(OrvFileTest, SaveKeepsTheColumnsWhateverTheCellsHold) {
  grid.SetRow(1, "Title", "", "A\tB");
  grid.SetRow(2, "Sampling rate", "200000", "");
  grid.SetRow(4, "Number of Samples", "2", "x");
  waveform.LastSampleIndex = 1;
  SaveOrvFile(folder.Path() / "OUT.ORV", false, grid, waveform, {});
  EXPECT_THAT(TempFolder::Read(folder.Path() / "OUT.ORV"),
              ::testing::HasSubstr("\tA B \r\nSampling rate \t200000 \t \r\n \t \t \r\nNumber"));
}

TEST_F(OrvFileTest, SaveAsWritesEveryNonEmptyRowAndThirtyRowsReadAsTheOldLayout) {
  for (int row = 0; row < HeaderGrid::kRows; ++row)
    grid.SetRow(row, "P" + std::to_string(row), row == 3 ? "50000" : "2", "C");
  grid.ClearRow(7);
  grid.ClearRow(20);
  const std::vector<float> sine = Sine(16);
  std::copy(sine.begin(), sine.end(), waveform.Samples.begin());
  waveform.LastSampleIndex = 15;
  const auto file = folder.Path() / "ALL.ORV";
  SaveOrvFile(file, true, grid, waveform, {});
  const std::string text = TempFolder::Read(file);
  EXPECT_EQ(CountOf(text, " \t"), 2 * 28);
  EXPECT_EQ(CountOf(text, "\r\nP6 \t2 \tC \r\nP8 \t2 \tC \r\n"), 1);

  // Thirty lines: rows 2, 3 and 13 move up to 1, 2 and 3, rows from 12 on are cleared.
  grid.SetRow(7, "P7", "2", "C");
  grid.SetRow(20, "P20", "2", "C");
  SaveOrvFile(file, true, grid, waveform, {});
  EXPECT_TRUE(Open(file).OldLayout);
  EXPECT_EQ(grid.HeaderLastRow, 4);
  EXPECT_EQ(Row(grid, 1), "P2|2|C");
  EXPECT_EQ(Row(grid, 2), "P3|50000|C");
  EXPECT_EQ(Row(grid, 3), "P13|2|C");
  EXPECT_EQ(Row(grid, 4), "Number of samples|16|C");
  for (int row = 12; row < HeaderGrid::kRows; ++row) EXPECT_TRUE(grid.RowEmpty(row)) << row;
  EXPECT_EQ(Summary(waveform), "50000 samples/s, 2e-05 s, mic 2, 16 samples, 0 to 454 Pa, C");

  // Thirty rows holding a rate in row 2 and a location in row 3 are this layout: saved with no
  // row empty, the live cells read back as they were.
  grid.SetRow(2, "Sampling rate", "50000", "samples/sec");
  grid.SetRow(3, "Microphone relative to ear", "3", "eardrum");
  for (int row = 5; row < HeaderGrid::kRows; ++row) grid.SetRow(row, "R", std::to_string(row), "");
  const HeaderGrid saved = grid;
  SaveOrvFile(file, true, grid, waveform, {});
  EXPECT_FALSE(Open(file).OldLayout);
  for (int row = 0; row <= HeaderRow::SampleCount; ++row)
    EXPECT_EQ(Row(grid, row), Row(saved, row));
  EXPECT_EQ(std::tuple(waveform.SampleRate, waveform.MicLocation, waveform.Count()),
            std::tuple(50000.0f, 3, 16));
}

// The readers take log2 in single precision, "Save" in double; around 4096 both agree.
TEST_F(OrvFileTest, ReadersAndSavePadOrCutToAPowerOfTwo) {
  const struct { int n, count; } cases[] = {{5, 8}, {4167, 4096}, {4168, 8192}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.n);
    const auto file = WriteSine("P.ORV", c.n);
    for (const bool overlay : {false, true}) {
      EXPECT_EQ(Read(overlay, file).SamplesRead, c.n);
      EXPECT_EQ(grid.Cell(1, 4), std::to_string(c.n));
      EXPECT_EQ(std::tie(waveform.PaddedLength, waveform.LastIndex),
                std::tuple(c.count, c.count - 1));
      EXPECT_FLOAT_EQ(waveform.TimeEnd, static_cast<float>((c.count - 1) / 200000.0));
    }
    std::fill(waveform.Samples.begin(), waveform.Samples.end(), 1.5f);
    waveform.LastSampleIndex = c.n - 1;
    const auto saved = folder.Path() / "S.ORV";
    SaveOrvFile(saved, false, grid, waveform, {});
    const std::string text = TempFolder::Read(saved);
    EXPECT_EQ(CountOf(text, "1.5000E0\r\n"), std::min(c.n, c.count));
    EXPECT_EQ(CountOf(text, "0.0000E0\r\n"), std::max(0, c.count - c.n));
    for (int i = c.n; i < c.count; ++i) ASSERT_EQ(waveform.Samples[i], 0.0f);
  }
}

// Repeated reads are bit-identical: the main reader adds Gaussian dither of DataMax / 2^17 from a
// generator seeded with 1 and pads with more of it; the overlay adds uniform dither from the
// running generator and pads with zeros.
TEST_F(OrvFileTest, DitherAndPaddingOfTheTwoReaders) {
  const auto file = WriteSine("D.ORV", 4000);
  const std::vector<float> sine = Sine(4000);
  const double sd = 1000.0 / 131072;
  rng.Seed(99);
  Open(file);
  Lcg32 main(1), overlay(7);
  for (int i = 0; i < 4096; ++i) {
    const float expected = static_cast<float>((i < 4000 ? sine[i] : 0.0) + main.Gaussian(0.0, sd));
    ASSERT_EQ(waveform.Samples[i], expected) << i;
    ASSERT_EQ(waveform.ReferenceSamples[i], expected) << i;
  }
  rng.Seed(7);
  OpenNewFileType6(file, waveform, grid, rng);
  for (int i = 0; i < 4096; ++i) {
    const double dither = i < 4000 ? (overlay.Uniform() - 0.5) * sd : 0.0;
    ASSERT_EQ(waveform.Samples[i], static_cast<float>((i < 4000 ? sine[i] : 0.0) + dither)) << i;
  }
  EXPECT_EQ(rng.State(), overlay.State());
}

// Dither cannot carry a sample at the edge of the single-precision range beyond it. Reading
// never modifies the file: contents, permissions and time stamps stay.
TEST_F(OrvFileTest, DitheredSamplesStayWithinTheSingleRange) {
  std::string samples;
  for (int i = 0; i < 16; ++i) samples += i % 2 ? "-3.4028234E38\r\n" : "3.4028234E38\r\n";
  const auto file = folder.Write("MAX.ORV", Header() + samples);
  const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
  fs::last_write_time(file, old);
  fs::permissions(file, fs::perms::owner_read);
  for (const bool overlay : {false, true}) {
    SCOPED_TRACE(overlay ? "overlay" : "main");
    Read(overlay, file);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read);
    EXPECT_EQ(fs::last_write_time(file), old);
    EXPECT_EQ(TempFolder::Read(file), Header() + samples);
    ASSERT_EQ(waveform.Count(), 16);
    EXPECT_EQ(waveform.DataMax, FLT_MAX);
    for (int i = 0; i < 16; ++i) {
      EXPECT_TRUE(std::isfinite(waveform.Samples[i])) << i;
      EXPECT_NEAR(waveform.Samples[i] / FLT_MAX, i % 2 ? -1.0 : 1.0, 1e-4) << i;
    }
  }
}

TEST_F(OrvFileTest, ReadersLabelTheResultRows) {
  for (int row = 5; row < HeaderGrid::kRows; ++row) grid.SetRow(row, "old", "old", "old");
  waveform.AxisMax = 5.0f;
  Open(WriteSine("L.ORV", 200), true);  // a pending pressure range keeps the axis
  EXPECT_EQ(waveform.AxisMax, 5.0f);
  EXPECT_EQ(Row(grid, 11), "A-weighted energy||Joules/m^2");
  EXPECT_TRUE(grid.RowEmpty(12) && grid.RowEmpty(21));
  for (int row = 22; row < HeaderGrid::kRows; ++row) EXPECT_EQ(grid.Cell(1, row), "old") << row;

  // The overlay keeps the file's values in rows 4 to 15, labels them its own way, clears the rest
  // and leaves what only the main reader sets.
  const float flatEnergy = waveform.FlatEnergy, reference0 = waveform.ReferenceSamples[0];
  waveform.AxisMax = 5.0f;
  const std::string text = Header() + Line("Nu", "12", "") + SampleLines(Sine(100));
  OpenNewFileType6(folder.Write("O.ORV", text), waveform, grid, rng);
  EXPECT_EQ(Row(grid, 5), "Nu|12|allowed number of unwarned exposures");
  EXPECT_EQ(Row(grid, 15), "Tb||B-duration milliseconds");
  for (int row = 16; row < HeaderGrid::kRows; ++row) EXPECT_TRUE(grid.RowEmpty(row)) << row;
  EXPECT_EQ(waveform.AxisMax, 1000.0f);
  EXPECT_EQ(std::tie(waveform.FlatEnergy, waveform.ReferenceSamples[0]),
            std::tie(flatEnergy, reference0));
}

TEST_F(OrvFileTest, FlatEnergyOfASineIsHalfItsSquaredAmplitudeOverTheDuration) {
  std::vector<float> values(4096);
  for (int i = 0; i < 4096; ++i)
    values[i] = static_cast<float>(100.0 * std::sin(2 * std::numbers::pi * 64 * i / 4096));
  Open(folder.Write("E.ORV", Header("8192") + SampleLines(values)));
  const double expected = 100.0 * 100.0 / 2 * (4096 / 8192.0) / 415.0;  // J/m^2
  EXPECT_NEAR(waveform.FlatEnergy, expected, 1e-4 * expected);
}

TEST_F(OrvFileTest, RefusedFilesChangeNeitherRecordNorGrid) {
  const std::string samples = "1.0\r\n2.0\r\n";
  std::string header31;
  for (int row = 0; row < 31; ++row) header31 += Line("P", "V", "C");
  // Name, contents (none: a folder of that name) and what the message must name.
  const std::tuple<const char*, std::optional<std::string>, std::vector<std::string>> cases[] = {
      {"folder", {}, {"Cannot open"}},
      {"empty", "", {"empty"}},
      {"header only", Header(), {"no samples"}},
      {"one sample", Header() + "1.0\r\n", {"one sample"}},
      {"malformed", Header() + samples + "3.0x\r\n", {"line 8", "3.0x", "sample 2"}},
      {"TAB between samples", Header() + "1.0\r\n2.0\t3.0\r\n", {"line 7", "2.0<TAB>3.0"}},
      {"beyond single precision", Header() + samples + "1e39\r\n", {"line 8", "1e39"}},
      {"not a number after an empty line", Header() + "1\r\n\r\nnan\r\n", {"line 8"}},
      {"rate zero", Header("0") + samples, {"sampling rate \"0\""}},
      {"rate below one", Header("0.5") + samples, {"sampling rate"}},
      {"rate text", Header("fast") + samples, {"sampling rate \"fast\""}},
      {"no rate row", Line("P", "V", "C") + Line("T", "", "t") + samples, {"no sampling rate"}},
      {"no location row",
       Line("P", "V", "C") + Line("T", "", "t") + Line("Rate", "8000", "") + samples,
       {"no microphone location"}},
      {"location fraction", Header("8000", "2.5") + samples, {"location \"2.5\""}},
      {"location zero", Header("8000", "0") + samples, {"microphone location"}},
      {"location five", Header("8000", "5") + samples, {"microphone location"}},
      {"NUL bytes", Header() + std::string("1.0\0 2.0\r\n", 10), {"NUL"}},
      {"no header", samples, {"no header"}},
      {"31 header lines", header31 + samples, {"31 header lines"}},
  };
  Open(WriteSine("GOOD.ORV", 5000));
  grid.SetRow(25, "kept", "kept", "kept");
  rng.Uniform();
  const std::string before = Fingerprint(grid, waveform, rng);
  const auto expectRefused = [&](const fs::path& file, std::vector<std::string> fragments) {
    fragments.push_back(file.string());
    for (const bool overlay : {false, true}) {
      ExpectRefusal([&] { Read(overlay, file); }, fragments);
      EXPECT_TRUE(Fingerprint(grid, waveform, rng) == before);
    }
  };
  expectRefused(folder.Path() / "MISSING.ORV", {"Cannot open"});
  for (const auto& [name, text, fragments] : cases) {
    SCOPED_TRACE(name);
    const fs::path file = folder.Path() / "BAD.ORV";
    fs::remove_all(file);
    if (text)
      folder.Write("BAD.ORV", *text);
    else
      fs::create_directory(file);
    expectRefused(file, fragments);
  }
}

// Reading stops at the capacity; 4500 values would need 8192 samples and are cut to 4096.
TEST_F(OrvFileTest, ReadingStopsAtTheCapacity) {
  // Capacity, values in the file, values read, samples kept, truncated.
  const std::tuple<std::int32_t, int, int, int, bool> cases[] = {{4096, 4097, 4096, 4096, true},
                                                                 {4096, 4096, 4096, 4096, false},
                                                                 {5000, 4500, 4500, 4096, true},
                                                                 {5000, 4100, 4100, 4096, false}};
  for (const auto& [capacity, n, read, count, truncated] : cases) {
    SCOPED_TRACE(testing::Message() << capacity << " " << n);
    waveform = TWaveform(capacity);
    const auto file = WriteSine("C.ORV", n);
    for (const bool overlay : {false, true}) {
      const OrvReadReport report = Read(overlay, file);
      EXPECT_EQ(report.SamplesRead, read);
      EXPECT_EQ(report.TruncatedAtCapacity, truncated);
      EXPECT_EQ(waveform.Count(), count);
    }
  }
}

// How each failure leaves the file is SafeWriteTest's; here, that a refused save leaves the record
// and header, whether the folder or a sample the format cannot hold refuses it.
TEST_F(OrvFileTest, RefusedSavesLeaveTheRecordAndAGoodSaveKeepsThePermissions) {
  grid.SetRow(2, "Sampling rate", "200000", "");
  std::fill_n(waveform.Samples.begin(), 3, 1.0f);
  waveform.LastSampleIndex = 2;
  const auto file = folder.Write("NF.ORV", "old contents");
  const std::tuple<fs::path, const char*, float> cases[] = {
      // Target, what the message names, sample 1.
      {folder.Path() / "nowhere" / "X.ORV", "does not exist", 1.0f},
      {file, "Sample 1 ", INFINITY},
      {file, "Sample 1 ", NAN}};
  for (const auto& [target, fragment, sample1] : cases) {
    waveform.Samples[1] = sample1;
    const std::string before = Fingerprint(grid, waveform, rng);
    ExpectRefusal([&] { SaveOrvFile(target, true, grid, waveform, {}); },
                  {target.string(), fragment});
    EXPECT_TRUE(Fingerprint(grid, waveform, rng) == before);
  }
  EXPECT_EQ(TempFolder::Read(file), "old contents");
  const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(file, perms);
  waveform.Samples[1] = 2.0f;
  SaveOrvFile(file, false, grid, waveform, {});
  EXPECT_NE(TempFolder::Read(file), "old contents");
  EXPECT_EQ(fs::status(file).permissions(), perms);
  EXPECT_EQ(folder.EntryCount(), 1);
}

}  // namespace
}  // namespace orvek
