#include <gmock/gmock.h>
#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ErrorMessage.h"
#include "TempFolder.h"
#include "waveform/HeaderEdit.h"
#include "waveform/ImportReader.h"

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
    ImportChoices choices;
    choices.Int16Order = [this, answers] { return ++orders, answers.Order; };
    choices.SpreadsheetColumn = [this, answers](std::int32_t columns) {
      return columnsAsked.push_back(columns), answers.Column;
    };
    choices.MultiplexedChannels = [this, answers](std::int64_t bytes, std::int32_t firstLine) {
      return channelsAsked.emplace_back(bytes, firstLine), answers.Channels;
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
  std::vector<std::int32_t> columnsAsked;  // the column count each column question reported
  // The file size and the values on its first line of numbers each channel question reported.
  std::vector<std::pair<std::int64_t, std::int32_t>> channelsAsked;
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

TEST_F(Import, TextValuesAndTheColumnQuestion) {
  const std::string csv = "Time,Left,Right\r\nunits s,Pa,Pa\r\n0,1,2\r\n3,4,5\r\n6,7,8\r\n";
  const struct {
    const char* Name;
    std::string Text;
    std::optional<std::int32_t> Column;  // the answer to the column question
    std::optional<std::int32_t> Asked;   // the column count it reported; nullopt: not asked
    Floats Values;                       // empty: "holds no numbers"
  } cases[] = {{"one column, No", "1\r\n2\r\n3\r\n", {}, 1, {1, 2, 3}},
               {"CSV with a two-line header, column 2", csv, 2, 3, {1, 4, 7}},
               {"CSV with a two-line header, No", csv, {}, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
               {"one line with its line end", "1 2 3\r\n", 2, 3, {2}},
               {"Ctrl-Z is a separator, not a line end", "1 2 3\x1a", 1, {}, {1, 2, 3}},
               {"mixed separators", "\t 1,2\t3  4\r5\n6\x1a", {}, 4, {1, 2, 3, 4, 5, 6}},
               {"uneven rows", "1,2,3\n4,5\n6,7,8,9\n", 1, 3, {1, 4, 7}},
               {"header with digits", "Rate 200000 Hz\r\n\r\n\r\n7\r\n8\r\n", {}, 1, {7, 8}},
               {"header ends at a lone CR", "shot 5\r-1 -2\r-3 -4\r", 2, 2, {-2, -4}},
               {"empty file", "", {}, {}, {}},
               {"header without line end", "TITLE ONLY", {}, {}, {}},
               {"separators only", "\r\n\t \r\n", {}, {}, {}},
               {"decimal notation", "+1.5e2,-.5,5.,1E-3\n", {}, 4, {150, -0.5f, 5, 0.001f}}};
  for (const auto& c : cases) {
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
    EXPECT_EQ(std::tie(report.Decoded, waveform.WaveformLoaded), std::tuple(n > 0, n > 0));
    EXPECT_EQ(report.Notices, n > 0 ? std::vector<std::string>{}
                                    : std::vector{"\"" + (folder.Path() / "shot.050").string() +
                                                  "\" holds no numbers, so nothing was imported."});
    EXPECT_EQ(grid.Cell(1, 4), n > 0 ? std::to_string(n) : "");
    EXPECT_EQ(std::tuple(grid.Cell(1, 2), waveform.PlotTitle), std::tuple("200000", "MY SHOT"));
  }
  // The range and time axis, from the last case.
  EXPECT_EQ(std::tie(waveform.DataMin, waveform.DataMax, waveform.AxisMin, waveform.AxisMax),
            std::tuple(-0.5f, 150.0f, -0.5f, 150.0f));
  EXPECT_FLOAT_EQ(waveform.TimeEnd, 3 * 5e-6f);
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
    bool Zero;
  } cases[] = {{".050", 200000, "200000", false},    {".TXT", 200000, "200000", false},
               {".3", 1e7f / 3, "3333333.2", false}, {".0501", 1e7f / 501, "19960.08", false},
               {".000", 200000, "200000", true},     {".-5", 200000, "200000", true}};
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
      EXPECT_EQ(grid.Cell(1, 2), std::string(c.Tag) == ".0501" ? "200000" : c.Cell);
      EXPECT_EQ(Mentions(report, notice), c.Zero);
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
  } cases[] = {{ByteOrder::LittleEndian, {1, 32767, -2, -32768, 0x1234}},
               {ByteOrder::BigEndian, {256, -129, -257, 128, 0x3412}},
               {std::nullopt, {}}};
  for (const auto& c : cases) {
    for (const ImportLimits& limits : {ImportLimits{}, ImportLimits{4, 3}}) {
      FillDefaultHeader(grid);
      const ImportReport report = Read(file, ".100", {.Order = c.Order}, limits);
      EXPECT_EQ(std::tuple(report.Kind, orders, report.Decoded),
                std::tuple(ImportKind::Int16, 1, c.Order.has_value()));
      EXPECT_EQ(Values(), c.Values);
      EXPECT_TRUE(report.Notices.empty() && columnsAsked.empty());
      EXPECT_EQ(grid.Cell(1, 2), "100000");  // the rate the samples are read at
      EXPECT_EQ(grid.Cell(1, 4), c.Order ? "5" : "");
    }
  }
}

