#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "plot/AxisRenderer.h"

namespace orvek {
namespace {

// The major ticks as "label@anchor " each.
std::string Labels(const std::vector<AxisTick>& ticks) {
  std::string text;
  for (const AxisTick& t : ticks) {
    if (t.Major) text += t.Label.toStdString() + "@" + std::to_string(t.Anchor) + " ";
  }
  return text;
}

// `count` labels first + k step with `decimals`, the first anchored `a0`, the last `a2`, the
// others `a1`.
std::string Series(double first, double step, int count, int decimals, int a0, int a1, int a2) {
  std::string text;
  for (int k = 0; k < count; ++k) {
    text += QString::number(first + k * step, 'f', decimals).toStdString() + "@" +
            std::to_string(k == 0           ? a0
                           : k == count - 1 ? a2
                                            : a1) +
            " ";
  }
  return text;
}

TEST(LabelFormatTest, DecimalsAndWidthFromTheLargestMagnitudeAndRightAlignedText) {
  // Largest magnitude, width, decimals.
  const std::tuple<double, int, int> formats[] = {
      {1.5, 1, 1}, {0.03, 3, 3}, {5000, 2, 0}, {0, 0, 0}};
  for (const auto& [maxMagnitude, expectedWidth, expectedDecimals] : formats) {
    int width = -1, decimals = -1;
    LinearLabelFormat(maxMagnitude, width, decimals);
    EXPECT_EQ(std::pair(width, decimals), std::pair(expectedWidth, expectedDecimals))
        << maxMagnitude;
  }
  const std::tuple<double, int, int, const char*> texts[] = {
      {5, 3, 0, "  5"}, {1234.5678, 2, 2, "1234.57"}, {-1e-9, 4, 1, " 0.0"}};  // just below zero
  for (const auto& [value, width, decimals, text] : texts)
    EXPECT_EQ(FormatTick(value, width, decimals).toStdString(), text) << value;
}

TEST(LinearTicksTest, TicksLabelsAndAnchors) {
  const struct {
    const char* name;
    float min, max, rawStep, step;
    LabelAnchors anchors;
    bool distinctLabels;
    std::size_t tickCount;
    std::string labels;
  } cases[] = {
      // clang-format off
      {"time 0 to 41 ms", 0, 41, 41.0f / 50, 1, kBottomLabelAnchors, true, 42,
       Series(0, 5, 9, 0, 0, 1, 1)},
      {"time 100 to 102 ms needs one pass", 100, 102, 2.0f / 50, 0.02f, kBottomLabelAnchors, true,
       101, Series(100, 0.1, 21, 1, 0, 1, 2)},
      {"time 1000 to 1000.2 ms needs two", 1000, 1000.2f, 0.2f / 50, 0.002f, kBottomLabelAnchors,
       true, 101, Series(1000, 0.01, 21, 2, 0, 1, 2)},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FLOAT_EQ(NiceStep(c.rawStep), c.step);
    const std::vector<AxisTick> ticks =
        LinearTicks(c.min, c.max, c.step, 5, c.anchors, c.distinctLabels);
    EXPECT_EQ(ticks.size(), c.tickCount);
    EXPECT_EQ(Labels(ticks), c.labels);
    // Step-spaced to single precision.
    for (std::size_t i = 1; i < ticks.size(); ++i)
      EXPECT_NEAR(ticks[i].Value - ticks[i - 1].Value, c.step, 1e-4 * c.step) << i;
  }
  // No ticks for a step that is not positive or would give too many.
  EXPECT_TRUE(LinearTicks(0, 1, 0, 5, kBottomLabelAnchors, true).empty());
  EXPECT_TRUE(LinearTicks(0, 1e9f, 1e-3f, 5, kBottomLabelAnchors, true).empty());
}

}  // namespace
}  // namespace orvek
