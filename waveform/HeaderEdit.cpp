#include "waveform/HeaderEdit.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "base/DecimalNumber.h"

namespace orvek {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool ApplyRate(HeaderGrid& grid, TWaveform& w) {
  const std::optional<double> rate =
      CellReal(grid.Cell(HeaderColumn::Value, HeaderRow::SampleRate));
  if (!rate || *rate < 1.0 || *rate > FLT_MAX) {
    grid.SetCell(HeaderColumn::Value, HeaderRow::SampleRate, RateText(w.SampleRate));
    return false;
  }
  const float oldInterval = w.SampleInterval;
  w.SampleRate = static_cast<float>(*rate);
  w.SampleInterval = static_cast<float>(1.0 / w.SampleRate);
  // Before any waveform has a rate there is no old time scale to convert from.
  if (oldInterval > 0.0f)
    w.TimeStart = static_cast<float>(double{w.TimeStart} * w.SampleInterval / oldInterval);
  w.TimeEnd =
      static_cast<float>(static_cast<double>(w.LastSampleIndex) * w.SampleInterval + w.TimeStart);
  w.WindowStart = w.TimeStart;
  w.WindowEnd = w.TimeEnd;
  return true;
}

bool ApplyLocation(HeaderGrid& grid, TWaveform& w) {
  const std::optional<std::int64_t> location =
      CellWholeNumber(grid.Cell(HeaderColumn::Value, HeaderRow::MicLocation));
  if (!location || *location < 1 || *location > 3) {
    grid.SetCell(HeaderColumn::Value, HeaderRow::MicLocation, std::to_string(w.MicLocation));
    return false;
  }
  w.MicLocation = static_cast<std::int32_t>(*location);
  return true;
}

void ApplyCount(HeaderGrid& grid, TWaveform& w) {
  const std::int32_t oldCount = w.Count();
  const std::int64_t wanted =
      CellWholeNumber(grid.Cell(HeaderColumn::Value, HeaderRow::SampleCount)).value_or(oldCount);
  const std::int64_t capacity = w.Capacity();
  const auto count = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(wanted, std::min<std::int64_t>(1, capacity), capacity));
  const std::int32_t end = std::min(std::max(oldCount, count), w.Capacity());
  std::fill(w.Samples.begin() + std::min(oldCount, count), w.Samples.begin() + end, 0.0f);
  w.LastSampleIndex = count - 1;
  w.TimeEnd =
      static_cast<float>(static_cast<double>(w.LastSampleIndex) * w.SampleInterval + w.TimeStart);
  grid.SetCell(HeaderColumn::Value, HeaderRow::SampleCount, std::to_string(count));
}

}  // namespace

std::string RateText(float rate) {
  char text[64];
  return std::string(text,
                     std::to_chars(text, text + sizeof text, rate, std::chars_format::fixed).ptr);
}

std::optional<double> CellReal(std::string_view text) {
  text = TrimBlanks(text);
  double value = 0.0;
  if (!ParseDecimal(text.data(), text.data() + text.size(), value)) return std::nullopt;
  return value;
}

std::optional<std::int64_t> CellWholeNumber(std::string_view text) {
  text = TrimBlanks(text);
  const bool negative = !text.empty() && text.front() == '-';
  if (!text.empty() && (text.front() == '+' || negative)) text.remove_prefix(1);
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  std::uint64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (end != text.data() + text.size()) return std::nullopt;
  constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (ec == std::errc::result_out_of_range || magnitude > kMax) magnitude = kMax;
  const auto value = static_cast<std::int64_t>(magnitude);
  return negative ? -value : value;
}

CellEditResult ApplyCellEdit(LiveCell cell, HeaderGrid& grid, TWaveform& waveform) {
  switch (cell) {
    case LiveCell::Title:
      waveform.PlotTitle = grid.Cell(HeaderColumn::Comment, HeaderRow::Title);
      return {true, true};
    case LiveCell::SampleRate: {
      const bool accepted = ApplyRate(grid, waveform);
      return {accepted, accepted};
    }
    case LiveCell::MicLocation:
      return {ApplyLocation(grid, waveform), false};
    case LiveCell::SampleCount:
      ApplyCount(grid, waveform);
      return {true, true};
  }
  return {};
}

bool LiveCellAt(int column, int row, LiveCell& cell) {
  if (column == HeaderColumn::Comment && row == HeaderRow::Title) {
    cell = LiveCell::Title;
  } else if (column == HeaderColumn::Value && row == HeaderRow::SampleRate) {
    cell = LiveCell::SampleRate;
  } else if (column == HeaderColumn::Value && row == HeaderRow::MicLocation) {
    cell = LiveCell::MicLocation;
  } else if (column == HeaderColumn::Value && row == HeaderRow::SampleCount) {
    cell = LiveCell::SampleCount;
  } else {
    return false;
  }
  return true;
}

}  // namespace orvek