// A token that is not a number never shortens a recording in silence: it is refused by line and
// token when it would be imported (the message names the file, the record is left empty), and
// left alone in a spreadsheet column the user did not choose.
TEST_F(Import, TokensThatAreNotNumbersAreRefusedWhereTheyWouldBeImported) {
  std::string nan, overload;
  for (int line = 1; line <= 5000; ++line) {
    nan += line == 2500 ? "NaN\r\n" : std::to_string(line) + "\r\n";
    overload += std::to_string(line) + (line == 4990 ? " overload\n" : "\n");
  }
  const std::string dated = "Date,Pressure\r\n1/2/2020,0.5\r\n1/3/2020,-0.25\r\n";
  const struct {
    std::string Text;
    std::optional<std::int32_t> Column;
    Floats Values;                                     // empty: refused
    std::string Said;                                  // the refusal, or a notice
    std::optional<std::int32_t> Asked = std::nullopt;  // the column count the question reported
  } cases[] = {
      {"1\r\n2\r\n1.2.3\r\n", {}, {}, "line 3: \"1.2.3\" is not a number (sample 2"},
      {"Header\r\n\r\n1\n/\n", {}, {}, "line 4: \"/\""},
      {"5\r\r7 -\r\n", {}, {}, "line 3: \"-\""},
      {"1\n\r2e\n", {}, {}, "line 3: \"2e\""},
      {"1e39\n", {}, {}, "line 1: \"1e39\""},
      {"1\b2\n", {}, {}, "line 1: \"1?2\""},
      {"9 " + std::string(5000, '1'), {}, {}, "line 1: \"" + std::string(24, '1') + "...\""},
      {"1,2\n3,4\n", 3, {}, "column 3 was chosen, but the file has columns 1 to 2"},
      {nan, {}, {}, "line 2500: \"NaN\" is not a number (sample 2499;"},
      {overload, {}, {}, "line 4990: \"overload\" is not a number"},
      {dated, 1, {}, "line 2: \"1/2/2020\" in column 1 is not a number"},
      {dated, {}, {}, "line 2: \"1/2/2020\" is not a number (sample 0;"},
      {"0.5,ok\n0.25,overload\n", 2, {}, "line 1: \"ok\" in column 2"},
      {dated, 2, {0.5f, -0.25f}, "", 2},  // the date column left out
      {"44100 Hz\r\n1\r\n2\r\n", {}, {1, 2}, "line 1, which starts with a number", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Said);
    Read(folder.Write("good.txt", "1 2 3"), ".TXT");
    const fs::path file = folder.Write("values.csv", c.Text);
    if (c.Values.empty()) {
      const std::string message = MessageOf([&] { Read(file, ".CSV", {.Column = c.Column}); });
      EXPECT_THAT(message, ::testing::HasSubstr("Import file \"" + file.string() + "\""));
      EXPECT_THAT(message, ::testing::HasSubstr(c.Said));
      EXPECT_EQ(std::tuple(waveform.LastSampleIndex, waveform.WaveformLoaded),
                std::tuple(-1, false));
      continue;
    }
    const ImportReport report = Read(file, ".CSV", {.Column = c.Column});
    EXPECT_EQ(Values(), c.Values);
    EXPECT_EQ(report.Notices.empty(), c.Said.empty());
    EXPECT_TRUE(c.Said.empty() || Mentions(report, c.Said)) << report.Notices[0];
    EXPECT_EQ(columnsAsked, std::vector{*c.Asked});
  }
  EXPECT_THAT(MessageOf([&] { Read(folder.Path() / "missing.wav", ".WAV"); }),
              ::testing::HasSubstr("missing.wav"));
  MessageOf([&] { Read(folder.Path(), ""); });  // a folder
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
  const std::pair<std::string, Floats> cases[] = {
      {text, {1.5f, -2}},
      {"\xef\xbb\xbf" + text, {1.5f, -2}},
      {utf16(false), {1.5f, -2}},
      {utf16(true), {1.5f, -2}},
      {Int16s({-257, 32767, 1, 2}), {-257, 32767, 1, 2}}};  // 16-bit values after FF FE
  for (const auto& [bytes, values] : cases) {
    Read(folder.Write("shot.050", bytes), ".050", {.Order = ByteOrder::LittleEndian});
    EXPECT_EQ(Values(), values) << bytes;
  }
  const std::string message =
      MessageOf([&] { Read(folder.Write("big.txt", utf16(false)), ".TXT", {}, kTinyLimits); });
  EXPECT_THAT(message, ::testing::HasSubstr("starts with a UTF-16 byte-order mark"));
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
  // Blocks of 3 bytes put block edges inside tokens and between CR and LF.
  for (const std::int64_t blockBytes : {3, 1 << 20}) {
    for (std::int32_t channel = 0; channel < 3; ++channel) {
      const ImportReport report = Read(file, ".050", {.Channels = {3, channel}}, {64, blockBytes});
      EXPECT_EQ(report.Kind, ImportKind::LargeText);
      EXPECT_EQ(Values(), channels[channel]) << blockBytes << " " << channel;
    }
  }
  ASSERT_EQ(channelsAsked.size(), 1u);
  EXPECT_EQ(channelsAsked[0].first, static_cast<std::int64_t>(text.size()));
  EXPECT_EQ(grid.Cell(1, 4), "200");
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
  EXPECT_THAT(message, ::testing::HasSubstr("line 3: \"x\""));
  for (const ImportChoices::Channels refused : {ImportChoices::Channels{0, 0}, {3, 3}, {3, -1}})
    MessageOf([&] { Read(file, ".TXT", {.Channels = refused}, {8, 3}); });
}

