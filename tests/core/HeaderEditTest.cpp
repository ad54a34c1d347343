#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <tuple>

#include "waveform/HeaderEdit.h"

namespace orvek {
namespace {

TEST(CellNumbers, AreReadAfterDroppingBlanks) {
  const std::tuple<const char*, std::optional<double>, std::optional<std::int64_t>> cases[] = {
      // clang-format off
      {" 200000 ", 200000.0, 200000}, {"2e5", 200000.0, {}}, {"+3", 3.0, 3}, {"-2", -2.0, -2},
      {"3.0", 3.0, {}}, {"99999999999999999999", 1e20, std::numeric_limits<std::int64_t>::max()},
      {"1 2", {}, {}}, {"", {}, {}}, {"   ", {}, {}}, {"inf", {}, {}}, {"\t3", {}, {}}};
  // clang-format on
  for (const auto& [text, real, whole] : cases) {
    EXPECT_EQ(CellReal(text), real) << '"' << text << '"';
    EXPECT_EQ(CellWholeNumber(text), whole) << '"' << text << '"';
  }
}

// 50 samples of 1 at 100000 samples/s in a buffer of 100, the first one at 1 ms.
class HeaderEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::fill(waveform.Samples.begin(), waveform.Samples.end(), 1.0f);
    waveform.LastSampleIndex = 49;
    waveform.SampleRate = 100000.4f;
    waveform.SampleInterval = 1e-5f;
    waveform.TimeStart = 0.001f;
    waveform.TimeEnd = 49 * 1e-5f + 0.001f;
    waveform.MicLocation = 1;
  }
  CellEditResult Edit(LiveCell cell, int column, int row, const std::string& text) {
    SetUp();
    grid.SetCell(column, row, text);
    return ApplyCellEdit(cell, grid, waveform);
  }

  TWaveform waveform{100};
  HeaderGrid grid;
};

TEST_F(HeaderEditTest, RateOfAtLeastOneRescalesTheTimeAxis) {
  const CellEditResult title = Edit(LiveCell::Title, 2, 1, " Rifle 5.56 ");  // taken as typed
  EXPECT_TRUE(title.Accepted && title.Redraw);
  EXPECT_EQ(waveform.PlotTitle, " Rifle 5.56 ");
  // Cell text, rate (0: refused).
  const std::pair<const char*, float> cases[] = {{"50000", 50000.0f},   {" 1 ", 1.0f},
                                                 {"44100.5", 44100.5f}, {"0.999", 0.0f},
                                                 {"abc", 0.0f},         {"1e39", 0.0f}};
  for (const auto& [text, rate] : cases) {
    SCOPED_TRACE(text);
    const CellEditResult result = Edit(LiveCell::SampleRate, 1, 2, text);
    EXPECT_EQ(std::tuple(result.Accepted, result.Redraw), std::tuple(rate > 0, rate > 0));
    if (rate == 0) {
      EXPECT_EQ(grid.Cell(1, 2), "100000.4");  // the previous rate, as it reads back
      EXPECT_EQ(std::tuple(waveform.SampleRate, waveform.TimeStart), std::tuple(100000.4f, 0.001f));
      continue;
    }
    const double interval = 1.0 / rate;
    EXPECT_EQ(waveform.SampleRate, rate);
    EXPECT_FLOAT_EQ(waveform.SampleInterval, static_cast<float>(interval));
    // The first sample keeps its index: 100 samples in at the old rate.
    EXPECT_FLOAT_EQ(waveform.TimeStart, static_cast<float>(100 * interval));
    EXPECT_FLOAT_EQ(waveform.TimeEnd, static_cast<float>(149 * interval));
    EXPECT_EQ(std::tie(waveform.WindowStart, waveform.WindowEnd),
              std::tie(waveform.TimeStart, waveform.TimeEnd));
  }
}

TEST_F(HeaderEditTest, LocationIsAWholeNumberFromOneToThree) {
  // Cell text, location (1: refused).
  const std::pair<const char*, std::int32_t> cases[] = {{"2", 2}, {" 3 ", 3}, {"4", 1},
                                                        {"0", 1}, {"1.5", 1}, {"x", 1}};
  for (const auto& [text, location] : cases) {
    SCOPED_TRACE(text);
    const CellEditResult result = Edit(LiveCell::MicLocation, 1, 3, text);
    EXPECT_EQ(result.Accepted, location != 1);
    EXPECT_FALSE(result.Redraw);
    EXPECT_EQ(waveform.MicLocation, location);
    EXPECT_TRUE(location != 1 || grid.Cell(1, 3) == "1");  // the previous location comes back
  }
}

TEST_F(HeaderEditTest, SampleCountIsLimitedAndTheGapZeroed) {
  // Cell text, count, and the samples set to 0 (from, to).
  const std::tuple<const char*, std::int32_t, int, int> cases[] = {
      {"60", 60, 50, 60},     {" 40 ", 40, 40, 50}, {"0", 1, 1, 50},
      {"1000", 100, 50, 100}, {"abc", 50, 50, 50},  {"-7", 1, 1, 50}};
  for (const auto& [text, count, zeroFrom, zeroTo] : cases) {
    SCOPED_TRACE(text);
    const CellEditResult result = Edit(LiveCell::SampleCount, 1, 4, text);
    EXPECT_TRUE(result.Accepted && result.Redraw);
    EXPECT_EQ(waveform.Count(), count);
    EXPECT_EQ(grid.Cell(1, 4), std::to_string(count));
    for (int i = 0; i < 100; ++i)
      ASSERT_EQ(waveform.Samples[i], (i >= zeroFrom && i < zeroTo) ? 0.0f : 1.0f) << i;
    EXPECT_FLOAT_EQ(waveform.TimeEnd, (count - 1) * 1e-5f + 0.001f);
  }
}

}  // namespace
}  // namespace orvek
