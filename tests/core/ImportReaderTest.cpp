#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ErrorMessage.h"
#include "TempFolder.h"
#include "waveform/HeaderEdit.h"
#include "waveform/ImportReader.h"
#include "waveform/TextTokenizer.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;
using Floats = std::vector<float>;

constexpr ImportLimits kTinyLimits{16, 5};  // classified on 16 bytes, the rest read from disk

// What the user answers.
struct Answers {
  std::optional<ByteOrder> Order = std::nullopt;
  std::optional<std::int32_t> Column = std::nullopt;
  ImportChoices::Channels Channels{1, 0};
};

bool Mentions(const ImportReport& report, const std::string& fragment) {
  return std::any_of(report.Notices.begin(), report.Notices.end(),
                     [&](const std::string& n) { return n.find(fragment) != std::string::npos; });
}

class Import : public ::testing::Test {
 protected:
  Import() { FillDefaultHeader(grid); }

  ImportReport Read(const fs::path& file, const std::string& tag, const Answers& answers = {},
                    const ImportLimits& limits = {}, TWaveform* into = nullptr) {
    orders = 0;
    columnsAsked.clear();
    channelsAsked.clear();
    firstLineValues.clear();
    ImportChoices choices;
    choices.Int16Order = [this, answers] { return ++orders, answers.Order; };
    choices.SpreadsheetColumn = [this, answers](std::int32_t columns) {
      return columnsAsked.push_back(columns), answers.Column;
    };
    choices.MultiplexedChannels = [this, answers](std::int64_t bytes, std::int32_t firstLine) {
      return channelsAsked.push_back(bytes), firstLineValues.push_back(firstLine), answers.Channels;
    };
    return OpenNewFileType4(file, tag, choices, into ? *into : waveform, grid, limits);
  }
  static Floats Values(const TWaveform& w) {
    return {w.Samples.begin(), w.Samples.begin() + w.Count()};
  }
  Floats Values() const { return Values(waveform); }

  TempFolder folder;
  TWaveform waveform{1 << 20};
  HeaderGrid grid;
  int orders = 0;
  std::vector<std::int32_t> columnsAsked;     // the column count each column question reported
  std::vector<std::int64_t> channelsAsked;    // the file size each channel question reported
  std::vector<std::int32_t> firstLineValues;  // and the values on the first line of numbers
};

// Little-endian byte images, built value by value.
std::string Le(std::uint32_t value, int bytes) {
  std::string text;
  for (int i = 0; i < bytes; ++i) text += static_cast<char>(value >> (8 * i) & 0xff);
  return text;
}

std::string FloatBytes(const Floats& values) {
  std::string bytes;
  for (const float v : values) bytes += Le(std::bit_cast<std::uint32_t>(v), 4);
  return bytes;
}

std::string Int16s(const std::vector<std::int16_t>& values) {
  std::string bytes;
  for (const std::int16_t v : values) bytes += Le(static_cast<std::uint16_t>(v), 2);
  return bytes;
}

struct TextCase {
  const char* Name;
  std::string Text;
  std::optional<std::int32_t> Column;  // the answer to the column question
  std::optional<std::int32_t> Asked;   // the column count it reported; nullopt: not asked
  Floats Values;                       // empty: "holds no numbers"
};

TEST_F(Import, TextValuesAndTheColumnQuestion) {
  const std::string csv = "Time,Left,Right\r\nunits s,Pa,Pa\r\n0,1,2\r\n3,4,5\r\n6,7,8\r\n";
  const TextCase cases[] = {
      {"one column, No", "1\r\n2\r\n3\r\n", {}, 1, {1, 2, 3}},
      {"one column, Yes 1", "1\r\n2\r\n3\r\n", 1, 1, {1, 2, 3}},
      {"CSV with a two-line header, column 2", csv, 2, 3, {1, 4, 7}},
      {"CSV with a two-line header, No", csv, {}, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {"one line, no line end", "1 2 3", 1, {}, {1, 2, 3}},
      {"one line with its line end", "1 2 3\r\n", 2, 3, {2}},
      {"Ctrl-Z is a separator, not a line end", "1 2 3\x1a", 1, {}, {1, 2, 3}},
      {"mixed separators", "\t 1,2\t3  4\r5\n6\x1a", {}, 4, {1, 2, 3, 4, 5, 6}},
      {"uneven rows", "1,2,3\n4,5\n6,7,8,9\n", 1, 3, {1, 4, 7}},
      {"decimal notation", "+1.5e2,-.5,5.,1E-3\n", {}, 4, {150, -0.5f, 5, 0.001f}},
      {"header with digits", "Rate 200000 Hz\r\n\r\n\r\n7\r\n8\r\n", {}, 1, {7, 8}},
      {"header ends at Ctrl-Z", "title\x1a\x1a\n1\n2\n", {}, 1, {1, 2}},
      {"header ends at a lone CR", "shot 5\r-1 -2\r-3 -4\r", 2, 2, {-2, -4}},
      {"empty file", "", {}, {}, {}},
      {"header without line end", "TITLE ONLY", {}, {}, {}},
      {"separators only", "\r\n\t \r\n", {}, {}, {}},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.Name);
    FillDefaultHeader(grid);
    grid.SetCell(2, 1, "MY SHOT");
    waveform.LastSampleIndex = 9;  // a previous record
    const ImportReport report =
        Read(folder.Write("shot.050", c.Text), ".050", {.Column = c.Column});
    EXPECT_EQ(report.Kind, ImportKind::Text);
    EXPECT_EQ(columnsAsked, c.Asked ? std::vector{*c.Asked} : std::vector<std::int32_t>{});
    EXPECT_EQ(Values(), c.Values);
    const auto n = static_cast<std::int32_t>(c.Values.size());
    EXPECT_EQ(report.Decoded, n > 0);
    EXPECT_EQ(waveform.WaveformLoaded, n > 0);
    EXPECT_EQ(report.Notices, n > 0 ? std::vector<std::string>{}
                                    : std::vector{"\"" + (folder.Path() / "shot.050").string() +
                                                  "\" holds no numbers, so nothing was imported."});
    EXPECT_EQ(grid.Cell(1, 4), n > 0 ? std::to_string(n) : "");
    EXPECT_EQ(grid.Cell(1, 2), "200000");
    EXPECT_EQ(waveform.PlotTitle, "MY SHOT");
    if (n == 0) continue;
    EXPECT_EQ(waveform.DataMax, *std::max_element(c.Values.begin(), c.Values.end()));
    EXPECT_EQ(waveform.DataMin, *std::min_element(c.Values.begin(), c.Values.end()));
    EXPECT_TRUE(waveform.AxisMax == waveform.DataMax && waveform.AxisMin == waveform.DataMin);
    EXPECT_EQ(waveform.LastIndex, n - 1);
    EXPECT_FLOAT_EQ(waveform.TimeEnd, (n - 1) * 5e-6f);
  }
}

