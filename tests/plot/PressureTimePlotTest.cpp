#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdint>

#include "plot/AxisRenderer.h"
#include "plot/PressureTimePlot.h"

namespace orvek {
namespace {

struct DecimationCase {
  std::int32_t last;
  int frameWidth;
  std::int32_t step, columns;
  bool minMax;
};

TEST(DecimateTraceTest, StepColumnsAndMode) {
  const DecimationCase cases[] = {
      {8191, 1115, 7, 1170, false},      // 8192 samples: a polyline
      {1048575, 1115, 940, 1115, true},  // 2^20 samples: 476 left after the last column
      {99 * 1115, 1115, 99, 1115, false},
      {100 * 1115, 1115, 100, 1115, true},
      {0, 1115, 1, 0, false},   // one sample
      {-1, 1115, 1, 0, false},  // no samples
      {500, 0, 500, 1, true},   // a frame of no width still divides safely
  };
  for (const DecimationCase& c : cases) {
    const Decimation d = DecimateTrace(c.last, c.frameWidth);
    EXPECT_EQ(d.Step, c.step) << c.last;
    EXPECT_EQ(d.Columns, c.columns) << c.last;
    EXPECT_EQ(d.MinMaxColumns, c.minMax) << c.last;
  }
}

struct LayoutCase {
  int width, height;
  int bandTop, frameLeft, frameWidth, bottomMargin, frameHeight, xTick, yTick;
};

TEST(LayOutPressureTimePlotTest, GeometryOfTheLowerHalf) {
  const LayoutCase cases[] = {
      {1200, 800, 400, 84, 1115, 52, 348, 7, 7},
      {1920, 1080, 540, 134, 1785, 70, 470, 9, 11},
      {906, 585, 292, 63, 842, 37, 255, 5, 5},  // half of 585 rounds to even
  };
  TWaveform waveform(4);
  waveform.LastSampleIndex = 3;
  waveform.TimeEnd = 0.041f;
  waveform.AxisMin = -200;
  waveform.AxisMax = 1500;
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    TPlotFrame frame;
    const PlotLayout layout = LayOutPressureTimePlot(QSize(c.width, c.height), waveform, frame);
    EXPECT_EQ(layout.BandTop, c.bandTop);
    EXPECT_EQ(layout.BandHeight, c.bandTop);
    EXPECT_EQ(layout.FrameLeft, c.frameLeft);
    EXPECT_EQ(layout.FrameWidth, c.frameWidth);
    EXPECT_EQ(layout.FrameBottomMargin, c.bottomMargin);
    EXPECT_EQ(layout.FrameHeight, c.frameHeight);
    EXPECT_EQ(layout.XTickLength, c.xTick);
    EXPECT_EQ(layout.YTickLength, c.yTick);
    EXPECT_FLOAT_EQ(layout.XTickStep, 1.0f);  // 41 ms
    EXPECT_FLOAT_EQ(layout.YTickStep, 0.1f);  // -0.2 to 1.5 kPa
    // The frame spans the frame rectangle exactly.
    float x = frame.XMax, y = frame.YMin;
    EXPECT_EQ(MapPoint(frame, x, y), QPoint(c.frameLeft + c.frameWidth, c.bandTop + c.frameHeight));
  }
}

struct EmptyRangeCase {
  const char* name;
  float timeEnd, axisMin, axisMax;
  float xMin, xMax, yMin, yMax;
};

TEST(LayOutPressureTimePlotTest, EmptyRangesAreWidened) {
  const EmptyRangeCase cases[] = {
      {"all-zero record", 0.01f, 0, 0, 0, 10, -0.001f, 0.001f},
      {"constant 5 Pa", 0.01f, 5, 5, 0, 10, 0.004f, 0.006f},
      {"one sample", 0, -100, 100, 0, 1, -0.1f, 0.1f},
  };
  for (const EmptyRangeCase& c : cases) {
    SCOPED_TRACE(c.name);
    TWaveform waveform(1);
    waveform.TimeEnd = c.timeEnd;
    waveform.AxisMin = c.axisMin;
    waveform.AxisMax = c.axisMax;
    TPlotFrame frame;
    const PlotLayout layout = LayOutPressureTimePlot(QSize(1200, 800), waveform, frame);
    EXPECT_FLOAT_EQ(frame.XMin, c.xMin);
    EXPECT_FLOAT_EQ(frame.XMax, c.xMax);
    EXPECT_FLOAT_EQ(frame.YMin, c.yMin);
    EXPECT_FLOAT_EQ(frame.YMax, c.yMax);
    EXPECT_TRUE(std::isfinite(frame.XScale) && std::isfinite(frame.YScale));
    EXPECT_GT(layout.XTickStep, 0);
    EXPECT_GT(layout.YTickStep, 0);
    EXPECT_EQ(waveform.AxisMin, c.axisMin);  // the record keeps its limits
  }
}

// Pixel checks on a 1200 x 800 canvas: band from y = 400, frame 84..1199 x 400..748. With the
// pressure axis from -2 to 2 kPa (87 pixels per kPa), 1 kPa lies on row 487, 0 on 574, -1 on 661.
constexpr QSize kClient(1200, 800);
constexpr int kRowPlus1kPa = 487, kRowZero = 574, kRowMinus1kPa = 661;
const QRgb kWhite = qRgb(255, 255, 255), kBlue = qRgb(0, 0, 255), kPurple = qRgb(128, 0, 128);

// A step from +level to -level Pa half-way through, at 100 kHz.
void FillStep(TWaveform& waveform, std::int32_t count, float level, float axisLimit) {
  waveform.LastSampleIndex = count - 1;
  waveform.SampleRate = 100000;
  waveform.SampleInterval = 1e-5f;
  for (std::int32_t i = 0; i < count; ++i) waveform.Samples[i] = i < count / 2 ? level : -level;
  waveform.TimeStart = 0;
  waveform.TimeEnd = waveform.LastSampleIndex * waveform.SampleInterval;
  waveform.AxisMax = axisLimit;
  waveform.AxisMin = -axisLimit;
  waveform.PlotTitle = "STEP";
}

int CountInRow(const QImage& image, int y, int x0, int x1, QRgb colour) {
  int n = 0;
  for (int x = x0; x <= x1; ++x) n += image.pixel(x, y) == colour;
  return n;
}

int CountInImage(const QImage& image, QRgb colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) n += CountInRow(image, y, 0, image.width() - 1, colour);
  return n;
}

