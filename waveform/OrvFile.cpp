#include "waveform/OrvFile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <vector>

#include "base/Constants.h"
#include "base/DecimalNumber.h"
#include "base/ErrorText.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "waveform/HeaderEdit.h"

namespace orvek {
namespace fs = std::filesystem;
namespace {

constexpr std::int32_t kClearedSamples = 1'048'576;  // the readers zero this many samples first
// The dither is scaled by the largest sample, taken as at least this (Pa).
constexpr float kDitherMaxFloor = -1.0e6f;
constexpr int kOldLayoutRows = 30;
// Rows of the old 30-row layout that hold the title, the rate and the microphone location.
constexpr int kOldTitleRow = 2, kOldRateRow = 3, kOldLocationRow = 13;
// The main reader empties the rows after its result labels up to this one.
constexpr int kLastClearedRow = 21;
constexpr std::size_t kCompactTextMax = 16;  // longest CompactFloatText: "-1.2345E-45"

bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
bool IsHeaderSeparator(char c) { return c == '\t' || IsLineEnd(c); }
bool IsSampleSeparator(char c) { return c == ' ' || IsLineEnd(c); }
// Lines end in LF, CR LF or a lone CR.
bool EndsLine(const char* p, const char* end) {
  return *p == '\n' || (*p == '\r' && (p + 1 == end || p[1] != '\n'));
}

char* AppendCompactText(float value, char* out) {
  char buffer[32];
  const char* text = buffer;
  // -0 is written like 0.
  const char* end = std::to_chars(buffer, buffer + sizeof buffer, value == 0.0f ? 0.0f : value,
                                  std::chars_format::scientific, 4)
                        .ptr;
  const char* e = std::find(text, end, 'e');
  out = std::copy(text, e, out);
  if (e == end) return out;  // inf or nan, as the formatter spells them
  *out++ = 'E';
  const char* exponent = e + 1;
  if (*exponent++ == '-') *out++ = '-';
  while (end - exponent > 1 && *exponent == '0') ++exponent;
  return std::copy(exponent, end, out);
}

std::string ReadWholeFile(const fs::path& file) {
  std::string image;
  if (const auto reason = ReadRegularFile(file, image))
    throw OrvekError("Cannot open waveform file " + Quoted(file) + ": " + *reason);
  return image;
}

// The header is the run of leading lines holding a TAB; empty lines do not end it.
struct HeaderSection {
  int Rows = 0;
  const char* End = nullptr;  // start of the first sample line
};

HeaderSection FindHeader(const char* p, const char* end) {
  HeaderSection header;
  while (true) {
    p = std::find_if_not(p, end, IsLineEnd);
    const char* lineEnd = std::find_if(p, end, IsLineEnd);
    if (p == end || std::find(p, lineEnd, '\t') == lineEnd) break;
    ++header.Rows;
    p = lineEnd;
  }
  header.End = p;
  return header;
}

// Three tokens per row, read as one stream: a token runs up to the next TAB, CR or LF, and the
// whole run of those that follows is skipped. Cells the header lines do not supply stay empty.
void ReadHeaderCells(const char* p, const HeaderSection& header, HeaderGrid& grid) {
  p = std::find_if_not(p, header.End, IsLineEnd);
  for (int row = 0; row < header.Rows; ++row) {
    for (int column = 0; column < HeaderGrid::kColumns; ++column) {
      const char* tokenEnd = std::find_if(p, header.End, IsHeaderSeparator);
      std::string token(p, tokenEnd);
      // The writer follows every cell with one blank; it is not part of the cell, so that a file
      // this program wrote reads back to the same cells and saves to the same bytes.
      if (!token.empty() && token.back() == ' ') token.pop_back();
      // An empty token before a separator only arises from a TAB opening the file.
      else if (token.empty() && tokenEnd != header.End)
        token = " ";
      grid.SetCell(column, row, std::move(token));
      p = std::find_if_not(tokenEnd, header.End, IsHeaderSeparator);
    }
  }
  grid.HeaderLastRow = header.Rows - 1;
}

void ConvertOldLayout(HeaderGrid& grid) {
  for (const auto& [from, to] :
       {std::pair{kOldTitleRow, HeaderRow::Title}, std::pair{kOldRateRow, HeaderRow::SampleRate},
        std::pair{kOldLocationRow, HeaderRow::MicLocation}})
    grid.SetRow(to, grid.Cell(HeaderColumn::Parameter, from), grid.Cell(HeaderColumn::Value, from),
                grid.Cell(HeaderColumn::Comment, from));
  grid.HeaderLastRow = HeaderRow::SampleCount;
  for (int row = HeaderRow::SampleCount + 1; row < HeaderGrid::kRows; ++row) grid.ClearRow(row);
  grid.SetCell(HeaderColumn::Parameter, HeaderRow::SampleCount, "Number of samples");
}

float HeaderRate(const HeaderGrid& grid, const fs::path& file) {
  if (grid.HeaderLastRow < HeaderRow::SampleRate)
    throw OrvekError("Waveform file " + Quoted(file) + " has no sampling rate (header row 2).");
  const std::string& text = grid.Cell(HeaderColumn::Value, HeaderRow::SampleRate);
  const std::optional<double> rate = CellReal(text);
  if (!rate || *rate < 1.0 || *rate > FLT_MAX)
    throw OrvekError("Waveform file " + Quoted(file) + ": the sampling rate \"" + text +
                     "\" in header row 2 is not a number of at least 1 sample/s.");
  return static_cast<float>(*rate);
}

// 4 is accepted: older files use it for free field.
std::int32_t HeaderLocation(const HeaderGrid& grid, const fs::path& file) {
  if (grid.HeaderLastRow < HeaderRow::MicLocation)
    throw OrvekError("Waveform file " + Quoted(file) +
                     " has no microphone location (header row 3).");
  const std::string& text = grid.Cell(HeaderColumn::Value, HeaderRow::MicLocation);
  const std::optional<std::int64_t> location = CellWholeNumber(text);
  if (!location || *location < 1 || *location > 4)
    throw OrvekError("Waveform file " + Quoted(file) + ": the microphone location \"" + text +
                     "\" in header row 3 is not 1, 2, 3 or 4.");
  return static_cast<std::int32_t>(*location);
}

// A header of this layout holds a sampling rate in row 2 and a microphone location in row 3; the
// old 30-row layout holds the title in row 2 and the rate in row 3, so a full 30-row header of
// this layout ("Save ORV waveform as" with no row empty) is not taken for it.
bool CurrentLayout(const HeaderGrid& grid) {
  const std::optional<double> rate =
      CellReal(grid.Cell(HeaderColumn::Value, HeaderRow::SampleRate));
  const std::optional<std::int64_t> location =
      CellWholeNumber(grid.Cell(HeaderColumn::Value, HeaderRow::MicLocation));
  return rate && *rate >= 1.0 && location && *location >= 1 && *location <= 4;
}

std::string ShownToken(const char* first, const char* last) {
  constexpr std::ptrdiff_t kShown = 24;
  std::string shown;
  for (const char* p = first; p != last && p - first < kShown; ++p) {
    if (*p == '\t')
      shown += "<TAB>";
    else
      shown += (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7f) ? '?' : *p;
  }
  if (last - first > kShown) shown += "...";
  return shown;
}

struct SampleSection {
  std::vector<float> Values;
  bool Truncated = false;
};

SampleSection ReadSamples(const char* p, const char* end, std::int64_t line, std::int32_t capacity,
                          const fs::path& file) {
  SampleSection section;
  // Every value takes at least two bytes but the last.
  section.Values.reserve(
      static_cast<std::size_t>(std::min<std::int64_t>(capacity, (end - p) / 2 + 1)));
  while (true) {
    for (; p != end && IsSampleSeparator(*p); ++p) line += EndsLine(p, end);
    if (p == end) break;
    if (section.Values.size() == static_cast<std::size_t>(capacity)) {
      section.Truncated = true;
      break;
    }
    const char* tokenEnd = std::find_if(p, end, IsSampleSeparator);
    float value = 0.0f;
    if (!ParseDecimal(p, tokenEnd, value))
      throw OrvekError("Waveform file " + Quoted(file) + ", line " + std::to_string(line) + ": \"" +
                       ShownToken(p, tokenEnd) + "\" is not a valid value for sample " +
                       std::to_string(section.Values.size()) +
                       " (a decimal number within the single-precision range; values are "
                       "separated by blanks or line ends).");
    section.Values.push_back(value);
    p = tokenEnd;
  }
  return section;
}

// Everything a reader takes from the file, checked, before any of it reaches the record.
struct ParsedFile {
  HeaderGrid Grid;  // the caller's grid with the file's rows written over it
  SampleSection Samples;
  bool OldLayout = false;
  float SampleRate = 0.0f;
  std::int32_t MicLocation = 0;
};

ParsedFile ParseOrvFile(const fs::path& file, const HeaderGrid& grid, std::int32_t capacity) {
  const std::string image = ReadWholeFile(file);
  const char* begin = image.data();
  const char* end = begin + image.size();
  // Files passed through DOS tools may end in its end-of-file mark (Ctrl-Z); import accepts them.
  while (end != begin && end[-1] == '\x1a') --end;
  if (begin == end) throw OrvekError("Waveform file " + Quoted(file) + " is empty.");
  if (std::find(begin, end, '\0') != end)
    throw OrvekError("Waveform file " + Quoted(file) + " is not a text file (it holds NUL bytes).");

  const HeaderSection header = FindHeader(begin, end);
  if (header.Rows == 0)
    throw OrvekError("Waveform file " + Quoted(file) +
                     " has no header (its first line holds no TAB).");
  if (header.Rows > HeaderGrid::kRows)
    throw OrvekError("Waveform file " + Quoted(file) + " has " + std::to_string(header.Rows) +
                     " header lines; the header table holds at most 30.");

  ParsedFile parsed{grid, {}, false, 0.0f, 0};
  ReadHeaderCells(begin, header, parsed.Grid);
  parsed.OldLayout = header.Rows == kOldLayoutRows && !CurrentLayout(parsed.Grid);
  if (parsed.OldLayout) ConvertOldLayout(parsed.Grid);
  parsed.SampleRate = HeaderRate(parsed.Grid, file);
  parsed.MicLocation = HeaderLocation(parsed.Grid, file);

  std::int64_t firstSampleLine = 1;
  for (const char* p = begin; p != header.End; ++p) firstSampleLine += EndsLine(p, end);
  parsed.Samples = ReadSamples(header.End, end, firstSampleLine, capacity, file);
  const std::size_t n = parsed.Samples.Values.size();
  if (n < 2)
    throw OrvekError(
        "Waveform file " + Quoted(file) +
        (n == 0 ? " holds no samples." : " holds one sample; at least two are needed."));
  return parsed;
}

// A dithered sample: one at the edge of the single-precision range stays finite.
float WithinSingleRange(double value) {
  return static_cast<float>(std::clamp(value, -double{FLT_MAX}, double{FLT_MAX}));
}

// Power-of-two count for n values, held within the buffers.
std::int32_t CountWithin(std::int32_t n, bool doublePrecisionLog, std::int32_t capacity,
                         bool& cutAtCapacity) {
  const std::int32_t count = PowerOfTwoCount(n, doublePrecisionLog);
  if (count <= capacity) return count;
  cutAtCapacity = true;
  return static_cast<std::int32_t>(std::bit_floor(static_cast<std::uint32_t>(capacity)));
}

enum class Reader { Main, Overlay };

// The main reader labels rows WarnedExposures to AEnergy (values emptied) and empties the rows
// after them; the overlay reader empties every row after the file's header and labels rows
// SampleCount to BDuration, keeping their values.
void LabelResultRows(Reader reader, HeaderGrid& cells) {
  if (reader == Reader::Main) {
    static constexpr std::array<std::array<const char*, 2>, 7> kResultRows{{
        {"Number of exposures with no protector, warned", ""},
        {"Number of exposures with no protector, unwarned", ""},
        {"Peak Pressure Level", "dB"},
        {"LAeq and Leq", "dB"},
        {"LAeq8hr", "dB"},
        {"Na", "allowed number of exposures based on A-weighted energy under a protector"},
        {"A-weighted energy", "Joules/m^2"},
    }};
    for (std::size_t i = 0; i < kResultRows.size(); ++i)
      cells.SetRow(HeaderRow::WarnedExposures + static_cast<int>(i), kResultRows[i][0], "",
                   kResultRows[i][1]);
    for (int row = HeaderRow::AEnergy + 1; row <= kLastClearedRow; ++row) cells.ClearRow(row);
    return;
  }
  static constexpr std::array<std::array<const char*, 2>, 12> kOverlayRows{{
      {"Number of samples", ""},
      {"Nu", "allowed number of unwarned exposures"},
      {"Nw", "allowed number of warned exposures"},
      {"Peak pressure level", "dB"},
      {"Establish start level", "dB"},
      {"LAeq8hr", "dB"},
      {"Na", "allowed number of exposures based on A-weight energy at eardrum of manikin"},
      {"A-weighted energy", "joules per square meter"},
      {"N1", "allowed number of single hearing protected exposures MIL-STD-1474D"},
      {"N2", "allowed number of double hearing protected exposures"},
      {"Ta", "A-duration milliseconds"},
      {"Tb", "B-duration milliseconds"},
  }};
  for (int row = cells.HeaderLastRow + 1; row < HeaderGrid::kRows; ++row) cells.ClearRow(row);
  for (std::size_t i = 0; i < kOverlayRows.size(); ++i) {
    const int row = HeaderRow::SampleCount + static_cast<int>(i);
    cells.SetCell(HeaderColumn::Parameter, row, kOverlayRows[i][0]);
    cells.SetCell(HeaderColumn::Comment, row, kOverlayRows[i][1]);
  }
}

// Adds the dither, of standard deviation (main reader) or span (overlay) `ditherSize`, and pads
// the values up to `count`. The generator has a fixed sequence, so that repeated reads are
// bit-identical: the main reader restarts it, adds Gaussian dither and pads with noise of the same
// size only; the overlay reader continues it, adds uniform dither and pads with zeros.
void DitherAndPad(Reader reader, std::vector<float>& values, std::int32_t count, double ditherSize,
                  Lcg32& rng) {
  if (reader == Reader::Main) {
    rng.Seed(1);
    for (float& v : values) v = WithinSingleRange(v + rng.Gaussian(0.0, ditherSize));
    while (static_cast<std::int32_t>(values.size()) < count)
      values.push_back(static_cast<float>(rng.Gaussian(0.0, ditherSize)));
  } else {
    for (float& v : values) v = WithinSingleRange(v + (rng.Uniform() - 0.5) * ditherSize);
    values.resize(std::max<std::size_t>(values.size(), count), 0.0f);
  }
}

// The samples (the first kClearedSamples of the buffer zeroed beyond them) and the header values
// of the record, which keeps `count` samples; the pressure axis follows the data unless the main
// reader is told a range is pending. Nothing here can fail.
void StoreRecord(Reader reader, const ParsedFile& parsed, const std::vector<float>& values,
                 std::int32_t count, float dataMax, float dataMin, bool pressureRangePending,
                 const HeaderGrid& grid, TWaveform& waveform) {
  const std::int32_t cleared = std::min(waveform.Capacity(), kClearedSamples);
  std::copy(values.begin(), values.end(), waveform.Samples.begin());
  if (static_cast<std::int32_t>(values.size()) < cleared)
    std::fill(waveform.Samples.begin() + values.size(), waveform.Samples.begin() + cleared, 0.0f);
  waveform.WaveformLoaded = true;
  waveform.LastSampleIndex = count - 1;
  waveform.SampleRate = parsed.SampleRate;
  waveform.SampleInterval = static_cast<float>(1.0 / parsed.SampleRate);
  waveform.MicLocation = parsed.MicLocation;
  waveform.PlotTitle = grid.Cell(HeaderColumn::Comment, HeaderRow::Title);
  waveform.DataMax = dataMax;
  waveform.DataMin = dataMin;
  if (reader == Reader::Overlay || !pressureRangePending) {
    waveform.AxisMax = dataMax;
    waveform.AxisMin = dataMin;
  }
  waveform.FirstIndex = 0;
  waveform.LastIndex = waveform.LastSampleIndex;
  waveform.TimeStart = 0.0f;
  waveform.TimeEnd =
      static_cast<float>(static_cast<double>(waveform.LastSampleIndex) * waveform.SampleInterval);
}

// What only the main reader keeps: the padded length, the reference copy the analyses start from
// and the flat energy (J/m^2 for pressures in Pa) of the `count` stored samples.
void KeepReference(std::int32_t count, TWaveform& waveform) {
  waveform.PaddedLength = count;
  std::copy_n(waveform.Samples.begin(), count, waveform.ReferenceSamples.begin());
  double sumOfSquares = 0.0;
  for (std::int32_t i = 0; i < count; ++i)
    sumOfSquares += double{waveform.Samples[i]} * waveform.Samples[i];
  waveform.FlatEnergy =
      static_cast<float>(sumOfSquares * waveform.SampleInterval / kAirImpedanceRayl);
}

OrvReadReport ReadOrvFile(Reader reader, const fs::path& file, bool pressureRangePending,
                          TWaveform& waveform, HeaderGrid& grid, Lcg32& rng) {
  ParsedFile parsed = ParseOrvFile(file, grid, waveform.Capacity());
  std::vector<float>& values = parsed.Samples.Values;
  const auto n = static_cast<std::int32_t>(values.size());
  OrvReadReport report{n, parsed.Samples.Truncated, parsed.OldLayout};
  LabelResultRows(reader, parsed.Grid);
  parsed.Grid.SetCell(HeaderColumn::Value, HeaderRow::SampleCount, std::to_string(n));

  const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
  const float dataMax = *highest, dataMin = *lowest;
  const std::int32_t count = CountWithin(n, false, waveform.Capacity(), report.TruncatedAtCapacity);
  DitherAndPad(reader, values, count, double{std::max(kDitherMaxFloor, dataMax)} * kDitherScale,
               rng);

  // Nothing can fail from here on: the record and the grid take the new contents.
  grid = std::move(parsed.Grid);
  StoreRecord(reader, parsed, values, count, dataMax, dataMin, pressureRangePending, grid,
              waveform);
  if (reader == Reader::Main) KeepReference(count, waveform);
  return report;
}

void AppendHeaderLine(const HeaderGrid& grid, int row, std::string& text) {
  for (int column = 0; column < HeaderGrid::kColumns; ++column) {
    // A TAB or line break inside a cell would split it on reading; it is written as a blank.
    for (const char c : grid.Cell(column, row))
      text += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    text += column + 1 < HeaderGrid::kColumns ? " \t" : " \r\n";
  }
}

}  // namespace

std::string CompactFloatText(float value) {
  char text[kCompactTextMax];
  return std::string(text, AppendCompactText(value, text));
}

std::int32_t PowerOfTwoCount(std::int32_t n, bool doublePrecisionLog) {
  if (n < 1) return 0;
  const double exact = std::log2(static_cast<double>(n));
  const double log2n = doublePrecisionLog ? exact : static_cast<float>(exact);
  int k = static_cast<int>(log2n);
  if (log2n - k > 0.025) ++k;
  return std::int32_t{1} << std::min(k, 30);
}

std::int32_t SavedCount(std::int32_t n, std::int32_t capacity) {
  bool cutAtCapacity = false;
  return CountWithin(n, true, capacity, cutAtCapacity);
}

// Reading never changes the file, its permissions included: a read-only file stays protected, so
// that a later save to it is refused.
OrvReadReport OpenNewFileType5(const fs::path& file, bool pressureRangePending, TWaveform& waveform,
                               HeaderGrid& grid, Lcg32& rng) {
  return ReadOrvFile(Reader::Main, file, pressureRangePending, waveform, grid, rng);
}

OrvReadReport OpenNewFileType6(const fs::path& file, TWaveform& waveform, HeaderGrid& grid,
                               Lcg32& rng) {
  return ReadOrvFile(Reader::Overlay, file, false, waveform, grid, rng);
}

void CheckSamplesToSave(const TWaveform& waveform, std::int32_t count, const fs::path& file) {
  if (count < 1) throw OrvekError("There are no samples to save in " + Quoted(file) + ".");
  // The readers refuse a file of one sample: it has no sample interval to analyse.
  if (count < 2)
    throw OrvekError("The record holds one sample; a waveform file needs at least two, so " +
                     Quoted(file) + " was not written.");
  const float* samples = waveform.Samples.data();
  if (const float* bad =
          std::find_if(samples, samples + count, [](float v) { return !std::isfinite(v); });
      bad != samples + count)
    throw OrvekError("Sample " + std::to_string(bad - samples) + " is not a finite number; " +
                     Quoted(file) + " was not written.");
}

void SaveOrvFile(const fs::path& file, bool saveAs, HeaderGrid& grid, TWaveform& waveform,
                 const ReadFiles& reads) {
  const std::int32_t n = waveform.Count();
  const std::int32_t count = SavedCount(n, waveform.Capacity());
  const std::int32_t kept = std::min(n, count);
  CheckSamplesToSave(waveform, kept, file);
  const float* samples = waveform.Samples.data();

  const int lastRow =
      saveAs ? HeaderGrid::kRows - 1 : std::clamp(grid.HeaderLastRow, 0, HeaderGrid::kRows - 1);
  std::string text;
  text.reserve(static_cast<std::size_t>(count) * (kCompactTextMax + 2) + 4096);
  for (int row = 0; row <= lastRow; ++row)
    // The rows up to the sample count are found by their place: an empty one is still written.
    if (!saveAs || row <= HeaderRow::SampleCount || !grid.RowEmpty(row))
      AppendHeaderLine(grid, row, text);
  char line[kCompactTextMax + 2];
  for (std::int32_t i = 0; i < count; ++i) {
    char* end = AppendCompactText(i < kept ? samples[i] : 0.0f, line);
    *end++ = '\r';
    *end++ = '\n';
    text.append(line, end);
  }
  if (const auto reason = WriteFileReplacing(file, text, reads))
    throw OrvekError("Cannot save waveform file " + Quoted(file) + ": " + *reason + ".");

  // Zero padding reaches the record only once the file is safely written.
  std::fill(waveform.Samples.begin() + kept, waveform.Samples.begin() + count, 0.0f);
  waveform.LastSampleIndex = count - 1;
  if (saveAs) grid.HeaderLastRow = HeaderGrid::kRows - 1;
}

}  // namespace orvek