// A one-column file above the in-memory limit is one channel: the question is told so, and the
// notice says how the file was read and where the rate comes from.
TEST_F(Import, ALargeOneColumnFileIsOneChannelAndSaysHow) {
  std::string text = "Pressure (Pa)\n";
  for (int i = 0; i < 100; ++i) text += std::to_string(i) + "\n";
  const fs::path file = folder.Write("big.050", text);
  const std::pair<const char*, std::string> cases[] = {
      {".050", "the rate of one channel, from the extension \".050\")."},
      {".TXT", "the import default: the extension gives no sample interval)."}};
  for (const auto& [tag, rateFrom] : cases) {
    const ImportReport report = Read(file, tag, {}, {16, 7});
    EXPECT_EQ(channelsAsked.at(0).second, 1);
    EXPECT_EQ(waveform.Count(), 100);
    EXPECT_TRUE(Mentions(report,
                         "read from the disk as 1 channel from line 2 on, and channel 0 "
                         "gave 100 samples at 200000 samples/s (" +
                             rateFrom))
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
  const std::tuple<const char*, float, bool> cases[] = {
      {".1E99", 200000, true}, {".1E-40", 200000, true}, {".1E-30", 1e37f, false}};
  const auto wav =
      folder.Write("rate0.wav", Riff(FmtChunk({.Rate = 0}) + Data(4, Int16s({5, -5}))));
  for (const auto& [tag, rate, zero] : cases) {
    SCOPED_TRACE(tag);
    const ImportReport report = Read(wav, tag);
    ASSERT_TRUE(report.Decoded);
    EXPECT_FLOAT_EQ(waveform.SampleRate, rate);
    EXPECT_EQ(report.RateFromExtensionZero, zero);
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
       {1, 2, -1, -2}}};
  for (const auto& c : cases) {
    TWaveform small(4);
    const ImportReport report =
        Read(folder.Write("cap.050", c.Bytes), ".050", c.Answer, c.Limits, &small);
    EXPECT_TRUE(report.TruncatedAtCapacity && report.Decoded) << c.Name;
    EXPECT_TRUE(Mentions(report, "than the sample buffers take")) << c.Name;
    EXPECT_EQ(Values(small), c.Values) << c.Name;
  }
}

