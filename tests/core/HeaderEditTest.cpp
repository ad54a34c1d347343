#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "waveform/HeaderEdit.h"

namespace orvek {
namespace {

TEST(CellNumbers, AreReadAfterDroppingBlanks) {
  const struct {
    const char* text;
    std::optional<double> real;
    std::optional<std::int64_t> whole;
  } cases[] = {
      {" 200000 ", 200000.0, 200000},
      {"2e5", 200000.0, {}},
      {"+3", 3.0, 3},
      {"-2", -2.0, -2},
      {"3.0", 3.0, {}},
      {".5", 0.5, {}},
      {"99999999999999999999", 1e20, std::numeric_limits<std::int64_t>::max()},
      {"1 2", {}, {}},
      {"abc", {}, {}},
      {"", {}, {}},
      {"   ", {}, {}},
      {"inf", {}, {}},
      {"\t3", {}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CellReal(c.text), c.real) << '"' << c.text << '"';
    EXPECT_EQ(CellWholeNumber(c.text), c.whole) << '"' << c.text << '"';
  }
}

TEST(LiveCellAt, FindsTheFourLiveCells) {
  const struct {
    int column, row;
    std::optional<LiveCell> cell;
  } cases[] = {{2, 1, LiveCell::Title},
               {1, 2, LiveCell::SampleRate},
               {1, 3, LiveCell::MicLocation},
               {1, 4, LiveCell::SampleCount},
               {1, 1, {}},
               {0, 2, {}},
               {2, 4, {}},
               {1, 5, {}}};
  for (const auto& c : cases) {
    LiveCell cell = LiveCell::Title;
    const bool live = LiveCellAt(c.column, c.row, cell);
    EXPECT_EQ(live, c.cell.has_value()) << c.column << "," << c.row;
    if (live && c.cell) {
      EXPECT_EQ(cell, *c.cell);
    }
  }
}

class HeaderEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::fill(waveform.Samples.begin(), waveform.Samples.end(), 1.0f);
    waveform.LastSampleIndex = 49;
    waveform.SampleRate = 100000.0f;
    waveform.SampleInterval = 1e-5f;
    waveform.TimeStart = 0.001f;
    waveform.TimeEnd = 49 * 1e-5f + 0.001f;
    waveform.MicLocation = 1;
  }
  CellEditResult Edit(LiveCell cell, int column, int row, const std::string& text) {
    grid.SetCell(column, row, text);
    return ApplyCellEdit(cell, grid, waveform);
  }

  TWaveform waveform{100};
  HeaderGrid grid;
};

TEST_F(HeaderEditTest, TitleIsTakenAsTyped) {
  const CellEditResult result = Edit(LiveCell::Title, 2, 1, " Rifle 5.56 ");
  EXPECT_TRUE(result.Accepted && result.Redraw);
  EXPECT_EQ(waveform.PlotTitle, " Rifle 5.56 ");
}

TEST_F(HeaderEditTest, RateOfAtLeastOneRescalesTheTimeAxis) {
  const struct {
    const char* text;
    bool accepted;
    float rate;
  } cases[] = {{"50000", true, 50000.0f}, {" 1 ", true, 1.0f},        {"0.999", false, 0.0f},
               {"abc", false, 0.0f},      {"", false, 0.0f},          {"-5", false, 0.0f},
               {"1e39", false, 0.0f},     {"44100.5", true, 44100.5f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    SetUp();
    waveform.SampleRate = 100000.4f;
    const CellEditResult result = Edit(LiveCell::SampleRate, 1, 2, c.text);
    EXPECT_EQ(result.Accepted, c.accepted);
    EXPECT_EQ(result.Redraw, c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(grid.Cell(1, 2), "100000");  // previous rate without decimals
      EXPECT_EQ(waveform.SampleRate, 100000.4f);
      EXPECT_EQ(waveform.TimeStart, 0.001f);
      continue;
    }
    const double interval = 1.0 / c.rate;
    EXPECT_EQ(waveform.SampleRate, c.rate);
    EXPECT_FLOAT_EQ(waveform.SampleInterval, static_cast<float>(interval));
    // The first sample keeps its index: 100 samples in at the old rate.
    EXPECT_FLOAT_EQ(waveform.TimeStart, static_cast<float>(100 * interval));
    EXPECT_FLOAT_EQ(waveform.TimeEnd, static_cast<float>(149 * interval));
    EXPECT_EQ(waveform.WindowStart, waveform.TimeStart);
    EXPECT_EQ(waveform.WindowEnd, waveform.TimeEnd);
  }
}

TEST_F(HeaderEditTest, LocationIsAWholeNumberFromOneToThree) {
  const struct {
    const char* text;
    bool accepted;
    std::int32_t location;
  } cases[] = {{"2", true, 2},  {" 3 ", true, 3},  {"1", true, 1},  {"4", false, 1},
               {"0", false, 1}, {"1.5", false, 1}, {"x", false, 1}, {"", false, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    waveform.MicLocation = 1;
    const CellEditResult result = Edit(LiveCell::MicLocation, 1, 3, c.text);
    EXPECT_EQ(result.Accepted, c.accepted);
    EXPECT_FALSE(result.Redraw);
    EXPECT_EQ(waveform.MicLocation, c.location);
    if (!c.accepted) {
      EXPECT_EQ(grid.Cell(1, 3), "1");
    }
  }
}

TEST_F(HeaderEditTest, SampleCountIsLimitedAndTheGapZeroed) {
  const struct {
    const char* text;
    std::int32_t count;
    int zeroFrom, zeroTo;  // samples set to 0
  } cases[] = {{"60", 60, 50, 60},     {" 40 ", 40, 40, 50}, {"0", 1, 1, 50},   {"-7", 1, 1, 50},
               {"1000", 100, 50, 100}, {"abc", 50, 50, 50},  {"50", 50, 50, 50}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    SetUp();
    const CellEditResult result = Edit(LiveCell::SampleCount, 1, 4, c.text);
    EXPECT_TRUE(result.Accepted && result.Redraw);
    EXPECT_EQ(waveform.Count(), c.count);
    EXPECT_EQ(grid.Cell(1, 4), std::to_string(c.count));
    for (int i = 0; i < 100; ++i)
      ASSERT_EQ(waveform.Samples[i], (i >= c.zeroFrom && i < c.zeroTo) ? 0.0f : 1.0f) << i;
    EXPECT_FLOAT_EQ(waveform.TimeEnd, (c.count - 1) * 1e-5f + 0.001f);
  }
}

}  // namespace
}  // namespace orvek