// Singles of magnitude below 2^20 whose bytes are not all text.
const Floats kFloats{0.1f, -1.25f, 1000.3f, -5e5f, 3.3e-7f, 0.0f, 7.77f};

// The extension carries the interval in tenths of a microsecond; cell (1, 2) shows the rate the
// samples are read at, exactly. Raw singles read only the first three characters.
TEST_F(Import, RateFromTheExtension) {
  const struct {
    const char* Tag;
    float Rate;
    const char* Cell;
    const char* RawCell;
    bool Zero;
  } cases[] = {{".050", 200000, "200000", "200000", false},
               {".100", 100000, "100000", "100000", false},
               {".TXT", 200000, "200000", "200000", false},
               {"", 200000, "200000", "200000", false},
               {".3", 1e7f / 3, "3333333.2", "3333333.2", false},
               {".0501", 1e7f / 501, "19960.08", "200000", false},
               {".000", 200000, "200000", "200000", true},
               {".-5", 200000, "200000", "200000", true}};
  const auto text = folder.Write("rec.txt", "1\n2\n");
  const auto raw = folder.Write("rec.bin", FloatBytes(kFloats) + "\x01\x02\x03");  // + a part
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Tag);
    const std::string notice = "The extension \"" + std::string(c.Tag) +
                               "\" gives no sample interval; 200000 samples/s is assumed.";
    ImportReport report = Read(text, c.Tag);
    EXPECT_FLOAT_EQ(waveform.SampleRate, c.Rate);
    EXPECT_FLOAT_EQ(waveform.SampleInterval, 1 / c.Rate);
    EXPECT_EQ(grid.Cell(1, 2), c.Cell);
    EXPECT_EQ(static_cast<float>(*CellReal(grid.Cell(1, 2))), waveform.SampleRate);
    EXPECT_EQ(report.RateFromExtensionZero, c.Zero);
    EXPECT_EQ(Mentions(report, notice), c.Zero);
    for (const ImportLimits& limits : {ImportLimits{}, kTinyLimits}) {
      report = Read(raw, c.Tag, {}, limits);
      EXPECT_EQ(report.Kind, ImportKind::RawFloat32);
      EXPECT_EQ(Values(), kFloats);
      EXPECT_EQ(grid.Cell(1, 2), c.RawCell);
      EXPECT_FLOAT_EQ(waveform.SampleRate, std::string(c.Tag) == ".0501" ? 200000 : c.Rate);
      EXPECT_EQ(Mentions(report, notice), c.Zero);
      FillDefaultHeader(grid);
    }
  }
}

TEST_F(Import, Int16InTheChosenByteOrder) {
  // 32767 puts 0x7f at byte 3, so the file is not taken for singles; the odd byte is ignored.
  const auto file =
      folder.Write("rec.100", std::string("\x01\x00\xff\x7f\xfe\xff\x00\x80\x34\x12\x99", 11));
  const struct {
    std::optional<ByteOrder> Order;
    Floats Values;
  } cases[] = {
      {ByteOrder::LittleEndian, {1, 32767, -2, -32768, 0x1234}},
      {ByteOrder::BigEndian, {256, -129, -257, 128, 0x3412}},
      {std::nullopt, {}},
  };
  for (const auto& c : cases) {
    for (const ImportLimits& limits : {ImportLimits{}, ImportLimits{4, 3}}) {
      FillDefaultHeader(grid);
      const ImportReport report = Read(file, ".100", {.Order = c.Order}, limits);
      EXPECT_EQ(report.Kind, ImportKind::Int16);
      EXPECT_EQ(orders, 1);
      EXPECT_EQ(Values(), c.Values);
      EXPECT_EQ(report.Decoded, c.Order.has_value());
      EXPECT_TRUE(report.Notices.empty() && columnsAsked.empty());
      EXPECT_EQ(grid.Cell(1, 2), "100000");  // the rate the samples are read at
      EXPECT_EQ(grid.Cell(1, 4), c.Order ? "5" : "");
      EXPECT_EQ(waveform.SampleRate, 100000.0f);
    }
  }
}

