#include "tools/calibration/CalibrationTarget.h"

#include "base/FileNames.h"

namespace orvek {

TModelParameters LoadShippedParameters(const std::string& dataFolder) {
  TModelParameters p;
  LoadModelParameters(
      ResolveInFolder(dataFolder, ReadManFig(ResolveInFolder(dataFolder, "Man.Fig"))), p);
  DeriveModelConstants(p);
  return p;
}

}  // namespace orvek
