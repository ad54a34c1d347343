#pragma once
#include <filesystem>

#include "model/ModelParameters.h"

namespace orvek::test {

// The shipped parameter set ("Man.Fig" names this file), loaded and derived as a run uses it.
inline TModelParameters ShippedParameters() {
  TModelParameters p;
  LoadModelParameters(std::filesystem::path(ORVEK_DATA_DIR) / "HUMANEAR.PRM", p);
  DeriveModelConstants(p);
  return p;
}

}  // namespace orvek::test
