#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "plot/AxisRenderer.h"
#include "plot/PlotFrame.h"

namespace orvek {
namespace {

TEST(MapPointTest, ClampsIntoTheFrameThenRoundsHalvesToEven) {
  const TPlotFrame frame{0, 10, -5, 5, 0.5f, -0.5f, 100, 200};
  // 100.5 -> 100, 202.5 -> 202; 101.5 -> 102, 201.5 -> 202; 102.5 -> 102, 204.5 -> 204; beyond
  // the maximum corner; beyond the minimum corner; on the top edge.
  const struct {
    float x, y;
    int px, py;
    float clampedX, clampedY;
  } cases[] = {{1, 0, 100, 202, 1, 0},   {3, 2, 102, 202, 3, 2},    {5, -4, 102, 204, 5, -4},
               {12, 7, 105, 200, 10, 5}, {-3, -9, 100, 205, 0, -5}, {4, 5, 102, 200, 4, 5}};
  for (const auto& c : cases) {
    float x = c.x, y = c.y;
    EXPECT_EQ(MapPoint(frame, x, y), QPoint(c.px, c.py)) << "point " << c.x << ", " << c.y;
    EXPECT_EQ(std::pair(x, y), std::pair(c.clampedX, c.clampedY));
  }
  TPlotFrame flat;  // an infinite scale still gives a finite pixel
  flat.YMin = flat.YMax = 0;
  flat.YScale = -std::numeric_limits<float>::infinity();
  float x = 0.5f, y = 0;
  EXPECT_LE(std::abs(MapPoint(flat, x, y).y()), 1 << 24);
}

}  // namespace
}  // namespace orvek
