#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "plot/AxisRenderer.h"

namespace orvek {
namespace {

std::vector<std::string> MajorLabels(const std::vector<AxisTick>& ticks) {
  std::vector<std::string> labels;
  for (const AxisTick& t : ticks) {
    if (t.Major) labels.push_back(t.Label.toStdString());
  }
  return labels;
}

std::vector<int> MajorAnchors(const std::vector<AxisTick>& ticks) {
  std::vector<int> anchors;
  for (const AxisTick& t : ticks) {
    if (t.Major) anchors.push_back(t.Anchor);
  }
  return anchors;
}

// "first" + k * step for k = 0 .. count - 1, with the given decimals.
std::vector<std::string> Series(double first, double step, int count, int decimals) {
  std::vector<std::string> labels;
  for (int k = 0; k < count; ++k) {
    labels.push_back(QString::number(first + k * step, 'f', decimals).toStdString());
  }
  return labels;
}

struct FormatCase {
  double maxMagnitude;
  int width, decimals;
};

TEST(LinearLabelFormatTest, DecimalsAndWidthFromTheLargestMagnitude) {
  const FormatCase cases[] = {
      {41, 0, 0}, {1.5, 1, 1}, {102, 1, 0}, {0.03, 3, 3}, {5000, 2, 0}, {0, 0, 0},
  };
  for (const FormatCase& c : cases) {
    int width = -1, decimals = -1;
    LinearLabelFormat(c.maxMagnitude, width, decimals);
    EXPECT_EQ(width, c.width) << "M = " << c.maxMagnitude;
    EXPECT_EQ(decimals, c.decimals) << "M = " << c.maxMagnitude;
  }
}

struct TickTextCase {
  double value;
  int width, decimals;
  const char* text;
};

TEST(FormatTickTest, RightAlignedInItsFieldAndWidening) {
  const TickTextCase cases[] = {
      {5, 0, 0, "5"},          {5, 3, 0, "  5"},
      {100.04, 1, 1, "100.0"}, {1234.5678, 2, 2, "1234.57"},
      {-0.5, 0, 1, "-0.5"},    {0.25, 0, 3, "0.250"},
      {-1e-9, 0, 1, "0.0"},    {-1e-9, 4, 1, " 0.0"},  // a sum landing just below zero
  };
  for (const TickTextCase& c : cases) {
    EXPECT_EQ(FormatTick(c.value, c.width, c.decimals).toStdString(), c.text) << c.value;
  }
}

struct LinearTicksCase {
  const char* name;
  float min, max, rawStep, step;
  LabelAnchors anchors;
  bool distinctLabels;
  std::size_t tickCount;
  std::vector<std::string> majorLabels;
  std::vector<int> majorAnchors;
};

// `count` anchors: `first`, then `middle`, then `last`.
std::vector<int> Anchors(int count, int first, int middle, int last) {
  std::vector<int> anchors(count, middle);
  anchors.front() = first;
  anchors.back() = last;
  return anchors;
}

TEST(LinearTicksTest, TicksLabelsAndAnchors) {
  // clang-format off
  const LinearTicksCase cases[] = {
      {"time 0 to 41 ms", 0, 41, 41.0f / 50, 1, kBottomLabelAnchors, true, 42,
       {"0", "5", "10", "15", "20", "25", "30", "35", "40"}, Anchors(9, 0, 1, 1)},
      {"pressure -0.2 to 1.5 kPa", -0.2f, 1.5f, 1.7f / 30, 0.1f, kLeftLabelAnchors, false, 18,
       {"0.0", "0.5", "1.0", "1.5"}, {5, 5, 5, 2}},
      {"time 100 to 102 ms needs one pass", 100, 102, 2.0f / 50, 0.02f, kBottomLabelAnchors, true,
       101, Series(100, 0.1, 21, 1), Anchors(21, 0, 1, 2)},
      {"time 1000 to 1000.2 ms needs two", 1000, 1000.2f, 0.2f / 50, 0.002f, kBottomLabelAnchors,
       true, 101, Series(1000, 0.01, 21, 2), Anchors(21, 0, 1, 2)},
      {"right scale from 0.35, not a step multiple", 0.35f, 2, 1.65f / 25, 0.1f,
       kRightLabelAnchors, false, 17, {"0.5", "1.0", "1.5", "2.0"}, {3, 3, 3, 0}},
      {"all-negative range ending on a tick", -3.7f, -0.4f, 3.3f / 30, 0.1f, kLeftLabelAnchors,
       false, 34, {"-3.5", "-3.0", "-2.5", "-2.0", "-1.5", "-1.0", "-0.5"}, Anchors(7, 5, 5, 5)},
  };
  // clang-format on
  for (const LinearTicksCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FLOAT_EQ(NiceStep(c.rawStep), c.step);
    const std::vector<AxisTick> ticks =
        LinearTicks(c.min, c.max, c.step, 5, c.anchors, c.distinctLabels);
    EXPECT_EQ(ticks.size(), c.tickCount);
    EXPECT_EQ(MajorLabels(ticks), c.majorLabels);
    EXPECT_EQ(MajorAnchors(ticks), c.majorAnchors);
    // Step-spaced and within the range to single precision.
    for (std::size_t i = 0; i < ticks.size(); ++i) {
      EXPECT_GE(ticks[i].Value, c.min - 1e-4 * c.step - 1e-6 * std::fabs(c.min));
      EXPECT_LE(ticks[i].Value, c.max + 1e-4 * c.step + 1e-6 * std::fabs(c.max));
      if (i == 0) continue;
      EXPECT_NEAR(ticks[i].Value - ticks[i - 1].Value, c.step, 1e-4 * c.step) << i;
    }
  }
}

TEST(LinearTicksTest, DecimalsGrowByThreeAtMost) {
  // 100 to 100.002 ms labels every 0.0001 ms: four more decimals would be needed, three are given.
  const std::vector<std::string> labels =
      MajorLabels(LinearTicks(100, 100.002f, NiceStep(0.002f / 50), 5, kBottomLabelAnchors, true));
  ASSERT_GE(labels.size(), 2u);
  EXPECT_EQ(labels.front(), "100.000");
  EXPECT_EQ(labels[0], labels[1]);
}

TEST(LinearTicksTest, NoTicksForAStepThatIsNotPositive) {
  EXPECT_TRUE(LinearTicks(0, 1, 0, 5, kBottomLabelAnchors, true).empty());
  EXPECT_TRUE(LinearTicks(0, 1, -0.1f, 5, kBottomLabelAnchors, true).empty());
  EXPECT_TRUE(LinearTicks(0, 1e9f, 1e-3f, 5, kBottomLabelAnchors, true).empty());
}

struct LogTicksCase {
  const char* name;
  double lowHz, highHz;
  std::size_t tickCount;
  std::vector<double> majorHz;
  std::vector<std::string> labels;
  std::vector<int> anchors;
};

TEST(LogFrequencyTicksTest, DecadeTicksLabelledInKilohertz) {
  // clang-format off
  const LogTicksCase cases[] = {
      {"20 Hz to 20 kHz", 20, 20000, 28, {100, 1000, 10000},
       {"0.02", "0.05", "0.1", "0.2", "0.5", "1", "2", "5", "10", "20"}, Anchors(10, 0, 1, 2)},
      {"10 Hz to 100 Hz", 10, 100, 10, {10, 100}, {"0.01", "0.02", "0.05", "0.1"}, {0, 1, 1, 2}},
  };
  // clang-format on
  for (const LogTicksCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<AxisTick> ticks =
        LogFrequencyTicks(float(std::log10(c.lowHz)), float(std::log10(c.highHz)));
    EXPECT_EQ(ticks.size(), c.tickCount);
    std::vector<double> majorHz;
    std::vector<std::string> labels;
    std::vector<int> anchors;
    for (const AxisTick& t : ticks) {
      if (t.Major) majorHz.push_back(std::round(std::pow(10.0, t.Value)));
      if (!t.Label.isEmpty()) {
        labels.push_back(t.Label.toStdString());
        anchors.push_back(t.Anchor);
      }
    }
    EXPECT_EQ(majorHz, c.majorHz);
    EXPECT_EQ(labels, c.labels);
    EXPECT_EQ(anchors, c.anchors);
  }
}

struct LogYCase {
  const char* name;
  float min, max;
  std::size_t tickCount;
  std::vector<std::string> labels;
  std::vector<int> anchors;
};

TEST(LogPlotYTicksTest, PerLabelDecimalsAndAnchors) {
  // ln|y| - 1.8 sets each label's format: 80 dB rounds to 3 and gets a field of three characters,
  // 0 to 1 get two decimals, zero none.
  // clang-format off
  const LogYCase cases[] = {
      {"40 to 100 dB", 40, 100, 31, {"40", "50", "60", "70", " 80", " 90", "100"}, Anchors(7, 8, 5, 2)},
      {"-60 to 0 dB", -60, 0, 31, {"-60", "-50", "-40", "-30", "-20", "-10", "0"}, Anchors(7, 8, 5, 5)},
      {"0 to 1", 0, 1, 51,
       {"0", "0.10", "0.20", "0.30", "0.40", "0.50", "0.60", "0.70", "0.80", "0.90", "1.00"},
       Anchors(11, 5, 5, 2)},
  };
  // clang-format on
  for (const LogYCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<AxisTick> ticks =
        LogPlotYTicks(c.min, c.max, NiceStep((c.max - c.min) / 30), 5);
    EXPECT_EQ(ticks.size(), c.tickCount);
    EXPECT_EQ(MajorLabels(ticks), c.labels);
    EXPECT_EQ(MajorAnchors(ticks), c.anchors);
  }
}

}  // namespace
}  // namespace orvek
