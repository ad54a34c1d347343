#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <array>
#include <cmath>
#include <cstdint>
#include <tuple>

#include "plot/PressureTimePlot.h"
#include "tests/plot/StepPlot.h"

namespace orvek {
namespace {

// 8192 samples: a polyline of step 7; 2^20 samples: 1115 min-max columns of 940, 476 samples left
// over; 100 samples a column start the min-max columns; a frame of no width still divides safely.
TEST(DecimateTraceTest, StepColumnsAndMode) {
  // Last sample index, frame width, step, columns, min-max columns.
  const std::tuple<std::int32_t, int, std::int32_t, std::int32_t, bool> cases[] = {
      {8191, 1115, 7, 1170, false},
      {1048575, 1115, 940, 1115, true},
      {99 * 1115, 1115, 99, 1115, false},
      {100 * 1115, 1115, 100, 1115, true},
      {0, 1115, 1, 0, false},
      {-1, 1115, 1, 0, false},
      {500, 0, 500, 1, true}};
  for (const auto& [last, width, step, columns, minMax] : cases) {
    const Decimation d = DecimateTrace(last, width);
    EXPECT_EQ(std::tuple(d.Step, d.Columns, d.MinMaxColumns), std::tuple(step, columns, minMax))
        << last;
  }
}

TEST(LayOutPressureTimePlotTest, EmptyRangesAreWidened) {
  // Time end, pressure limits, and the frame's XMin, XMax (ms), YMin, YMax (kPa).
  const std::tuple<const char*, float, float, float, std::array<float, 4>> cases[] = {
      {"all-zero record", 0.01f, 0, 0, {0, 10, -0.001f, 0.001f}},
      {"constant 5 Pa", 0.01f, 5, 5, {0, 10, 0.004f, 0.006f}},
      {"one sample", 0, -100, 100, {0, 1, -0.1f, 0.1f}}};
  for (const auto& [name, timeEnd, axisMin, axisMax, frameRanges] : cases) {
    SCOPED_TRACE(name);
    TWaveform waveform(1);
    waveform.TimeEnd = timeEnd;
    waveform.AxisMin = axisMin;
    waveform.AxisMax = axisMax;
    TPlotFrame frame;
    const PlotLayout layout = LayOutPressureTimePlot(QSize(1200, 800), waveform, frame);
    const float ranges[] = {frame.XMin, frame.XMax, frame.YMin, frame.YMax};
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(ranges[i], frameRanges[i]) << i;
    EXPECT_TRUE(std::isfinite(frame.XScale) && std::isfinite(frame.YScale));
    EXPECT_TRUE(layout.XTickStep > 0 && layout.YTickStep > 0);
    EXPECT_EQ(waveform.AxisMin, axisMin);  // the record keeps its limits
  }
}

// The frame is 84..1199 x 400..748 on the canvas; the zero line is purple.
const QRgb kPurple = qRgb(128, 0, 128);

class PressureTimePlotTest : public ::testing::Test {
 protected:
  PressureTimePlotTest() {
    canvas_.fill(Qt::black);  // anything the plot does not paint stays black
    FillStep(waveform_, waveform_.Samples, 1000);
  }
  void Plot(const TWaveform& waveform) {
    QPainter painter(&canvas_);
    PressureTimePlot(painter, kClient, waveform, state_);
  }

  QImage canvas_{kClient, QImage::Format_RGB32};
  TWaveform waveform_{8192};
  PlotState state_;
};

TEST_F(PressureTimePlotTest, FreshFrameDrawsBlueTraceZeroLineAndAxes) {
  Plot(waveform_);
  // The trace: +1 kPa over the first half (up to 41 ms, x 642), -1 kPa after it.
  EXPECT_EQ(CountInRow(canvas_, kRowPlus1kPa, 100, 600, kBlue), 501);
  EXPECT_EQ(CountInRow(canvas_, kRowMinus1kPa, 700, 1150, kBlue), 451);
  EXPECT_EQ(CountInRow(canvas_, kRowZero, 100, 1150, kPurple), 1050);  // but where it crosses
  // The band is white, the upper half untouched; the frame (bottom, left, right, top) is black.
  EXPECT_EQ(canvas_.pixel(300, 550), qRgb(255, 255, 255));
  for (const QPoint p :
       {QPoint(300, 200), QPoint(600, 748), QPoint(84, 600), QPoint(1199, 600), QPoint(600, 400)})
    EXPECT_EQ(canvas_.pixel(p), kBlack) << p.x() << "," << p.y();
  EXPECT_GT(Count(canvas_, kBlack, QRect(84, 755, 1116, 20)), 0);  // labels below the axis
  EXPECT_TRUE(state_.PressureRangePending);
}

TEST_F(PressureTimePlotTest, MillionSamplesDrawMinMaxColumnsAndSkipTheRemainder) {
  TWaveform big(1 << 20);
  FillStep(big, big.Samples, 1000);
  for (std::int32_t i = 0; i < big.Capacity(); ++i) big.Samples[i] = (i % 2 ? -1000.0f : 1000.0f);
  // The 476 samples after the last full column rise to 1.9 kPa; drawn, they would reach row 409.
  for (std::int32_t i = big.Capacity() - 476; i < big.Capacity(); ++i) big.Samples[i] = 1900;
  Plot(big);
  // Every column spans -1 to 1 kPa. 1115 columns at 0.9996 pixel spacing fill 1114 pixel columns,
  // 1081 of them between the major ticks of the left and right axes.
  EXPECT_EQ(CountInRow(canvas_, kRowZero, 100, 1180, kBlue), 1081);
  EXPECT_EQ(CountInRow(canvas_, kRowPlus1kPa, 100, 1180, kBlue), 1081);
  EXPECT_EQ(Count(canvas_, kBlue, QRect(0, 400, 1200, kRowPlus1kPa - 400)), 0);
}

}  // namespace
}  // namespace orvek