class PressureTimePlotTest : public ::testing::Test {
 protected:
  PressureTimePlotTest() : waveform_(8192) {
    canvas_.fill(Qt::black);  // anything the plot does not paint stays black
    FillStep(waveform_, 8192, 1000, 2000);
  }
  void Plot(const TWaveform& waveform) {
    QPainter painter(&canvas_);
    PressureTimePlot(painter, kClient, waveform, state_);
  }

  QImage canvas_{kClient, QImage::Format_RGB32};
  TWaveform waveform_;
  PlotState state_;
};

TEST_F(PressureTimePlotTest, FreshFrameDrawsBlueTraceZeroLineAndAxes) {
  Plot(waveform_);
  // The trace: +1 kPa over the first half (up to 41 ms, x 642), -1 kPa after it.
  EXPECT_EQ(CountInRow(canvas_, kRowPlus1kPa, 100, 600, kBlue), 501);
  EXPECT_EQ(CountInRow(canvas_, kRowMinus1kPa, 700, 1150, kBlue), 451);
  EXPECT_EQ(CountInRow(canvas_, kRowMinus1kPa, 100, 600, kBlue), 0);
  EXPECT_EQ(CountInRow(canvas_, kRowZero, 100, 600, kPurple), 501);
  EXPECT_EQ(CountInRow(canvas_, kRowZero, 700, 1150, kPurple), 451);
  // The band is white, the upper half untouched; the frame is black.
  EXPECT_EQ(canvas_.pixel(300, 550), kWhite);
  EXPECT_EQ(canvas_.pixel(300, 200), qRgb(0, 0, 0));
  EXPECT_EQ(canvas_.pixel(600, 748), qRgb(0, 0, 0));   // bottom axis
  EXPECT_EQ(canvas_.pixel(84, 600), qRgb(0, 0, 0));    // left axis
  EXPECT_EQ(canvas_.pixel(1199, 600), qRgb(0, 0, 0));  // right axis
  EXPECT_EQ(canvas_.pixel(600, 400), qRgb(0, 0, 0));   // top axis
  // Labels below the bottom axis and left of the left axis.
  EXPECT_GT(CountInRow(canvas_, 760, 84, 1199, qRgb(0, 0, 0)) +
                CountInRow(canvas_, 765, 84, 1199, qRgb(0, 0, 0)),
            0);
  EXPECT_TRUE(state_.PressureRangePending);
  EXPECT_FLOAT_EQ(state_.Waveform.YMax, 2.0f);
  EXPECT_EQ(state_.Waveform.Left, 84);
  EXPECT_EQ(state_.Waveform.Top, 400);
}

struct OverlayCase {
  int traceColour;
  QRgb colour;
};

TEST_F(PressureTimePlotTest, OverlayUsesThePreviousAxesAndTheColourTable) {
  const OverlayCase cases[] = {
      {1, qRgb(255, 0, 0)}, {2, qRgb(0, 128, 0)}, {3, qRgb(255, 0, 255)}, {4, qRgb(0, 255, 255)},
      {5, qRgb(0, 128, 0)}, {6, qRgb(128, 0, 0)}, {9, qRgb(128, 0, 0)},
  };
  // The second trace, 0.6 kPa, has limits of its own that the overlay must ignore: on the first
  // plot's axes 0.6 kPa lies on row 522.
  TWaveform second(8192);
  FillStep(second, 8192, 600, 700);
  for (const OverlayCase& c : cases) {
    SCOPED_TRACE(c.traceColour);
    state_.FreshFrame = true;
    state_.TraceColour = 1;
    Plot(waveform_);
    state_.FreshFrame = false;
    state_.TraceColour = c.traceColour;
    Plot(second);
    EXPECT_EQ(CountInRow(canvas_, 522, 100, 600, c.colour), 501);
    EXPECT_EQ(CountInRow(canvas_, kRowPlus1kPa, 100, 600, kBlue), 501);  // first trace kept
    EXPECT_EQ(state_.TraceColour, c.traceColour + 1);
  }
}