// Refusals name the file and the place; the record is left empty.
TEST_F(Import, RefusalsNameTheirLine) {
  const struct {
    std::string Text;
    Answers Answer;
    std::string Where;
  } cases[] = {
      {"1\r\n2\r\n1.2.3\r\n", {}, "line 3: \"1.2.3\" is not a number (sample 2"},
      {"Header\r\n\r\n1\n/\n", {}, "line 4: \"/\""},
      {"5\r\r7 -\r\n", {}, "line 3: \"-\""},
      {"1\n\r2e\n", {}, "line 3: \"2e\""},
      {"1e39\n", {}, "line 1: \"1e39\""},
      {"1\b2\n", {}, "line 1: \"1?2\""},
      {"9 " + std::string(5000, '1'), {}, "line 1: \"" + std::string(24, '1') + "...\""},
      {"1,2\n3,4\n", {.Column = 3}, "column 3 was chosen, but the file has columns 1 to 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text.substr(0, 20));
    Read(folder.Write("good.txt", "1 2 3"), ".TXT");
    ASSERT_TRUE(waveform.WaveformLoaded);
    const fs::path file = folder.Write("bad.txt", c.Text);
    const std::string message = MessageOf([&] { Read(file, ".TXT", c.Answer); });
    EXPECT_NE(message.find(file.string()), std::string::npos) << message;
    EXPECT_NE(message.find(c.Where), std::string::npos) << message;
    EXPECT_EQ(waveform.LastSampleIndex, -1);
    EXPECT_FALSE(waveform.WaveformLoaded);
  }
  EXPECT_NE(MessageOf([&] { Read(folder.Path() / "missing.wav", ".WAV"); }).find("missing.wav"),
            std::string::npos);
  MessageOf([&] { Read(folder.Path(), ""); });  // a folder
}

// A token that is not a number never shortens a recording in silence: it is refused by line and
// token when it would be imported, and left alone in a spreadsheet column the user did not choose.
TEST_F(Import, TokensThatAreNotNumbersAreRefusedWhereTheyWouldBeImported) {
  std::string nan, overload;
  for (int line = 1; line <= 5000; ++line) {
    nan += line == 2500 ? "NaN\r\n" : std::to_string(line) + "\r\n";
    overload += std::to_string(line) + (line == 4990 ? " overload\n" : "\n");
  }
  const std::string dated = "Date,Pressure\r\n1/2/2020,0.5\r\n1/3/2020,-0.25\r\n";
  const std::string flagged = "0.5,ok\n0.25,overload\n";
  const struct {
    const char* Name;
    std::string Text;
    std::optional<std::int32_t> Column;
    std::optional<std::int32_t> Asked;  // the column count the question reported
    Floats Values;                      // empty: refused
    std::string Said;                   // the refusal, or a notice
  } cases[] = {
      {"NaN at line 2500 of 5000",
       nan,
       {},
       {},
       {},
       "line 2500: \"NaN\" is not a number (sample 2499;"},
      {"overload near the end", overload, {}, {}, {}, "line 4990: \"overload\" is not a number"},
      {"a date column left out", dated, 2, 2, {0.5f, -0.25f}, ""},
      {"the date column chosen",
       dated,
       1,
       2,
       {},
       "line 2: \"1/2/2020\" in column 1 is not a number (value 1 of the column;"},
      {"the dates read in order",
       dated,
       {},
       2,
       {},
       "line 2: \"1/2/2020\" is not a number (sample 0;"},
      {"a column of words left out", flagged, 1, 2, {0.5f, 0.25f}, ""},
      {"the column of words chosen", flagged, 2, 2, {}, "line 1: \"ok\" in column 2"},
      {"text after two lines of numbers", "1\n2\nNaN\n3\n", {}, {}, {}, "line 3: \"NaN\""},
      {"a header line that starts with a number",
       "44100 Hz\r\n1\r\n2\r\n",
       {},
       1,
       {1, 2},
       "start at line 2; the lines before it hold text and were skipped as its header, among them "
       "line 1, which starts with a number."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path file = folder.Write("values.csv", c.Text);
    if (c.Values.empty()) {
      const std::string message = MessageOf([&] { Read(file, ".CSV", {.Column = c.Column}); });
      EXPECT_NE(message.find("Import file \"" + file.string() + "\", " + c.Said), std::string::npos)
          << message;
      EXPECT_EQ(waveform.LastSampleIndex, -1);
    } else {
      const ImportReport report = Read(file, ".CSV", {.Column = c.Column});
      EXPECT_EQ(Values(), c.Values);
      EXPECT_EQ(report.Notices.empty(), c.Said.empty());
      EXPECT_TRUE(c.Said.empty() || Mentions(report, c.Said)) << report.Notices[0];
    }
    EXPECT_EQ(columnsAsked, c.Asked ? std::vector{*c.Asked} : std::vector<std::int32_t>{});
  }
}

// Text is text whatever its encoding: UTF-8 with or without a byte-order mark (a unit such as
// "µPa" in the header included) and UTF-16 with one, in either byte order. A binary file that
// merely starts with a UTF-16 mark stays binary.
TEST_F(Import, TextInUnicodeEncodingsIsText) {
  const std::string text = "Pressure (\xc2\xb5Pa)\r\n1.5\r\n-2\r\n";
  const auto utf16 = [&](bool big) {
    std::string bytes = big ? "\xfe\xff" : "\xff\xfe";
    for (const char c : std::string("Pressure (\xb5Pa)\r\n1.5\r\n-2\r\n"))  // U+00B5 is one unit
      bytes += big ? std::string{'\0', c} : std::string{c, '\0'};
    return bytes;
  };
  const struct {
    const char* Name;
    std::string Bytes;
    ImportKind Kind;
  } cases[] = {
      {"UTF-8", text, ImportKind::Text},
      {"UTF-8 with its mark", "\xef\xbb\xbf" + text, ImportKind::Text},
      {"UTF-16, little-endian", utf16(false), ImportKind::Text},
      {"UTF-16, big-endian", utf16(true), ImportKind::Text},
      {"16-bit values after FF FE", Int16s({-257, 32767, 1, 2}), ImportKind::Int16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const ImportReport report =
        Read(folder.Write("shot.050", c.Bytes), ".050", {.Order = ByteOrder::LittleEndian});
    EXPECT_EQ(report.Kind, c.Kind);
    const Floats expected =
        c.Kind == ImportKind::Text ? Floats{1.5f, -2} : Floats{-257, 32767, 1, 2};
    EXPECT_EQ(Values(), expected);
  }
  const std::string message =
      MessageOf([&] { Read(folder.Write("big.txt", utf16(false)), ".TXT", {}, kTinyLimits); });
  EXPECT_NE(message.find("starts with a UTF-16 byte-order mark"), std::string::npos) << message;
}

// Three multiplexed channels, with every kind of separator and tokens of many lengths.
TEST_F(Import, LargeTextIsReadInBlocksWhateverTheirSize) {
  static const char* const kSeparators[] = {",", "\t", " ", "\r\n", "\n", ", ", "\r", "\x1a"};
  std::string text;
  std::vector<Floats> channels(3);
  for (int t = 0; t < 600; ++t) {
    std::string token = std::to_string((t * 7919) % 20011 - 10000);
    if (t % 4 == 1) token += ".125";
    if (t % 5 == 2) token += "e-2";
    text += token + kSeparators[(t * 5) % 8];
    channels[t % 3].push_back(std::strtof(token.c_str(), nullptr));
  }
  const fs::path file = folder.Write("big.050", text);
  // Block edges inside tokens and line ends are the tokenizer's (TextTokenizer.BlockEdges...).
  for (const std::int64_t blockBytes : {3, 1 << 20}) {
    for (std::int32_t channel = 0; channel < 3; ++channel) {
      SCOPED_TRACE("blocks of " + std::to_string(blockBytes) + ", channel " +
                   std::to_string(channel));
      const ImportReport report = Read(file, ".050", {.Channels = {3, channel}}, {64, blockBytes});
      EXPECT_EQ(report.Kind, ImportKind::LargeText);
      EXPECT_EQ(channelsAsked, std::vector{static_cast<std::int64_t>(text.size())});
      EXPECT_EQ(Values(), channels[channel]);
      EXPECT_EQ(grid.Cell(1, 4), "200");
    }
  }
  // One channel is the whole file in reading order, as the in-memory reader gives it.
  Read(file, ".050", {.Channels = {1, 0}}, {64, 5});
  const Floats blockwise = Values();
  Read(file, ".050");
  EXPECT_EQ(Values(), blockwise);
  EXPECT_EQ(blockwise.size(), 600u);
}

TEST_F(Import, LargeTextParsesOnlyTheChosenChannel) {
  const auto file = folder.Write("big.txt", "7 8 9\r\n10 11 12\r\n1 x 2\r\n3 y 4\r\n5 z 6\r\n");
  Read(file, ".TXT", {.Channels = {3, 2}}, {8, 3});
  EXPECT_EQ(Values(), (Floats{9, 12, 2, 4, 6}));
  const std::string message = MessageOf([&] { Read(file, ".TXT", {.Channels = {3, 1}}, {8, 3}); });
  EXPECT_NE(message.find("line 3: \"x\""), std::string::npos) << message;
  for (const ImportChoices::Channels refused : {ImportChoices::Channels{0, 0}, {3, 3}, {3, -1}})
    MessageOf([&] { Read(file, ".TXT", {.Channels = refused}, {8, 3}); });
}

// A one-column file above the in-memory limit is one channel: the question is told so, and the
// notice says how the file was read and where the rate comes from.
TEST_F(Import, ALargeOneColumnFileIsOneChannelAndSaysHow) {
  std::string text = "Pressure (Pa)\n";
  for (int i = 0; i < 100; ++i) text += std::to_string(i) + "\n";
  const fs::path file = folder.Write("big.050", text);
  for (const char* tag : {".050", ".TXT"}) {
    SCOPED_TRACE(tag);
    const ImportReport report = Read(file, tag, {}, {16, 7});
    EXPECT_EQ(firstLineValues, std::vector{1});
    EXPECT_EQ(waveform.Count(), 100);
    EXPECT_TRUE(Mentions(
        report,
        "read from the disk as 1 channel from line 2 on, and channel 0 "
        "gave 100 samples at 200000 samples/s (" +
            std::string(*tag == '.' && tag[1] == '0' ? "the rate of one channel, from the "
                                                       "extension \".050\")."
                                                     : "the import default: the extension gives "
                                                       "no sample interval).")))
        << report.Notices[0];
  }
}

struct Fmt {
  std::uint16_t Tag = 1, Channels = 1;
  std::uint32_t Rate = 8000;
  std::uint16_t BlockAlign = 2, Bits = 16;
  std::uint16_t SubFormat = 0;   // written as an extensible format chunk when not 0
  std::uint16_t ExtraBytes = 0;  // zero bytes after the 16 of a plain format chunk
};

std::string FmtChunk(const Fmt& f) {
  std::string body = Le(f.Tag, 2) + Le(f.Channels, 2) + Le(f.Rate, 4) +
                     Le(f.Rate * f.BlockAlign, 4) + Le(f.BlockAlign, 2) + Le(f.Bits, 2) +
                     std::string(f.ExtraBytes, '\0');
  if (f.SubFormat != 0)
    body += Le(22, 2) + Le(f.Bits, 2) + Le(0, 4) + Le(f.SubFormat, 2) +
            std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 14);
  return "fmt " + Le(static_cast<std::uint32_t>(body.size()), 4) + body;
}

std::string Data(std::uint32_t declaredBytes, const std::string& payload) {
  return "data" + Le(declaredBytes, 4) + payload;
}

std::string Riff(const std::string& chunks) {
  return "RIFF" + Le(static_cast<std::uint32_t>(chunks.size() + 4), 4) + "WAVE" + chunks;
}

// An extension whose rate or interval lies beyond the single-precision range gives no usable
// interval; a rate just within it is written whole into cell (1, 2) by a WAV file that gives none.
TEST_F(Import, ExtensionRatesAtTheSingleRangeLimits) {
  const struct {
    const char* Tag;
    float Rate;
    bool Zero;
  } cases[] = {{".1E99", 200000, true}, {".1E-40", 200000, true}, {".1E-30", 1e37f, false}};
  const auto wav =
      folder.Write("rate0.wav", Riff(FmtChunk({.Rate = 0}) + Data(4, Int16s({5, -5}))));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Tag);
    FillDefaultHeader(grid);
    const ImportReport report = Read(wav, c.Tag);
    ASSERT_TRUE(report.Decoded);
    EXPECT_FLOAT_EQ(waveform.SampleRate, c.Rate);
    EXPECT_EQ(report.RateFromExtensionZero, c.Zero);
    EXPECT_TRUE(waveform.SampleInterval > 0 && std::isfinite(waveform.TimeEnd));
    const std::string& cell = grid.Cell(1, 2);
    EXPECT_EQ(cell.find_first_not_of("0123456789"), std::string::npos) << cell;
    EXPECT_EQ(static_cast<float>(std::stod(cell)), waveform.SampleRate) << cell;
  }
}

