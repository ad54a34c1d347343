#include <gtest/gtest.h>

#include "tools/calibration/CalibrationTarget.h"

namespace orvek {
namespace {

// The shipped file loads through "Man.Fig" with every derived constant.
TEST(ShippedParameters, LoadThroughManFig) {
  const TModelParameters p = LoadShippedParameters(ORVEK_DATA_DIR);
  EXPECT_GT(p.PlaceCount, 0);
}

}  // namespace
}  // namespace orvek