TEST_F(Import, MalformedWavFilesAreReportedNotCrashedOn) {
  // Float WAV samples that are not finite (a double beyond the single range becomes one).
  const std::tuple<std::string, std::uint16_t, std::uint16_t> nonFinite[] = {
      {FloatBytes({0.5f, INFINITY}), 4, 32},
      {FloatBytes({NAN}), 4, 32},
      {Le(0xffffffff, 4) + Le(0x7fefffff, 4), 8, 64}};  // the largest double
  for (const auto& [payload, blockAlign, bits] : nonFinite) {
    const fs::path wav =
        folder.Write("inf.wav", Riff(FmtChunk({.Tag = 3, .BlockAlign = blockAlign, .Bits = bits}) +
                                     Data(static_cast<std::uint32_t>(payload.size()), payload)));
    EXPECT_THAT(MessageOf([&] { Read(wav, ".WAV"); }),
                ::testing::HasSubstr("is not a finite number"));
    EXPECT_EQ(waveform.LastSampleIndex, -1);
  }
  const std::string four = Int16s({100, -200, 300, -400}), pcm = FmtChunk({});
  const auto wav = [](const Fmt& f, const std::string& rest) { return Riff(FmtChunk(f) + rest); };
  const auto after = [&](const std::string& chunks) {  // chunks between format and data
    return Riff(pcm + chunks + Data(4, Int16s({5, 6})));
  };
  const char* const m = "PCM, 16 bits per sample, Mono";
  const char* const coded = "PCM (1) and IEEE float (3)";
  const struct {
    std::string Bytes;
    Floats Values;                   // empty: not decoded
    const char* Notice;              // fragment of a notice; empty: none
    const char* Description;         // fragment of cell (2, 2); nullptr: left as it was
    const char* RateCell = nullptr;  // nullptr: 8000 if the format chunk was read, else default
  } cases[] = {
      {Riff(pcm), {}, "has no data chunk", m},
      {Riff(pcm + Data(200, four)), {100, -200, 300, -400}, "ends after 4; 4 frames were read", m},
      {Riff(pcm + Data(5, four)), {100, -200}, "", m},  // 2.5 frames round to 2
      {Riff(pcm + Data(0, "")), {}, "holds no samples", m},
      {Riff(pcm + "data\x10"), {}, "is cut off", m},
      {wav({.BlockAlign = 0}, Data(8, four)), {}, "block align", m},
      {wav({.Channels = 2, .BlockAlign = 3}, Data(6, four)), {}, "its 2 channels", "Stereo"},
      {wav({.Channels = 0}, Data(8, four)), {}, "declares 0 channels", "16 bits per sample"},
      {wav({.BlockAlign = 5, .Bits = 40}, Data(5, "abcde")), {}, "take 5 bytes each", "40 bits"},
      {wav({.Tag = 6, .BlockAlign = 1, .Bits = 8}, Data(4, "abcd")), {}, coded, "A-law, 8 bits"},
      {wav({.Tag = 7, .BlockAlign = 1, .Bits = 8}, Data(4, "abcd")), {}, coded, "Mu-law, 8 bits"},
      {wav({.Tag = 65534, .SubFormat = 6}, Data(8, four)), {}, "tag 65534, sub-format 6", "Ext"},
      {Riff(pcm.substr(0, 20)), {}, "format chunk", nullptr},
      {Riff(FmtChunk({.Tag = 65534, .SubFormat = 1}).substr(0, 30)), {}, "cut off", nullptr},
      {Riff(Data(8, four)), {}, "without a format chunk", nullptr},
      {wav({.Rate = 0}, Data(4, Int16s({5, 6}))), {5, 6}, "rate of 0; 200000", m, "200000"},
      // A format chunk of 18 bytes, floats.
      {wav({.Tag = 3, .BlockAlign = 4, .Bits = 32, .ExtraBytes = 2}, Data(4, FloatBytes({1.5f}))),
       {1.5f},
       "",
       "IEEE float, 32 bits per sample, Mono"},
      // Read from disk, the data identifier straddles two chunks of the search.
      {after("JUNK" + Le((1 << 20) - 10, 4) + std::string((1 << 20) - 10, 'j')), {5, 6}, "", m},
      // The chunks are walked by their sizes: a comment that says "metadata" holds no samples,
      // an odd chunk may lack its pad byte.
      {after("LIST" + Le(26, 4) + "INFOICMT" + Le(14, 4) + "metadata 1 2 3"), {5, 6}, "", m},
      {after("JUNK" + Le(3, 4) + "ab" + std::string(2, '\0')), {5, 6}, "", m},
      {after("JUNK" + Le(3, 4) + "abc"), {5, 6}, "", m},
      {after("LIST" + Le(1000, 4) + "INFO"), {}, "\"LIST\" at byte 36 declares 1000 bytes", m},
      {after("\x01\x02\x03\x04\x05\x06\x07\x08"), {}, "at byte 36 are no chunk", m}};
  for (std::size_t row = 0; row < std::size(cases); ++row) {
    const auto& c = cases[row];
    for (const ImportLimits& limits : {ImportLimits{}, kTinyLimits}) {
      SCOPED_TRACE(testing::Message() << "row " << row << ", in-memory " << limits.InMemoryBytes);
      FillDefaultHeader(grid);
      const std::string defaultComment = grid.Cell(2, 2);
      waveform.LastSampleIndex = 9;
      const ImportReport report = Read(folder.Write("bad.wav", c.Bytes), ".WAV", {}, limits);
      EXPECT_EQ(report.Kind, ImportKind::Wav);
      EXPECT_EQ(Values(), c.Values);
      EXPECT_EQ(report.Decoded, !c.Values.empty());
      EXPECT_EQ(report.Notices.empty(), !*c.Notice) << testing::PrintToString(report.Notices);
      EXPECT_TRUE(!*c.Notice || Mentions(report, c.Notice)) << c.Notice;
      EXPECT_TRUE(c.Description ? grid.Cell(2, 2).find(c.Description) != std::string::npos
                                : grid.Cell(2, 2) == defaultComment)
          << grid.Cell(2, 2);
      EXPECT_EQ(grid.Cell(1, 2), c.RateCell ? c.RateCell : c.Description ? "8000" : "200000");
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
      {SF_FORMAT_WAV | SF_FORMAT_PCM_24, 24, 2, 501, "PCM Data, PCM, 24 bits per sample, Stereo"},
      {SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 0, 2, 250,
       "PCM Data, IEEE float, 64 bits per sample, Stereo"},
      {SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 24, 4, 99,
       "Extensible Format, determined by SubFormat, 24 bits per sample, PCM"},
      // The 64-bit form and the big-endian one.
      {SF_FORMAT_RF64 | SF_FORMAT_PCM_24, 24, 2, 300,
       "Extensible Format, determined by SubFormat, 24 bits per sample, Stereo, PCM"},
      {SF_FORMAT_WAV | SF_ENDIAN_BIG | SF_FORMAT_PCM_16, 16, 2, 200,
       "PCM Data, PCM, 16 bits per sample, Stereo"}};
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
      SCOPED_TRACE(testing::Message()
                   << c.Description << ", in-memory bytes " << limits.InMemoryBytes);
      FillDefaultHeader(grid);
      const ImportReport report = Read(file, ".WAV", {}, limits);
      EXPECT_EQ(std::tuple(grid.Cell(2, 2), grid.Cell(1, 2)), std::tuple(c.Description, "22050"));
      EXPECT_EQ(Mentions(report, std::to_string(c.Channels) + " channels; they are stored one " +
                                     "after another, each of " + std::to_string(c.Frames)),
                c.Channels > 2);
      ASSERT_EQ(waveform.Count(), c.Channels * c.Frames);
      for (std::int32_t i = 0; i < waveform.Count(); ++i)
        ASSERT_EQ(waveform.Samples[i], static_cast<float>(expected[i])) << "sample " << i;
    }
  }
}

}  // namespace
}  // namespace orvek
