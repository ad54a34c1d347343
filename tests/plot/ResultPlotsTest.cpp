#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <tuple>

#include "plot/AxisRenderer.h"
#include "plot/PressureTimePlot.h"
#include "plot/ResultPlots.h"
#include "tests/plot/StepPlot.h"

namespace orvek {
namespace {

const QRgb kDarkBlue = qRgb(0, 0, 200);

// Each title drawn alone on white must match the plot within the box of its own pixels.
void ExpectTitles(const QImage& plot,
                  std::initializer_list<std::tuple<QString, QPoint, int, bool>> titles) {
  for (const auto& [text, at, anchor, rotated] : titles) {
    QImage alone(plot.size(), QImage::Format_RGB32);
    alone.fill(Qt::white);
    QPainter painter(&alone);
    painter.setFont(AxisFont(plot.size()));
    DrawAnchored(painter, text, at.x(), at.y(), anchor, rotated);
    QRect box;
    for (int y = 0; y < alone.height(); ++y)
      for (int x = 0; x < alone.width(); ++x)
        if (alone.pixel(x, y) == kBlack) box |= QRect(x, y, 1, 1);
    EXPECT_TRUE(!box.isEmpty() && plot.copy(box) == alone.copy(box)) << text.toStdString();
  }
}

class ResultPlotsTest : public ::testing::Test {
 protected:
  ResultPlotsTest() { canvas_.fill(Qt::black); }  // what a plot leaves unpainted stays black
  QImage canvas_{kClient, QImage::Format_RGB32};
  TWaveform waveform_{8192};
  PlotState state_;
};

TEST_F(ResultPlotsTest, StapesDisplacementInDarkBlueWithoutTitle) {
  FillStep(waveform_, waveform_.WorkSamples, 1, 2000.0f, 0.02f);  // a segment that kept its time
  FillStep(waveform_, waveform_.Samples, 500, 2000.0f, 0.02f);  // the pressure record is not drawn
  waveform_.PlotTitle = "PRESSURE RECORD";
  QPainter painter(&canvas_);
  PlotStDispTime(painter, kClient, waveform_, -2, 2, state_);
  EXPECT_EQ(Count(canvas_, kDarkBlue, QRect(100, kRowPlus1kPa, 501, 1)), 501);  // first half
  EXPECT_EQ(Count(canvas_, kBlue, QRect(0, 400, 1200, 400)), 0);
  EXPECT_EQ(Count(canvas_, kBlack, QRect(300, 425, 600, 24)), 0);  // where a title would stand
  const TPlotFrame &m = state_.Main, &r = state_.RightScale;
  EXPECT_EQ(std::tuple(m.XMin, m.YMin, m.YMax), std::tuple(20.0f, -2.0f, 2.0f));
  EXPECT_FLOAT_EQ(m.XMax, 101.91f);
  EXPECT_EQ(std::tuple(r.XMin, r.XMax, r.YMin, r.YMax, r.XScale, r.YScale, r.Left, r.Top),
            std::tuple(m.XMin, m.XMax, m.YMin, m.YMax, m.XScale, m.YScale, m.Left, m.Top));
}

TEST_F(ResultPlotsTest, BasilarMembraneFrameWithHazardScale) {
  QPainter painter(&canvas_);
  PlotBMDispSpace(painter, kClient, 0, 3.5f, -2, 2, 0, 40, state_);
  // Frame 84..1139 (right margin 60), the purple zero line between the major ticks.
  EXPECT_EQ(Count(canvas_, qRgb(128, 0, 128), QRect(100, kRowZero, 1001, 1)), 1001);
  EXPECT_EQ(canvas_.pixel(1139, 600), kBlack);
  const TPlotFrame &m = state_.Main, &r = state_.RightScale;
  EXPECT_EQ(std::tuple(m.XScale, m.YScale), std::tuple(1055 / 3.5f, -87.0f));
  EXPECT_EQ(std::tuple(r.XMin, r.XMax, r.XScale, r.Left, r.Top, r.YMin, r.YMax, r.YScale),
            std::tuple(m.XMin, m.XMax, m.XScale, m.Left, m.Top, 0.0f, 40.0f, -348 / 40.0f));
  ExpectTitles(canvas_, {{"DISTANCE FROM STAPES IN CM", {611, 799}, 7, false},
                         {"BM DISPLACEMENT IN MICRONS", {0, 600}, 3, true},
                         {"AUDITORY RISK UNITS (A.R.U.)", {1199, 600}, 5, true}});
}

}  // namespace
}  // namespace orvek
