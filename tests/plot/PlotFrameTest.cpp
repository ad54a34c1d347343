#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "plot/AxisRenderer.h"
#include "plot/PlotFrame.h"

namespace orvek {
namespace {

struct NiceStepCase {
  float raw, expected;
};

TEST(NiceStepTest, PicksOneTwoOrTenTimesAPowerOfTenByNearestMantissa) {
  const NiceStepCase cases[] = {
      {0.37f, 0.2f},  {0.6f, 1.0f},  {1.2f, 1.0f}, {5.0f, 10.0f},  {0.82f, 1.0f},  {0.0567f, 0.1f},
      {0.04f, 0.02f}, {1.0f, 1.0f},  {0.1f, 0.1f}, {10.0f, 10.0f}, {2.0f, 2.0f},   {150.0f, 200.0f},
      {1.4f, 1.0f},   {1.42f, 2.0f}, {4.4f, 2.0f}, {4.5f, 10.0f},  {3e-5f, 2e-5f}, {7e4f, 1e5f},
  };
  for (const NiceStepCase& c : cases) {
    EXPECT_FLOAT_EQ(NiceStep(c.raw), c.expected) << "raw step " << c.raw;
  }
}

struct MapPointCase {
  float x, y;
  int px, py;
  float clampedX, clampedY;
};

TEST(MapPointTest, ClampsIntoTheFrameThenRoundsHalvesToEven) {
  TPlotFrame frame;
  frame.XMin = 0;
  frame.XMax = 10;
  frame.YMin = -5;
  frame.YMax = 5;
  frame.XScale = 0.5f;
  frame.YScale = -0.5f;
  frame.Left = 100;
  frame.Top = 200;
  const MapPointCase cases[] = {
      {1, 0, 100, 202, 1, 0},     // 100.5 -> 100, 202.5 -> 202
      {3, 2, 102, 202, 3, 2},     // 101.5 -> 102, 201.5 -> 202
      {5, -4, 102, 204, 5, -4},   // 102.5 -> 102, 204.5 -> 204
      {12, 7, 105, 200, 10, 5},   // beyond the maximum corner
      {-3, -9, 100, 205, 0, -5},  // beyond the minimum corner
      {4, 5, 102, 200, 4, 5},     // on the top edge
  };
  for (const MapPointCase& c : cases) {
    float x = c.x, y = c.y;
    const QPoint p = MapPoint(frame, x, y);
    EXPECT_EQ(p, QPoint(c.px, c.py)) << "point " << c.x << ", " << c.y;
    EXPECT_EQ(x, c.clampedX);
    EXPECT_EQ(y, c.clampedY);
  }
}

TEST(MapPointTest, InfiniteScaleGivesAFinitePixel) {
  TPlotFrame frame;
  frame.YMin = frame.YMax = 0;
  frame.YScale = -std::numeric_limits<float>::infinity();
  float x = 0.5f, y = 0;
  const QPoint p = MapPoint(frame, x, y);
  EXPECT_LE(std::abs(p.y()), 1 << 24);
}

struct FontCase {
  int width, height, points;
};

TEST(AxisFontTest, PointSizeFollowsTheSmallerScaleRoundingHalvesToEven) {
  const FontCase cases[] = {
      {800, 600, 8},    {1920, 1080, 14}, {906, 587, 8},
      {1920, 525, 7},   {1250, 2000, 12},  // 12.5 -> 12
      {1350, 2000, 14},                    // 13.5 -> 14
      {10, 10, 1},                         // below one point still gives a usable font
  };
  for (const FontCase& c : cases) {
    const QFont font = AxisFont(QSize(c.width, c.height));
    EXPECT_EQ(font.pointSize(), c.points) << c.width << " x " << c.height;
    EXPECT_TRUE(font.bold());
    EXPECT_EQ(font.family(), QStringLiteral("Arial"));
  }
}

}  // namespace
}  // namespace orvek