TEST_F(PressureTimePlotTest, EraseModeRemovesTheTraceAndRestoresTheZeroLine) {
  Plot(waveform_);
  ASSERT_GT(CountInImage(canvas_, kBlue), 1000);
  state_.FreshFrame = false;
  state_.TraceColour = 0;
  Plot(waveform_);
  EXPECT_EQ(CountInImage(canvas_, kBlue), 0);
  // The step crosses zero near x 642; the zero line runs through there again.
  EXPECT_EQ(CountInRow(canvas_, kRowZero, 100, 1150, kPurple), 1051);
  EXPECT_EQ(state_.TraceColour, 0);
}

TEST_F(PressureTimePlotTest, MillionSamplesDrawMinMaxColumnsAndSkipTheRemainder) {
  constexpr std::int32_t kCount = 1 << 20;
  TWaveform big(kCount);
  FillStep(big, kCount, 1000, 2000);
  for (std::int32_t i = 0; i < kCount; ++i) big.Samples[i] = (i % 2 ? -1000.0f : 1000.0f);
  // The 476 samples after the last full column rise to 1.9 kPa; drawn, they would reach row 409.
  for (std::int32_t i = kCount - 476; i < kCount; ++i) big.Samples[i] = 1900;
  Plot(big);
  // Every column spans -1 to 1 kPa. 1115 columns at 0.9996 pixel spacing fill 1114 pixel columns,
  // 1081 of them between the major ticks of the left and right axes.
  EXPECT_EQ(CountInRow(canvas_, kRowZero, 100, 1180, kBlue), 1081);
  EXPECT_EQ(CountInRow(canvas_, kRowPlus1kPa, 100, 1180, kBlue), 1081);
  EXPECT_EQ(CountInRow(canvas_, 450, 0, 1199, kBlue), 0);
  EXPECT_EQ(CountInRow(canvas_, kRowPlus1kPa - 1, 0, 1199, kBlue), 0);
}

TEST_F(PressureTimePlotTest, AllZeroRecordDrawsOnTheZeroRow) {
  TWaveform zero(4096);
  FillStep(zero, 4096, 0, 0);
  Plot(zero);
  // The range widens to +-1 Pa, so zero lies mid-frame on row 574, now covered by the trace.
  EXPECT_EQ(CountInRow(canvas_, kRowZero, 100, 1150, kBlue), 1051);
}

TEST(PlotLogAxesTest, ClearsTheBandOncePerWaveform) {
  QImage canvas(600, 400, QImage::Format_RGB32);
  canvas.fill(Qt::black);
  QPainter painter(&canvas);
  painter.setFont(AxisFont(canvas.size()));
  PlotLayout layout;
  layout.Client = canvas.size();
  layout.BandTop = 0;
  layout.BandHeight = 200;
  layout.BandWidth = 600;
  TPlotFrame frame;
  frame.XMin = 1;  // 10 Hz to 10 kHz
  frame.XMax = 4;
  frame.YMin = 20;
  frame.YMax = 80;
  layout.YTickStep = NiceStep(60.0f / 30);
  LayOutLogPlot(layout, frame);
  EXPECT_EQ(layout.FrameLeft, 37);
  EXPECT_EQ(layout.FrameBottomMargin, 26);
  EXPECT_EQ(layout.FrameWidth, 562);
  EXPECT_EQ(layout.FrameHeight, 174);
  float x = frame.XMax, y = frame.YMin;
  EXPECT_EQ(MapPoint(frame, x, y), QPoint(599, 174));

  PlotState state;
  PlotLogAxes(painter, layout, frame, state);
  EXPECT_FALSE(state.LogClearPending);
  EXPECT_EQ(canvas.pixel(300, 100), qRgb(255, 255, 255));  // cleared inside the frame
  EXPECT_EQ(canvas.pixel(300, 300), qRgb(0, 0, 0));        // below the band: untouched
  EXPECT_EQ(canvas.pixel(300, 174), qRgb(0, 0, 0));        // bottom axis
  painter.fillRect(250, 90, 100, 20, Qt::red);             // a curve drawn between two calls
  PlotLogAxes(painter, layout, frame, state);
  EXPECT_EQ(canvas.pixel(300, 100), qRgb(255, 0, 0));
}

}  // namespace
}  // namespace orvek