// Every path stores at most the capacity and says so.
TEST_F(Import, EveryPathStopsAtTheCapacity) {
  const struct {
    const char* Name;
    std::string Bytes;
    Answers Answer;
    ImportLimits Limits;
    Floats Values;
  } cases[] = {
      {"text", "1 2 3 4 5 6 7", {}, {}, {1, 2, 3, 4}},
      {"text, column 2 of the values read", "1,2,3\n4,5,6\n7,8,9\n", {.Column = 2}, {}, {2}},
      {"large text", "1 2 3 4 5 6 7 8 9 10 11 12", {.Channels = {2, 1}}, {4, 3}, {2, 4, 6, 8}},
      {"raw float", FloatBytes(kFloats), {}, {}, {0.1f, -1.25f, 1000.3f, -5e5f}},
      {"int16",
       Int16s({1, 32767, -2, -32768, 5}),
       {.Order = ByteOrder::LittleEndian},
       {},
       {1, 32767, -2, -32768}},
      {"stereo WAV: two frames of each channel",
       Riff(FmtChunk({.Channels = 2, .BlockAlign = 4}) + Data(16, Int16s({1, -1, 2, -2, 3, -3}))),
       {},
       {},
       {1, 2, -1, -2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TWaveform small(4);
    const ImportReport report =
        Read(folder.Write("cap.050", c.Bytes), ".050", c.Answer, c.Limits, &small);
    EXPECT_TRUE(report.TruncatedAtCapacity && report.Decoded);
    EXPECT_TRUE(Mentions(report, "than the sample buffers take")) << c.Name;
    EXPECT_EQ(Values(small), c.Values);
  }
}

struct WavCase {
  const char* Name;
  std::string Bytes;
  Floats Values;            // empty: not decoded
  const char* Notice;       // fragment of a notice; empty: none
  const char* Description;  // cell (2, 2); nullptr: left as it was
  const char* RateCell = "8000";
};

TEST_F(Import, MalformedWavFilesAreReportedNotCrashedOn) {
  // Float WAV samples that are not finite (a double beyond the single range becomes one).
  const struct {
    std::string Payload;
    std::uint16_t BlockAlign, Bits;
  } nonFinite[] = {{FloatBytes({0.5f, INFINITY}), 4, 32},
                   {FloatBytes({NAN}), 4, 32},
                   {Le(0xffffffff, 4) + Le(0x7fefffff, 4), 8, 64}};  // the largest double
  for (const auto& c : nonFinite) {
    const fs::path wav = folder.Write(
        "inf.wav", Riff(FmtChunk({.Tag = 3, .BlockAlign = c.BlockAlign, .Bits = c.Bits}) +
                        Data(static_cast<std::uint32_t>(c.Payload.size()), c.Payload)));
    EXPECT_NE(MessageOf([&] { Read(wav, ".WAV"); }).find("is not a finite number"),
              std::string::npos);
    EXPECT_EQ(waveform.LastSampleIndex, -1);
  }
  const std::vector<std::int16_t> four{100, -200, 300, -400};
  const std::string pcm = FmtChunk({});
  const char* const pcmMono = "PCM Data, PCM, 16 bits per sample, Mono";
  const WavCase cases[] = {
      {"no data chunk", Riff(pcm), {}, "has no data chunk", pcmMono},
      {"data size past the end",
       Riff(pcm + Data(200, Int16s(four))),
       {100, -200, 300, -400},
       "declares 100 frames, but the file ends after 4; 4 frames were read",
       pcmMono},
      {"2.5 frames round to 2", Riff(pcm + Data(5, Int16s(four))), {100, -200}, "", pcmMono},
      {"3.5 frames round to 4, 3 in the file",
       Riff(pcm + Data(7, Int16s({1, 2, 3}) + "x")),
       {1, 2, 3},
       "declares 4 frames, but the file ends after 3",
       pcmMono},
      {"empty data chunk", Riff(pcm + Data(0, "")), {}, "holds no samples", pcmMono},
      {"data chunk cut off", Riff(pcm + "data\x10"), {}, "is cut off", pcmMono},
      {"block align 0",
       Riff(FmtChunk({.BlockAlign = 0}) + Data(8, Int16s(four))),
       {},
       "block align",
       pcmMono},
      {"block align 3 for 2 channels",
       Riff(FmtChunk({.Channels = 2, .BlockAlign = 3}) + Data(6, Int16s({1, 2, 3}))),
       {},
       "does not give each of its 2 channels",
       "PCM Data, PCM, 16 bits per sample, Stereo"},
      {"0 channels",
       Riff(FmtChunk({.Channels = 0}) + Data(8, Int16s(four))),
       {},
       "declares 0 channels",
       "PCM Data, PCM, 16 bits per sample"},
      {"5-byte integers",
       Riff(FmtChunk({.BlockAlign = 5, .Bits = 40}) + Data(5, "abcde")),
       {},
       "take 5 bytes each",
       "PCM Data, PCM, 40 bits per sample, Mono"},
      {"A-law",
       Riff(FmtChunk({.Tag = 6, .BlockAlign = 1, .Bits = 8}) + Data(4, "abcd")),
       {},
       "only integer PCM (1) and IEEE float (3)",
       "PCM Data, 8-bit ITU-G.711 A-law, 8 bits per sample, Mono"},
      {"mu-law",
       Riff(FmtChunk({.Tag = 7, .Channels = 2, .BlockAlign = 2, .Bits = 8}) + Data(4, "abcd")),
       {},
       "only integer PCM (1) and IEEE float (3)",
       "PCM Data, 8-bit ITU-G.711 Mu-law, 8 bits per sample, Stereo"},
      {"extensible A-law",
       Riff(FmtChunk({.Tag = 65534, .SubFormat = 6}) + Data(8, Int16s(four))),
       {},
       "(format tag 65534, sub-format 6) are not read",
       "Extensible Format, determined by SubFormat, 16 bits per sample, Mono"},
      {"format chunk cut off", Riff(pcm.substr(0, 20)), {}, "format chunk", nullptr, "200000"},
      {"extensible format chunk cut off",
       Riff(FmtChunk({.Tag = 65534, .SubFormat = 1}).substr(0, 30)),
       {},
       "is cut off",
       nullptr,
       "200000"},
      {"no format chunk",
       Riff(Data(8, Int16s(four))),
       {},
       "without a format chunk",
       nullptr,
       "200000"},
      {"rate 0",
       Riff(FmtChunk({.Rate = 0}) + Data(4, Int16s({5, 6}))),
       {5, 6},
       "sampling rate of 0; 200000 samples/s is assumed",
       pcmMono,
       "200000"},
      {"format chunk of 18 bytes, float",
       Riff(FmtChunk({.Tag = 3, .BlockAlign = 4, .Bits = 32, .ExtraBytes = 2}) +
            Data(8, Le(0x3fc00000, 4) + Le(0xc2f60000, 4))),
       {1.5f, -123.0f},
       "",
       "Non-PCM Data, IEEE float, 32 bits per sample, Mono"},
      {"format chunk of 20 bytes",
       Riff(FmtChunk({.ExtraBytes = 4}) + Data(2, Int16s({7}))),
       {7},
       "",
       ", PCM, 16 bits per sample, Mono"},
      // Read from disk, the data identifier straddles two chunks of the search.
      {"data after a 1 MiB chunk",
       Riff(pcm + "JUNK" + Le((1 << 20) - 10, 4) + std::string((1 << 20) - 10, 'j') +
            Data(4, Int16s({5, 6}))),
       {5, 6},
       "",
       pcmMono},
      // The chunks are walked by their sizes: a comment that says "metadata" holds no samples.
      {"a comment that says metadata before the data",
       Riff(pcm + "LIST" + Le(26, 4) + "INFOICMT" + Le(14, 4) + "metadata 1 2 3" +
            Data(4, Int16s({5, 6}))),
       {5, 6},
       "",
       pcmMono},
      {"an odd chunk with its pad byte",
       Riff(pcm + "JUNK" + Le(3, 4) + "ab" + std::string(2, '\0') + Data(4, Int16s({5, 6}))),
       {5, 6},
       "",
       pcmMono},
      {"an odd chunk without its pad byte",
       Riff(pcm + "JUNK" + Le(3, 4) + "abc" + Data(4, Int16s({5, 6}))),
       {5, 6},
       "",
       pcmMono},
      {"a chunk that runs past the end",
       Riff(pcm + "LIST" + Le(1000, 4) + "INFO" + Data(4, Int16s({5, 6}))),
       {},
       "has no data chunk (its chunk \"LIST\" at byte 36 declares 1000 bytes, more than the file "
       "holds); no samples were read.",
       pcmMono},
      {"bytes that are no chunk",
       Riff(pcm + std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8) + Data(4, Int16s({5, 6}))),
       {},
       "(the bytes at byte 36 are no chunk: the sizes of the chunks before them do not add up)",
       pcmMono},
      {"a LIST chunk before the data, 8-bit",
       Riff(FmtChunk({.BlockAlign = 1, .Bits = 8}) + "LIST" + Le(4, 4) + "INFO" +
            Data(3, std::string("\x00\x80\xff", 3))),
       {-128, 0, 127},
       "",
       "PCM Data, PCM, 8 bits per sample, Mono"},
  };
  for (const WavCase& c : cases) {
    for (const ImportLimits& limits : {ImportLimits{}, kTinyLimits}) {
      SCOPED_TRACE(std::string(c.Name) + ", in-memory bytes " +
                   std::to_string(limits.InMemoryBytes));
      FillDefaultHeader(grid);
      const std::string defaultComment = grid.Cell(2, 2);
      waveform.LastSampleIndex = 9;
      const ImportReport report = Read(folder.Write("bad.wav", c.Bytes), ".WAV", {}, limits);
      EXPECT_EQ(report.Kind, ImportKind::Wav);
      EXPECT_EQ(Values(), c.Values);
      EXPECT_EQ(report.Decoded, !c.Values.empty());
      EXPECT_EQ(report.Notices.empty(), !*c.Notice) << testing::PrintToString(report.Notices);
      EXPECT_TRUE(!*c.Notice || Mentions(report, c.Notice)) << c.Notice;
      EXPECT_EQ(grid.Cell(2, 2), c.Description ? c.Description : defaultComment);
      EXPECT_EQ(grid.Cell(1, 2), c.RateCell);
      EXPECT_EQ(grid.Cell(1, 4), c.Values.empty() ? "" : std::to_string(c.Values.size()));
    }
  }
}

// Files written by libsndfile with coded values over the whole range of each type, both
// extremes included and different in every channel, read back value by value.
TEST_F(Import, WavVariantsGiveTheValuesAnIndependentWriterCoded) {
  const struct {
    int Format;
    int Bits;  // 0: floating point
    int Channels, Frames;
    const char* Description;
  } cases[] = {
      {SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 8, 1, 300, "PCM Data, PCM, 8 bits per sample, Mono"},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16, 2, 1000, "PCM Data, PCM, 16 bits per sample, Stereo"},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 24, 2, 501, "PCM Data, PCM, 24 bits per sample, Stereo"},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_32, 32, 1, 400, "PCM Data, PCM, 32 bits per sample, Mono"},
      {SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 1, 333,
       "PCM Data, IEEE float, 32 bits per sample, Mono"},
      {SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 0, 2, 250,
       "PCM Data, IEEE float, 64 bits per sample, Stereo"},
      {SF_FORMAT_WAV | SF_FORMAT_PCM_16, 16, 4, 123, "PCM Data, PCM, 16 bits per sample"},
      {SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 24, 4, 99,
       "Extensible Format, determined by SubFormat, 24 bits per sample, PCM"},
      {SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 0, 2, 150,
       "Extensible Format, determined by SubFormat, 32 bits per sample, Stereo, IEEE float"},
      // The 64-bit form and the big-endian one.
      {SF_FORMAT_RF64 | SF_FORMAT_PCM_24, 24, 2, 300,
       "Extensible Format, determined by SubFormat, 24 bits per sample, Stereo, PCM"},
      {SF_FORMAT_WAV | SF_ENDIAN_BIG | SF_FORMAT_PCM_16, 16, 2, 200,
       "PCM Data, PCM, 16 bits per sample, Stereo"},
      {SF_FORMAT_WAV | SF_ENDIAN_BIG | SF_FORMAT_PCM_24, 24, 1, 120,
       "PCM Data, PCM, 24 bits per sample, Mono"},
      {SF_FORMAT_WAV | SF_ENDIAN_BIG | SF_FORMAT_DOUBLE, 0, 1, 100,
       "PCM Data, IEEE float, 64 bits per sample, Mono"},
  };
  const fs::path file = folder.Path() / "written.wav";
  for (const auto& c : cases) {
    std::vector<double> interleaved, expected(static_cast<std::size_t>(c.Channels * c.Frames));
    const std::int64_t span = std::int64_t{1} << c.Bits;
    for (std::int64_t f = 0; f < c.Frames; ++f) {
      for (int ch = 0; ch < c.Channels; ++ch) {
        const double v = c.Bits == 0 ? std::sin(0.37 * f + ch) * (ch + 1) + 1e-9 * f
                         : f < 2     ? (f == 0 ? -span / 2 : span / 2 - 1)
                                 : (f * 7919 + ch * 104729 + f % 3 * span / 3) % span - span / 2;
        interleaved.push_back(v);
        expected[ch * c.Frames + f] = v;
      }
    }
    SF_INFO info{0, 22050, c.Channels, c.Format, 0, 0};
    SNDFILE* out = sf_open(file.c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
    sf_command(out, SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);  // integers are written as coded
    sf_writef_double(out, interleaved.data(), c.Frames);
    sf_close(out);

    for (const ImportLimits& limits : {ImportLimits{}, kTinyLimits}) {
      SCOPED_TRACE(std::string(c.Description) + ", in-memory bytes " +
                   std::to_string(limits.InMemoryBytes));
      FillDefaultHeader(grid);
      const ImportReport report = Read(file, ".WAV", {}, limits);
      EXPECT_EQ(report.WavDescription, c.Description);
      EXPECT_EQ(grid.Cell(2, 2), c.Description);
      EXPECT_EQ(grid.Cell(1, 2), "22050");
      EXPECT_EQ(waveform.SampleRate, 22050.0f);
      EXPECT_EQ(grid.Cell(1, 4), std::to_string(c.Channels * c.Frames));
      EXPECT_EQ(report.WavChannels, c.Channels);
      EXPECT_EQ(report.FramesPerChannel, c.Frames);
      EXPECT_EQ(Mentions(report, std::to_string(c.Channels) + " channels; they are stored one " +
                                     "after another, each of " + std::to_string(c.Frames)),
                c.Channels > 2);
      ASSERT_EQ(waveform.Count(), c.Channels * c.Frames);
      for (std::int32_t i = 0; i < waveform.Count(); ++i)
        ASSERT_EQ(waveform.Samples[i], static_cast<float>(expected[i])) << "sample " << i;
    }
  }
}

