#pragma once
#include <cstdlib>

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

}  // namespace orvek
