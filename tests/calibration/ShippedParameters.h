#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include "tools/calibration/CalibrationTarget.h"

namespace orvek {

// The parameter set under test, loaded through "Man.Fig": the shipped one, or the copy of the
// data folder that ORVEK_CALIBRATION_DATA names, so that newly fitted values can be checked
// before they ship.
inline const TModelParameters& Parameters() {
  static const TModelParameters p = [] {
    const char* folder = std::getenv("ORVEK_CALIBRATION_DATA");
    return LoadShippedParameters(folder && *folder ? folder : ORVEK_DATA_DIR);
  }();
  return p;
}

// A fit re-run from its fixed starting values gives the values the file holds, in this order,
// each within `relative` of it.
inline void ExpectFitted(const std::vector<FittedValue>& fitted,
                         const std::vector<std::pair<std::string, double>>& expected,
                         double relative) {
  ASSERT_EQ(fitted.size(), expected.size());
  for (std::size_t i = 0; i < fitted.size(); ++i) {
    EXPECT_EQ(fitted[i].Name, expected[i].first);
    EXPECT_NEAR(fitted[i].Value, expected[i].second, relative * std::abs(expected[i].second))
        << fitted[i].Name << ": " << fitted[i].How;
  }
}

}  // namespace orvek