// The recordings shipped with the sound utilities, against libsndfile's decoding with
// normalisation off (coded values).
TEST_F(Import, RealRecordingsMatchASecondDecoder) {
  const fs::path sounds("/usr/share/sounds/alsa");
  if (!fs::is_directory(sounds))
    GTEST_SKIP() << sounds << " is missing (Debian package alsa-utils): no real recordings.";
  int checked = 0;
  for (const auto& entry : fs::directory_iterator(sounds)) {
    if (entry.path().extension() != ".wav") continue;
    SCOPED_TRACE(entry.path().string());
    SF_INFO info{};
    SNDFILE* in = sf_open(entry.path().c_str(), SFM_READ, &info);
    ASSERT_NE(in, nullptr);
    sf_command(in, SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);
    std::vector<double> interleaved(static_cast<std::size_t>(info.frames * info.channels));
    ASSERT_EQ(sf_readf_double(in, interleaved.data(), info.frames), info.frames);
    sf_close(in);

    ASSERT_TRUE(Read(entry.path(), ".WAV").Decoded);
    EXPECT_EQ(waveform.SampleRate, static_cast<float>(info.samplerate));
    ASSERT_EQ(waveform.Count(), info.frames * info.channels);
    for (std::int64_t f = 0; f < info.frames; ++f)
      for (int c = 0; c < info.channels; ++c)
        ASSERT_EQ(waveform.Samples[static_cast<std::int32_t>(c * info.frames + f)],
                  static_cast<float>(interleaved[f * info.channels + c]))
            << "frame " << f << " channel " << c;
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

// Tokens and CR LF pairs straddling block edges come out as from one block; lines end at LF, CR
// and CR LF; an overlong token is cut alike whatever the blocks.
TEST(TextTokenizer, BlockEdgesChangeNothing) {
  using Tokens = std::vector<std::pair<std::string, std::int64_t>>;  // text and line
  const struct {
    std::string Text;
    Tokens Expected;
    std::int64_t LastLine;
  } cases[] = {
      {"", {}, 1},
      {"a,b\r\nc\rd\n\re\x1a f", {{"a", 1}, {"b", 1}, {"c", 2}, {"d", 3}, {"e", 5}, {"f", 5}}, 5},
      {"\r\n\r\n-1.5e3\t\t+2,,3\r\n", {{"-1.5e3", 3}, {"+2", 3}, {"3", 3}}, 4},
      {"x\r\r\n\n y", {{"x", 1}, {"y", 4}}, 4},
      {"long " + std::string(5000, '7') + " end",
       {{"long", 1}, {std::string(kLongestTextToken + 1, '7'), 1}, {"end", 1}},
       1},
  };
  std::mt19937 random(12345);
  for (const auto& c : cases) {
    for (int trial = 0; trial < 60; ++trial) {
      Tokens found;
      TextTokenizer tokenizer([&found](std::string_view token, std::int64_t line) {
        found.emplace_back(std::string(token), line);
      });
      // Whole, blocks of 1 to 9 bytes, then random blocks of 0 to 12 bytes.
      for (std::size_t at = 0, n = 0; at < c.Text.size(); at += n) {
        n = std::min(c.Text.size() - at, trial == 0   ? c.Text.size()
                                         : trial < 10 ? static_cast<std::size_t>(trial)
                                                      : random() % 13);
        tokenizer.Feed(c.Text.data() + at, n);
      }
      tokenizer.Finish();
      EXPECT_EQ(found, c.Expected) << "trial " << trial;
      EXPECT_EQ(tokenizer.Line(), c.LastLine) << "trial " << trial;
    }
  }
}

}  // namespace
}  // namespace orvek
